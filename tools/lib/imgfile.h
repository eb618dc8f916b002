// Image files: writing BMP files and image files, listing them, taking an
// image out, and drawing a module's images into one contact sheet.
//
// Image file layout (little-endian): int16 module count; per module an
// 8-byte name (at most 7 single-byte characters, NUL-padded), int16 image
// count, 4 bytes written as zero and ignored by readers, then 8 bytes per
// image: int32 absolute position of its BMP in the file, int32 the BMP's
// length (written for inspection; readers do not need it). The BMPs follow
// the index, in module order.
//
// Every function returns false with a one-line reason in *error on failure.
// The functions that write a file never write over one of their inputs
// (compared by identity, so links and other spellings are caught), write
// under a temporary name in the destination's folder and rename it over the
// destination when complete, and with Replace::kRefuse keep an existing
// destination (and succeed, as cp -n does).
#ifndef KUTTOOLS_IMGFILE_H
#define KUTTOOLS_IMGFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "native.h"

namespace kuttools {

// Pixels 0x00RRGGBB, top row first.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Encodes a bitmap as a BMP file of 1, 4, 8, 24 or 32 bits per pixel. Indexed
// depths get a palette of the image's colours in order of first appearance
// (too many colours for the depth is an error). topDown stores the top row
// first (negative height).
bool EncodeBmp(const Bitmap& bitmap, int bitsPerPixel, bool topDown, std::string* bmp, std::string* error);

struct ImgModuleSource {
    std::string name;                  // 1 to 7 bytes, no NUL
    std::vector<std::string> bitmaps;  // BMP files, in image order
};

// The bytes of an image file holding `modules`. Checks names, counts (1 to
// 32767 images, at most 32767 modules) and that positions fit 31 bits; the
// bitmaps themselves are not looked at.
bool ImageFileBytes(const std::vector<ImgModuleSource>& modules, std::string* bytes, std::string* error);

// Builds an image file from a folder with one subfolder per module (module
// name = subfolder name), each holding its images as *.bmp files (or *.png,
// stored as 24-bit BMP: pngio.h). Modules and
// images are taken in byte order of their names. Each bitmap must be one the
// library can read; the written file is checked image by image.
bool BuildImageFile(const std::wstring& folder, const std::wstring& out, std::string* error,
                    native::Replace replace = native::Replace::kAllow);

struct ImgEntryInfo {
    std::int32_t position = 0;   // absolute position of the BMP
    std::int64_t fileBytes = 0;  // its length in the file, 0 when unreadable
    short width = 0;             // 0 x 0 when the bitmap is unreadable
    short height = 0;
    short bitCount = 0;
    int memoryBytes = 0;  // what the cache needs for it, 0 when unreadable
};
struct ImgModuleInfo {
    std::string name;
    std::vector<ImgEntryInfo> images;
};

// Reads the index of an image file and describes every image. A file whose
// index is cut short is an error; an image that cannot be read is listed
// with zero sizes.
bool ListImageFile(const std::wstring& path, std::vector<ImgModuleInfo>* modules, std::string* error);
// One line per module and one per image, for people.
std::string FormatListing(const std::vector<ImgModuleInfo>& modules);

// Writes image `image` of the first module named `module` as a BMP file: the
// bytes stored in the image file, unchanged.
bool ExtractImage(const std::wstring& path, const std::string& module, int image, const std::wstring& outBmp, std::string* error,
                  native::Replace replace = native::Replace::kAllow);

// Draws the images of `module` left to right, `columns` per row (0: all in
// one row), `gap` pixels apart and around, through kut's IMG_Show on the
// kbase canvas, and saves the canvas as a 24-bit BMP. Uses (and closes) the
// process's image cache.
bool RenderSheet(const std::wstring& path, const std::string& module, const std::wstring& outBmp, int columns, int gap,
                 std::string* error, native::Replace replace = native::Replace::kAllow);

}  // namespace kuttools

#endif
