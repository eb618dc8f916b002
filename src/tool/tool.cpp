// TOOL_ functions: rectangle and palette records and the rectangle geometry.
#include "kut/tool.h"

#include <cstdint>

namespace {

// The records handed out by TOOL_Rect and TOOL_Palette: zero until first use.
TOOL_RECT g_rect;
TOOL_PALETTE g_palette;

// Keeps the low 16 bits, as a store into a short field does.
short Low16(int v) { return static_cast<short>(static_cast<std::uint16_t>(static_cast<unsigned>(v) & 0xFFFFu)); }

}  // namespace

extern "C" TOOL_RECT* TOOL_Rect(short x1, short y1, short x2, short y2) {
    g_rect.x1 = x1;
    g_rect.y1 = y1;
    g_rect.x2 = x2;
    g_rect.y2 = y2;
    return &g_rect;
}

extern "C" TOOL_PALETTE* TOOL_Palette(short entry1, short entry2, short entry3) {
    g_palette.entry1 = entry1;
    g_palette.entry2 = entry2;
    g_palette.entry3 = entry3;
    g_palette.extra[0] = 0;
    g_palette.extra[1] = 0;
    g_palette.extra[2] = 0;
    return &g_palette;
}

extern "C" int TOOL_PointinRect(const TOOL_RECT* rect, short* x, short* y) {
    if (*x < rect->x1 || *x >= rect->x2 || *y < rect->y1 || *y >= rect->y2) return 0;
    *x = Low16(*x - rect->x1);
    *y = Low16(*y - rect->y1);
    return 1;
}

extern "C" void TOOL_GlobalCoors(const TOOL_RECT* rect, short* x, short* y) {
    *x = Low16(*x + rect->x1);
    *y = Low16(*y + rect->y1);
}

extern "C" short TOOL_LocalCoors(const TOOL_RECT* rect, short* x, short* y) {
    *x = Low16(*x - rect->x1);
    *y = Low16(*y - rect->y1);
    // The test reads the stored 16-bit values, so a difference that wrapped
    // is judged as wrapped.
    if (*x < 0 || *x >= rect->x2 - rect->x1 || *y < 0 || *y >= rect->y2 - rect->y1) return 0;
    return 1;
}

extern "C" int TOOL_RectWidth(const TOOL_RECT* rect) { return rect->x2 - rect->x1; }

extern "C" int TOOL_RectHeight(const TOOL_RECT* rect) { return rect->y2 - rect->y1; }

extern "C" int TOOL_RectArea(const TOOL_RECT* rect) {
    // Two 17-bit differences can overflow 32 signed bits; multiply unsigned
    // so that such a product wraps instead of being undefined.
    std::uint32_t h = static_cast<std::uint32_t>(rect->y2 - rect->y1);
    std::uint32_t w = static_cast<std::uint32_t>(rect->x2 - rect->x1);
    return static_cast<int>(h * w);
}

extern "C" void TOOL_Local(const TOOL_RECT* rect, TOOL_RECT* result) {
    result->y1 = 0;
    result->x1 = 0;
    result->x2 = Low16(TOOL_RectWidth(rect));
    result->y2 = Low16(TOOL_RectHeight(rect));
}

extern "C" int TOOL_Center(short start, short end, short size) {
    // Integer division of int truncates toward zero: -3 / 2 is -1.
    return start + ((end - start) - size) / 2;
}

extern "C" short TOOL_Multiplicate(const TOOL_RECT* a, const TOOL_RECT* b, TOOL_RECT* result) {
    if (a->y2 - b->y1 <= 0 || b->y2 - a->y1 <= 0 || a->x2 - b->x1 <= 0 || b->x2 - a->x1 <= 0) return 0;

    // Each step reads only the field it then writes, so result may be a or b.
    int k = 0;
    if (a->x1 > b->x1) {
        result->x1 = a->x1;
        --k;
    } else {
        result->x1 = b->x1;
        ++k;
    }
    if (a->x2 >= b->x2) {
        result->x2 = b->x2;
        ++k;
    } else {
        result->x2 = a->x2;
        --k;
    }
    if (a->y1 > b->y1) {
        result->y1 = a->y1;
        --k;
    } else {
        result->y1 = b->y1;
        ++k;
    }
    if (a->y2 >= b->y2) {
        result->y2 = b->y2;
        ++k;
    } else {
        result->y2 = a->y2;
        --k;
    }

    if (k == 4) return 2;
    if (k == -4) return 3;
    return 1;
}
