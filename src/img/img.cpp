// Image cache: the index of the image file, the object-cache client and the
// IMG_ functions. The helpers (LoadIndex, FreeIndex, SeekImage, LoadLabels,
// CacheCallback) stay in the anonymous namespace without the IMG_ prefix,
// which marks the exported functions.
#include "kut/img.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "img/state.h"
#include "kbase/kbase.h"
#include "support/alloc.h"
#include "platform/platform.h"

namespace {

IMG_STATE g_state;  // zero at load time: no file, no index, no cache

// The image file's name may be set and asked for from any thread (a host's
// user interface names the file while a worker draws), so g_state.path is
// read and written only under this lock; the rest of g_state belongs to the
// one thread that uses the image functions at a time.
std::mutex g_pathLock;
// What IMG_File returns: one per thread, so that a name handed out is not
// rewritten by another thread's call.
thread_local wchar_t g_fileName[KUT_PATH_MAX];

void PathSnapshot(wchar_t* out) {
    std::lock_guard<std::mutex> lock(g_pathLock);
    std::wmemcpy(out, g_state.path, KUT_PATH_MAX);
}

void SetPath(const wchar_t* path) {
    std::lock_guard<std::mutex> lock(g_pathLock);
    std::wmemcpy(g_state.path, path, KUT_PATH_MAX);
}

constexpr std::size_t kEntryBytes = 8;

// ---- the object cache's client -------------------------------------------
// The callback sees the cache only through the layout that any object cache
// of the product keeps: the callback pointer at 0 of the control block, the
// entry count at 26, the entry table at 40, an entry's use value at 4.

short BlockCount(const CACHE_BLOCK* block) {
    short n;
    std::memcpy(&n, reinterpret_cast<const unsigned char*>(block) + 26, sizeof n);
    return n;
}

void** BlockTable(const CACHE_BLOCK* block) {
    void** table;
    std::memcpy(&table, reinterpret_cast<const unsigned char*>(block) + 40, sizeof table);
    return table;
}

int UseOf(const void* entry) {
    int use;
    std::memcpy(&use, static_cast<const unsigned char*>(entry) + 4, sizeof use);
    return use;
}

IMG_LABEL LabelAt(intptr_t p) {
    IMG_LABEL l;
    // The cache callback's interface carries the label's address as intptr_t.
    std::memcpy(&l, reinterpret_cast<const void*>(p), sizeof l);  // NOLINT(performance-no-int-to-ptr)
    return l;
}

intptr_t CacheCallback(CACHE_BLOCK* block, short op, intptr_t a, intptr_t b) {
    switch (op) {
    case CACHE_OP_SORT: {
        void** table = BlockTable(block);
        const short n = BlockCount(block);
        if (table && n > 1) {
            std::sort(table, table + n, [](const void* x, const void* y) { return UseOf(x) > UseOf(y); });
        }
        return 0;
    }
    case CACHE_OP_ALLOC: return a > 0 ? reinterpret_cast<intptr_t>(kut::mem::Calloc(1, static_cast<std::size_t>(a))) : 0;
    case CACHE_OP_FREE:
        kut::mem::Free(reinterpret_cast<void*>(a));  // NOLINT(performance-no-int-to-ptr): see LabelAt
        return 0;
    case CACHE_OP_COMPARE: {
        const IMG_LABEL x = LabelAt(a), y = LabelAt(b);
        return x.module != y.module ? x.module - y.module : x.image - y.image;
    }
    case CACHE_OP_FIND: {
        CACHE_CALLBACK compare;
        std::memcpy(&compare, block, sizeof compare);
        void** table = BlockTable(block);
        const short n = BlockCount(block);
        for (short i = 0; table && i < n; ++i) {
            void* label = CACHE_LabelPtr(block, table[i]);
            if (compare(block, CACHE_OP_COMPARE, a, reinterpret_cast<intptr_t>(label)) == 0) {
                return reinterpret_cast<intptr_t>(CACHE_ObjectPtr(block, table[i]));
            }
        }
        return 0;
    }
    case CACHE_OP_LABEL_OFFSET: return CACHE_LABEL_OFFSET;
    case CACHE_OP_OBJECT_OFFSET: return CACHE_OBJECT_OFFSET;
    default: return 0;
    }
}

// ---- the index -------------------------------------------------------------

void FreeModules(IMG_MODULE* modules, short count) {
    if (!modules) return;
    for (short i = 0; i < count; ++i) kut::mem::Free(modules[i].table);
    kut::mem::Free(modules);
}

void FreeIndex() {
    if (g_state.stream) {
        std::fclose(g_state.stream);
        g_state.stream = nullptr;
    }
    FreeModules(g_state.modules, g_state.moduleCount);
    g_state.moduleCount = 0;
    g_state.modules = nullptr;
}

bool ReadExactly(std::FILE* f, void* buf, std::size_t n) { return n > 0 && std::fread(buf, 1, n, f) == n; }

short LittleShort(const unsigned char* p) { return static_cast<short>(p[0] | (p[1] << 8)); }

// The name field is single-byte text widened by sign extension, as 16-bit
// characters: 0x80..0xFF become 0xFF80..0xFFFF. A field without a NUL gives
// its first 7 characters.
void WidenName(const unsigned char field[8], wchar_t name[8]) {
    int i = 0;
    for (; i < 7 && field[i]; ++i) { name[i] = static_cast<wchar_t>(field[i] < 0x80 ? field[i] : 0xFF00u | field[i]); }
    name[i] = L'\0';
}

// Reads the index of the file named in `path`; the live index is replaced
// only when the whole index was read.
short LoadIndex() {
    wchar_t path[KUT_PATH_MAX];
    PathSnapshot(path);
    std::FILE* stream = kut::platform::OpenFile(path, "rb");
    if (!stream) return -1;
    std::rewind(stream);
    unsigned char word[2];
    if (!ReadExactly(stream, word, sizeof word)) {
        std::fclose(stream);
        return -1;
    }
    const short count = LittleShort(word);
    // A zero count is an empty index; one record is allocated all the same so
    // that an empty index is not mistaken for a failed allocation.
    auto* modules = count < 0 ? nullptr : static_cast<IMG_MODULE*>(kut::mem::Calloc(count > 0 ? count : 1, sizeof(IMG_MODULE)));
    if (!modules) {
        std::fclose(stream);
        return -1;
    }
    short done = 0;
    for (; done < count; ++done) {
        unsigned char name[8], images[2], ignored[4];
        if (!ReadExactly(stream, name, sizeof name) || !ReadExactly(stream, images, sizeof images) ||
            !ReadExactly(stream, ignored, sizeof ignored)) {
            break;
        }
        IMG_MODULE& m = modules[done];
        WidenName(name, m.name);
        m.count = LittleShort(images);
        if (m.count <= 0) break;  // a zero-length table read is a short read
        m.table = static_cast<unsigned char*>(kut::mem::Calloc(static_cast<std::size_t>(m.count), kEntryBytes));
        if (!m.table || !ReadExactly(stream, m.table, kEntryBytes * static_cast<std::size_t>(m.count))) break;
    }
    if (done < count) {
        FreeModules(modules, count);
        std::fclose(stream);
        return -1;
    }
    if (!g_state.keepOpen) {
        std::fclose(stream);
        stream = nullptr;
    }
    FreeIndex();
    g_state.stream = stream;
    g_state.moduleCount = count;
    g_state.modules = modules;
    return 0;
}

short SeekImage(const IMG_LABEL& label) {
    if (label.module < 0 || label.module >= g_state.moduleCount) return -1;
    const IMG_MODULE& m = g_state.modules[label.module];
    if (label.image < 0 || label.image >= m.count || !g_state.stream) return -1;
    const unsigned char* e = m.table + kEntryBytes * static_cast<std::size_t>(label.image);
    const auto pos =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(e[0]) | (static_cast<std::uint32_t>(e[1]) << 8) |
                                  (static_cast<std::uint32_t>(e[2]) << 16) | (static_cast<std::uint32_t>(e[3]) << 24));
    return std::fseek(g_state.stream, pos, SEEK_SET) == 0 ? 0 : -1;
}

bool OpenIfNeeded() {
    if (!g_state.stream) {
        wchar_t path[KUT_PATH_MAX];
        PathSnapshot(path);
        g_state.stream = kut::platform::OpenFile(path, "rb");
    }
    return g_state.stream != nullptr;
}

void CloseUnlessKept() {
    if (!g_state.keepOpen && g_state.stream) {
        std::fclose(g_state.stream);
        g_state.stream = nullptr;
    }
}

void LoadLabels(const IMG_LABEL* labels, short count) {
    for (short i = 0; labels && i < count; ++i) {
        const IMG_LABEL* label = &labels[i];
        if (CACHE_CheckExist(&g_state.cache) != 0) break;
        if (CACHE_FindObject(&g_state.cache, label, nullptr, nullptr)) continue;
        if (!OpenIfNeeded()) return;
        if (SeekImage(*label) != 0) continue;
        const int bytes = GRAF_BMP_Size(g_state.stream);
        if (bytes <= 0) continue;
        void* object = nullptr;
        if (CACHE_MakeRoom(&g_state.cache, label, bytes, &object) != 0) continue;
        if (GRAF_BMP_Load(g_state.stream, object) != 0) CACHE_FlushObject(&g_state.cache, label);
    }
    CloseUnlessKept();
}

// Collects the image numbers after `module` up to the first -1 as labels of
// that module; numbers without an image are left out.
template <typename Fn>
void ForEachListed(const wchar_t* module, va_list args, Fn fn) {
    for (;;) {
        const int n = va_arg(args, int);
        if (n == -1) break;
        IMG_LABEL label;
        if (n >= SHRT_MIN && n <= SHRT_MAX && IMG_CreateLabel(module, static_cast<short>(n), &label) == 0) fn(label);
    }
}

}  // namespace

extern "C" {

void IMG_SetImgFileName(const wchar_t* base) {
    // Built in place: naming the file needs no memory.
    const wchar_t* stem = base && *base ? base : L"kestoimg";
    const std::size_t len = std::wcslen(stem);
    wchar_t name[KUT_PATH_MAX];
    wchar_t path[KUT_PATH_MAX];
    path[0] = L'\0';
    if (len + 4 < KUT_PATH_MAX) {
        std::wcscpy(name, stem);
        std::wcscat(name, L".img");
        REP_Repert(0, 2, name, path);
    }
    SetPath(path);
}

wchar_t* IMG_File(void) {
    wchar_t path[KUT_PATH_MAX];
    PathSnapshot(path);
    if (!path[0]) {
        IMG_SetImgFileName(nullptr);
        PathSnapshot(path);
    }
    // The name and extension: what follows the last separator (and, on
    // Windows, the drive).
    const wchar_t* base = path;
#if defined(_WIN32)
    if (base[0] && base[1] == L':') base += 2;
#endif
    for (const wchar_t* p = base; *p; ++p) {
#if defined(_WIN32)
        if (*p == L'\\' || *p == L'/') base = p + 1;
#else
        if (*p == L'/') base = p + 1;
#endif
    }
    std::wcscpy(g_fileName, base);
    return g_fileName;
}

short IMG_Init(short kilobytes) {
    const int bytes = kilobytes < 1 ? 0 : kilobytes * 1024;
    g_state.keepOpen = bytes == 0 ? 1 : 0;
    IMG_File();
    if (LoadIndex() != 0) return -1;
    CACHE_Init(&g_state.cache, CacheCallback, bytes);
    return 0;
}

void IMG_SetImgPathFileName(const wchar_t* path) {
    const std::size_t len = path ? std::wcslen(path) : 0;
    wchar_t copy[KUT_PATH_MAX] = {};
    // A path that does not fit names no file.
    if (len < KUT_PATH_MAX && len) std::wcscpy(copy, path);
    SetPath(copy);
    if (LoadIndex() != 0) return;
    CACHE_Init(&g_state.cache, CacheCallback, 0);
}

void IMG_Close(void) {
    FreeIndex();
    const wchar_t none[KUT_PATH_MAX] = {};
    SetPath(none);
    CACHE_Close(&g_state.cache);
}

short IMG_CreateLabel(const wchar_t* module, short image, IMG_LABEL* label) {
    if (label) label->module = label->image = -1;
    if (!module) return -1;
    for (short i = 0; i < g_state.moduleCount; ++i) {
        const IMG_MODULE& m = g_state.modules[i];
        if (std::wcscmp(m.name, module) != 0) continue;
        if (image < 0 || image >= m.count) return -1;
        if (label) {
            label->module = i;
            label->image = image;
        }
        return 0;
    }
    return -1;
}

short IMG_ImgSize(const wchar_t* module, short image, short* width, short* height) {
    if (width) *width = 0;
    if (height) *height = 0;
    IMG_LABEL label;
    if (IMG_CreateLabel(module, image, &label) != 0) return -1;
    LoadLabels(&label, 1);
    if (const GRAF_BMP_INFO* info = GRAF_BMP_Info(CACHE_GetObject(&g_state.cache, &label, nullptr))) {
        if (width) *width = info->width;
        if (height) *height = info->height;
        return 0;
    }
    if (!OpenIfNeeded()) return -1;
    short result = -1;
    if (SeekImage(label) == 0) {
        if (const GRAF_BMP_INFO* info = GRAF_BMP_FInfo(g_state.stream)) {
            if (width) *width = info->width;
            if (height) *height = info->height;
            result = 0;
        }
    }
    CloseUnlessKept();
    return result;
}

short IMG_Show(const wchar_t* module, short image, short x, short y, short centred) {
    IMG_LABEL label;
    if (IMG_CreateLabel(module, image, &label) != 0) return -1;
    LoadLabels(&label, 1);
    if (void* object = CACHE_GetObject(&g_state.cache, &label, nullptr)) {
        if (centred) {
            if (const GRAF_BMP_INFO* info = GRAF_BMP_Info(object)) {
                x = static_cast<short>(x - info->width / 2);
                y = static_cast<short>(y - info->height / 2);
            }
        }
        GRAF_BMP_Show(x, y, object);
        return 0;
    }
    if (!OpenIfNeeded()) return -1;
    bool failed = false;
    if (centred) {
        const GRAF_BMP_INFO* info = SeekImage(label) == 0 ? GRAF_BMP_FInfo(g_state.stream) : nullptr;
        if (info) {
            x = static_cast<short>(x - info->width / 2);
            y = static_cast<short>(y - info->height / 2);
        } else {
            failed = true;
        }
    }
    if (!failed) failed = SeekImage(label) != 0 || GRAF_BMP_FRead(x, y, g_state.stream) != 0;
    CloseUnlessKept();
    return failed ? -1 : 0;
}

void* IMG_GetFromCache(const wchar_t* module, short image, int* size) {
    if (size) *size = 0;
    IMG_LABEL label;
    if (IMG_CreateLabel(module, image, &label) != 0) return nullptr;
    LoadLabels(&label, 1);
    return CACHE_GetObject(&g_state.cache, &label, size);
}

short IMG_GetFromFile(const wchar_t* module, short image, void* buffer, int* size) {
    if ((buffer == nullptr) == (size == nullptr)) return -1;
    IMG_LABEL label;
    if (IMG_CreateLabel(module, image, &label) != 0) return -1;
    if (!OpenIfNeeded()) return -1;
    const bool seekFailed = SeekImage(label) != 0;
    int bytes = 0;
    bool failed = seekFailed;
    if (!failed) {
        bytes = GRAF_BMP_Size(g_state.stream);
        failed = bytes <= 0;
    }
    if (buffer && !failed) failed = GRAF_BMP_Load(g_state.stream, buffer) != 0;
    if (size) *size = seekFailed ? 0 : bytes;
    CloseUnlessKept();
    return failed ? -1 : 0;
}

void IMG_ListToCache(const wchar_t* module, ...) {
    va_list args;
    va_start(args, module);
    va_list again;
    va_copy(again, args);
    long n = 0;
    while (va_arg(args, int) != -1) ++n;
    va_end(args);
    if (n > SHRT_MAX) n = SHRT_MAX;
    auto* labels = static_cast<IMG_LABEL*>(kut::mem::Calloc(n > 0 ? static_cast<std::size_t>(n) : 1, sizeof(IMG_LABEL)));
    if (!labels) {
        va_end(again);
        return;
    }
    short kept = 0;
    ForEachListed(module, again, [&](const IMG_LABEL& label) {
        if (kept < n) labels[kept++] = label;
    });
    va_end(again);
    LoadLabels(labels, kept);
    kut::mem::Free(labels);
}

void IMG_LabelsToCache(IMG_LABEL* labels, short count) { LoadLabels(labels, count); }

void IMG_Flush(void) { CACHE_Flush(&g_state.cache); }

void IMG_FlushList(const wchar_t* module, ...) {
    va_list args;
    va_start(args, module);
    ForEachListed(module, args, [](const IMG_LABEL& label) { CACHE_FlushObject(&g_state.cache, &label); });
    va_end(args);
}

void IMG_FlushLabels(IMG_LABEL* labels, short count) {
    // Counted in int: count - 1 must not wrap -32768 round to 32767. A count
    // below 1 names no label, and the array is not read.
    if (!labels) return;
    for (int i = count - 1; i >= 0; --i) CACHE_FlushObject(&g_state.cache, &labels[i]);
}

void IMG_FlushModule(const wchar_t* module) {
    if (!module) return;
    for (short m = 0; m < g_state.moduleCount; ++m) {
        if (std::wcscmp(g_state.modules[m].name, module) != 0) continue;
        for (short i = 0; i < g_state.modules[m].count; ++i) {
            const IMG_LABEL label{m, i};
            CACHE_FlushObject(&g_state.cache, &label);
        }
    }
}

}  // extern "C"
