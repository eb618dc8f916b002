// String tables of PE resource-only libraries: parsing, lookup, locale names to language ids.
#include "langlib/pe_reader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace kut::pe {

namespace {

constexpr std::uint32_t kMaxSections = 96;
constexpr std::uint32_t kStringType = 6;
// Numbers 0..65535 live in blocks 1..4096.
constexpr std::uint32_t kMaxBlock = 0xFFFF / 16 + 1;
constexpr std::uint32_t kSubdirBit = 0x80000000u;

struct Section {
    std::uint64_t va;
    std::uint64_t extent;  // the part backed by file data
    std::uint64_t raw;     // file offset of the section's data
};

// Little-endian reads at offsets already checked against the size.
class Bytes {
public:
    Bytes(const unsigned char* p, std::uint64_t n) : m_p(p), m_n(n) {}
    std::uint64_t size() const { return m_n; }
    bool Has(std::uint64_t off, std::uint64_t len) const { return off <= m_n && len <= m_n - off; }
    std::uint32_t U16(std::uint64_t off) const { return m_p[off] | (static_cast<std::uint32_t>(m_p[off + 1]) << 8); }
    std::uint32_t U32(std::uint64_t off) const { return U16(off) | (U16(off + 2) << 16); }

private:
    const unsigned char* m_p;
    std::uint64_t m_n;
};

}  // namespace

class StringTableImage {
public:
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
    // Block id -> 1 + block ordinal; 0 when the block is absent.
    std::uint16_t blockOrdinal[kMaxBlock + 1] = {};
    // 16 per block ordinal: file offset of the slot's count, 0 when the slot
    // is empty or lies past the end of its block (offset 0 is the "MZ" of
    // the header, never a string).
    std::vector<std::uint32_t> slots;
    std::vector<Problem> problems;
};

namespace {

class Parser {
public:
    Parser(StringTableImage* img, const Languages& langs) : m_b(img->bytes.get(), img->size), m_img(img), m_langs(langs) {}

    // False when the file is refused.
    bool Run() {
        if (!Headers()) return false;
        if (m_resRva == 0 || m_resSize == 0) return true;  // no resources: loads, holds nothing

        std::uint64_t root = 0;
        if (!Map(m_resRva, 16, &root, &m_regionEnd)) return false;
        std::uint64_t typeDir = 0;
        const char* lost = m_regionEnd == m_b.size() ? "cut by the end of the file" : "directory outside its section";
        switch (FindSubdir(root, root, kStringType, &typeDir)) {
        case Find::Absent:
            // The string table may be among the entries that were cut off.
            if (Shortened(root)) Report(0, lost);
            return true;
        case Find::Bad: return false;
        case Find::Found: break;
        }
        if (typeDir == root) return false;        // a directory inside itself
        if (Shortened(typeDir)) Report(0, lost);  // blocks whose entries were cut off
        WalkBlocks(root, typeDir);
        return true;
    }

private:
    enum class Find { Found, Absent, Bad };

    bool Headers() {
        if (!m_b.Has(0, 64) || m_b.U16(0) != 0x5A4D) return false;  // "MZ"
        const std::uint64_t pe = m_b.U32(0x3C);
        if (!m_b.Has(pe, 24) || m_b.U32(pe) != 0x00004550) return false;  // "PE\0\0"
        const std::uint32_t nSections = m_b.U16(pe + 6);
        const std::uint32_t optSize = m_b.U16(pe + 20);
        const std::uint64_t opt = pe + 24;
        if (!m_b.Has(opt, optSize) || optSize < 2) return false;

        std::uint64_t countAt = 0;
        std::uint64_t dirsAt = 0;
        switch (m_b.U16(opt)) {
        case 0x10B: countAt = 92, dirsAt = 96; break;    // PE32
        case 0x20B: countAt = 108, dirsAt = 112; break;  // PE32+
        default: return false;
        }
        if (optSize < dirsAt + 3 * 8 || m_b.U32(opt + countAt) < 3) return false;
        m_resRva = m_b.U32(opt + dirsAt + 2 * 8);
        m_resSize = m_b.U32(opt + dirsAt + 2 * 8 + 4);

        if (nSections > kMaxSections) return false;
        const std::uint64_t table = opt + optSize;
        if (!m_b.Has(table, 40ull * nSections)) return false;
        m_sections.reserve(nSections);
        for (std::uint32_t i = 0; i < nSections; ++i) {
            const std::uint64_t h = table + 40ull * i;
            const std::uint64_t vsize = m_b.U32(h + 8);
            const std::uint64_t rawSize = m_b.U32(h + 16);
            Section s;
            s.va = m_b.U32(h + 12);
            s.extent = vsize ? std::min(vsize, rawSize) : rawSize;
            s.raw = m_b.U32(h + 20);
            m_sections.push_back(s);
        }
        return true;
    }

    // File offset of [rva, rva + len), which must lie inside the file-backed
    // part of one section and inside the file; *end receives the end of that
    // part (clipped to the file).
    bool Map(std::uint64_t rva, std::uint64_t len, std::uint64_t* off, std::uint64_t* end) const {
        for (const Section& s : m_sections) {
            if (rva < s.va || rva - s.va >= s.extent) continue;
            const std::uint64_t delta = rva - s.va;
            if (len > s.extent - delta) return false;
            const std::uint64_t at = s.raw + delta;
            if (!m_b.Has(at, len)) return false;
            *off = at;
            if (end) *end = std::min(s.raw + s.extent, m_b.size());
            return true;
        }
        return false;
    }

    bool InRegion(std::uint64_t off, std::uint64_t len) const { return off <= m_regionEnd && len <= m_regionEnd - off; }

    // Entry count of the directory at `dir`, capped by the bytes left.
    std::uint64_t EntryCount(std::uint64_t dir) const {
        const std::uint64_t declared = static_cast<std::uint64_t>(m_b.U16(dir + 12)) + m_b.U16(dir + 14);
        return std::min(declared, (m_regionEnd - dir - 16) / 8);
    }

    // True when the directory at `dir` declares more entries than its
    // region holds.
    bool Shortened(std::uint64_t dir) const {
        return static_cast<std::uint64_t>(m_b.U16(dir + 12)) + m_b.U16(dir + 14) > EntryCount(dir);
    }

    // The subdirectory under id `id` of the directory at `dir`.
    Find FindSubdir(std::uint64_t root, std::uint64_t dir, std::uint32_t id, std::uint64_t* sub) const {
        if (!InRegion(dir, 16)) return Find::Bad;
        const std::uint64_t n = EntryCount(dir);
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint64_t e = dir + 16 + 8 * i;
            if (m_b.U32(e) != id) continue;  // named entries have the high bit set
            const std::uint32_t target = m_b.U32(e + 4);
            if (!(target & kSubdirBit)) return Find::Bad;
            *sub = root + (target & ~kSubdirBit);
            return InRegion(*sub, 16) ? Find::Found : Find::Bad;
        }
        return Find::Absent;
    }

    // The block's problem, once: the first fault found names it.
    void Report(std::uint32_t block, const char* what, unsigned firstLost = 0) {
        m_img->problems.push_back({block, what, firstLost});
    }

    // Binary search of the id entries of the directory at `dir` for `id`
    // (compared as 16 bits, named entries skipped), as the Windows loader
    // looks a language up; a hit that is a subdirectory is no hit. The file
    // offset of the data entry, or 0.
    std::uint64_t FindLanguage(std::uint64_t root, std::uint64_t dir, std::uint32_t id) const {
        const std::uint64_t n = EntryCount(dir);
        std::int64_t lo = m_b.U16(dir + 12);
        std::int64_t hi = std::min<std::int64_t>(lo + m_b.U16(dir + 14), static_cast<std::int64_t>(n)) - 1;
        while (lo <= hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            const std::uint64_t e = dir + 16 + 8 * static_cast<std::uint64_t>(mid);
            const std::uint32_t got = m_b.U16(e);
            if (got == id) {
                const std::uint32_t target = m_b.U32(e + 4);
                return (target & kSubdirBit) ? 0 : root + target;
            }
            if (got > id)
                hi = mid - 1;
            else
                lo = mid + 1;
        }
        return 0;
    }

    // The data entry of the block's language directory that the loader
    // would use (see Languages), or 0.
    std::uint64_t ChooseLanguage(std::uint64_t root, std::uint64_t dir) const {
        const auto neutral = [](std::uint32_t lang) { return lang & 0x3FFu; };  // the primary language, sublanguage 0
        const std::uint32_t order[] = {0x0000, m_langs.user, neutral(m_langs.user), m_langs.system, neutral(m_langs.system),
                                       0x0409};
        for (std::uint32_t lang : order)
            if (const std::uint64_t data = FindLanguage(root, dir, lang)) return data;
        // No preferred language: the first entry that holds data, named or not.
        const std::uint64_t n = EntryCount(dir);
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint32_t target = m_b.U32(dir + 16 + 8 * i + 4);
            if (!(target & kSubdirBit)) return root + target;
        }
        return 0;
    }

    void WalkBlocks(std::uint64_t root, std::uint64_t typeDir) {
        const std::uint64_t n = EntryCount(typeDir);
        // What lies past the end of the directory region was cut off when
        // the region ends with the file.
        const char* lost = m_regionEnd == m_b.size() ? "cut by the end of the file" : "directory outside its section";
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint64_t e = typeDir + 16 + 8 * i;
            const std::uint32_t block = m_b.U32(e);
            const std::uint32_t target = m_b.U32(e + 4);
            if (block == 0 || block > kMaxBlock || m_img->blockOrdinal[block]) continue;
            const std::uint64_t langDir = root + (target & ~kSubdirBit);
            if (!(target & kSubdirBit) || langDir == root || langDir == typeDir) {  // a loop back to an ancestor
                Report(block, "damaged resource directory");
                continue;
            }
            if (!InRegion(langDir, 16)) {
                Report(block, lost);
                continue;
            }
            // A fourth directory level is not a string table: only data
            // entries are chosen.
            const std::uint64_t dataEntry = ChooseLanguage(root, langDir);
            if (dataEntry == 0 || dataEntry == root) {
                Report(block, Shortened(langDir) ? lost : "damaged resource directory");
                continue;
            }
            if (!InRegion(dataEntry, 16)) {
                Report(block, lost);
                continue;
            }
            std::uint64_t at = 0, limit = 0;
            bool fileCut = false;
            if (!MapData(m_b.U32(dataEntry), &at, &limit, &fileCut)) {
                Report(block, fileCut ? "cut by the end of the file" : "string data outside the image");
                continue;
            }
            unsigned firstLost = 16;
            if (const char* fault = IndexBlock(at, m_b.U32(dataEntry + 4), limit, fileCut, &firstLost)) {
                Report(block, fault, firstLost);
            } else if (Shortened(langDir)) {
                Report(block, lost);  // another language's entry may be the one Windows would pick
            }
            m_img->blockOrdinal[block] = static_cast<std::uint16_t>(m_img->slots.size() / 16);
        }
        // By block, one each (a block listed twice is read once).
        auto& problems = m_img->problems;
        std::stable_sort(problems.begin(), problems.end(), [](const Problem& a, const Problem& b) { return a.block < b.block; });
        problems.erase(
            std::unique(problems.begin(), problems.end(), [](const Problem& a, const Problem& b) { return a.block == b.block; }),
            problems.end());
    }

    // Where the string data at `rva` starts in the file, and where the
    // file-backed part of its section ends (clipped to the file): *fileCut
    // when the file ends before the section's data does. False when the
    // start itself is not backed by the file.
    bool MapData(std::uint64_t rva, std::uint64_t* at, std::uint64_t* limit, bool* fileCut) const {
        for (const Section& s : m_sections) {
            if (rva < s.va || rva - s.va >= s.extent) continue;
            const std::uint64_t end = s.raw + s.extent;
            *fileCut = end > m_b.size();
            *at = s.raw + (rva - s.va);
            *limit = std::min(end, m_b.size());
            return *at < *limit;
        }
        return false;
    }

    // The 16 counted strings of the block at [at, at + size), of which the
    // bytes before `limit` are in the file. A string is kept when it lies
    // wholly inside both; the first one that does not ends the block and
    // names its fault (null when the block is whole).
    const char* IndexBlock(std::uint64_t at, std::uint64_t size, std::uint64_t limit, bool fileCut, unsigned* firstLost) {
        const std::uint64_t inFile = limit - at;
        const char* fault = nullptr;
        std::uint64_t pos = 0;
        for (int i = 0; i < 16; ++i) {
            std::uint32_t slot = 0;
            if (!fault) {
                std::uint64_t len = 0;
                if (size - pos < 2) {
                    fault = "the block ends before its 16 strings";
                } else if (inFile - std::min(inFile, pos) <
                           2) {  // NOLINT(bugprone-branch-clone): the order of the tests decides which fault is named
                    fault = fileCut ? "cut by the end of the file" : "reaches past the file data of its section";
                } else if (2 * (len = m_b.U16(at + pos)) > size - pos - 2) {
                    fault = "a string runs past the end of the block";
                } else if (2 * len > inFile - pos - 2) {
                    fault = fileCut ? "cut by the end of the file" : "reaches past the file data of its section";
                } else {
                    if (len) slot = static_cast<std::uint32_t>(at + pos);
                    pos += 2 + 2 * len;
                }
                if (fault) *firstLost = static_cast<unsigned>(i);
            }
            m_img->slots.push_back(slot);
        }
        // Whole strings, but a size that claims bytes the file lacks.
        if (!fault && size > inFile) fault = fileCut ? "cut by the end of the file" : "reaches past the file data of its section";
        return fault;
    }

    Bytes m_b;
    StringTableImage* m_img;
    Languages m_langs;
    std::vector<Section> m_sections;
    std::uint32_t m_resRva = 0;
    std::uint32_t m_resSize = 0;
    std::uint64_t m_regionEnd = 0;
};

}  // namespace

ImagePtr ParseOwned(std::unique_ptr<unsigned char[]> data, std::size_t size, const Languages& langs) {
    if ((!data && size) || size > 0xFFFFFFFFu) return nullptr;  // offsets are kept in 32 bits
    try {
        ImagePtr img(new StringTableImage);
        img->bytes = std::move(data);
        img->size = size;
        if (!Parser(img.get(), langs).Run()) return nullptr;
        return img;
    } catch (const std::bad_alloc&) { return nullptr; } catch (const std::length_error&) {
        return nullptr;
    }
}

ImagePtr Parse(const unsigned char* data, std::size_t size, const Languages& langs) {
    if (!data && size) return nullptr;
    std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[size ? size : 1]);
    if (!copy) return nullptr;
    if (size) std::memcpy(copy.get(), data, size);
    return ParseOwned(std::move(copy), size, langs);
}

ImagePtr Parse(const std::vector<unsigned char>& bytes, const Languages& langs) {
    return Parse(bytes.data(), bytes.size(), langs);
}

const std::vector<Problem>& Problems(const StringTableImage& img) { return img.problems; }

const unsigned char* FileBytes(const StringTableImage& img) { return img.bytes.get(); }

bool FindString(const StringTableImage& img, unsigned int id, const unsigned char** text, std::size_t* len) {
    if (id > 0xFFFF) return false;
    const std::uint32_t ordinal = img.blockOrdinal[id / 16 + 1];
    if (!ordinal) return false;
    const std::uint32_t at = img.slots[(ordinal - 1) * 16 + id % 16];
    if (!at) return false;
    const unsigned char* p = img.bytes.get() + at;
    *len = p[0] | (p[1] << 8);
    *text = p + 2;
    return true;
}

void Destroy(StringTableImage* img) { delete img; }

namespace {

// Language -> (region -> id); a region of "" is the language's default.
// Sorted by language, then region, for the lookup below.
struct LocaleId {
    const char* lang;
    const char* region;
    std::uint16_t id;
};
constexpr LocaleId kLocales[] = {
    {"ar", "", 0x0401},
    {"be", "", 0x0423},
    {"bg", "", 0x0402},
    {"bs", "", 0x141A},
    {"ca", "", 0x0403},
    {"cs", "", 0x0405},
    {"da", "", 0x0406},
    {"de", "", 0x0407},
    {"de", "AT", 0x0C07},
    {"de", "CH", 0x0807},
    {"de", "LI", 0x1407},
    {"de", "LU", 0x1007},
    {"el", "", 0x0408},
    {"en", "", 0x0409},
    {"en", "AU", 0x0C09},
    {"en", "CA", 0x1009},
    {"en", "GB", 0x0809},
    {"en", "IE", 0x1809},
    {"en", "NZ", 0x1409},
    {"en", "ZA", 0x1C09},
    {"es", "", 0x0C0A},
    {"es", "AR", 0x2C0A},
    {"es", "CL", 0x340A},
    {"es", "CO", 0x240A},
    {"es", "MX", 0x080A},
    {"es", "US", 0x540A},
    {"et", "", 0x0425},
    {"fi", "", 0x040B},
    {"fr", "", 0x040C},
    {"fr", "BE", 0x080C},
    {"fr", "CA", 0x0C0C},
    {"fr", "CH", 0x100C},
    {"fr", "LU", 0x140C},
    {"fr", "MC", 0x180C},
    {"he", "", 0x040D},
    {"hr", "", 0x041A},
    {"hr", "BA", 0x101A},
    {"hu", "", 0x040E},
    {"it", "", 0x0410},
    {"it", "CH", 0x0810},
    {"ja", "", 0x0411},
    {"ko", "", 0x0412},
    {"lt", "", 0x0427},
    {"lv", "", 0x0426},
    {"mk", "", 0x042F},
    {"nb", "", 0x0414},
    {"nl", "", 0x0413},
    {"nl", "BE", 0x0813},
    {"nn", "", 0x0814},
    {"no", "", 0x0414},
    {"pl", "", 0x0415},
    {"pt", "", 0x0416},
    {"pt", "PT", 0x0816},
    {"ro", "", 0x0418},
    {"ro", "MD", 0x0818},
    {"ru", "", 0x0419},
    {"ru", "MD", 0x0819},
    {"sk", "", 0x041B},
    {"sl", "", 0x0424},
    {"sq", "", 0x041C},
    // Serbian: Cyrillic unless "@latin", as the POSIX locales are.
    {"sr", "", 0x281A},
    {"sr", "BA", 0x1C1A},
    {"sr", "ME", 0x301A},
    {"sr@latin", "", 0x241A},
    {"sr@latin", "BA", 0x181A},
    {"sr@latin", "ME", 0x2C1A},
    {"sv", "", 0x041D},
    {"sv", "FI", 0x081D},
    {"tr", "", 0x041F},
    {"uk", "", 0x0422},
    {"zh", "", 0x0804},
    {"zh", "HK", 0x0C04},
    {"zh", "SG", 0x1004},
    {"zh", "TW", 0x0404},
};

}  // namespace

std::uint16_t LanguageOfLocale(const char* name) {
    constexpr std::uint16_t kEnglish = 0x0409;
    if (!name) return kEnglish;
    // language[_REGION][.codeset][@modifier], in fixed buffers: no
    // allocation, whatever the environment holds.
    char lang[16] = {}, region[8] = {};
    std::size_t n = 0;
    const char* p = name;
    for (; *p >= 'a' && *p <= 'z'; ++p)
        if (n < 3)
            lang[n++] = *p;
        else
            return kEnglish;
    if (*p == '_' || *p == '-') {
        std::size_t r = 0;
        for (++p; (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'); ++p)
            if (r < 3)
                region[r++] = static_cast<char>(*p & ~0x20);
            else
                return kEnglish;
    }
    const char* at = std::strchr(p, '@');
    if (at && std::strcmp(at, "@latin") == 0 && std::strcmp(lang, "sr") == 0) std::strcat(lang, "@latin");
    std::uint16_t fallback = kEnglish;
    for (const LocaleId& l : kLocales) {
        if (std::strcmp(lang, l.lang) != 0) continue;
        if (!*l.region) fallback = l.id;
        if (std::strcmp(region, l.region) == 0) return l.id;
    }
    return fallback;
}

Languages EnvironmentLanguages() {
    const auto first = [](const char* a, const char* b, const char* c) -> const char* {
        for (const char* var : {a, b, c}) {
            const char* v = std::getenv(var);
            if (v && *v) return v;
        }
        return nullptr;
    };
    Languages langs;
    langs.user = LanguageOfLocale(first("LC_ALL", "LC_MESSAGES", "LANG"));
    langs.system = LanguageOfLocale(first("LC_ALL", "LC_CTYPE", "LANG"));
    return langs;
}

}  // namespace kut::pe
