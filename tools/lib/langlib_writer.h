// Writer of language libraries: resource-only PE32+ (x86-64) DLLs holding a
// string table, as the Windows loader and kut's own reader expect them.
//
// Layout of a written library:
//   0x000  DOS header and stub, e_lfanew = 0x80
//   0x080  "PE\0\0", COFF header (AMD64, DLL), PE32+ optional header with
//          16 data directories (only the resource directory is set), no
//          entry point
//   0x188  one section header, ".rsrc" (initialised data, read-only)
//   0x200  the resource section (RVA 0x1000): type 6 -> one directory entry
//          per string block (number / 16 + 1) -> one entry per language
//          that has strings in the block, in the order the languages are
//          given -> data entry -> 16 counted UTF-16 strings
// File alignment 0x200, section alignment 0x1000, image base 0x180000000.
// The output is deterministic (time stamps are 0), so rebuilding from the
// same strings gives the same bytes.
//
// A string of length 0 is indistinguishable from a missing one (the loader
// reports both as absent); empty texts are accepted and written that way.
#ifndef KUTTOOLS_LANGLIB_WRITER_H
#define KUTTOOLS_LANGLIB_WRITER_H

#include <map>
#include <string>
#include <vector>

#include "native.h"
#include "textconv.h"

namespace kuttools {

// Language of the single language entry of every block (en-US).
constexpr unsigned short kDefaultLangId = 0x0409;

// Longest text a string-table slot can hold, in UTF-16 units.
constexpr std::size_t kMaxStringUnits = 0xFFFF;

// The bytes of a library holding `strings` (numbers 0..65535, texts of at
// most kMaxStringUnits units). False with a message in *error otherwise.
bool BuildLanguageLibrary(const std::map<unsigned, std::u16string>& strings, std::vector<unsigned char>* image,
                          std::string* error, unsigned short langId = kDefaultLangId);

// One language of a library that carries several.
struct LanguageStrings {
    unsigned short langId;
    std::map<unsigned, std::u16string> strings;
};
// A library in several languages: each block gets one entry per language
// that has strings in it, in the order of `languages` (which the loader
// expects sorted by id; tests write other orders on purpose).
bool BuildLanguageLibrary(const std::vector<LanguageStrings>& languages, std::vector<unsigned char>* image, std::string* error);

// BuildLanguageLibrary, then the bytes written to `path` under a temporary
// name and renamed over it when complete (native::WriteFileAtomic). With
// Replace::kRefuse an existing `path` is kept and the call succeeds.
bool WriteLanguageLibrary(const std::wstring& path, const std::map<unsigned, std::u16string>& strings, std::string* error,
                          unsigned short langId = kDefaultLangId, native::Replace replace = native::Replace::kAllow);
// The same with wide texts (UTF-32 on Linux, UTF-16 on Windows).
bool WriteLanguageLibrary(const std::wstring& path, const std::map<unsigned, std::wstring>& strings, std::string* error,
                          unsigned short langId = kDefaultLangId, native::Replace replace = native::Replace::kAllow);

}  // namespace kuttools

#endif
