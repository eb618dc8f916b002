// The PE string-table reader against hand-made, hostile and damaged files.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kut/kut_ext.h"
#include "langlib_writer.h"
#include "langlib/pe_reader.h"
#include "testutil.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Strings = std::map<unsigned, std::u16string>;

// Little-endian value of `n` bytes at `at`, growing the buffer as needed.
void Put(Bytes& b, std::size_t at, std::uint32_t v, std::size_t n = 4) {
    if (b.size() < at + n) b.resize(at + n, 0);
    for (std::size_t i = 0; i < n; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

constexpr std::uint32_t kSub = 0x80000000u, kVa = 0x3000;
// The resource section of the hand-made files, at kVa: the root (type 6),
// the names (block 1), the languages (0x409), the data entry, the block.
constexpr std::size_t kRoot = 0x00, kTypes = 0x18, kLangs = 0x30, kData = 0x48, kBlock = 0x60;

// A directory entry id -> target at `at`; a directory at `at` with `ids` id entries, the first of them id -> target.
void Entry(Bytes& b, std::size_t at, std::uint32_t id, std::uint32_t target) {
    Put(b, at, id);
    Put(b, at + 4, target);
}
void Dir(Bytes& b, std::size_t at, std::uint32_t ids, std::uint32_t id, std::uint32_t to) {
    Put(b, at + 12, ids << 16);
    Entry(b, at + 16, id, to);
}
// A data entry for `block` placed at `at` in the section.
void Data(Bytes& r, std::size_t entry, std::size_t at, const Bytes& block) {
    Put(r, entry, kVa + static_cast<std::uint32_t>(at));
    Put(r, entry + 4, static_cast<std::uint32_t>(block.size()));
    if (r.size() < at + block.size()) r.resize(at + block.size());
    std::copy(block.begin(), block.end(), r.begin() + static_cast<std::ptrdiff_t>(at));
}
// A string block: counted UTF-16 strings, one per slot.
Bytes Block(const std::vector<std::u16string>& slots) {
    Bytes b;
    for (std::size_t i = 0; i < 16; ++i) {
        const std::u16string s = i < slots.size() ? slots[i] : u"";
        Put(b, b.size(), static_cast<std::uint32_t>(s.size()), 2);
        for (char16_t c : s) Put(b, b.size(), c, 2);
    }
    return b;
}

Bytes GoodRsrc() {
    Bytes r(0x200, 0);
    Dir(r, kRoot, 1, 6, kSub | kTypes);
    Dir(r, kTypes, 1, 1, kSub | kLangs);
    Dir(r, kLangs, 1, 0x409, kData);
    Data(r, kData, kBlock, Block({u"zero", u"abc"}));
    return r;
}

// A PE image put together field by field: PE header at 0x40, one section
// holding the resources; the file offsets of the rest can be patched.
struct HandPe {
    struct Section {
        std::uint32_t va, vsize, raw, rawSize;
        Bytes data;
    };  // data placed at `raw` in the file
    std::uint32_t magic = 0x20B, resRva = kVa, resSize = 0x100;
    std::vector<Section> sections;

    explicit HandPe(Bytes rsrc = GoodRsrc()) { sections.push_back({kVa, 0x200, 0x400, 0x200, std::move(rsrc)}); }
    Bytes Build() const {
        Bytes b;
        const std::uint32_t dirsAt = magic == 0x10B ? 96 : 112, optSize = dirsAt + 8 * 16, opt = 0x40 + 24;
        // "MZ", e_lfanew, "PE", machine and section count, optional header size and flags, magic, 16 data
        // directories, the resource directory.
        Put(b, 0, 0x5A4D, 2), Put(b, 0x3C, 0x40), Put(b, 0x40, 0x4550),
            Put(b, 0x44, 0x8664 | std::uint32_t(sections.size()) << 16);
        Put(b, 0x40 + 20, optSize | 0x2022u << 16), Put(b, opt, magic, 2), Put(b, opt + dirsAt - 4, 16);
        Put(b, opt + dirsAt + 16, resRva), Put(b, opt + dirsAt + 20, resSize);
        std::size_t sh = opt + optSize;
        for (const Section& s : sections) {  // ".rsrc", sizes and addresses, flags
            for (std::uint32_t v : {0x7273722Eu, 0x63u, s.vsize, s.va, s.rawSize, s.raw, 0u, 0u, 0u, 0x40000040u})
                Put(b, (sh += 4) - 4, v);
        }
        for (const Section& s : sections) {
            if (s.data.empty()) continue;
            Put(b, s.raw + s.data.size() - 1, 0, 1);  // grows the file to hold the data
            std::copy(s.data.begin(), s.data.end(), b.begin() + s.raw);
        }
        return b;
    }
};

// The string, or "<absent>" / "<refused>" for the two safe outcomes.
std::u16string Find(const kut::pe::StringTableImage* img, unsigned id) {
    const unsigned char* text = nullptr;
    std::size_t len = 0;
    if (!img) return u"<refused>";
    if (!kut::pe::FindString(*img, id, &text, &len)) return u"<absent>";
    std::u16string s;
    for (std::size_t i = 0; i < len; ++i) s += kut::pe::Unit(text, i);
    return s;
}

TEST(PeReader, HandMadeAndHostileFiles) {
    const std::u16string absent = u"<absent>", refused = u"<refused>", safe = u"<either>";
    using Patches = std::vector<std::pair<std::size_t, std::uint32_t>>;  // 4-byte values at offsets
    const auto pe = [](const std::function<void(HandPe&)>& change) {
        HandPe p;
        change(p);
        return p.Build();
    };
    const auto res = [](const Patches& patches) {
        Bytes r = GoodRsrc();
        for (const auto& [at, v] : patches) Put(r, at, v);
        return HandPe(r).Build();
    };
    const auto patch = [](std::size_t at, std::uint32_t v) {
        Bytes b = HandPe().Build();
        Put(b, at, v);
        return b;
    };
    const auto cut = [](const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); };
    // "hi", then a count of 500 that runs past the entry's `size`.
    const auto overrun = [&res](std::uint32_t size) {
        return res({{kBlock, 2 | u'h' << 16}, {kBlock + 4, u'i' | 500 << 16}, {kData + 4, size}});
    };
    const std::string text = "just some text, not a library at all";
    const Bytes good = HandPe().Build();
    // The block in a second section: found only by mapping the entry's RVA through the section table.
    HandPe second;
    const Bytes block = Block({u"", u"elsewhere"});
    Put(second.sections[0].data, kData, 0x8000 + 0x10);
    Put(second.sections[0].data, kData + 4, static_cast<std::uint32_t>(block.size()));
    second.sections.push_back({0x8000, 0x100, 0x800, 0x100, Bytes(0x10, 0xEE)});
    second.sections[1].data.insert(second.sections[1].data.end(), block.begin(), block.end());
    // Block 1 -> languages at 0x140: 0x407 (its data entry at 0x100), then 0x409 (the good block).
    Bytes german = GoodRsrc();
    Entry(german, kTypes + 16, 1, kSub | 0x140);
    Dir(german, 0x140, 2, 0x407, 0x100);
    Entry(german, 0x158, 0x409, kData);
    Data(german, 0x100, 0x170, Block({u"", u"Deutsch"}));
    // `problem`: the one problem of block 1 and its first lost slot ("" none, null not asked).
    const struct {
        const char* what;
        Bytes file;
        unsigned id;
        std::u16string want;
        const char* problem = nullptr;
        unsigned lost = 0;
    } cases[] = {
        {"slot 1", good, 1, u"abc"},
        {"slot 0", good, 0, u"zero", ""},
        {"an empty slot", good, 2, absent},
        {"a block that is not there", good, 16, absent},
        {"PE32", pe([](HandPe& p) { p.magic = 0x10B; }), 1, u"abc"},
        {"no resource directory", pe([](HandPe& p) { p.resRva = p.resSize = 0; }), 1, absent},
        {"text", Bytes(text.begin(), text.end()), 1, refused},
        {"PE header at -1", patch(0x3C, 0xFFFFFFFFu), 1, refused},
        {"a wrong signature", patch(0x40, 0x5850), 1, refused},
        {"ROM magic", pe([](HandPe& p) { p.magic = 0x107; }), 1, refused},
        {"two data directories", patch(0x40 + 24 + 108, 2), 1, refused},
        {"97 sections", patch(0x46, 97), 1, refused},
        {"96 section headers past the end", cut(patch(0x46, 96), 0x40 + 24 + 240 + 40 * 10), 1, refused},
        {"a resource RVA beyond the file", pe([](HandPe& p) { p.resRva = 0x90000; }), 1, refused},
        {"section data beyond the file", pe([](HandPe& p) { p.sections[0].raw = 0xFFFFFE00u, p.sections[0].data = {}; }), 1,
         refused},
        {"in virtual size only", pe([](HandPe& p) { p.resRva = kVa + 0x200, p.sections[0].vsize = 0x10000; }), 1, refused},
        {"a root pointing at itself", res({{kRoot + 20, kSub | kRoot}}), 1, safe},
        {"languages pointing at themselves", res({{kLangs + 20, kSub | kLangs}}), 1, safe},
        {"a fourth level", res({{kLangs + 20, kSub | kRoot}}), 1, absent, "damaged resource directory"},
        {"huge counts", res({{kRoot + 12, 0xFFFFFFFFu}, {kTypes + 12, 0xFFFF0000u}, {kLangs + 12, 0x1FFFFu}}), 1, u"abc"},
        {"huge counts at the end", pe([](HandPe& p) { Put(p.sections[0].data, 0x1FC, ~0u), p.resRva = kVa + 0x1F0; }), 1, safe},
        // Sizes past the section's file data: the strings inside it are whole.
        {"a data size of 0xFFFFF000", res({{kData + 4, 0xFFFFF000u}}), 1, u"abc"},
        {"size one past", res({{kData + 4, 0x201u}}), 1, u"abc", "reaches past the file data of its section", 16},
        {"a data address that wraps", res({{kData, 0xFFFFFFF0u}, {kData + 4, 0x20}}), 1, absent, "string data outside the image"},
        {"a data size of 0", res({{kData + 4, 0}}), 1, absent},
        {"a count past the entry, before it", overrun(28), 0, u"hi", "a string runs past the end of the block", 1},
        {"a count past the entry", overrun(28), 1, absent},
        {"an entry ending inside a count", overrun(7), 1, absent, "the block ends before its 16 strings", 1},
        {"an entry of 1 byte", overrun(1), 0, absent, "the block ends before its 16 strings", 0},
        {"the file cut after string 0", cut(good, 0x400 + kBlock + 10), 0, u"zero", "cut by the end of the file", 1},
        {"the block in a second section", second.Build(), 1, u"elsewhere"},
        {"English before the first language", HandPe(german).Build(), 1, u"abc"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto img = kut::pe::Parse(c.file);
        const std::u16string got = Find(img.get(), c.id);
        EXPECT_TRUE(got == c.want || (c.want == safe && (got == absent || got == refused)));
        if (!c.problem || !img) continue;
        std::string problems;
        for (const kut::pe::Problem& p : kut::pe::Problems(*img))
            problems += std::to_string(p.block) + " " + p.what + " " + std::to_string(p.firstLost) + ";";
        EXPECT_EQ(problems, *c.problem ? "1 " + std::string(c.problem) + " " + std::to_string(c.lost) + ";" : "");
    }
}

// Every prefix finds exactly the strings wholly inside it; random damage is survived (the sanitizer checks the reads).
TEST(PeReader, TruncatedAndDamagedLibraries) {
    Strings strings;
    for (unsigned id = 1; id <= 60; ++id) strings[id * 7] = u"text " + std::u16string(id % 9, u'x');
    Bytes full;
    std::string error;
    ASSERT_TRUE(kuttools::BuildLanguageLibrary(strings, &full, &error)) << error;
    auto whole = kut::pe::Parse(full);
    ASSERT_TRUE(whole);
    std::map<unsigned, std::size_t> endOf;  // where each string ends in the whole file
    for (const auto& kv : strings) {
        const unsigned char* text = nullptr;
        std::size_t len = 0;
        ASSERT_TRUE(kut::pe::FindString(*whole, kv.first, &text, &len));
        endOf[kv.first] = static_cast<std::size_t>(text - kut::pe::FileBytes(*whole)) + 2 * len;
    }
    int cutInside = 0;
    for (std::size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE("prefix " + std::to_string(n));
        auto img = kut::pe::Parse(full.data(), n);
        EXPECT_TRUE(!img || n >= 0x210) << "headers or root cut";
        if (!img) continue;
        // Every string wholly inside the prefix, and no other; each block
        // that lost one is named as cut (block 0 when a directory was cut).
        std::set<unsigned> damaged;
        for (const kut::pe::Problem& p : kut::pe::Problems(*img)) {
            EXPECT_STREQ(p.what, "cut by the end of the file");
            damaged.insert(p.block);
        }
        for (const auto& kv : strings) {
            const bool inside = endOf[kv.first] <= n;
            ASSERT_EQ(Find(img.get(), kv.first), inside ? kv.second : u"<absent>") << "id " << kv.first;
            if (!inside) { ASSERT_TRUE(damaged.count(kv.first / 16 + 1) || damaged.count(0)) << "id " << kv.first; }
            cutInside += inside && n < full.size();
        }
        if (n == full.size()) { EXPECT_TRUE(damaged.empty()); }
    }
    EXPECT_GT(cutInside, 0);
    std::mt19937 rng(12345);
    int loaded = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes b = full;
        for (unsigned h = 0; h <= rng() % 4; ++h) b[rng() % 4 ? rng() % 0x400 : rng() % b.size()] = std::uint8_t(rng());
        auto img = kut::pe::Parse(b);
        loaded += img != nullptr;
        for (unsigned id = 0; img && id < 600; id += 1 + rng() % 7) ASSERT_LE(Find(img.get(), id).size() * 2, b.size()) << id;
    }
    EXPECT_GT(loaded, 0);
}

// A block in several languages: the entry wine 8's LoadStringW picked (asked again by
// tests/windows/loader_diff_test.cpp): neutral 0x0000, the user's language, its neutral sublanguage, the
// same two for the system, 0x0409, the first entry, each by binary search (so {0x0407, 0x0000} misses 0x0000).
TEST(PeReader, LanguageChoiceFollowsTheWindowsLoader) {
    const struct {
        std::vector<std::uint16_t> entries;
        std::uint16_t user, system, want;
    } cases[] = {{{0x0000, 0x0407}, 0x0407, 0x0407, 0x0000}, {{0x0001, 0x0407, 0x0C07}, 0x0C07, 0x0407, 0x0C07},
                 {{0x0007, 0x0407}, 0x0C07, 0x0407, 0x0007}, {{0x0001, 0x0C07}, 0x0411, 0x0C07, 0x0C07},
                 {{0x0001, 0x0007}, 0x0C07, 0x0C07, 0x0007}, {{0x0409, 0x040C}, 0x0407, 0x040C, 0x040C},
                 {{0x0407, 0x0409}, 0x0C07, 0x0C07, 0x0409}, {{0x0001, 0x0809}, 0x0409, 0x0409, 0x0001},
                 {{0x0001, 0x0400}, 0x0409, 0x0409, 0x0001}, {{0x0422, 0x0407}, 0x0409, 0x0409, 0x0422},
                 {{0x0407, 0x0000}, 0x0409, 0x0409, 0x0407}, {{0x0409, 0x0407}, 0x0407, 0x0407, 0x0409}};
    const auto tag = [](std::uint16_t id) { return std::u16string(1, char16_t(0x100 + id)); };
    for (const auto& c : cases) {
        std::vector<kuttools::LanguageStrings> langs;
        for (std::uint16_t id : c.entries) langs.push_back({id, {{5, tag(id)}}});
        Bytes image;
        std::string error;
        ASSERT_TRUE(kuttools::BuildLanguageLibrary(langs, &image, &error)) << error;
        EXPECT_EQ(Find(kut::pe::Parse(image, kut::pe::Languages{c.user, c.system}).get(), 5), tag(c.want))
            << testing::PrintToString(c.entries) << std::hex << " user " << c.user << " system " << c.system;
    }
}

TEST(PeReader, LocaleNamesMapToWindowsLanguages) {
    // Codesets and modifiers, a language's default region, names too long or unknown; the rest of the table is data.
    std::istringstream in(
        "en_US.UTF-8:409 C.UTF-8:409 POSIX:409 xx_YY:409 deutsch_DE:409 de_DEUTSCHLAND:409 de:407 de_DE@euro:407 de_XX:407 "
        "de_DE@latin:407 en_GB.UTF-8:809 es:C0A sr_RS:281A sr_RS.UTF-8@latin:241A");
    for (std::string c; in >> c;) {
        const std::size_t colon = c.find(':');
        EXPECT_EQ(kut::pe::LanguageOfLocale(c.substr(0, colon).c_str()), std::stoi(c.substr(colon + 1), nullptr, 16)) << c;
    }
    for (const char* name : {"", static_cast<const char*>(nullptr)}) EXPECT_EQ(kut::pe::LanguageOfLocale(name), 0x0409);
}

// The UI language as POSIX resolves LC_MESSAGES, the system's as LC_CTYPE.
TEST(PeReader, EnvironmentLanguagesFollowThePosixOrder) {
    const char* const vars[] = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG"};
    const struct {
        const char* values[4];
        std::uint16_t user, system;
    } cases[] = {{{"it_IT.UTF-8", "de_DE", "fr_FR", "pl_PL"}, 0x0410, 0x0410},
                 {{"", "de_AT.UTF-8", "fr_FR.UTF-8", "pl_PL"}, 0x0C07, 0x040C},
                 {{nullptr, nullptr, nullptr, "uk_UA.UTF-8"}, 0x0422, 0x0422},
                 {{nullptr, "", "ru_RU", "cs_CZ"}, 0x0405, 0x0419},
                 {{nullptr, nullptr, nullptr, nullptr}, 0x0409, 0x0409}};
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) kuttest::SetEnv(vars[i], c.values[i]);
        const kut::pe::Languages got = kut::pe::EnvironmentLanguages();
        EXPECT_EQ(std::make_pair(got.user, got.system), std::make_pair(c.user, c.system)) << &c - cases;
    }
}

}  // namespace
