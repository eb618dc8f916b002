// Small operations on rectangles and points in 16-bit integer coordinates.
//
// A rectangle holds the points x1 <= x < x2, y1 <= y < y2. Nothing is
// normalised: a rectangle with x2 < x1 has a negative width. Arithmetic is
// done in 32 bits from the 16-bit fields; what is stored back into a 16-bit
// field keeps the low 16 bits. No function checks its pointers.
#ifndef KUT_TOOL_H
#define KUT_TOOL_H

#include "kut/types.h"

typedef struct TOOL_RECT {
    short x1;  // smallest x inside
    short y1;  // smallest y inside
    short x2;  // first x beyond
    short y2;  // first y beyond
} TOOL_RECT;

typedef struct TOOL_PALETTE {
    short entry1;
    short entry2;
    short entry3;
    short extra[3];  // always 0
} TOOL_PALETTE;

#ifdef __cplusplus
extern "C" {
#endif

// The library keeps one TOOL_RECT and one TOOL_PALETTE for the whole
// process. Each call overwrites the record and returns its address, so a
// result is valid until the next call of the same function from anywhere.
KUT_API TOOL_RECT* TOOL_Rect(short x1, short y1, short x2, short y2);
KUT_API TOOL_PALETTE* TOOL_Palette(short entry1, short entry2, short entry3);

// 1 when (x, y) lies inside; then x and y become local to the rectangle.
// 0 leaves the point as it was.
KUT_API int TOOL_PointinRect(const TOOL_RECT* rect, short* x, short* y);
// Local to global: x += x1, y += y1.
KUT_API void TOOL_GlobalCoors(const TOOL_RECT* rect, short* x, short* y);
// Global to local, always; then 1 when the local point lies inside.
KUT_API short TOOL_LocalCoors(const TOOL_RECT* rect, short* x, short* y);

KUT_API int TOOL_RectWidth(const TOOL_RECT* rect);
KUT_API int TOOL_RectHeight(const TOOL_RECT* rect);
// Width times height; products beyond 32 bits wrap.
KUT_API int TOOL_RectArea(const TOOL_RECT* rect);

// result = (0, 0, width, height). Fields are written y1, x1, x2, y2 in this
// order, so with result == rect the width is taken after x1 became 0.
KUT_API void TOOL_Local(const TOOL_RECT* rect, TOOL_RECT* result);

// start + ((end - start) - size) / 2, the division truncated toward zero.
KUT_API int TOOL_Center(short start, short end, short size);

// Intersects a and b into result and tells how they lie:
//   0  no overlap (touching edges included); result untouched;
//   2  b lies within a (shared edges allowed; equal rectangles);
//   3  a lies strictly within b, no edge in common;
//   1  any other overlap, including a within b sharing an edge.
// result may be a or b itself.
KUT_API short TOOL_Multiplicate(const TOOL_RECT* a, const TOOL_RECT* b, TOOL_RECT* result);

#ifdef __cplusplus
}
#endif
#endif
