// BMP bitmaps and the software canvas of the kbase stand-in. See
// kbase/graf.h for the contract.
#include "kbase/graf.h"
#include "sys.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kFileHeader = 14;

struct Bitmap {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bpp = 0;
    long pixels = 0;  // offset of the pixel rows from the bitmap's start
    long stride = 0;  // bytes per row in the file
    int paletteCount = 0;
    std::uint32_t palette[256] = {};
};

std::uint32_t U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16) |
           (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t I32(const unsigned char* p) { return static_cast<std::int32_t>(U32(p)); }

// Restores the stream's position on every way out.
class PositionGuard {
public:
    explicit PositionGuard(FILE* f) : m_f(f), m_pos(std::ftell(f)) {}
    ~PositionGuard() {
        if (m_pos >= 0) std::fseek(m_f, m_pos, SEEK_SET);
    }
    long start() const { return m_pos; }
    PositionGuard(const PositionGuard&) = delete;
    PositionGuard& operator=(const PositionGuard&) = delete;

private:
    FILE* m_f;
    long m_pos;
};

bool ReadAt(FILE* f, long pos, void* buf, std::size_t n) {
    return std::fseek(f, pos, SEEK_SET) == 0 && std::fread(buf, 1, n, f) == n;
}

// Reads and checks the headers and the palette of the bitmap that begins at
// `start`; every range is checked in 64-bit against the bytes the stream
// holds after `start`.
bool Parse(FILE* f, long start, Bitmap* bm) {
    if (start < 0 || std::fseek(f, 0, SEEK_END) != 0) return false;
    long end = std::ftell(f);
    if (end < start) return false;
    const long long avail = static_cast<long long>(end) - start;

    unsigned char h[kFileHeader + 40];
    if (avail < static_cast<long long>(sizeof h) || !ReadAt(f, start, h, sizeof h)) return false;
    if (h[0] != 'B' || h[1] != 'M') return false;
    const long long offBits = U32(h + 10);
    const unsigned char* ih = h + kFileHeader;
    const std::uint32_t infoSize = U32(ih);
    if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124) return false;
    const long long width = I32(ih + 4);
    long long height = I32(ih + 8);
    const std::uint32_t planes = U16(ih + 12);
    const std::uint32_t bpp = U16(ih + 14);
    const std::uint32_t compression = U32(ih + 16);
    const std::uint32_t colorsUsed = U32(ih + 32);

    if (planes != 1 || compression != 0) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    bm->topDown = height < 0;
    if (height < 0) height = -height;
    if (width < 1 || width > GRAF_BMP_MAX_SIDE || height < 1 || height > GRAF_BMP_MAX_SIDE) return false;
    if (width * height > GRAF_BMP_MAX_PIXELS) return false;

    const long long stride = (width * bpp + 31) / 32 * 4;
    long long tableEnd = kFileHeader + static_cast<long long>(infoSize);
    int paletteCount = 0;
    if (bpp <= 8) {
        const std::uint32_t full = 1u << bpp;
        if (colorsUsed > full) return false;
        paletteCount = static_cast<int>(colorsUsed ? colorsUsed : full);
        tableEnd += 4LL * paletteCount;
    }
    if (offBits < tableEnd || offBits + stride * height > avail) return false;

    if (paletteCount > 0) {
        unsigned char pal[256 * 4];
        if (!ReadAt(f, start + kFileHeader + static_cast<long>(infoSize), pal, 4u * paletteCount)) return false;
        for (int i = 0; i < paletteCount; ++i) {
            const unsigned char* q = pal + 4 * i;
            bm->palette[i] = (static_cast<std::uint32_t>(q[2]) << 16) | (q[1] << 8) | q[0];
        }
    }
    bm->width = static_cast<int>(width);
    bm->height = static_cast<int>(height);
    bm->bpp = static_cast<int>(bpp);
    bm->pixels = static_cast<long>(offBits);
    bm->stride = static_cast<long>(stride);
    bm->paletteCount = paletteCount;
    return true;
}

int ObjectBytes(const Bitmap& bm) { return static_cast<int>(sizeof(GRAF_BMP_INFO) + 4LL * bm.width * bm.height); }

GRAF_BMP_INFO InfoOf(const Bitmap& bm) {
    GRAF_BMP_INFO info{};
    info.width = static_cast<short>(bm.width);
    info.height = static_cast<short>(bm.height);
    info.bitCount = static_cast<short>(bm.bpp);
    info.topDown = bm.topDown ? 1 : 0;
    info.magic = GRAF_BMP_MAGIC;
    info.bytes = ObjectBytes(bm);
    return info;
}

void DecodeRow(const Bitmap& bm, const unsigned char* row, std::uint32_t* out) {
    auto indexed = [&](unsigned idx) { return static_cast<int>(idx) < bm.paletteCount ? bm.palette[idx] : 0u; };
    for (int x = 0; x < bm.width; ++x) {
        switch (bm.bpp) {
        case 1: out[x] = indexed((row[x >> 3] >> (7 - (x & 7))) & 1u); break;
        case 4: out[x] = indexed((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu); break;
        case 8: out[x] = indexed(row[x]); break;
        case 24: {
            const unsigned char* p = row + 3 * x;
            out[x] = (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
            break;
        }
        default: {
            const unsigned char* p = row + 4 * x;
            out[x] = (static_cast<std::uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
            break;
        }
        }
    }
}

// Decodes the pixel rows into `pixels` (width x height, top row first).
bool ReadPixels(FILE* f, long start, const Bitmap& bm, std::uint32_t* pixels) {
    if (std::fseek(f, start + bm.pixels, SEEK_SET) != 0) return false;
    std::vector<unsigned char> row(static_cast<std::size_t>(bm.stride));
    for (int r = 0; r < bm.height; ++r) {
        if (std::fread(row.data(), 1, row.size(), f) != row.size()) return false;
        const int y = bm.topDown ? r : bm.height - 1 - r;
        DecodeRow(bm, row.data(), pixels + static_cast<std::size_t>(y) * bm.width);
    }
    return true;
}

// ---- canvas ----------------------------------------------------------------

struct Canvas {
    int width = 640;
    int height = 480;
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(640 * 480, GRAF_CANVAS_BACKGROUND);
};

Canvas& TheCanvas() {
    static Canvas canvas;
    return canvas;
}

void Blit(int x, int y, int w, int h, const std::uint32_t* src) {
    Canvas& c = TheCanvas();
    const int x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    const int x1 = x + w < c.width ? x + w : c.width;
    const int y1 = y + h < c.height ? y + h : c.height;
    if (x0 >= x1) return;
    for (int cy = y0; cy < y1; ++cy) {
        std::memcpy(&c.pixels[static_cast<std::size_t>(cy) * c.width + x0], src + static_cast<std::size_t>(cy - y) * w + (x0 - x),
                    sizeof(std::uint32_t) * (x1 - x0));
    }
}

void Put16(unsigned char* p, unsigned v) {
    p[0] = v & 0xFF;
    p[1] = (v >> 8) & 0xFF;
}
void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

static short CanvasSave(const wchar_t* path);

extern "C" {

int GRAF_BMP_Size(FILE* stream) {
    if (!stream) return -1;
    PositionGuard guard(stream);
    Bitmap bm;
    return Parse(stream, guard.start(), &bm) ? ObjectBytes(bm) : -1;
}

int GRAF_BMP_Load(FILE* stream, void* mem) {
    if (!stream || !mem) return -1;
    PositionGuard guard(stream);
    Bitmap bm;
    if (!Parse(stream, guard.start(), &bm)) return -1;
    GRAF_BMP_INFO info = InfoOf(bm);
    std::memcpy(mem, &info, sizeof info);
    auto* pixels = reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(mem) + sizeof info);
    try {
        return ReadPixels(stream, guard.start(), bm, pixels) ? 0 : -1;
    } catch (...) {
        return -1;  // no memory for a row
    }
}

const GRAF_BMP_INFO* GRAF_BMP_Info(const void* object) {
    const auto* info = static_cast<const GRAF_BMP_INFO*>(object);
    if (!info || info->magic != GRAF_BMP_MAGIC || info->width < 1 || info->height < 1) return nullptr;
    if (info->bytes != static_cast<int>(sizeof(GRAF_BMP_INFO) + 4LL * info->width * info->height)) return nullptr;
    return info;
}

const GRAF_BMP_INFO* GRAF_BMP_FInfo(FILE* stream) {
    static GRAF_BMP_INFO info;
    if (!stream) return nullptr;
    PositionGuard guard(stream);
    Bitmap bm;
    if (!Parse(stream, guard.start(), &bm)) return nullptr;
    info = InfoOf(bm);
    return &info;
}

int GRAF_BMP_FRead(short x, short y, FILE* stream) {
    if (!stream) return -1;
    PositionGuard guard(stream);
    Bitmap bm;
    if (!Parse(stream, guard.start(), &bm)) return -1;
    try {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bm.width) * bm.height);
        if (!ReadPixels(stream, guard.start(), bm, pixels.data())) return -1;
        Blit(x, y, bm.width, bm.height, pixels.data());
        return 0;
    } catch (...) {
        return -1;  // no memory for the pixels or the canvas
    }
}

int GRAF_BMP_Show(short x, short y, const void* object) {
    const GRAF_BMP_INFO* info = GRAF_BMP_Info(object);
    if (!info) return -1;
    try {
        Blit(x, y, info->width, info->height, reinterpret_cast<const std::uint32_t*>(info + 1));
    } catch (...) {
        return -1;  // no memory for the canvas
    }
    return 0;
}

short GRAF_CanvasSize(short width, short height) {
    if (width < 0 || height < 0 || width > GRAF_BMP_MAX_SIDE || height > GRAF_BMP_MAX_SIDE) return -1;
    try {
        Canvas& c = TheCanvas();
        c.pixels.assign(static_cast<std::size_t>(width) * height, GRAF_CANVAS_BACKGROUND);
        c.width = width;
        c.height = height;
    } catch (...) {
        return -1;  // no memory: the canvas stays as it was
    }
    return 0;
}

int GRAF_CanvasPixel(short x, short y) {
    try {
        const Canvas& c = TheCanvas();
        if (x < 0 || y < 0 || x >= c.width || y >= c.height) return -1;
        return static_cast<int>(c.pixels[static_cast<std::size_t>(y) * c.width + x]);
    } catch (...) {
        return -1;  // no memory for the canvas
    }
}

short GRAF_CanvasSave(const wchar_t* path) {
    if (!path) return -1;
    try {
        return CanvasSave(path);
    } catch (...) {
        return -1;  // no memory for the canvas or a row
    }
}

}  // extern "C"

static short CanvasSave(const wchar_t* path) {
    const Canvas& c = TheCanvas();
    const std::uint32_t stride = (static_cast<std::uint32_t>(c.width) * 3 + 3) / 4 * 4;
    const std::uint32_t dataBytes = stride * static_cast<std::uint32_t>(c.height);
    unsigned char head[kFileHeader + 40] = {};
    head[0] = 'B';
    head[1] = 'M';
    Put32(head + 2, sizeof head + dataBytes);
    Put32(head + 10, sizeof head);
    unsigned char* ih = head + kFileHeader;
    Put32(ih, 40);
    Put32(ih + 4, static_cast<std::uint32_t>(c.width));
    Put32(ih + 8, static_cast<std::uint32_t>(c.height));
    Put16(ih + 12, 1);
    Put16(ih + 14, 24);
    Put32(ih + 20, dataBytes);
    Put32(ih + 24, 2835);  // 72 dpi
    Put32(ih + 28, 2835);

    std::vector<unsigned char> row(stride, 0);  // before the file: nothing to close if it fails
    FILE* f = kbase::Sys().open(path, "wb");
    if (!f) return -1;
    bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
    for (int y = c.height - 1; ok && y >= 0; --y) {
        for (int x = 0; x < c.width; ++x) {
            const std::uint32_t p = c.pixels[static_cast<std::size_t>(y) * c.width + x];
            row[3 * x] = p & 0xFF;
            row[3 * x + 1] = (p >> 8) & 0xFF;
            row[3 * x + 2] = (p >> 16) & 0xFF;
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    if (std::fclose(f) != 0) ok = false;
    return ok ? 0 : -1;
}
