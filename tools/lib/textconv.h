// Text conversions shared by the tools: wchar_t (UTF-32 on Linux, UTF-16 on
// Windows) <-> UTF-16 for string tables, and <-> UTF-8 for file names and
// console output. One copy, so that a path built by one tool reaches the file
// system in the same bytes as a path built by another.
#ifndef KUTTOOLS_TEXTCONV_H
#define KUTTOOLS_TEXTCONV_H

#include <string>
#include <vector>

namespace kuttools {

// wchar_t text <-> UTF-16. On Linux a character above U+FFFF becomes a
// surrogate pair and a pair becomes one character; lone surrogates pass
// through unchanged.
std::u16string ToUtf16(const std::wstring& text);
std::wstring FromUtf16(const std::u16string& text);

// Wide text as UTF-8 and back, for file names as for texts. Bytes that are
// not UTF-8 (a Latin-1 file name on Linux) become the escapes U+DC80..U+DCFF
// and return to the same bytes, so any name round-trips; any other lone
// surrogate, or a value above U+10FFFF, becomes U+FFFD (src/support/utf8.h).
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// For messages and listings: UTF-8 as it is, each byte that is not part of
// valid UTF-8 as "\xNN" (a Latin-1 name shows as caf\xE9.txt).
std::string Printable(const std::string& utf8);
// Printable(ToUtf8(text)).
std::string Printable(const std::wstring& text);

// A tool's command line as wide strings: as given by wmain on Windows,
// decoded from UTF-8 (the Linux convention, any bytes kept) otherwise.
std::vector<std::wstring> WideArgs(int argc, char** argv);
#if defined(_WIN32)
std::vector<std::wstring> WideArgs(int argc, wchar_t** argv);
#endif

}  // namespace kuttools

#endif
