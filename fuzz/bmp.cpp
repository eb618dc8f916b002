// The bitmap functions on a stream of arbitrary bytes. Every function that
// takes a stream must leave it where it found it; a bitmap that loads must
// describe itself as GRAF_BMP_Size said.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_common.h"
#include "kbase/kbase.h"

namespace {

// The bitmap starts after `skip` bytes of the input, so that positions other
// than 0 are tried as well.
void CheckAt(std::FILE* f, long start) {
    if (std::ftell(f) != start) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    GRAF_CanvasSize(40, 24);
    std::vector<std::uint8_t> copy(data, data + size);
    std::FILE* f = size ? fmemopen(copy.data(), copy.size(), "rb") : nullptr;
    if (!f) return 0;
    const long start = 0;
    const int bytes = GRAF_BMP_Size(f);
    CheckAt(f, start);
    const GRAF_BMP_INFO* finfo = GRAF_BMP_FInfo(f);
    CheckAt(f, start);
    if ((finfo == nullptr) != (bytes < 0)) std::abort();
    const short fw = finfo ? finfo->width : 0, fh = finfo ? finfo->height : 0;
    GRAF_BMP_FRead(-3, 2, f);
    CheckAt(f, start);
    GRAF_BMP_FRead(20, 10, f);
    CheckAt(f, start);
    if (bytes > 0) {
        if (bytes > (GRAF_BMP_MAX_PIXELS + 4) * 4) std::abort();
        std::vector<unsigned char> mem(static_cast<std::size_t>(bytes));
        if (GRAF_BMP_Load(f, mem.data()) == 0) {
            const GRAF_BMP_INFO* info = GRAF_BMP_Info(mem.data());
            if (!info || info->bytes != bytes || info->width != fw || info->height != fh) std::abort();
            GRAF_BMP_Show(-5, -5, mem.data());
            GRAF_BMP_Show(30, 20, mem.data());
        }
        CheckAt(f, start);
    }
    std::fclose(f);
    return 0;
}
