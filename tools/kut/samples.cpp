// The sample bitmaps of data/img, drawn.
#include "samples.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "imgfile.h"
#include "textconv.h"

namespace kutcli {
namespace {

using kuttools::Bitmap;

constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xD02020, kGreen = 0x20A040, kBlue = 0x2050D0,
                        kYellow = 0xF0C020, kGrey = 0x808080, kBrown = 0xC08040;

Bitmap Blank(int w, int h, std::uint32_t colour) {
    Bitmap b;
    b.width = w;
    b.height = h;
    b.pixels.assign(static_cast<std::size_t>(w) * h, colour);
    return b;
}

void Set(Bitmap& b, int x, int y, std::uint32_t c) {
    if (x >= 0 && y >= 0 && x < b.width && y < b.height) b.pixels[static_cast<std::size_t>(y) * b.width + x] = c;
}

void Rect(Bitmap& b, int x0, int y0, int x1, int y1, std::uint32_t c) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) Set(b, x, y, c);
}

void Line(Bitmap& b, int x0, int y0, int x1, int y1, std::uint32_t c) {
    const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= n; ++i) { Set(b, x0 + (x1 - x0) * i / (n ? n : 1), y0 + (y1 - y0) * i / (n ? n : 1), c); }
}

// Filled triangle: every pixel centre on the inner side of the three edges.
void Triangle(Bitmap& b, double ax, double ay, double bx, double by, double cx, double cy, std::uint32_t c) {
    auto side = [](double px, double py, double qx, double qy, double x, double y) {
        return (qx - px) * (y - py) - (qy - py) * (x - px);
    };
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double d1 = side(ax, ay, bx, by, px, py), d2 = side(bx, by, cx, cy, px, py), d3 = side(cx, cy, ax, ay, px, py);
            if ((d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0)) Set(b, x, y, c);
        }
    }
}

void Disc(Bitmap& b, double cx, double cy, double r, std::uint32_t c) {
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r) Set(b, x, y, c);
}

std::uint32_t Rgb(int r, int g, int bl) {
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(bl);
}

// A right-pointing arrow, turned `quarter` quarter turns clockwise.
Bitmap Arrow(int quarter, std::uint32_t colour) {
    Bitmap a = Blank(16, 16, kWhite);
    Rect(a, 2, 6, 8, 9, colour);
    Triangle(a, 8, 2, 15, 8, 8, 14, colour);
    Bitmap t = a;
    for (int q = 0; q < quarter; ++q) {
        Bitmap r = Blank(16, 16, kWhite);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) Set(r, 15 - y, x, t.pixels[static_cast<std::size_t>(y) * 16 + x]);
        t = r;
    }
    return t;
}

struct Sample {
    const char* module;
    const char* file;
    Bitmap bitmap;
    int bpp;
    bool topDown;
};

std::vector<Sample> Samples() {
    std::vector<Sample> s;

    Bitmap check = Blank(16, 16, kWhite);
    for (int t = 0; t < 2; ++t) {
        Line(check, 2, 8 + t, 6, 12 + t, kBlack);
        Line(check, 6, 12 + t, 13, 3 + t, kBlack);
    }
    s.push_back({"ICONS", "00_check.bmp", check, 1, false});

    Bitmap warn = Blank(16, 16, kWhite);
    Triangle(warn, 8, 0.5, 15.5, 15, 0.5, 15, kBlack);
    Triangle(warn, 8, 3, 13.5, 14, 2.5, 14, kYellow);
    Rect(warn, 7, 6, 8, 10, kRed);
    Rect(warn, 7, 12, 8, 12, kRed);
    s.push_back({"ICONS", "01_warning.bmp", warn, 4, false});

    Bitmap ball = Blank(24, 24, kWhite);
    for (int r = 11; r >= 1; --r) Disc(ball, 12, 12, r, Rgb(40, 40 + (11 - r) * 18, 200 - (11 - r) * 8));
    s.push_back({"ICONS", "02_ball.bmp", ball, 8, false});

    Bitmap folder = Blank(32, 32, kWhite);
    Rect(folder, 2, 6, 13, 9, kBrown);
    Rect(folder, 2, 9, 29, 27, kBrown);
    Rect(folder, 3, 11, 28, 26, kYellow);
    Line(folder, 3, 11, 28, 11, Rgb(250, 220, 120));
    s.push_back({"ICONS", "03_folder.bmp", folder, 24, false});

    s.push_back({"ARROWS", "00_right.bmp", Arrow(0, kBlue), 4, false});
    s.push_back({"ARROWS", "01_down.bmp", Arrow(1, kGreen), 4, true});
    s.push_back({"ARROWS", "02_left.bmp", Arrow(2, kRed), 8, false});
    s.push_back({"ARROWS", "03_up.bmp", Arrow(3, kBlack), 1, true});

    Bitmap ramp = Blank(48, 32, 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) Set(ramp, x, y, Rgb(x * 255 / 47, y * 255 / 31, 128));
    s.push_back({"SHAPES", "00_gradient.bmp", ramp, 24, false});

    // 31 x 11: odd sides, so centring rounds; a frame shows the exact edges.
    Bitmap bar = Blank(31, 11, kGreen);
    Rect(bar, 0, 0, 30, 0, kBlack);
    Rect(bar, 0, 10, 30, 10, kBlack);
    Rect(bar, 0, 0, 0, 10, kBlack);
    Rect(bar, 30, 0, 30, 10, kBlack);
    Set(bar, 1, 1, kRed);
    s.push_back({"SHAPES", "01_bar.bmp", bar, 32, false});

    Bitmap flag = Blank(20, 12, kWhite);
    Rect(flag, 0, 0, 19, 3, kRed);
    Rect(flag, 0, 8, 19, 11, kBlue);
    s.push_back({"SHAPES", "02_stripes.bmp", flag, 8, true});

    Bitmap board = Blank(33, 17, kWhite);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            if (((x / 4) + (y / 4)) % 2 == 0) Set(board, x, y, kGrey);
    s.push_back({"SHAPES", "03_board.bmp", board, 1, false});
    return s;
}

}  // namespace

bool WriteSamples(const std::wstring& folder, std::string* error, kuttools::native::Replace replace) {
    namespace fs = std::filesystem;
    for (const Sample& s : Samples()) {
        std::string bytes;
        if (!kuttools::EncodeBmp(s.bitmap, s.bpp, s.topDown, &bytes, error)) return false;
        // Folder names need not be ASCII: hand them to the system in its own
        // encoding rather than the locale's.
        const fs::path dir = kuttools::native::FsPath(folder) / s.module;
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec) {
            *error = "cannot create the folder " + dir.u8string() + ": " + ec.message();
            return false;
        }
        const fs::path file = dir / s.file;
        const std::wstring wide = kuttools::native::FromFsPath(file);
        if (kuttools::native::WriteFileAtomic(wide, bytes.data(), bytes.size(), error, replace) == 1) return false;
    }
    return true;
}

}  // namespace kutcli
