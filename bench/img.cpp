// Image cache: an image from the object cache against the same image read
// from the file, and loading the index of a large image file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kut/img.h"
#include "testutil.h"

namespace {

void Put16(std::string* s, unsigned v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A 24-bit bottom-up BMP of a w x h gradient.
std::string Bmp(int w, int h) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(w) * 3 + 3) / 4 * 4;
    std::string s = "BM";
    Put32(&s, 54 + stride * h);
    Put32(&s, 0);
    Put32(&s, 54);
    Put32(&s, 40);
    Put32(&s, static_cast<std::uint32_t>(w));
    Put32(&s, static_cast<std::uint32_t>(h));
    Put16(&s, 1);
    Put16(&s, 24);
    for (int i = 0; i < 6; ++i) Put32(&s, 0);
    for (int y = 0; y < h; ++y) {
        std::string row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<char>(x);
            row[3 * x + 1] = static_cast<char>(y);
            row[3 * x + 2] = static_cast<char>(x + y);
        }
        s += row;
    }
    return s;
}

// An image file of `modules` modules named M0, M1 ... of `images` copies of `bmp`.
std::string ImageFile(int modules, int images, const std::string& bmp) {
    std::string s;
    Put16(&s, static_cast<unsigned>(modules));
    std::uint32_t pos = 2 + static_cast<std::uint32_t>(modules) * (14 + 8 * static_cast<std::uint32_t>(images));
    for (int m = 0; m < modules; ++m) {
        std::string name = "M" + std::to_string(m);
        name.resize(8, '\0');
        s += name;
        Put16(&s, static_cast<unsigned>(images));
        Put32(&s, 0);
        for (int i = 0; i < images; ++i) {
            Put32(&s, pos);
            Put32(&s, static_cast<std::uint32_t>(bmp.size()));
            pos += static_cast<std::uint32_t>(bmp.size());
        }
    }
    for (int i = 0; i < modules * images; ++i) s += bmp;
    return s;
}

struct Folder {
    kuttest::TempDir dir;
    Folder(const std::string& bytes) {
        kuttest::WriteFile(dir.file(L"kestoimg.img"), bytes);
        REP_SetRepert(2, dir.path().c_str());
    }
};

void BM_GetFromCache(benchmark::State& state) {
    Folder f(ImageFile(2, 4, Bmp(32, 32)));
    IMG_Init(256);
    if (!IMG_GetFromCache(L"M1", 2, nullptr)) state.SkipWithError("not cached");
    for (auto _ : state) {
        int size = 0;
        benchmark::DoNotOptimize(IMG_GetFromCache(L"M1", 2, &size));
    }
    IMG_Close();
}
BENCHMARK(BM_GetFromCache);

// keepOpen: 0 for a cache with memory (the file is opened and closed by
// every call), 1 for a cache without memory (the stream stays open).
void BM_GetFromFile(benchmark::State& state) {
    Folder f(ImageFile(2, 4, Bmp(32, 32)));
    IMG_Init(state.range(0) ? 0 : 256);
    int size = 0;
    IMG_GetFromFile(L"M1", 2, nullptr, &size);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size > 0 ? size : 1));
    for (auto _ : state) {
        if (IMG_GetFromFile(L"M1", 2, buffer.data(), nullptr) != 0) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    IMG_Close();
}
BENCHMARK(BM_GetFromFile)->ArgName("keepOpen")->Arg(0)->Arg(1);

void BM_Init50x200(benchmark::State& state) {
    Folder f(ImageFile(50, 200, Bmp(2, 2)));
    for (auto _ : state) {
        if (IMG_Init(64) != 0) state.SkipWithError("index not loaded");
    }
    IMG_Close();
}
BENCHMARK(BM_Init50x200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
