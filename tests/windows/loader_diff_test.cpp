// The system loader (LoadLibraryW/LoadStringW, here wine's) against our PE
// reader on every number of a set of language libraries. Each side is dumped
// to <build>/tests/loader-diff/ as "loaded 0|1", then "<number> <count>
// <UTF-16 units in hex>" per number that yields a text, read with K_MSG's
// buffer of 1024; the first line that differs is named. Blocks in several
// languages are read with the languages the environment names, which wine
// took from it too (ctest runs LoaderLanguages.* under en_US and de_DE).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iomanip>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

#include "langlib_writer.h"
#include "langlib/pe_reader.h"
#include "testutil.h"

namespace fs = std::filesystem;

constexpr int kCap = 1024;  // K_MSG's text buffer

using Strings = std::map<unsigned, std::u16string>;
using Image = std::vector<unsigned char>;

template <class Text>
std::string Dump(bool loaded, Text text) {
    std::ostringstream out;
    out << "loaded " << loaded << '\n' << std::setfill('0');
    for (unsigned id = 0; loaded && id <= 0xFFFF; ++id) {
        const std::u16string units = text(id);
        if (units.empty()) continue;
        out << std::dec << id << ' ' << units.size() << std::hex;
        for (char16_t c : units) out << ' ' << std::setw(4) << static_cast<unsigned>(c);
        out << '\n';
    }
    return out.str();
}

std::string DumpLoader(const std::wstring& path) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);  // a refused file shows no dialog
    HMODULE lib = LoadLibraryW(path.c_str());
    wchar_t buf[kCap];
    const std::string out = Dump(lib != nullptr, [&](unsigned id) {
        const int n = LoadStringW(lib, id, buf, kCap);
        return std::u16string(buf, buf + (n > 0 ? n : 0));
    });
    if (lib) FreeLibrary(lib);
    return out;
}

std::string DumpReader(const std::wstring& path, const kut::pe::Languages& langs) {
    std::string bytes;
    kut::pe::ImagePtr image;
    if (kuttest::ReadFile(path, &bytes))
        image = kut::pe::Parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), langs);
    return Dump(image != nullptr, [&](unsigned id) {
        const unsigned char* text = nullptr;
        std::size_t len = 0;
        std::u16string units;
        if (!kut::pe::FindString(*image, id, &text, &len)) return units;
        // What fits the buffer with its NUL, as LoadStringW copies it.
        for (std::size_t i = 0; i < len && i < kCap - 1; ++i) units += kut::pe::Unit(text, i);
        return units;
    });
}

// Dumps both sides of `path` into files named after `name`, compares the
// texts of every number and describes the first line that differs ("" when
// none does). A library that did not load reads as one without strings; it
// must load on both sides when `mustLoad`, and the reader must never accept
// a file the system refuses.
std::string Compare(const std::wstring& path, const std::string& name, bool mustLoad,
                    const kut::pe::Languages& langs = kut::pe::Languages()) {
    const fs::path dir = fs::path(kuttest::BinaryDir()) / "tests" / "loader-diff";
    fs::create_directories(dir);
    std::istringstream sides[2];  // read back from the files, so that what is kept is what was checked
    for (int i = 0; i < 2; ++i) {
        const std::wstring file = (dir / (name + (i ? ".reader.txt" : ".loader.txt"))).wstring();
        EXPECT_TRUE(kuttest::WriteFile(file, i ? DumpReader(path, langs) : DumpLoader(path))) << name;
        std::string back;
        EXPECT_TRUE(kuttest::ReadFile(file, &back)) << name;
        sides[i].str(back);
    }
    std::string x, y;
    for (int line = 1; sides[0] || sides[1]; ++line) {
        if (!std::getline(sides[0], x)) x = "<end>";
        if (!std::getline(sides[1], y)) y = "<end>";
        if (line == 1 && mustLoad) {
            EXPECT_EQ(x, "loaded 1") << name << ": the system";
            EXPECT_EQ(y, "loaded 1") << name << ": the reader";
        } else if (line == 1) {
            EXPECT_TRUE(x == "loaded 1" || y != "loaded 1") << name << ": the system says " << x << ", the reader " << y;
        } else if (x != y)
            return name + ", line " + std::to_string(line) + ":\n  LoadStringW: " + x.substr(0, 200) +
                   "\n  PE reader:   " + y.substr(0, 200) + "\n  (dumps in " + kuttest::Narrow(dir.wstring()) + ")";
    }
    return "";
}

template <class Input>  // the strings of one language, or of several
Image Build(const Input& strings) {
    Image image;
    std::string error;
    EXPECT_TRUE(kuttools::BuildLanguageLibrary(strings, &image, &error)) << error;
    return image;
}

std::wstring Save(const kuttest::TempDir& dir, const std::string& name, const Image& image) {
    const std::wstring path = dir.file(kuttest::Widen(name) + L".dll");
    EXPECT_TRUE(kuttest::WriteFile(path, std::string(image.begin(), image.end())));
    return path;
}

// Little-endian fields of a written library, for the damaged copies.
std::uint32_t Get(const Image& b, std::size_t at, int bytes = 4) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
    return v;
}

Strings Typical() {
    return {{1, u"Open"},
            {2, u"OUT::Total$$sum"},
            {3, u"Only here"},
            {15, u"fifteen"},
            {16, u"sixteen"},
            {17, u"x"},
            {1000, u"thousand"},
            {32768, u"middle"},
            {255, u"Width %1 of %2$$mm$$help text"},
            {65534, u"second to last"},
            {65535, u"last"}};
}

// Texts at and around the buffer's size, and the characters a converter
// gets wrong: non-ASCII, a surrogate pair, lone surrogates, an embedded NUL,
// a pair that straddles the cut.
Strings Edges() {
    using S = std::u16string;
    return {{1, S(1022, u'a')},
            {2, S(1023, u'b')},
            {3, S(1024, u'c')},
            {4, S(5000, u'd')},
            {5, S(0xFFFF, u'e')},
            {6, u"\u00e9\u20ac\u0416\u4e2d"},
            {7, u"pair \U0001F600 end"},
            {8, u"lone \xD800 high"},
            {9, u"lone \xDC00 low"},
            {10, S(u"nul\0inside", 10)},
            {11, S(1022, u'f') + u"\U0001F600"},
            {12, u"OUT::"}};
}

// Every number, so that every block and slot of a full table is compared.
Strings Full() {
    Strings s;
    for (unsigned id = 1; id <= 0xFFFF; ++id)
        for (char c : "n" + std::to_string(id)) s[id] += static_cast<char16_t>(c);
    return s;
}

// Random numbers, lengths and units (any 16-bit value but 0), from a fixed
// seed so that a difference can be looked at again; most blocks stay absent.
Strings Random() {
    std::mt19937 gen(20240611);
    std::uniform_int_distribution<unsigned> id(1, 0xFFFF), unit(1, 0xFFFF), len(1, 1500), pick(0, 3);
    Strings s;
    for (int i = 0; i < 3000; ++i) {
        std::u16string t(pick(gen) == 0 ? len(gen) : len(gen) % 40 + 1, u' ');
        for (char16_t& c : t) c = static_cast<char16_t>(unit(gen));
        s[id(gen)] = t;
    }
    return s;
}

TEST(LoaderDiff, WrittenToolBuiltAndDamagedLibrariesReadAlike) {
    kuttest::TempDir dir;
    const std::pair<const char*, Strings> sets[] = {{"written-typical", Typical()},
                                                    {"written-edges", Edges()},
                                                    {"written-full", Full()},
                                                    {"written-one", {{1, u"one"}}},
                                                    {"written-random", Random()}};
    for (const auto& [name, strings] : sets) EXPECT_EQ(Compare(Save(dir, name, Build(strings)), name, true), "");
    // One built from tests/windows/strings.rc by GNU windres and ld; the
    // sample data's language libraries, made by kut msg build from catalogs.
    EXPECT_EQ(Compare(kuttest::Widen(KUT_WINDRES_LIB), "windres", true), "");
    const fs::path data = fs::path(kuttest::BinaryDir()) / "data";
    int seen = 0;
    for (const auto& entry : fs::directory_iterator(data))
        if (entry.path().extension() == ".dll" && ++seen) {
            EXPECT_EQ(Compare(entry.path().wstring(), "sample-" + entry.path().stem().u8string(), true), "");
        }
    EXPECT_GE(seen, 2) << "no language libraries in " << data.u8string();

    // Damaged copies of a written library.
    const Image good = Build(Typical());
    // Where the headers, the resource directory and its type-6 entry lie.
    const std::size_t pe = Get(good, 0x3C), opt = pe + 24, resDir = opt + (Get(good, opt, 2) == 0x20B ? 112 : 96) + 2 * 8;
    const std::uint32_t rva = Get(good, resDir);
    std::size_t root = 0;
    for (std::uint32_t i = 0; i < Get(good, pe + 6, 2); ++i) {
        const std::size_t sh = opt + Get(good, pe + 20, 2) + 40 * i;
        const std::uint32_t va = Get(good, sh + 12);
        if (rva >= va && rva < va + Get(good, sh + 16)) root = Get(good, sh + 20) + (rva - va);
    }
    const std::size_t typeEntry = root + 16;
    ASSERT_EQ(Get(good, pe), 0x00004550u) << "PE signature";
    ASSERT_EQ(Get(good, typeEntry), 6u) << "string type entry";
    auto patched = [&](std::size_t at, std::uint64_t v, int bytes = 4) {
        Image b = good;
        for (int i = 0; i < bytes; ++i) b.at(at + static_cast<std::size_t>(i)) = static_cast<unsigned char>(v >> (8 * i));
        return b;
    };

    // Only damage the system checks itself: LoadStringW reads a string block
    // without any check (where the reader refuses a bad one), and wine's
    // answer on files cut inside a block says nothing about Windows.
    const std::pair<const char*, Image> cases[] = {
        {"damaged-empty-file", Image()},
        {"damaged-headers-only", Image(good.begin(), good.begin() + 0x100)},
        {"damaged-cut-in-directory", Image(good.begin(), good.begin() + static_cast<long>(root) + 0x18)},
        {"damaged-signature", patched(pe, 0x00005850)},  // "PX\0\0"
        {"damaged-lfanew-past-end", patched(0x3C, 0x7FFFFFF0u)},
        {"damaged-no-sections", patched(pe + 6, 0, 2)},
        // A well-formed image without resources: loads, holds no string.
        {"no-resource-directory", patched(resDir, 0, 8)},
        // The entry that names type 6 under another type number; its
        // subdirectory made the root itself.
        {"no-string-type", patched(typeEntry, 7)},
        {"damaged-root-loop", patched(typeEntry + 4, 0x80000000u)}};
    // The reader may refuse a file whose resource directory is damaged where
    // the system, which looks at resources only when asked for one, loads it.
    for (const auto& [name, image] : cases) EXPECT_EQ(Compare(Save(dir, name, image), name, false), "");
}

// A block in several languages, with the entries in both orders (the loader
// looks a language up by binary search, so an out-of-order directory is
// read differently): the two sides agree on every number under the locale
// wine runs in, whose languages the reader takes from the same environment.
TEST(LoaderLanguages, SeveralLanguagesReadAlike) {
    const kut::pe::Languages langs = kut::pe::EnvironmentLanguages();
    // Wine took its UI and system languages from the same variables.
    ASSERT_EQ(GetUserDefaultUILanguage(), langs.user) << "LC_ALL=" << (std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "");
    ASSERT_EQ(GetSystemDefaultUILanguage(), langs.system);
    // Each language has a text for every number of block 1 (0..15), one
    // block of its own, and shares another with the second language only in
    // part, so that a block in one language is read too.
    const auto tag = [](std::uint16_t lang) {
        char text[8];
        std::snprintf(text, sizeof text, "%04x", lang);
        return std::string(text);
    };
    const auto strings = [&tag](std::uint16_t lang) {
        Strings s;
        const std::string t = tag(lang);
        const std::u16string u(t.begin(), t.end());
        for (unsigned id = 0; id < 16; ++id) s[id] = u + u" #" + static_cast<char16_t>(u'a' + id);
        s[100u + lang % 7u * 16u] = u + u" own block";
        s[500u + lang % 3u] = u + u" shared block";
        return s;
    };
    // Neutral sublanguages, other English and German variants, the ids that
    // look neutral but are not, and three languages.
    const std::vector<std::vector<std::uint16_t>> sets = {
        {0x0000, 0x0407},         {0x0407, 0x0000},        {0x0407, 0x0409}, {0x0409, 0x0407}, {0x0422, 0x0407},
        {0x0407, 0x0422},         {0x0001, 0x0007},        {0x0001, 0x0009}, {0x0001, 0x0809}, {0x0001, 0x0C07},
        {0x0001, 0x0400},         {0x0001, 0x0800},        {0x0001, 0x007F}, {0x0007, 0x0407}, {0x0407, 0x0409, 0x040C},
        {0x040C, 0x0407, 0x0409}, {0x0000, 0x0407, 0x0409}};
    kuttest::TempDir dir;
    for (const auto& set : sets) {
        std::vector<kuttools::LanguageStrings> languages;
        std::string name = "langs";
        for (std::uint16_t lang : set) languages.push_back({lang, strings(lang)}), name += "-" + tag(lang);
        EXPECT_EQ(Compare(Save(dir, name, Build(languages)), name, true, langs), "");
    }
}

// Libraries cut at every byte of their resource section: each string that
// lies wholly inside the file is read by the reader, and by the loader
// alike; the reader reads no other. (What the loader makes of a string the
// file cuts, or of the zeros past the end, is not compared: the reader
// refuses those on purpose.)
TEST(LoaderDiff, CutLibrariesAgreeOnEveryWholeString) {
    Strings strings = Typical();
    strings[0] = u"zero";
    for (unsigned id = 40; id < 70; ++id) strings[id] = u"text " + std::u16string(id % 5, u'x');
    const Image full = Build(strings);
    const auto whole = kut::pe::Parse(full);
    ASSERT_TRUE(whole);
    std::map<unsigned, std::size_t> endOf;  // where each string ends in the file
    for (const auto& kv : strings) {
        const unsigned char* text = nullptr;
        std::size_t len = 0;
        ASSERT_TRUE(kut::pe::FindString(*whole, kv.first, &text, &len));
        endOf[kv.first] = static_cast<std::size_t>(text - kut::pe::FileBytes(*whole)) + 2 * len;
    }
    kuttest::TempDir dir;
    int agreed = 0;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (std::size_t n = 0x200; n < full.size(); ++n) {
        SCOPED_TRACE("cut at " + std::to_string(n));
        const Image cut(full.begin(), full.begin() + static_cast<long>(n));
        const std::wstring path = Save(dir, "cut" + std::to_string(n), cut);
        const auto image = kut::pe::Parse(cut);
        HMODULE lib = LoadLibraryW(path.c_str());
        for (const auto& kv : strings) {
            const bool inside = endOf[kv.first] <= n;
            const unsigned char* text = nullptr;
            std::size_t len = 0;
            const bool found = image && kut::pe::FindString(*image, kv.first, &text, &len);
            ASSERT_EQ(found, inside && image != nullptr) << "reader, number " << kv.first;
            if (!found || !lib) continue;
            std::u16string mine;
            for (std::size_t i = 0; i < len && i < kCap - 1; ++i) mine += kut::pe::Unit(text, i);
            wchar_t buf[kCap];
            const int got = LoadStringW(lib, kv.first, buf, kCap);
            ASSERT_EQ(std::u16string(buf, buf + (got > 0 ? got : 0)), mine) << "LoadStringW, number " << kv.first;
            ++agreed;
        }
        if (lib) FreeLibrary(lib);
    }
    EXPECT_GT(agreed, 0);
}
