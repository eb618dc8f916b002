// The PNG reading path of the image tools on arbitrary bytes: a PNG that
// decodes must describe itself consistently, stay within the library's
// bitmap limits, and come back pixel for pixel through the BMP it is stored
// as and through PNG again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pngio.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    kuttools::Bitmap b;
    std::string error;
    if (!kuttools::DecodePng(bytes, &b, &error)) {
        if (error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    if (b.width < 1 || b.height < 1 || b.width > 16384 || b.height > 16384 ||
        static_cast<long>(b.width) * b.height > 16L * 1024 * 1024 ||
        b.pixels.size() != static_cast<std::size_t>(b.width) * b.height)
        std::abort();
    std::string bmp, png;
    kuttools::Bitmap viaBmp, viaPng;
    if (!kuttools::PngToBmp(bytes, &bmp, &error) || !kuttools::DecodeBmp(bmp, &viaBmp, &error)) std::abort();
    if (viaBmp.pixels != b.pixels) std::abort();
    if (!kuttools::EncodePng(b, &png, &error) || !kuttools::DecodePng(png, &viaPng, &error)) std::abort();
    if (viaPng.pixels != b.pixels) std::abort();
    return 0;
}
