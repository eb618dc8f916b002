// Helpers shared by the kbase stand-in's source files.
#ifndef KBASE_INTERNAL_H
#define KBASE_INTERNAL_H

#include <string>
#include <cwchar>

#include "utf8.h"

namespace kbase {

// The syntax of paths: the separator written, whether "X:" at the start is
// a drive, whether file name patterns ignore case. The separator written
// separates, and so does the slash in both styles (the Windows API takes it
// as well as the backslash).
// The system's own style is in force (sys.cpp chooses it); a test build can
// switch to the other one (kbase/testing.h), so that the rules of both are
// tested on every system. Only the syntax changes: the calls still reach
// this system's file system.
struct PathStyle {
    wchar_t sep;
    bool drives;
    bool foldCase;
};

const PathStyle& Paths();

inline bool IsSep(wchar_t c) { return c == L'/' || c == Paths().sep; }

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
