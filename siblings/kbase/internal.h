// Helpers shared by the kbase stand-in's source files.
#ifndef KBASE_INTERNAL_H
#define KBASE_INTERNAL_H

#include <string>
#include <cwchar>

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

// Wide path to the system's narrow form (UTF-8). Characters that UTF-8
// cannot carry (lone surrogates) become '?', which names no file of ours.
std::string Narrow(const wchar_t* s);
// System path (UTF-8) to wide; invalid bytes map one-to-one to U+FFFD.
std::wstring Widen(const char* s);

// Copies src into dst of `cap` elements; false (and dst empty) when it does
// not fit.
bool CopyBounded(wchar_t* dst, std::size_t cap, const std::wstring& src);

}  // namespace kbase

#endif
