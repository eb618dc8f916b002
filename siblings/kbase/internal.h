// Helpers shared by the kbase stand-in's source files.
#ifndef KBASE_INTERNAL_H
#define KBASE_INTERNAL_H

#include <string>
#include <cwchar>

#include "utf8.h"

namespace kbase {

#if defined(_WIN32)
constexpr wchar_t kSep = L'\\';
#else
constexpr wchar_t kSep = L'/';
#endif

// A path separator: the native one, and on Windows the slash as well.
inline bool IsSep(wchar_t c) {
#if defined(_WIN32)
    return c == L'\\' || c == L'/';
#else
    return c == L'/';
#endif
}

// Wide path to the system's narrow form (UTF-8) and back. Bytes that are
// not UTF-8 travel as the escapes U+DC80..U+DCFF, so every name the system
// lists can be opened, copied and deleted again (src/support/utf8.h).
inline std::string Narrow(const wchar_t* s) { return kut::utf8::FromWide(s); }
inline std::wstring Widen(const char* s) { return kut::utf8::ToWide(s); }

// Copies src into dst of `cap` elements; false (and dst empty) when it does
// not fit.
bool CopyBounded(wchar_t* dst, std::size_t cap, const std::wstring& src);

}  // namespace kbase

#endif
