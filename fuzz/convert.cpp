// DECODE_Convert and TestLine on arbitrary bytes. The first byte picks the
// language, the rest is the DOS text file. The source must come out of the
// conversion untouched; the keyword rule also runs on a wide copy of the
// text in a buffer with exactly the documented spare room.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "kut/decode.h"
#include "kut/testing.h"

namespace {

std::vector<std::uint8_t> ReadBack(const std::wstring& path) {
    std::string narrow(path.begin(), path.end());
    std::vector<std::uint8_t> out;
    if (std::FILE* f = std::fopen(narrow.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<std::uint8_t>(c));
        std::fclose(f);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const short kLanguages[] = {1, 33, 34, 48, 70};
    const short language = size ? kLanguages[data[0] % 5] : 1;
    const std::uint8_t* text = size ? data + 1 : data;
    const std::size_t textSize = size ? size - 1 : 0;

    KUT_TestResetDecodeState();
    const std::wstring source = kutfuzz::WriteInput(L"source.txt", text, textSize);
    std::wstring dest = kutfuzz::Scratch() + L"/dest.txt";
    std::vector<wchar_t> destBuf(dest.begin(), dest.end());
    destBuf.push_back(L'\0');
    if (DECODE_Convert(source.c_str(), destBuf.data(), language) != 0) std::abort();
    if (ReadBack(source) != std::vector<std::uint8_t>(text, text + textSize)) std::abort();
    // Every line ends in CR LF, so the output is never empty.
    if (ReadBack(dest).size() < 2) std::abort();

    // A line as DECODE_Convert hands it over: at most 519 characters, the
    // terminator and two spare elements for the inserted "97".
    const std::size_t n = textSize < 519 ? textSize : 519;
    std::vector<wchar_t> line(n + 3, L'\0');
    for (std::size_t i = 0; i < n; ++i) line[i] = static_cast<wchar_t>(text[i]);
    TestLine(line.data());
    return 0;
}
