// KUT_LangLib*: opening, reading and checking language libraries for hosts and tools.
#include "kut/kut_ext.h"
#include "langlib/pe_reader.h"
#include "platform/platform.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

extern "C" HMODULE KUT_LangLibOpen(const wchar_t* path) { return kut::platform::LoadLib(path); }

extern "C" int KUT_LangLibString(HMODULE lib, unsigned int id, wchar_t* buf, int cap) {
    return kut::platform::ReadString(lib, id, buf, cap);
}

extern "C" void KUT_LangLibClose(HMODULE lib) { kut::platform::FreeLib(lib); }

// The structure is judged by the portable reader on every platform: the
// system loader reads damaged blocks without a word (Windows hands out what
// lies past a block), so it cannot say what is wrong.
extern "C" int KUT_LangLibCheck(const wchar_t* path, KUT_LangLibProblemFn fn, void* ctx) {
    try {
        std::FILE* f = path ? kut::platform::OpenFile(path, "rb") : nullptr;
        if (!f) return -1;
        std::vector<unsigned char> bytes;
        unsigned char chunk[65536];
        std::size_t n = 0;
        bool ok = true;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
            if (bytes.size() + n > 0xFFFFFFFFu) {
                ok = false;
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        ok = ok && !std::ferror(f);
        std::fclose(f);
        if (!ok) return -1;
        // The block's language chosen for this user, as the strings are read.
        kut::pe::Languages langs;
        kut::platform::ResourceLanguages(&langs.user, &langs.system);
        kut::pe::ImagePtr image = kut::pe::Parse(bytes, langs);
        if (!image) return -1;
        const std::vector<kut::pe::Problem>& problems = kut::pe::Problems(*image);
        if (fn) {
            for (const kut::pe::Problem& p : problems) {
                wchar_t what[96] = {};
                for (std::size_t i = 0; p.what[i] && i + 1 < sizeof what / sizeof what[0]; ++i)
                    what[i] = static_cast<wchar_t>(p.what[i]);
                // The numbers that could not be read; block 0 is the whole table.
                const unsigned first = p.block ? (p.block - 1) * 16 : 0;
                fn(ctx, first + (p.block ? p.firstLost : 0), p.block ? first + 15 : 0xFFFF, what);
            }
        }
        return static_cast<int>(problems.size());
    } catch (...) {  // out of memory
        return -1;
    }
}
