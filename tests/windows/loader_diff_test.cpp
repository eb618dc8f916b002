// The system loader against our PE reader: every number 1..65535 of a set of
// language libraries, read through LoadLibraryW/LoadStringW (the Windows
// backend, here wine's) and through the portable reader that the Linux
// backend uses. Each side is dumped to a file under
// <build>/tests/loader-diff/, the two files are compared, and the first line
// that differs is named.
//
// A dump is one line "loaded 0|1", then one line per number that yields a
// text: "<number> <count> <UTF-16 units in hex>", read with the buffer of
// 1024 elements that K_MSG uses.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "langlib_writer.h"
#include "platform/pe_reader.h"
#include "testutil.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCap = 1024;  // K_MSG's text buffer

using Strings = std::map<unsigned, std::u16string>;
using Image = std::vector<unsigned char>;

void AppendUnits(std::string* out, unsigned id, const char16_t* units, std::size_t n) {
    char head[32];
    std::snprintf(head, sizeof head, "%u %u", id, static_cast<unsigned>(n));
    *out += head;
    for (std::size_t i = 0; i < n; ++i) {
        char u[8];
        std::snprintf(u, sizeof u, " %04x", static_cast<unsigned>(units[i]));
        *out += u;
    }
    *out += '\n';
}

std::string DumpLoader(const std::wstring& path) {
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE lib = LoadLibraryW(path.c_str());
    SetThreadErrorMode(previous, nullptr);
    std::string out = lib ? "loaded 1\n" : "loaded 0\n";
    if (!lib) return out;
    std::vector<wchar_t> buf(kCap);
    std::u16string units;
    for (unsigned id = 1; id <= 0xFFFF; ++id) {
        const int n = LoadStringW(lib, id, buf.data(), kCap);
        if (n <= 0) continue;
        units.assign(buf.data(), buf.data() + n);
        AppendUnits(&out, id, units.data(), units.size());
    }
    FreeLibrary(lib);
    return out;
}

std::string DumpReader(const std::wstring& path) {
    std::string bytes;
    if (!kuttest::ReadFile(path, &bytes)) return "loaded 0\n";
    auto image = kut::pe::Parse(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    std::string out = image ? "loaded 1\n" : "loaded 0\n";
    if (!image) return out;
    std::u16string units;
    for (unsigned id = 1; id <= 0xFFFF; ++id) {
        const unsigned char* text = nullptr;
        std::size_t len = 0;
        if (!kut::pe::FindString(*image, id, &text, &len) || len == 0) continue;
        // What fits the buffer with its NUL, as LoadStringW copies it.
        const std::size_t n = len < kCap - 1 ? len : kCap - 1;
        units.clear();
        for (std::size_t i = 0; i < n; ++i) units += kut::pe::Unit(text, i);
        AppendUnits(&out, id, units.data(), units.size());
    }
    return out;
}

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> lines;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::wstring DumpFolder() {
    fs::path dir = fs::path(kuttest::BinaryDir()) / "tests" / "loader-diff";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir.wstring();
}

struct Outcome {
    std::string difference;  // "" when every number reads alike
    bool loaderLoaded = false;
    bool readerLoaded = false;
};

// Dumps both sides of `path` into files named after `name` and compares the
// texts of every number; the first line that differs is described.
Outcome Compare(const std::wstring& path, const std::string& name) {
    const std::string loader = DumpLoader(path);
    const std::string reader = DumpReader(path);
    const fs::path dir = DumpFolder();
    const fs::path loaderFile = dir / (name + ".loader.txt");
    const fs::path readerFile = dir / (name + ".reader.txt");
    kuttest::WriteFile(loaderFile.wstring(), loader);
    kuttest::WriteFile(readerFile.wstring(), reader);

    Outcome o;
    // Compared from the files, so that what is kept is what was checked.
    std::string a, b;
    if (!kuttest::ReadFile(loaderFile.wstring(), &a) || !kuttest::ReadFile(readerFile.wstring(), &b)) {
        o.difference = name + ": cannot read the dumps back from " + kuttest::Narrow(dir.wstring());
        return o;
    }
    const std::vector<std::string> la = Lines(a), lb = Lines(b);
    o.loaderLoaded = !la.empty() && la[0] == "loaded 1";
    o.readerLoaded = !lb.empty() && lb[0] == "loaded 1";
    // Line 1 is whether the library loaded; from line 2 on, the texts. A
    // library that did not load reads as one without strings.
    for (std::size_t i = 1; i < la.size() || i < lb.size(); ++i) {
        const std::string x = i < la.size() ? la[i] : "<end>";
        const std::string y = i < lb.size() ? lb[i] : "<end>";
        if (x != y) {
            o.difference = name + ", line " + std::to_string(i + 1) + ":\n  LoadStringW: " + x.substr(0, 200) +
                           "\n  PE reader:   " + y.substr(0, 200) + "\n  (dumps in " +
                           kuttest::Narrow(dir.wstring()) + ")";
            break;
        }
    }
    return o;
}

Image Build(const Strings& strings) {
    Image image;
    std::string error;
    EXPECT_TRUE(kuttools::BuildLanguageLibrary(strings, &image, &error)) << error;
    return image;
}

std::wstring Save(const kuttest::TempDir& dir, const std::wstring& file, const Image& image) {
    const std::wstring path = dir.file(file);
    EXPECT_TRUE(kuttest::WriteFile(path, std::string(image.begin(), image.end())));
    return path;
}

// ---- addresses inside a written library, for the damaged copies ----------

std::uint32_t Get16(const Image& b, std::size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
std::uint32_t Get32(const Image& b, std::size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }
void Set16(Image& b, std::size_t at, std::uint32_t v) {
    b.at(at) = static_cast<unsigned char>(v);
    b.at(at + 1) = static_cast<unsigned char>(v >> 8);
}
void Set32(Image& b, std::size_t at, std::uint32_t v) {
    Set16(b, at, v & 0xFFFF);
    Set16(b, at + 2, v >> 16);
}

struct Layout {
    std::size_t pe = 0;          // "PE\0\0"
    std::size_t resDir = 0;      // the resource data directory {RVA, size}
    std::size_t root = 0;        // file offset of the resource directory
    std::uint32_t sectionVa = 0; // of the section holding it
    std::size_t typeEntry = 0;   // the root's entry for type 6
    std::size_t firstData = 0;   // data entry of the first block's language
};

Layout Find(const Image& b) {
    Layout l;
    l.pe = Get32(b, 0x3C);
    const std::size_t opt = l.pe + 24;
    const std::uint32_t magic = Get16(b, opt);
    l.resDir = opt + (magic == 0x20B ? 112 : 96) + 2 * 8;
    const std::uint32_t rva = Get32(b, l.resDir);
    const std::size_t sections = opt + Get16(b, l.pe + 20);
    for (std::uint32_t i = 0; i < Get16(b, l.pe + 6); ++i) {
        const std::size_t sh = sections + 40 * i;
        const std::uint32_t va = Get32(b, sh + 12), raw = Get32(b, sh + 20), size = Get32(b, sh + 16);
        if (rva >= va && rva < va + size) {
            l.sectionVa = va;
            l.root = raw + (rva - va);
        }
    }
    // root -> type 6 -> first block -> first language -> data entry
    auto firstChild = [&](std::size_t dir) {
        return l.root + (Get32(b, dir + 16 + 4) & 0x7FFFFFFFu);
    };
    l.typeEntry = l.root + 16;
    const std::size_t typeDir = firstChild(l.root);
    const std::size_t langDir = firstChild(typeDir);
    l.firstData = l.root + Get32(b, langDir + 16 + 4);
    return l;
}

// ---- the libraries ----------------------------------------------------------

Strings Typical() {
    return {{1, u"Open"},
            {2, u"OUT::Total$$sum"},
            {3, u"Only here"},
            {15, u"fifteen"},
            {16, u"sixteen"},
            {17, u"x"},
            {255, u"Width %1 of %2$$mm$$help text"},
            {1000, u"thousand"},
            {32768, u"middle"},
            {65534, u"second to last"},
            {65535, u"last"}};
}

// Texts at and around the buffer's size, and the characters a converter
// gets wrong: non-ASCII, a surrogate pair, lone surrogates, an embedded NUL.
Strings Edges() {
    Strings s;
    s[1] = std::u16string(1022, u'a');
    s[2] = std::u16string(1023, u'b');
    s[3] = std::u16string(1024, u'c');
    s[4] = std::u16string(5000, u'd');
    s[5] = std::u16string(0xFFFF, u'e');
    s[6] = u"\u00e9\u20ac\u0416\u4e2d";
    s[7] = u"pair \U0001F600 end";
    s[8] = std::u16string(u"lone \xD800 high");
    s[9] = std::u16string(u"lone \xDC00 low");
    s[10] = std::u16string(u"nul\0inside", 10);
    s[11] = std::u16string(1022, u'f') + u"\U0001F600";  // the pair straddles the cut
    s[12] = u"OUT::";
    return s;
}

// Every number, so that every block and slot of a full table is compared.
Strings Full() {
    Strings s;
    for (unsigned id = 1; id <= 0xFFFF; ++id) {
        std::u16string t = u"n";
        for (char c : std::to_string(id)) t += static_cast<char16_t>(c);
        s[id] = t;
    }
    return s;
}

// One string per block, at a different slot each time; the blocks between
// are absent.
Strings Sparse() {
    Strings s;
    for (unsigned block = 0; block < 4096; block += 7) {
        const unsigned id = block * 16 + block % 16;
        if (id >= 1 && id <= 0xFFFF) s[id] = u"b" + std::u16string(1 + block % 40, u'.');
    }
    return s;
}

// Random numbers, lengths and units (any 16-bit value but 0), from a fixed
// seed so that a difference can be looked at again.
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

TEST(LoaderDiff, WrittenLibrariesReadAlike) {
    kuttest::TempDir dir;
    const std::pair<const char*, Strings> sets[] = {
        {"written-typical", Typical()}, {"written-edges", Edges()}, {"written-full", Full()},
        {"written-sparse", Sparse()},   {"written-one", {{1, u"one"}}}, {"written-random", Random()},
    };
    for (const auto& [name, strings] : sets) {
        const Outcome o = Compare(Save(dir, kuttest::Widen(name) + L".dll", Build(strings)), name);
        EXPECT_EQ(o.difference, "");
        EXPECT_TRUE(o.loaderLoaded) << name << ": the system refuses a library of ours";
        EXPECT_TRUE(o.readerLoaded) << name;
    }
}

TEST(LoaderDiff, WindresLibraryReadsAlike) {
    // Built from tests/windows/strings.rc by GNU windres and ld.
    const std::wstring path = kuttest::Widen(KUT_WINDRES_LIB);
    ASSERT_TRUE(kuttest::Exists(path)) << KUT_WINDRES_LIB;
    const Outcome o = Compare(path, "windres");
    EXPECT_EQ(o.difference, "");
    EXPECT_TRUE(o.loaderLoaded);
    EXPECT_TRUE(o.readerLoaded);
}

TEST(LoaderDiff, SampleLibrariesReadAlike) {
    // The sample data's language libraries, made by kutrc from catalogs.
    const fs::path data = fs::path(kuttest::BinaryDir()) / "data";
    int seen = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(data, ec)) {
        if (entry.path().extension() != ".dll") continue;
        ++seen;
        const Outcome o = Compare(entry.path().wstring(), "sample-" + entry.path().stem().u8string());
        EXPECT_EQ(o.difference, "");
        EXPECT_TRUE(o.loaderLoaded && o.readerLoaded) << entry.path().u8string();
    }
    EXPECT_GE(seen, 2) << "no language libraries in " << data.u8string();
}

TEST(LoaderDiff, DamagedLibrariesReadAlike) {
    kuttest::TempDir dir;
    const Image good = Build(Typical());
    const Layout at = Find(good);
    ASSERT_EQ(Get32(good, at.pe), 0x00004550u);
    ASSERT_EQ(Get32(good, at.typeEntry), 6u);

    // Only damage that the system checks itself: a string block whose data
    // lies outside the image, or whose counts run past its end, is read by
    // LoadStringW without any check (a crash, or bytes beyond the block),
    // where the reader refuses the block. Nor files cut inside a string
    // block: wine maps the missing part as zeros and hands out texts with
    // NULs where the reader drops those strings; the image loader is where
    // wine is lenient, so its answer there says nothing about Windows.
    std::vector<std::pair<std::string, Image>> cases;
    auto add = [&](const std::string& name, Image image) { cases.emplace_back(name, std::move(image)); };

    add("damaged-empty-file", Image());
    add("damaged-headers-only", Image(good.begin(), good.begin() + 0x100));
    // Cut inside the resource directory.
    add("damaged-cut-in-directory", Image(good.begin(), good.begin() + static_cast<long>(at.root) + 0x18));
    {
        Image b = good;
        Set32(b, at.pe, 0x00005850);  // "PX\0\0"
        add("damaged-signature", b);
    }
    {
        Image b = good;
        Set32(b, 0x3C, 0x7FFFFFF0u);
        add("damaged-lfanew-past-end", b);
    }
    {
        Image b = good;
        Set16(b, at.pe + 6, 0);
        add("damaged-no-sections", b);
    }
    {
        // A well-formed image without resources: loads, holds no string.
        Image b = good;
        Set32(b, at.resDir, 0);
        Set32(b, at.resDir + 4, 0);
        add("no-resource-directory", b);
    }
    {
        // The type directory that names type 6 under another type number.
        Image b = good;
        Set32(b, at.typeEntry, 7);
        add("no-string-type", b);
    }
    {
        // The string type's subdirectory is the root itself.
        Image b = good;
        Set32(b, at.typeEntry + 4, 0x80000000u);
        add("damaged-root-loop", b);
    }

    std::string differences;
    for (const auto& [name, image] : cases) {
        const Outcome o = Compare(Save(dir, kuttest::Widen(name) + L".dll", image), name);
        if (!o.difference.empty()) differences += o.difference + "\n";
        // The reader may refuse a file whose resource directory is damaged
        // where the system, which looks at resources only when asked for
        // one, loads it; it must never accept a file the system refuses.
        EXPECT_TRUE(o.loaderLoaded || !o.readerLoaded) << name << ": the reader accepts what the system refuses";
        if (o.loaderLoaded != o.readerLoaded) {
            std::printf("note: %s loads through the system but not through the reader\n", name.c_str());
        }
    }
    EXPECT_EQ(differences, "");
}

}  // namespace
