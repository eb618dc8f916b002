// UTF-8 <-> wide text: the one copy that the library, the kbase stand-in and
// the tools compile in (header only, never installed).
//
// File names on Linux are bytes, and not every byte string is UTF-8: Latin-1
// names from old volumes and archives are common. So that any name the
// system hands out reaches it again unchanged, a byte that does not belong to
// a valid UTF-8 sequence decodes to the lone surrogate U+DC80..U+DCFF of its
// value (0x80..0xFF), and such a surrogate encodes back to that byte (the
// scheme Python calls "surrogateescape"). Decoding is strict: overlong
// forms, encoded surrogates and values above U+10FFFF are not UTF-8 and
// their bytes are escaped one by one; otherwise two byte strings could
// decode alike and one of them could never be named again.
//
// wchar_t is UTF-32 on Linux and UTF-16 on Windows; on Windows a surrogate
// pair is one character and characters above U+FFFF become pairs.
#ifndef KUT_SUPPORT_UTF8_H
#define KUT_SUPPORT_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kut::utf8 {

constexpr char32_t kReplacement = 0xFFFD;
// The escapes of the bytes 0x80..0xFF.
constexpr char32_t kEscapeFirst = 0xDC80;
constexpr char32_t kEscapeLast = 0xDCFF;

// The length of the valid UTF-8 sequence at p (n bytes there) and its value
// in *cp; 0 when p does not start one.
inline std::size_t DecodeOne(const unsigned char* p, std::size_t n, char32_t* cp) {
    if (n == 0) return 0;
    const unsigned b0 = p[0];
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t c;
    unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, c = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // a surrogate
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, c = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (n < len || p[1] < lo || p[1] > hi) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[k] & 0x3F);
    }
    *cp = c;
    return len;
}

// Appends a scalar value (not a surrogate, at most U+10FFFF) as UTF-8.
inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Appends one character to wide text (a pair on Windows above U+FFFF).
inline void AppendWide(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

// Wide text to UTF-8. An escape U+DC80..U+DCFF becomes its byte; any other
// lone surrogate, and a value above U+10FFFF, becomes U+FFFD.
inline std::string FromWide(const wchar_t* s, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        auto c = static_cast<char32_t>(
            static_cast<std::uint32_t>(s[i]));  // NOLINT(bugprone-signed-char-misuse,cert-str34-c): a wide code unit, not a byte
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            const auto next = static_cast<char32_t>(static_cast<std::uint32_t>(s[i + 1]));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (c >= kEscapeFirst && c <= kEscapeLast) {
            out += static_cast<char>(c - 0xDC00);
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}
inline std::string FromWide(const std::wstring& s) { return FromWide(s.data(), s.size()); }
inline std::string FromWide(const wchar_t* s) { return s ? FromWide(s, std::char_traits<wchar_t>::length(s)) : std::string(); }

// Any bytes to wide text; FromWide gives the same bytes back.
inline std::wstring ToWide(const char* s, std::size_t n) {
    std::wstring out;
    out.reserve(n);
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    for (std::size_t i = 0; i < n;) {
        char32_t c = 0;
        const std::size_t len = DecodeOne(p + i, n - i, &c);
        if (len == 0) {
            // A byte below 0x80 always decodes; this one is 0x80..0xFF.
            AppendWide(out, 0xDC00 + p[i]);
            ++i;
        } else {
            AppendWide(out, c);
            i += len;
        }
    }
    return out;
}
inline std::wstring ToWide(const std::string& s) { return ToWide(s.data(), s.size()); }
inline std::wstring ToWide(const char* s) { return s ? ToWide(s, std::char_traits<char>::length(s)) : std::wstring(); }

// Bytes for a terminal: valid UTF-8 as it is, every other byte as "\xNN"
// (upper-case hex), so that an escaped name shows as, say, caf\xE9.txt.
inline std::string Printable(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const std::size_t len = DecodeOne(p + i, bytes.size() - i, &c);
        if (len == 0) {
            out += "\\x";
            out += kHex[p[i] >> 4];
            out += kHex[p[i] & 0x0F];
            ++i;
        } else {
            out.append(bytes, i, len);
            i += len;
        }
    }
    return out;
}

}  // namespace kut::utf8

#endif
