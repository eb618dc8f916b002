// (Named pngio, not png: a png.h on the tools' include path would hide libpng's.)
// PNG for the image tools: images taken out of an image file or drawn into
// a sheet are written as PNG when the output name ends in ".png", and PNG
// sources are accepted when an image file is built (stored as BMP, the one
// format the library reads).
//
// Backends: libpng on Linux, the header-only stb (Debian libstb-dev) where
// libpng is not at hand (the mingw build); KUT_HAVE_PNG is defined when one
// of them is compiled in, and every function reports "PNG is not supported
// by this build" otherwise.
//
// Decisions: a PNG is read as 8-bit RGBA whatever its colour type and depth
// (16-bit samples are reduced, palettes and grey expanded); the alpha
// channel is dropped when it becomes a BMP, since image files know no
// transparency; images wider or taller than 16384 pixels or larger than 16M
// pixels are refused, the limits of the library's own bitmaps. PNGs are
// written as 8-bit RGB.
#ifndef KUTTOOLS_PNGIO_H
#define KUTTOOLS_PNGIO_H

#include <functional>
#include <string>

#include "imgfile.h"
#include "native.h"

namespace kuttools {

// True when `name` ends in ".png" (any case).
bool IsPngName(const std::wstring& name);

bool DecodePng(const std::string& png, Bitmap* out, std::string* error);
bool EncodePng(const Bitmap& bitmap, std::string* png, std::string* error);

// An uncompressed BMP (1, 4, 8, 24 or 32 bits per pixel, either row order)
// as pixels, for turning the BMPs the tools make into PNG.
bool DecodeBmp(const std::string& bmp, Bitmap* out, std::string* error);

// A PNG file's bytes as a 24-bit BMP.
bool PngToBmp(const std::string& png, std::string* bmp, std::string* error);

// Runs `writeBmp` on a temporary BMP beside `pngPath`, converts what it
// wrote to `pngPath` (under a temporary name, renamed when complete; with
// Replace::kRefuse an existing `pngPath` is kept) and removes the temporary
// BMP in every case.
bool WriteBmpAsPng(const std::wstring& pngPath, const std::function<bool(const std::wstring&, std::string*)>& writeBmp,
                   std::string* error, native::Replace replace = native::Replace::kAllow);

}  // namespace kuttools

#endif
