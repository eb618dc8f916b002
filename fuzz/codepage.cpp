// The code-page file loader on arbitrary bytes: the input is the decoding
// data folder's Decod001.dcd, read afresh for every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_common.h"
#include "kut/decode.h"
#include "kut/testing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kutfuzz::WriteInput(L"Decod001.dcd", data, size);
    KUT_TestResetDecodeState();
    // Every low byte once, with and without high bits above it.
    wchar_t line[512];
    for (int i = 0; i < 512; ++i) line[i] = static_cast<wchar_t>((i & 0xFF) | (i >= 256 ? 0x4100 : 0));
    DECODE_DosToWin(line, 512, 1);
    for (int i = 0; i < 512; ++i) {
        const unsigned low = static_cast<unsigned>(i & 0xFF);
        const auto expectUntouched = static_cast<wchar_t>(low | (i >= 256 ? 0x4100 : 0));
        // Bytes below 0x80 keep their element; the others become a table
        // value, which is 8 bits wide whatever the file said.
        if (low < 0x80 ? line[i] != expectUntouched : static_cast<unsigned>(line[i]) > 0xFF) std::abort();
    }
    return 0;
}
