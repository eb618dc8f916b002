// The image index loader on arbitrary bytes, then every IMG_ call on the
// names the index holds: with the cache without memory that
// IMG_SetImgPathFileName sets up, with a small cache from IMG_Init, and with
// the stream kept open (IMG_Init(0)).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_common.h"
#include "kbase/kbase.h"
#include "kut/img.h"

namespace {

struct Name {
    wchar_t text[8];
    short count;
};

// Module names and image counts as the index states them (the first few
// only); names widen as the loader widens them.
std::vector<Name> NamesIn(const std::uint8_t* data, std::size_t size) {
    std::vector<Name> names;
    if (size < 2) return names;
    const int count = static_cast<short>(data[0] | (data[1] << 8));
    std::size_t at = 2;
    for (int m = 0; m < count && names.size() < 6 && at + 14 <= size; ++m) {
        Name n{};
        int i = 0;
        for (; i < 7 && data[at + i]; ++i) {
            n.text[i] = static_cast<wchar_t>(data[at + i] < 0x80 ? data[at + i] : 0xFF00u | data[at + i]);
        }
        n.text[i] = L'\0';
        n.count = static_cast<short>(data[at + 8] | (data[at + 9] << 8));
        names.push_back(n);
        if (n.count <= 0) break;
        at += 14 + 8 * static_cast<std::size_t>(n.count);
    }
    return names;
}

void Exercise(const std::vector<Name>& names) {
    for (const Name& n : names) {
        const short last = n.count < 4 ? n.count : 4;
        for (short image = -1; image <= last; ++image) {
            short w = -1, h = -1;
            if (IMG_ImgSize(n.text, image, &w, &h) != 0 && (w != 0 || h != 0)) std::abort();
            IMG_Show(n.text, image, 3, 5, static_cast<short>(image & 1));
            int cached = -1;
            IMG_GetFromCache(n.text, image, &cached);
            int bytes = 0;
            if (IMG_GetFromFile(n.text, image, nullptr, &bytes) == 0 && bytes > 0 && bytes <= (1 << 20)) {
                std::vector<unsigned char> buf(static_cast<std::size_t>(bytes));
                IMG_GetFromFile(n.text, image, buf.data(), nullptr);
            }
        }
        IMG_ListToCache(n.text, 0, 1, 2, -1);
        IMG_FlushList(n.text, 1, -1);
        IMG_LABEL labels[2];
        IMG_CreateLabel(n.text, 0, &labels[0]);
        IMG_CreateLabel(n.text, 1, &labels[1]);
        IMG_LabelsToCache(labels, 2);
        IMG_FlushLabels(labels, 2);
        IMG_FlushModule(n.text);
    }
    IMG_Flush();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    GRAF_CanvasSize(48, 32);
    const std::wstring path = kutfuzz::WriteInput(L"fuzz.img", data, size);
    const std::vector<Name> names = NamesIn(data, size);
    // keepOpen outlives IMG_Close; a failing IMG_Init (no default file in
    // the scratch folder) clears it, so that every input starts alike.
    IMG_Init(8);
    IMG_Close();
    // Stream closed after every call: the cache without memory, then 8 KiB.
    IMG_SetImgPathFileName(path.c_str());
    Exercise(names);
    IMG_Close();
    IMG_SetImgPathFileName(path.c_str());
    if (IMG_Init(8) == 0) Exercise(names);
    IMG_Close();
    // Stream kept open between calls, also across a reload by path.
    IMG_SetImgPathFileName(path.c_str());
    if (IMG_Init(0) == 0) Exercise(names);
    IMG_SetImgPathFileName(path.c_str());
    Exercise(names);
    IMG_Close();
    return 0;
}
