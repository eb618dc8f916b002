// Bitmaps and the drawing canvas of the kbase stand-in.
//
// Bitmaps are Windows BMP files: the 14-byte file header ("BM", size, two
// reserved words, offset of the pixels from the start of the file) and an
// info header of 40 bytes or one of its longer versions (52, 56, 108, 124),
// 1, 4, 8, 24 or 32 bits per pixel, uncompressed (BI_RGB), rows bottom-up
// (positive height) or top-down (negative height). Palette indexes beyond
// the palette draw black. Offsets are taken from the position of the stream
// when the call begins, so a bitmap may sit anywhere inside a larger file.
//
// Limits: width and height 1 to GRAF_BMP_MAX_SIDE, at most GRAF_BMP_MAX_PIXELS
// pixels (a 64 MiB object). A bitmap outside them, with a bad header, a
// palette or pixel rows running past the pixel offset or the end of the
// stream fails before anything is allocated or drawn. Because the pixel rows
// must be present, a bitmap never needs more than 32 times its own bytes in
// memory (1 bit per pixel in the file, 4 bytes per pixel loaded).
//
// In memory a loaded bitmap is a GRAF_BMP_INFO record followed by width x
// height pixels 0x00RRGGBB, top row first (GRAF_BMP_Size bytes in all).
//
// Stream positions: every GRAF_BMP_ function that takes a stream leaves it
// where it found it (at the bitmap's first byte), whether it succeeds or not,
// so GRAF_BMP_Size and GRAF_BMP_Load may follow each other without a seek.
//
// The canvas stands in for the screen: (0, 0) is its top-left pixel, y grows
// downwards, drawing at (x, y) puts an image's top-left pixel at (x, y), and
// whatever falls outside the canvas is clipped. It starts as 640 x 480.
#ifndef KBASE_GRAF_H
#define KBASE_GRAF_H

#include <stdio.h>
#include <wchar.h>
#include "kbase/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GRAF_BMP_INFO {
    short width;     // 0
    short height;    // 2
    short bitCount;  // 4: bits per pixel in the file
    short topDown;   // 6: 1 when the file stores the top row first
    int magic;       // 8: GRAF_BMP_MAGIC in a loaded bitmap
    int bytes;       // 12: bytes of the loaded bitmap, this record included
} GRAF_BMP_INFO;

enum {
    GRAF_BMP_MAX_SIDE = 16384,
    GRAF_BMP_MAX_PIXELS = 16 * 1024 * 1024,
    GRAF_BMP_MAGIC = 0x504D424B  // "KBMP"
};
// What a cleared canvas holds (white).
#define GRAF_CANVAS_BACKGROUND 0xFFFFFF

// Bytes the bitmap at the stream's position needs in memory; -1 when it is
// malformed or the stream is null.
KBASE_API int GRAF_BMP_Size(FILE* stream);
// Loads the bitmap at the stream's position into `mem`, which holds at least
// GRAF_BMP_Size bytes: 0, or -1 (mem's content then undefined).
KBASE_API int GRAF_BMP_Load(FILE* stream, void* mem);
// The record of a loaded bitmap (a pointer into `object`), or null when
// `object` is null or not a loaded bitmap.
KBASE_API const GRAF_BMP_INFO* GRAF_BMP_Info(const void* object);
// The record of the bitmap at the stream's position (its `magic` and `bytes`
// as GRAF_BMP_Load would write them), in static storage that the next call
// overwrites; null when it is malformed.
KBASE_API const GRAF_BMP_INFO* GRAF_BMP_FInfo(FILE* stream);
// Draws the bitmap at the stream's position on the canvas at (x, y): 0 or -1.
// Nothing is drawn when it fails.
KBASE_API int GRAF_BMP_FRead(short x, short y, FILE* stream);
// Draws a loaded bitmap on the canvas at (x, y): 0 or -1.
KBASE_API int GRAF_BMP_Show(short x, short y, const void* object);

// Resizes the canvas (0 x 0 allowed) and fills it with the background:
// 0, or -1 for negative sides or sides above GRAF_BMP_MAX_SIDE (canvas kept).
KBASE_API short GRAF_CanvasSize(short width, short height);
// 0x00RRGGBB of a pixel, -1 outside the canvas.
KBASE_API int GRAF_CanvasPixel(short x, short y);
// Writes the canvas as a 24-bit bottom-up BMP file: 0, or -1.
KBASE_API short GRAF_CanvasSave(const wchar_t* path);

#ifdef __cplusplus
}
#endif
#endif
