#include "langlib/pe_reader.h"

#include <algorithm>
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
};

namespace {

class Parser {
public:
    explicit Parser(StringTableImage* img) : m_b(img->bytes.get(), img->size), m_img(img) {}

    // False when the file is refused.
    bool Run() {
        if (!Headers()) return false;
        if (m_resRva == 0 || m_resSize == 0) return true;  // no resources: loads, holds nothing

        std::uint64_t root = 0;
        if (!Map(m_resRva, 16, &root, &m_regionEnd)) return false;
        std::uint64_t typeDir = 0;
        switch (FindSubdir(root, root, kStringType, &typeDir)) {
            case Find::Absent: return true;
            case Find::Bad: return false;
            case Find::Found: break;
        }
        if (typeDir == root) return false;  // a directory inside itself
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

    bool InRegion(std::uint64_t off, std::uint64_t len) const {
        return off <= m_regionEnd && len <= m_regionEnd - off;
    }

    // Entry count of the directory at `dir`, capped by the bytes left.
    std::uint64_t EntryCount(std::uint64_t dir) const {
        const std::uint64_t declared = static_cast<std::uint64_t>(m_b.U16(dir + 12)) + m_b.U16(dir + 14);
        return std::min(declared, (m_regionEnd - dir - 16) / 8);
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

    void WalkBlocks(std::uint64_t root, std::uint64_t typeDir) {
        const std::uint64_t n = EntryCount(typeDir);
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint64_t e = typeDir + 16 + 8 * i;
            const std::uint32_t block = m_b.U32(e);
            const std::uint32_t target = m_b.U32(e + 4);
            if (block == 0 || block > kMaxBlock || m_img->blockOrdinal[block]) continue;
            if (!(target & kSubdirBit)) continue;
            const std::uint64_t langDir = root + (target & ~kSubdirBit);
            if (langDir == root || langDir == typeDir) continue;  // a loop back to an ancestor
            if (!InRegion(langDir, 16 + 8) || EntryCount(langDir) == 0) continue;
            // The first language of the block, whichever it is; a fourth
            // directory level is not a string table.
            const std::uint32_t dataRef = m_b.U32(langDir + 16 + 4);
            if (dataRef & kSubdirBit) continue;
            const std::uint64_t dataEntry = root + dataRef;
            if (!InRegion(dataEntry, 16)) continue;
            std::uint64_t at = 0;
            const std::uint64_t size = m_b.U32(dataEntry + 4);
            if (!Map(m_b.U32(dataEntry), size, &at, nullptr)) continue;
            IndexBlock(at, size);
            m_img->blockOrdinal[block] = static_cast<std::uint16_t>(m_img->slots.size() / 16);
        }
    }

    // The 16 counted strings at [at, at + size); a count that runs past the
    // end leaves that slot and the ones after it empty.
    void IndexBlock(std::uint64_t at, std::uint64_t size) {
        std::uint64_t pos = 0;
        bool truncated = false;
        for (int i = 0; i < 16; ++i) {
            std::uint32_t slot = 0;
            if (!truncated && size - pos >= 2) {
                const std::uint32_t len = m_b.U16(at + pos);
                if (2ull * len > size - pos - 2) {
                    truncated = true;
                } else {
                    if (len) slot = static_cast<std::uint32_t>(at + pos);
                    pos += 2 + 2ull * len;
                }
            } else {
                truncated = true;
            }
            m_img->slots.push_back(slot);
        }
    }

    Bytes m_b;
    StringTableImage* m_img;
    std::vector<Section> m_sections;
    std::uint32_t m_resRva = 0;
    std::uint32_t m_resSize = 0;
    std::uint64_t m_regionEnd = 0;
};

}  // namespace

ImagePtr ParseOwned(std::unique_ptr<unsigned char[]> data, std::size_t size) {
    if ((!data && size) || size > 0xFFFFFFFFu) return nullptr;  // offsets are kept in 32 bits
    try {
        ImagePtr img(new StringTableImage);
        img->bytes = std::move(data);
        img->size = size;
        if (!Parser(img.get()).Run()) return nullptr;
        return img;
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
}

ImagePtr Parse(const unsigned char* data, std::size_t size) {
    if (!data && size) return nullptr;
    std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[size ? size : 1]);
    if (!copy) return nullptr;
    if (size) std::memcpy(copy.get(), data, size);
    return ParseOwned(std::move(copy), size);
}

ImagePtr Parse(const std::vector<unsigned char>& bytes) { return Parse(bytes.data(), bytes.size()); }

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

}  // namespace kut::pe
