// The dictionary loader on arbitrary bytes: the input is Decod001.dct, read
// afresh for every input, then every byte is folded through it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_common.h"
#include "kut/decode.h"
#include "kut/testing.h"

namespace {

struct Table {
    unsigned char t[256];
    bool operator==(const Table& o) const { return std::memcmp(t, o.t, 256) == 0; }
};

Table Fold(short language) {
    DECODE_Language(language);
    Table out;
    for (int b = 0; b < 256; ++b) {
        out.t[b] = static_cast<unsigned char>(b);
        DECODE_Txt_XP(&out.t[b]);
    }
    return out;
}

// The built-in dictionaries, taken before any file exists.
Table BuiltIn(short language) {
    KUT_TestResetDecodeState();
    return Fold(language);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Table latin = BuiltIn(1);
    static const Table central = BuiltIn(48);
    kutfuzz::WriteInput(L"Decod001.dct", data, size);
    KUT_TestResetDecodeState();
    const Table first = Fold(1);
    const Table second = Fold(48);
    // An accepted file is the table for every language from then on; a
    // rejected one leaves each language its built-in table.
    const bool accepted = second == first;
    const bool rejected = first == latin && second == central;
    if (!accepted && !rejected) std::abort();
    return 0;
}
