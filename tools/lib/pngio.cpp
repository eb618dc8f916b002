#include "pngio.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "langlib_writer.h"
#include "textconv.h"

#if defined(KUT_PNG_LIBPNG)
#include <png.h>
#elif defined(KUT_PNG_STB)
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image.h>
#include <stb_image_write.h>
#endif

namespace kuttools {

namespace {

constexpr long kMaxSide = 16384;
constexpr long kMaxPixels = 16L * 1024 * 1024;

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool SizeAllowed(long w, long h, std::string* error) {
    if (w < 1 || h < 1) return Fail(error, "an image without pixels");
    if (w > kMaxSide || h > kMaxSide || w * h > kMaxPixels)
        return Fail(error, "image of " + std::to_string(w) + " x " + std::to_string(h) +
                               " pixels: larger than 16384 a side or 16M pixels");
    return true;
}

std::uint32_t Le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

#if defined(KUT_PNG_LIBPNG) || defined(KUT_PNG_STB)
// Both codecs hand over 8-bit RGBA rows and take 8-bit RGB rows; a bitmap
// keeps 0x00RRGGBB and drops the alpha channel.
void FromRgba(const unsigned char* rgba, int w, int h, Bitmap* out) {
    out->width = w;
    out->height = h;
    out->pixels.resize(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < out->pixels.size(); ++i)
        out->pixels[i] = (std::uint32_t{rgba[4 * i]} << 16) | (std::uint32_t{rgba[4 * i + 1]} << 8) | rgba[4 * i + 2];
}

std::vector<unsigned char> ToRgb(const Bitmap& bitmap) {
    std::vector<unsigned char> rgb(bitmap.pixels.size() * 3);
    for (std::size_t i = 0; i < bitmap.pixels.size(); ++i) {
        rgb[3 * i] = static_cast<unsigned char>(bitmap.pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(bitmap.pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(bitmap.pixels[i]);
    }
    return rgb;
}
#endif

}  // namespace

bool IsPngName(const std::wstring& name) {
    if (name.size() < 4) return false;
    std::wstring ext = name.substr(name.size() - 4);
    for (wchar_t& c : ext) c = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    return ext == L".png";
}

#if defined(KUT_PNG_LIBPNG)

bool DecodePng(const std::string& png, Bitmap* out, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return Fail(error, std::string("not a PNG: ") + image.message);
    if (!SizeAllowed(static_cast<long>(image.width), static_cast<long>(image.height), error)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr))
        return Fail(error, std::string("damaged PNG: ") + image.message);
    FromRgba(rgba.data(), static_cast<int>(image.width), static_cast<int>(image.height), out);
    return true;
}

bool EncodePng(const Bitmap& bitmap, std::string* png, std::string* error) {
    if (!SizeAllowed(bitmap.width, bitmap.height, error)) return false;
    const std::vector<unsigned char> rgb = ToRgb(bitmap);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(bitmap.width);
    image.height = static_cast<png_uint_32>(bitmap.height);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr))
        return Fail(error, std::string("cannot encode PNG: ") + image.message);
    png->assign(size, '\0');
    if (!png_image_write_to_memory(&image, &(*png)[0], &size, 0, rgb.data(), 0, nullptr))
        return Fail(error, std::string("cannot encode PNG: ") + image.message);
    png->resize(size);
    return true;
}

#elif defined(KUT_PNG_STB)

bool DecodePng(const std::string& png, Bitmap* out, std::string* error) {
    if (png.size() > 0x7FFFFFFF) return Fail(error, "not a PNG: too large");
    const auto* data = reinterpret_cast<const stbi_uc*>(png.data());
    const int len = static_cast<int>(png.size());
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(data, len, &w, &h, &comp)) return Fail(error, std::string("not a PNG: ") + stbi_failure_reason());
    if (!SizeAllowed(w, h, error)) return false;
    stbi_uc* rgba = stbi_load_from_memory(data, len, &w, &h, &comp, 4);
    if (!rgba) return Fail(error, std::string("damaged PNG: ") + stbi_failure_reason());
    FromRgba(rgba, w, h, out);
    stbi_image_free(rgba);
    return true;
}

bool EncodePng(const Bitmap& bitmap, std::string* png, std::string* error) {
    if (!SizeAllowed(bitmap.width, bitmap.height, error)) return false;
    const std::vector<unsigned char> rgb = ToRgb(bitmap);
    png->clear();
    auto sink = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
    };
    if (!stbi_write_png_to_func(sink, png, bitmap.width, bitmap.height, 3, rgb.data(), bitmap.width * 3))
        return Fail(error, "cannot encode PNG");
    return true;
}

#else

bool DecodePng(const std::string&, Bitmap*, std::string* error) { return Fail(error, "PNG is not supported by this build"); }
bool EncodePng(const Bitmap&, std::string*, std::string* error) { return Fail(error, "PNG is not supported by this build"); }

#endif

bool DecodeBmp(const std::string& bmp, Bitmap* out, std::string* error) {
    if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') return Fail(error, "not a BMP");
    const std::uint32_t bits = Le(bmp, 10, 4), header = Le(bmp, 14, 4);
    if (header < 40 || 14 + header > bmp.size()) return Fail(error, "BMP header not understood");
    const long w = static_cast<std::int32_t>(Le(bmp, 18, 4));
    const long rawH = static_cast<std::int32_t>(Le(bmp, 22, 4));
    const int depth = static_cast<int>(Le(bmp, 28, 2));
    const std::uint32_t compression = Le(bmp, 30, 4);
    std::uint32_t colours = Le(bmp, 46, 4);
    const long h = rawH < 0 ? -rawH : rawH;
    if (!SizeAllowed(w, h, error)) return false;
    if (compression != 0 && !(compression == 3 && (depth == 32 || depth == 16)))
        return Fail(error, "compressed BMP not supported");
    if (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32)
        return Fail(error, "BMP of " + std::to_string(depth) + " bits per pixel not supported");
    if (depth <= 8 && (colours == 0 || colours > (1u << depth))) colours = 1u << depth;
    const std::size_t palette = 14 + header;
    if (depth <= 8 && palette + 4 * colours > bmp.size()) return Fail(error, "BMP palette cut short");
    const std::size_t stride = ((static_cast<std::size_t>(w) * depth + 31) / 32) * 4;
    if (bits > bmp.size() || stride * static_cast<std::size_t>(h) > bmp.size() - bits) return Fail(error, "BMP pixels cut short");
    out->width = static_cast<int>(w);
    out->height = static_cast<int>(h);
    out->pixels.assign(static_cast<std::size_t>(w) * h, 0);
    for (long y = 0; y < h; ++y) {
        const std::size_t row = bits + stride * static_cast<std::size_t>(rawH < 0 ? y : h - 1 - y);
        for (long x = 0; x < w; ++x) {
            std::uint32_t px = 0;
            if (depth >= 24) {
                px = Le(bmp, row + static_cast<std::size_t>(x) * (depth / 8), 3);
            } else {
                const std::size_t bit = static_cast<std::size_t>(x) * depth;
                const unsigned byte = static_cast<unsigned char>(bmp[row + bit / 8]);
                const unsigned index = (byte >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
                px = index < colours ? Le(bmp, palette + 4 * index, 3) : 0;
            }
            out->pixels[static_cast<std::size_t>(y) * w + x] = px & 0xFFFFFF;
        }
    }
    return true;
}

bool PngToBmp(const std::string& png, std::string* bmp, std::string* error) {
    Bitmap bitmap;
    return DecodePng(png, &bitmap, error) && EncodeBmp(bitmap, 24, false, bmp, error);
}

bool WriteBmpAsPng(const std::wstring& pngPath, const std::function<bool(const std::wstring&, std::string*)>& writeBmp,
                   std::string* error, native::Replace replace) {
    const std::wstring tmp = pngPath + L".kut-tmp.bmp";
    std::string bytes, png;
    Bitmap bitmap;
    bool ok = writeBmp(tmp, error) && native::ReadFile(tmp, &bytes, error);
    std::remove(ToUtf8(tmp).c_str());
    if (ok && !DecodeBmp(bytes, &bitmap, error)) ok = false;
    if (ok && !EncodePng(bitmap, &png, error)) ok = false;
    return ok && native::WriteFileAtomic(pngPath, png.data(), png.size(), error, replace) != 1;
}

}  // namespace kuttools
