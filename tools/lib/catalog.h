// Message catalogs: the text form of a language library, from which the
// libraries are built and into which existing ones are dumped.
//
// Catalog format (UTF-8 text; a leading byte-order mark is skipped):
//
//   # A comment: a line whose first non-blank character is '#'.
//   1	Open file
//   2 Save as...
//   17	Line one\nLine two\twith a tab, a backslash \\ and \u00e9
//
//  - One entry per line: the message number in decimal (0 to 65535,
//    optionally preceded by blanks), exactly ONE separator (a tab or a
//    space), then the text up to the end of the line. Everything behind the
//    separator is text, leading and trailing blanks included. A number alone
//    on its line gives an empty text.
//  - Lines end with LF or CR LF. Lines that are empty or hold only blanks
//    are ignored, and so are comment lines.
//  - Escapes in the text: \t tab, \n line feed, \r carriage return,
//    \\ backslash, \uXXXX one UTF-16 unit given by four hex digits (for
//    control characters and unpaired surrogates; any other character may be
//    written as it is). Any other backslash sequence is an error.
//  - A number may appear only once. Texts are at most 65535 UTF-16 units.
//  - An empty text is the same as no text: the loader reports both as
//    absent, so a dump never shows one.
// Errors name the line: "line 12: number 40 already defined on line 3".
//
// A dump lists the strings by ascending number as "<number><TAB><text>",
// escaping backslash, tab, line feed, carriage return, the other control
// characters and unpaired surrogates, so that building a dump gives the same
// strings back.
#ifndef KUTTOOLS_CATALOG_H
#define KUTTOOLS_CATALOG_H

#include <map>
#include <string>
#include <vector>

#include "native.h"

namespace kuttools {

using StringMap = std::map<unsigned, std::u16string>;

// Parses catalog text. False with "line N: ..." in *error on the first fault.
bool ParseCatalog(const std::string& text, StringMap* out, std::string* error);

// The catalog text of `strings` (empty texts are left out).
std::string FormatCatalog(const StringMap& strings);

// One text as it appears in a catalog line, and back.
std::string EscapeText(const std::u16string& text);
bool UnescapeText(const std::string& field, std::u16string* out, std::string* error);

// File forms; errors are prefixed with the file name.
bool ReadCatalog(const std::wstring& path, StringMap* out, std::string* error);
// Written under a temporary name and renamed over `path` when complete; with
// Replace::kRefuse an existing file is kept (and the call succeeds).
bool WriteCatalog(const std::wstring& path, const StringMap& strings, std::string* error,
                  native::Replace replace = native::Replace::kAllow);

// Every string 0..65535 of a language library, read through kut's own
// loader (KUT_LangLibOpen), at full length. False when it cannot be loaded.
// With `problems`, the library's structure is checked too (KUT_LangLibCheck):
// one line per damaged block, "block 3 (numbers 32-47): <what is wrong>",
// with "; numbers 40-47 lost" when part of it is whole; the strings that
// could be read are dumped all the same, and only those (on Windows too,
// where the loader hands out texts past the block or the file).
bool DumpLanguageLibrary(const std::wstring& path, StringMap* out, std::string* error,
                         std::vector<std::string>* problems = nullptr);
// Only the structure check: false when the file cannot be loaded.
bool CheckLanguageLibrary(const std::wstring& path, std::vector<std::string>* problems, std::string* error);

// Catalog file -> language library file. A library that is the catalog
// itself (by identity: a link or another spelling of the same file) is
// refused before anything is written.
bool BuildLanguageLibraryFromCatalog(const std::wstring& catalog, const std::wstring& library, std::string* error,
                                     unsigned short langId = 0x0409, native::Replace replace = native::Replace::kAllow);

}  // namespace kuttools

#endif
