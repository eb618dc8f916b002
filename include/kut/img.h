// Image cache: bitmaps addressed by a module name and an image number inside
// one image file, brought into kbase's object cache on demand, sized and
// drawn through kbase's bitmap functions.
//
// The image file (little-endian): a 16-bit module count, then per module an
// 8-byte name (NUL-terminated inside the field), a 16-bit image count, 4
// ignored bytes and a table of 8 bytes per image whose first 4 are the
// absolute position of the image's bitmap in the file.
//
// One image file and one cache per process; the functions are meant for one
// thread at a time. Statuses are 0 for success, -1 for failure.
#ifndef KUT_IMG_H
#define KUT_IMG_H

#include <cstdio>

#include "kut/types.h"

// The key of one image; the object cache's label.
struct IMG_LABEL {
    short module;  // position of the module in the index
    short image;   // number of the image within the module
};

extern "C" {

// Loads the index of the chosen (or default) image file and sets up a cache
// of `kilobytes` KiB; 0 or less: a cache without memory, stream kept open.
KUT_API short IMG_Init(short kilobytes);
KUT_API void IMG_Close(void);
// Chooses `base`.img (null or empty: kestoimg.img) in the folder of kind 2.
KUT_API void IMG_SetImgFileName(const wchar_t* base);
// Opens the image file at `path`: loads its index, cache without memory.
KUT_API void IMG_SetImgPathFileName(const wchar_t* path);
// The image file's name and extension, in a static buffer.
KUT_API wchar_t* IMG_File(void);
KUT_API short IMG_ImgSize(const wchar_t* module, short image, short* width, short* height);
KUT_API short IMG_Show(const wchar_t* module, short image, short x, short y, short centred);
KUT_API short IMG_CreateLabel(const wchar_t* module, short image, IMG_LABEL* label);
// The cached bitmap (owned by the cache, valid until it is flushed) or null.
KUT_API void* IMG_GetFromCache(const wchar_t* module, short image, int* size);
// Exactly one of buffer and size: the size in bytes, or the bitmap loaded
// into buffer. Never touches the cache.
KUT_API short IMG_GetFromFile(const wchar_t* module, short image, void* buffer, int* size);
// Image numbers are ints ended by -1.
KUT_API void IMG_ListToCache(const wchar_t* module, ...);
KUT_API void IMG_LabelsToCache(IMG_LABEL* labels, short count);
KUT_API void IMG_Flush(void);
KUT_API void IMG_FlushList(const wchar_t* module, ...);
// Flushes labels[count-1] down to labels[0]; a count below 1 flushes nothing.
KUT_API void IMG_FlushLabels(IMG_LABEL* labels, short count);
KUT_API void IMG_FlushModule(const wchar_t* module);

}  // extern "C"

#endif
