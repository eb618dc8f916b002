#include "textconv.h"

#include <cstdint>

#include "utf8.h"

namespace kuttools {

std::u16string ToUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        auto c =
            static_cast<std::uint32_t>(wc);  // NOLINT(bugprone-signed-char-misuse,cert-str34-c): a wide code unit, not a byte
        if (sizeof(wchar_t) > 2 && c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c > 0xFFFF ? 0xFFFD : c);
        }
    }
    return out;
}

std::wstring FromUtf16(const std::u16string& text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (sizeof(wchar_t) > 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

std::string ToUtf8(const std::wstring& text) { return kut::utf8::FromWide(text); }
std::wstring FromUtf8(const std::string& text) { return kut::utf8::ToWide(text); }
std::string Printable(const std::string& utf8) { return kut::utf8::Printable(utf8); }
std::string Printable(const std::wstring& text) { return Printable(ToUtf8(text)); }

std::vector<std::wstring> WideArgs(int argc, char** argv) {
    std::vector<std::wstring> args;
    args.reserve(argc > 0 ? static_cast<std::size_t>(argc) : 0);
    for (int i = 0; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return args;
}

#if defined(_WIN32)
std::vector<std::wstring> WideArgs(int argc, wchar_t** argv) {
    return argc > 0 ? std::vector<std::wstring>(argv, argv + argc) : std::vector<std::wstring>();
}
#endif

}  // namespace kuttools
