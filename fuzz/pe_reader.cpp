// The language-library reader on arbitrary bytes: parse, then read every
// string number through the same path K_MSG uses.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "langlib/pe_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The user's and the system's languages from the last four bytes (the
    // headers sit at the start), so that every step of the choice is taken.
    kut::pe::Languages langs;
    if (size >= 4) {
        langs.user = static_cast<std::uint16_t>(data[size - 4] | data[size - 3] << 8);
        langs.system = static_cast<std::uint16_t>(data[size - 2] | data[size - 1] << 8);
    }
    auto image = kut::pe::Parse(std::vector<unsigned char>(data, data + size), langs);
    if (!image) return 0;
    for (const kut::pe::Problem& p : kut::pe::Problems(*image))
        if (p.block > 4096 || !p.what || !*p.what) __builtin_trap();
    for (unsigned id = 0; id <= 65536; ++id) {
        const unsigned char* text = nullptr;
        std::size_t len = 0;
        if (kut::pe::FindString(*image, id, &text, &len)) {
            // Touch every unit so that ASan sees a read past the file.
            volatile char16_t sink = 0;
            for (std::size_t i = 0; i < len; ++i) sink = static_cast<char16_t>(sink ^ kut::pe::Unit(text, i));
            (void)sink;
        }
    }
    return 0;
}
