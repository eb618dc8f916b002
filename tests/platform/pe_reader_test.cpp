// The PE string-table reader against hand-made and damaged files.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "kut/kut_ext.h"
#include "langlib_writer.h"
#include "platform/pe_reader.h"
#include "testutil.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2, 0);
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Directory table with `ids` id entries at `at`.
void Dir(Bytes& b, std::size_t at, std::uint32_t ids, std::uint32_t named = 0) {
    Put32(b, at, 0);
    Put32(b, at + 4, 0);
    Put32(b, at + 8, 0);
    Put16(b, at + 12, named);
    Put16(b, at + 14, ids);
}
void Entry(Bytes& b, std::size_t at, std::uint32_t id, std::uint32_t target) {
    Put32(b, at, id);
    Put32(b, at + 4, target);
}
// Counted strings, one per slot from slot 0.
Bytes Block(const std::vector<std::u16string>& slots) {
    Bytes b;
    for (std::size_t i = 0; i < 16; ++i) {
        const std::u16string s = i < slots.size() ? slots[i] : std::u16string();
        std::size_t at = b.size();
        Put16(b, at, static_cast<std::uint32_t>(s.size()));
        for (char16_t c : s) Put16(b, b.size(), c);
    }
    return b;
}

constexpr std::uint32_t kSub = 0x80000000u;

// A PE image put together field by field.
struct HandPe {
    struct Section {
        std::uint32_t va, vsize, raw, rawSize;
        Bytes data;  // placed at `raw` in the file
    };
    std::uint16_t magic = 0x20B;
    std::uint32_t dataDirs = 16;
    std::uint32_t lfanew = 0x40;
    std::uint32_t resRva = 0x3000;
    std::uint32_t resSize = 0x100;
    int sectionCountOverride = -1;
    std::vector<Section> sections;

    Bytes Build() const {
        Bytes b;
        Put16(b, 0, 0x5A4D);
        Put32(b, 0x3C, lfanew);
        const std::size_t pe = lfanew;
        Put32(b, pe, 0x00004550);
        Put16(b, pe + 4, 0x8664);
        Put16(b, pe + 6, sectionCountOverride >= 0 ? static_cast<std::uint32_t>(sectionCountOverride)
                                                   : static_cast<std::uint32_t>(sections.size()));
        const std::uint32_t dirsAt = magic == 0x10B ? 96 : 112;
        const std::uint32_t optSize = dirsAt + 8 * dataDirs;
        Put16(b, pe + 20, optSize);
        Put16(b, pe + 22, 0x2022);
        const std::size_t opt = pe + 24;
        Put16(b, opt, magic);
        Put32(b, opt + (magic == 0x10B ? 92 : 108), dataDirs);
        if (dataDirs >= 3) {
            Put32(b, opt + dirsAt + 16, resRva);
            Put32(b, opt + dirsAt + 20, resSize);
        }
        for (std::uint32_t i = 0; i < 8 * dataDirs; ++i) {
            if (b.size() <= opt + dirsAt + i) b.push_back(0);
        }
        std::size_t sh = opt + optSize;
        for (const Section& s : sections) {
            Put32(b, sh + 36, 0x40000040u);
            const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
            for (int k = 0; k < 8; ++k) b[sh + k] = static_cast<unsigned char>(name[k]);
            Put32(b, sh + 8, s.vsize);
            Put32(b, sh + 12, s.va);
            Put32(b, sh + 16, s.rawSize);
            Put32(b, sh + 20, s.raw);
            sh += 40;
        }
        for (const Section& s : sections) {
            if (s.data.empty()) continue;
            if (b.size() < s.raw + s.data.size()) b.resize(s.raw + s.data.size(), 0);
            std::copy(s.data.begin(), s.data.end(), b.begin() + s.raw);
        }
        return b;
    }
};

// The resource section of the hand-made files, at VA 0x3000:
//   0x00 root: type 6 -> 0x18;  0x18 names: block 1 -> 0x30
//   0x30 languages: 0x409 -> data entry 0x48;  0x48 data entry -> 0x60
//   0x60 the block: id 0 "zero", id 1 "abc"
constexpr std::uint32_t kVa = 0x3000;
constexpr std::size_t kRoot = 0x00, kTypes = 0x18, kLangs = 0x30, kData = 0x48, kBlock = 0x60;

Bytes GoodRsrc(std::uint32_t va = kVa) {
    Bytes r;
    Dir(r, kRoot, 1);
    Entry(r, kRoot + 16, 6, kSub | kTypes);
    Dir(r, kTypes, 1);
    Entry(r, kTypes + 16, 1, kSub | kLangs);
    Dir(r, kLangs, 1);
    Entry(r, kLangs + 16, 0x409, kData);
    const Bytes block = Block({u"zero", u"abc"});
    Put32(r, kData, va + kBlock);
    Put32(r, kData + 4, static_cast<std::uint32_t>(block.size()));
    r.resize(kBlock);
    r.insert(r.end(), block.begin(), block.end());
    r.resize(0x200, 0);
    return r;
}

HandPe GoodPe(Bytes rsrc = GoodRsrc()) {
    HandPe pe;
    pe.sections.push_back({kVa, 0x200, 0x400, 0x200, std::move(rsrc)});
    return pe;
}

std::u16string Find(const kut::pe::StringTableImage& img, unsigned id) {
    const unsigned char* text = nullptr;
    std::size_t len = 0;
    if (!kut::pe::FindString(img, id, &text, &len)) return u"<absent>";
    std::u16string s;
    for (std::size_t i = 0; i < len; ++i) s += kut::pe::Unit(text, i);
    return s;
}

// The string, or "<absent>" / "<refused>" for the two safe outcomes.
std::u16string Lookup(const Bytes& file, unsigned id) {
    auto img = kut::pe::Parse(file);
    if (!img) return u"<refused>";
    return Find(*img, id);
}

bool Safe(const std::u16string& r) { return r == u"<absent>" || r == u"<refused>"; }

TEST(PeReader, HandMadeFilesRead) {
    EXPECT_EQ(Lookup(GoodPe().Build(), 1), u"abc");
    EXPECT_EQ(Lookup(GoodPe().Build(), 0), u"zero");
    EXPECT_EQ(Lookup(GoodPe().Build(), 2), u"<absent>");
    EXPECT_EQ(Lookup(GoodPe().Build(), 16), u"<absent>");
    HandPe pe32 = GoodPe();
    pe32.magic = 0x10B;
    EXPECT_EQ(Lookup(pe32.Build(), 1), u"abc");
    // Without a resource directory the image is fine and holds nothing.
    HandPe bare = GoodPe();
    bare.resRva = 0;
    bare.resSize = 0;
    EXPECT_EQ(Lookup(bare.Build(), 1), u"<absent>");
}

TEST(PeReader, BrokenHeadersAreRefused) {
    EXPECT_EQ(Lookup({}, 1), u"<refused>");
    const std::string text = "just some text, not a library at all";
    EXPECT_EQ(Lookup(Bytes(text.begin(), text.end()), 1), u"<refused>");
    EXPECT_EQ(Lookup(Bytes{'M', 'Z'}, 1), u"<refused>");

    const Bytes good = GoodPe().Build();
    EXPECT_EQ(Lookup(Bytes(good.begin(), good.begin() + 63), 1), u"<refused>");
    EXPECT_EQ(Lookup(Bytes(good.begin(), good.begin() + 0x40 + 30), 1), u"<refused>");

    for (std::uint32_t lfanew : {0x7FFFFFF0u, 0xFFFFFFFFu, 0xFFFFFFF0u}) {
        Bytes b = good;
        Put32(b, 0x3C, lfanew);
        EXPECT_EQ(Lookup(b, 1), u"<refused>") << lfanew;
    }
    Bytes badSig = good;
    badSig[0x41] = 'X';
    EXPECT_EQ(Lookup(badSig, 1), u"<refused>");

    HandPe rom = GoodPe();
    rom.magic = 0x107;
    EXPECT_EQ(Lookup(rom.Build(), 1), u"<refused>");
    HandPe twoDirs = GoodPe();
    twoDirs.dataDirs = 2;
    EXPECT_EQ(Lookup(twoDirs.Build(), 1), u"<refused>");
    HandPe tooMany = GoodPe();
    tooMany.sectionCountOverride = 97;
    EXPECT_EQ(Lookup(tooMany.Build(), 1), u"<refused>");
    HandPe tableOutside = GoodPe();
    tableOutside.sectionCountOverride = 96;  // 96 headers do not fit before the data
    Bytes cut = tableOutside.Build();
    cut.resize(0x40 + 24 + 240 + 40 * 10);
    EXPECT_EQ(Lookup(cut, 1), u"<refused>");
}

TEST(PeReader, AddressesOutsideTheFileAreRefused) {
    HandPe beyond = GoodPe();
    beyond.resRva = 0x90000;  // in no section
    EXPECT_EQ(Lookup(beyond.Build(), 1), u"<refused>");

    HandPe rawOutside = GoodPe();
    rawOutside.sections[0].raw = 0xFFFFFE00u;
    rawOutside.sections[0].data.clear();
    EXPECT_EQ(Lookup(rawOutside.Build(), 1), u"<refused>");

    // Section claims 0x200 bytes of data, the file ends after the root.
    Bytes truncated = GoodPe().Build();
    truncated.resize(0x400 + 0x20);
    EXPECT_EQ(Lookup(truncated, 1), u"<refused>");

    // Only the part of a section backed by file data counts: a virtual
    // size beyond the raw size does not extend what can be read.
    HandPe sparse = GoodPe();
    sparse.resRva = kVa + 0x200;
    sparse.sections[0].vsize = 0x10000;
    EXPECT_EQ(Lookup(sparse.Build(), 1), u"<refused>");
}

TEST(PeReader, DirectoryLoopsEndTheWalk) {
    // Root whose type-6 entry is the root itself.
    Bytes self = GoodRsrc();
    Entry(self, kRoot + 16, 6, kSub | kRoot);
    EXPECT_TRUE(Safe(Lookup(GoodPe(self).Build(), 1)));

    // Block directory pointing back at the type directory, at the root, or
    // at itself.
    for (std::size_t target : {kTypes, kRoot, kLangs}) {
        Bytes loop = GoodRsrc();
        if (target == kLangs) {
            Entry(loop, kLangs + 16, 0x409, kSub | kLangs);
        } else {
            Entry(loop, kTypes + 16, 1, kSub | static_cast<std::uint32_t>(target));
        }
        EXPECT_TRUE(Safe(Lookup(GoodPe(loop).Build(), 1))) << target;
        EXPECT_TRUE(Safe(Lookup(GoodPe(loop).Build(), 6))) << target;
    }

    // A fourth level (the language entry naming a directory) is no table.
    Bytes deep = GoodRsrc();
    Entry(deep, kLangs + 16, 0x409, kSub | kRoot);
    EXPECT_TRUE(Safe(Lookup(GoodPe(deep).Build(), 1)));
}

TEST(PeReader, EntryCountsAreCappedByTheSection) {
    // Counts far larger than the section: the real entries still work.
    Bytes r = GoodRsrc();
    Put16(r, kRoot + 12, 0xFFFF);
    Put16(r, kRoot + 14, 0xFFFF);
    Put16(r, kTypes + 14, 0xFFFF);
    Put16(r, kLangs + 12, 0xFFFF);
    EXPECT_EQ(Lookup(GoodPe(r).Build(), 1), u"abc");

    // The same counts at the very end of the section.
    Bytes tail(0x200, 0);
    Dir(tail, 0x1F0, 0xFFFF, 0xFFFF);
    HandPe pe = GoodPe(tail);
    pe.resRva = kVa + 0x1F0;
    EXPECT_TRUE(Safe(Lookup(pe.Build(), 1)));
}

TEST(PeReader, DataEntriesAreBoundedByTheirSection) {
    for (std::uint32_t size : {0xFFFFF000u, 0xFFFFFFFFu, 0x201u}) {
        Bytes r = GoodRsrc();
        Put32(r, kData + 4, size);
        EXPECT_EQ(Lookup(GoodPe(r).Build(), 1), u"<absent>") << size;
    }
    // An address that wraps around in 32 bits.
    Bytes wrap = GoodRsrc();
    Put32(wrap, kData, 0xFFFFFFF0u);
    Put32(wrap, kData + 4, 0x20);
    EXPECT_EQ(Lookup(GoodPe(wrap).Build(), 1), u"<absent>");
    // Zero size: the block is empty.
    Bytes empty = GoodRsrc();
    Put32(empty, kData + 4, 0);
    EXPECT_EQ(Lookup(GoodPe(empty).Build(), 1), u"<absent>");
}

TEST(PeReader, CountedStringsStopAtTheEntrySize) {
    // "hi", then a count of 500 that runs past the entry.
    Bytes r = GoodRsrc();
    Put16(r, kBlock, 2);
    Put16(r, kBlock + 2, u'h');
    Put16(r, kBlock + 4, u'i');
    Put16(r, kBlock + 6, 500);
    Put32(r, kData + 4, 8 + 20);
    EXPECT_EQ(Lookup(GoodPe(r).Build(), 0), u"hi");
    EXPECT_EQ(Lookup(GoodPe(r).Build(), 1), u"<absent>");
    EXPECT_EQ(Lookup(GoodPe(r).Build(), 2), u"<absent>");
    // A size that ends inside a count.
    Put32(r, kData + 4, 7);
    EXPECT_EQ(Lookup(GoodPe(r).Build(), 0), u"hi");
    EXPECT_EQ(Lookup(GoodPe(r).Build(), 1), u"<absent>");
}

TEST(PeReader, DataAddressesAreImageAddresses) {
    // The string data in a second section: found only by mapping the data
    // entry's RVA through the section table.
    Bytes r = GoodRsrc();
    Put32(r, kData, 0x8000 + 0x10);
    HandPe pe = GoodPe(r);
    Bytes data(0x10, 0xEE);
    const Bytes block = Block({u"", u"elsewhere"});
    data.insert(data.end(), block.begin(), block.end());
    Put32(r, kData + 4, static_cast<std::uint32_t>(block.size()));
    pe.sections[0].data = r;
    pe.sections.push_back({0x8000, 0x100, 0x800, 0x100, data});
    EXPECT_EQ(Lookup(pe.Build(), 1), u"elsewhere");
    EXPECT_EQ(Lookup(pe.Build(), 0), u"<absent>");
}

TEST(PeReader, FirstLanguageOfABlockWins) {
    // Block 1 -> languages at 0x140: 0x407 (data entry 0x100), then 0x409.
    Bytes r = GoodRsrc();
    Entry(r, kTypes + 16, 1, kSub | 0x140);
    Dir(r, 0x140, 2);
    Entry(r, 0x150, 0x407, 0x100);
    Entry(r, 0x158, 0x409, kData);
    const Bytes german = Block({u"", u"Deutsch"});
    Put32(r, 0x100, kVa + 0x170);
    Put32(r, 0x104, static_cast<std::uint32_t>(german.size()));
    std::copy(german.begin(), german.end(), r.begin() + 0x170);
    EXPECT_EQ(Lookup(GoodPe(r).Build(), 1), u"Deutsch");
}

TEST(PeReader, SharedAndOverlappingBlocks) {
    // Every block id names the same languages directory: one decoded copy.
    Bytes shared(0x8200, 0);
    Dir(shared, 0, 1);
    Entry(shared, 16, 6, kSub | 0x18);
    Dir(shared, 0x18, 4096);
    for (std::uint32_t i = 0; i < 4096; ++i) Entry(shared, 0x28 + 8 * i, i + 1, kSub | 0x8100);
    Dir(shared, 0x8100, 1);
    Entry(shared, 0x8110, 0x409, 0x8118);
    const Bytes block = Block({u"", u"same"});
    Put32(shared, 0x8118, kVa + 0x8130);
    Put32(shared, 0x811C, static_cast<std::uint32_t>(block.size()));
    std::copy(block.begin(), block.end(), shared.begin() + 0x8130);
    HandPe pe;
    pe.sections.push_back({kVa, 0x8200, 0x400, 0x8200, shared});
    auto img = kut::pe::Parse(pe.Build());
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(Find(*img, 1), u"same");
    EXPECT_EQ(Find(*img, 65521), u"same");
    EXPECT_EQ(Find(*img, 2), u"<absent>");

    // 1024 blocks, each with its own data entry over the same long strings,
    // each starting two bytes further: the index stays small (nothing is
    // copied per block) and every block reads what its entry points at.
    Bytes overlap(0x20000, 0);
    Dir(overlap, 0, 1);
    Entry(overlap, 16, 6, kSub | 0x18);
    Dir(overlap, 0x18, 1024);
    for (std::uint32_t i = 0; i < 1024; ++i) {
        const std::uint32_t lang = 0x2100 + 0x28 * i;
        Entry(overlap, 0x28 + 8 * i, i + 1, kSub | lang);
        Dir(overlap, lang, 1);
        Entry(overlap, lang + 16, 0x409, lang + 24);
        Put32(overlap, lang + 24, kVa + 0x10000 + 2 * i);
        Put32(overlap, lang + 28, 0x8000);
    }
    for (std::size_t at = 0x10000; at < 0x20000; at += 2) Put16(overlap, at, 0x0FFF);
    HandPe big;
    big.sections.push_back({kVa, 0x20000, 0x400, 0x20000, overlap});
    auto many = kut::pe::Parse(big.Build());
    ASSERT_NE(many, nullptr);
    const std::u16string run(0x0FFF, char16_t(0x0FFF));
    for (unsigned b = 1; b <= 1024; b += 97) {
        EXPECT_EQ(Find(*many, (b - 1) * 16), run) << b;
        EXPECT_EQ(Find(*many, (b - 1) * 16 + 3), run) << b;
        EXPECT_EQ(Find(*many, (b - 1) * 16 + 4), u"<absent>") << "four counts fill 0x8000 bytes";
    }
}

// Every prefix of a real library: whatever is still found is the original
// text, never garbage.
TEST(PeReader, TruncatedLibrariesNeverInventText) {
    std::map<unsigned, std::u16string> strings;
    for (unsigned id = 1; id <= 60; ++id) strings[id * 7] = u"text " + std::u16string(id % 9, u'x');
    Bytes full;
    std::string error;
    ASSERT_TRUE(kuttools::BuildLanguageLibrary(strings, &full, &error)) << error;
    const std::size_t used = 0x200 + Get32(full, Get32(full, 0x3C) + 24 + 240 + 8);  // end of the table data
    for (std::size_t n = 0; n <= full.size(); ++n) {
        auto img = kut::pe::Parse(full.data(), n);
        if (n < 0x210) {
            EXPECT_EQ(img, nullptr) << "headers or root cut at " << n;
        }
        if (!img) continue;
        for (const auto& kv : strings) {
            const std::u16string got = Find(*img, kv.first);
            ASSERT_TRUE(got == u"<absent>" || got == kv.second) << "prefix " << n << " id " << kv.first;
            if (n >= used) {
                ASSERT_EQ(got, kv.second) << "only padding cut at " << n;
            }
        }
    }
}

// Random damage anywhere in a real library: no crash, no read outside (the
// sanitizer build checks that), lengths within the file.
TEST(PeReader, RandomDamageIsSurvived) {
    std::map<unsigned, std::u16string> strings;
    for (unsigned id = 1; id <= 40; ++id) strings[id * 13] = u"entry";
    Bytes full;
    std::string error;
    ASSERT_TRUE(kuttools::BuildLanguageLibrary(strings, &full, &error)) << error;
    std::mt19937 rng(12345);
    int loaded = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes b = full;
        const int hits = 1 + static_cast<int>(rng() % 4);
        for (int h = 0; h < hits; ++h) {
            // Mostly the headers and directories, where the structure is.
            const std::size_t at = rng() % 4 ? rng() % 0x400 : rng() % b.size();
            b[at] = static_cast<unsigned char>(rng());
        }
        auto img = kut::pe::Parse(b);
        if (!img) continue;
        ++loaded;
        for (unsigned id = 0; id < 600; id += 1 + rng() % 7) {
            const unsigned char* text = nullptr;
            std::size_t len = 0;
            if (kut::pe::FindString(*img, id, &text, &len)) {
                ASSERT_GT(len, 0u);
                ASSERT_LE(len * 2, b.size());
                volatile char16_t last = kut::pe::Unit(text, len - 1);
                (void)last;
            }
        }
    }
    EXPECT_GT(loaded, 0);
}

TEST(PeReader, WrittenImagesKeepTheLoaderRules) {
    for (unsigned count : {0u, 1u, 10000u}) {
        std::map<unsigned, std::u16string> strings;
        for (unsigned id = 1; id <= count; ++id) strings[id] = u"s" + std::u16string(id % 50, u'y');
        Bytes img;
        std::string error;
        ASSERT_TRUE(kuttools::BuildLanguageLibrary(strings, &img, &error)) << error;
        const std::uint32_t pe = Get32(img, 0x3C);
        ASSERT_EQ(Get32(img, pe), 0x00004550u);
        const std::size_t opt = pe + 24;
        EXPECT_EQ(img[opt] | (img[opt + 1] << 8), 0x20B);
        EXPECT_EQ(Get32(img, opt + 16), 0u) << "entry point";
        const std::uint32_t sectionAlign = Get32(img, opt + 32);
        const std::uint32_t fileAlign = Get32(img, opt + 36);
        const std::uint32_t imageSize = Get32(img, opt + 56);
        const std::uint32_t headersSize = Get32(img, opt + 60);
        EXPECT_EQ(imageSize % sectionAlign, 0u);
        EXPECT_EQ(headersSize % fileAlign, 0u);
        const std::size_t sh = opt + 240;
        EXPECT_LE(sh + 40, headersSize);
        const std::uint32_t vsize = Get32(img, sh + 8), va = Get32(img, sh + 12);
        const std::uint32_t rawSize = Get32(img, sh + 16), raw = Get32(img, sh + 20);
        EXPECT_EQ(va % sectionAlign, 0u);
        EXPECT_EQ(raw % fileAlign, 0u);
        EXPECT_EQ(rawSize % fileAlign, 0u);
        EXPECT_GE(rawSize, vsize);
        EXPECT_EQ(imageSize, va + (vsize + sectionAlign - 1) / sectionAlign * sectionAlign);
        EXPECT_EQ(img.size(), static_cast<std::size_t>(raw) + rawSize);
        EXPECT_EQ(Get32(img, opt + 112 + 16), va) << "resource directory at the section start";
        EXPECT_EQ(Get32(img, opt + 112 + 20), vsize);
    }
}

#if !defined(_WIN32)
// Through the loader: a damaged file gives a null handle. (On Windows the
// system loader is in charge of these files.)
TEST(PeReader, DamagedFilesGiveNullHandles) {
    kuttest::TempDir dir;
    Bytes self = GoodRsrc();
    Entry(self, kRoot + 16, 6, kSub | kRoot);
    HandPe beyond = GoodPe();
    beyond.resRva = 0x90000;
    const Bytes files[] = {Bytes{}, Bytes{'M', 'Z', 0, 0}, GoodPe(self).Build(), beyond.Build()};
    int i = 0;
    for (const Bytes& f : files) {
        const std::wstring path = dir.file(L"bad" + std::to_wstring(i++) + L".dll");
        ASSERT_TRUE(kuttest::WriteFile(path, std::string(f.begin(), f.end())));
        EXPECT_EQ(KUT_LangLibOpen(path.c_str()), nullptr) << i;
    }
    EXPECT_EQ(KUT_LangLibOpen(dir.path().c_str()), nullptr) << "a folder";
    EXPECT_EQ(KUT_LangLibOpen(dir.file(L"missing.dll").c_str()), nullptr);
    EXPECT_EQ(KUT_LangLibOpen(nullptr), nullptr);
}
#endif

}  // namespace
