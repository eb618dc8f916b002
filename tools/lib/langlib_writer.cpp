#include "langlib_writer.h"

#include "textconv.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kuttools {

namespace {

constexpr std::uint32_t kFileAlign = 0x200;
constexpr std::uint32_t kSectionAlign = 0x1000;
constexpr std::uint32_t kPeOffset = 0x80;
constexpr std::uint32_t kRsrcRva = 0x1000;
constexpr std::uint32_t kHeadersSize = 0x200;  // DOS + PE headers + one section header, aligned
constexpr std::uint16_t kStringType = 6;

std::uint32_t AlignUp(std::uint32_t v, std::uint32_t a) { return (v + a - 1) & ~(a - 1); }

class ByteWriter {
public:
    explicit ByteWriter(std::vector<unsigned char>* out) : m_out(out) {}
    std::size_t pos() const { return m_out->size(); }
    void U8(unsigned v) { m_out->push_back(static_cast<unsigned char>(v)); }
    void U16(unsigned v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Bytes(const void* p, std::size_t n) {
        auto b = static_cast<const unsigned char*>(p);
        m_out->insert(m_out->end(), b, b + n);
    }
    void PadTo(std::size_t n) {
        if (m_out->size() < n) m_out->resize(n, 0);
    }
    void Patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) (*m_out)[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }

private:
    std::vector<unsigned char>* m_out;
};

// The classic real-mode stub: prints a line and exits when run under DOS.
const unsigned char kDosStub[] = {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
const char kDosMessage[] = "This program cannot be run in DOS mode.\r\r\n$";

// Directory table header: characteristics, time stamp, version, then the
// named and id entry counts.
void DirectoryHeader(ByteWriter& w, unsigned idEntries) {
    w.U32(0);
    w.U32(0);
    w.U16(0);
    w.U16(0);
    w.U16(0);
    w.U16(idEntries);
}

// Block id -> its language entries in file order: language id and 16 slots.
using Slots = std::vector<const std::u16string*>;
using BlockMap = std::map<unsigned, std::vector<std::pair<unsigned short, Slots>>>;

// The resource section for `blocks`, laid out as
// root | type dir | language dirs | data entries | string data.
std::vector<unsigned char> ResourceSection(const BlockMap& blocks) {
    std::vector<unsigned char> out;
    ByteWriter w(&out);
    const std::uint32_t n = static_cast<std::uint32_t>(blocks.size());
    std::uint32_t entries = 0;
    for (const auto& b : blocks) entries += static_cast<std::uint32_t>(b.second.size());
    const std::uint32_t rootSize = 16 + 8;
    const std::uint32_t typeDirOff = rootSize;
    const std::uint32_t langDirsOff = typeDirOff + 16 + 8 * n;
    const std::uint32_t dataEntriesOff = langDirsOff + 16 * n + 8 * entries;
    const std::uint32_t stringsOff = dataEntriesOff + 16 * entries;

    DirectoryHeader(w, n ? 1 : 0);
    if (n) {
        w.U32(kStringType);
        w.U32(0x80000000u | typeDirOff);
    } else {
        w.U64(0);  // keeps the layout arithmetic above; never referenced
    }

    DirectoryHeader(w, n);
    std::uint32_t dirAt = langDirsOff;
    for (const auto& b : blocks) {
        w.U32(b.first);
        w.U32(0x80000000u | dirAt);
        dirAt += 16 + 8 * static_cast<std::uint32_t>(b.second.size());
    }
    std::uint32_t entry = 0;
    for (const auto& b : blocks) {
        DirectoryHeader(w, static_cast<unsigned>(b.second.size()));
        for (const auto& lang : b.second) {
            w.U32(lang.first);
            w.U32(dataEntriesOff + 16 * entry++);  // high bit clear: a data entry
        }
    }

    // String data first into its own buffer, so that the data entries can
    // carry final addresses.
    std::vector<unsigned char> data;
    ByteWriter d(&data);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
    for (const auto& b : blocks) {
        for (const auto& lang : b.second) {
            d.PadTo(AlignUp(static_cast<std::uint32_t>(data.size()), 8));
            std::uint32_t start = static_cast<std::uint32_t>(data.size());
            for (const std::u16string* s : lang.second) {
                if (!s) {
                    d.U16(0);
                    continue;
                }
                d.U16(static_cast<unsigned>(s->size()));
                for (char16_t c : *s) d.U16(c);
            }
            spans.emplace_back(start, static_cast<std::uint32_t>(data.size()) - start);
        }
    }
    for (const auto& sp : spans) {
        w.U32(kRsrcRva + stringsOff + sp.first);
        w.U32(sp.second);
        w.U32(0);  // code page
        w.U32(0);
    }
    w.Bytes(data.data(), data.size());
    return out;
}

// The optional header's checksum, computed the way the image checker does:
// 16-bit one's-complement-style sum with carries folded, plus the length.
std::uint32_t ImageChecksum(const std::vector<unsigned char>& img, std::size_t checksumAt) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < img.size(); i += 2) {
        if (i == checksumAt || i == checksumAt + 2) continue;
        unsigned word = img[i] | (i + 1 < img.size() ? img[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + img.size());
}

}  // namespace

bool BuildLanguageLibrary(const std::map<unsigned, std::u16string>& strings, std::vector<unsigned char>* image,
                          std::string* error, unsigned short langId) {
    return BuildLanguageLibrary(std::vector<LanguageStrings>{{langId, strings}}, image, error);
}

bool BuildLanguageLibrary(const std::vector<LanguageStrings>& languages, std::vector<unsigned char>* image, std::string* error) {
    auto fail = [&](const std::string& msg) {
        if (error) *error = msg;
        return false;
    };
    if (!image) return fail("no output buffer");
    BlockMap blocks;
    for (const LanguageStrings& lang : languages) {
        for (const auto& kv : lang.strings) {
            if (kv.first > 0xFFFF) return fail("string number " + std::to_string(kv.first) + " is outside 0..65535");
            if (kv.second.size() > kMaxStringUnits) {
                return fail("string " + std::to_string(kv.first) + " is longer than 65535 UTF-16 units");
            }
            auto& entries = blocks[kv.first / 16 + 1];
            Slots* slots = nullptr;
            for (auto& e : entries)
                if (e.first == lang.langId) slots = &e.second;
            if (!slots) {
                entries.emplace_back(lang.langId, Slots(16, nullptr));
                slots = &entries.back().second;
            }
            (*slots)[kv.first % 16] = &kv.second;
        }
    }

    std::vector<unsigned char> rsrc = ResourceSection(blocks);
    if (rsrc.size() > 0x7FFF0000u) return fail("string table too large");
    const auto rsrcSize = static_cast<std::uint32_t>(rsrc.size());
    const std::uint32_t rawSize = AlignUp(rsrcSize, kFileAlign);
    const std::uint32_t imageSize = kRsrcRva + AlignUp(rsrcSize, kSectionAlign);

    std::vector<unsigned char>& img = *image;
    img.clear();
    img.reserve(kHeadersSize + rawSize);
    ByteWriter w(&img);

    // DOS header: "MZ", the fields a linker fills, e_lfanew at 0x3C.
    w.U16(0x5A4D);
    w.U16(0x90);  // bytes on last page
    w.U16(3);     // pages
    w.U16(0);     // relocations
    w.U16(4);     // header paragraphs
    w.U16(0);     // min extra
    w.U16(0xFFFF);
    w.U16(0);     // ss
    w.U16(0xB8);  // sp
    w.U16(0);     // checksum
    w.U16(0);     // ip
    w.U16(0);     // cs
    w.U16(0x40);  // relocation table
    w.U16(0);     // overlay
    w.PadTo(0x3C);
    w.U32(kPeOffset);
    w.Bytes(kDosStub, sizeof kDosStub);
    w.Bytes(kDosMessage, sizeof kDosMessage - 1);
    w.PadTo(kPeOffset);

    // PE signature and COFF header.
    w.Bytes("PE\0\0", 4);
    w.U16(0x8664);                    // AMD64
    w.U16(1);                         // sections
    w.U32(0);                         // time stamp
    w.U32(0);                         // symbol table
    w.U32(0);                         // symbols
    w.U16(240);                       // size of the PE32+ optional header
    w.U16(0x2000 | 0x0020 | 0x0002);  // DLL, large address aware, executable image

    // Optional header, PE32+.
    w.U16(0x20B);
    w.U8(14);  // linker version
    w.U8(0);
    w.U32(0);         // size of code
    w.U32(rawSize);   // size of initialised data
    w.U32(0);         // size of uninitialised data
    w.U32(0);         // entry point: none, the library holds no code
    w.U32(kRsrcRva);  // base of code
    w.U64(0x180000000ull);
    w.U32(kSectionAlign);
    w.U32(kFileAlign);
    w.U16(6);  // OS version
    w.U16(0);
    w.U16(0);  // image version
    w.U16(0);
    w.U16(6);  // subsystem version
    w.U16(0);
    w.U32(0);  // Win32 version value
    w.U32(imageSize);
    w.U32(kHeadersSize);
    const std::size_t checksumAt = w.pos();
    w.U32(0);  // checksum, patched below
    w.U16(2);  // subsystem: Windows GUI
    // Relocatable without a relocation table: there is nothing to fix up.
    w.U16(0x0020 | 0x0040 | 0x0100);  // high-entropy VA, dynamic base, NX compatible
    w.U64(0x100000);                  // stack reserve
    w.U64(0x1000);                    // stack commit
    w.U64(0x100000);                  // heap reserve
    w.U64(0x1000);                    // heap commit
    w.U32(0);                         // loader flags
    w.U32(16);                        // data directories
    for (int i = 0; i < 16; ++i) {
        if (i == 2) {
            w.U32(kRsrcRva);
            w.U32(rsrcSize);
        } else {
            w.U64(0);
        }
    }

    // The section header.
    w.Bytes(".rsrc\0\0\0", 8);
    w.U32(rsrcSize);  // virtual size
    w.U32(kRsrcRva);
    w.U32(rawSize);
    w.U32(kHeadersSize);  // raw data pointer
    w.U32(0);             // relocations
    w.U32(0);             // line numbers
    w.U16(0);
    w.U16(0);
    w.U32(0x40000040u);  // initialised data, readable
    w.PadTo(kHeadersSize);

    w.Bytes(rsrc.data(), rsrc.size());
    w.PadTo(kHeadersSize + rawSize);
    w.Patch32(checksumAt, ImageChecksum(img, checksumAt));
    return true;
}

bool WriteLanguageLibrary(const std::wstring& path, const std::map<unsigned, std::u16string>& strings, std::string* error,
                          unsigned short langId, native::Replace replace) {
    std::vector<unsigned char> image;
    if (!BuildLanguageLibrary(strings, &image, error, langId)) return false;
    return native::WriteFileAtomic(path, image.data(), image.size(), error, replace) != 1;
}

bool WriteLanguageLibrary(const std::wstring& path, const std::map<unsigned, std::wstring>& strings, std::string* error,
                          unsigned short langId, native::Replace replace) {
    std::map<unsigned, std::u16string> u16;
    for (const auto& kv : strings) u16.emplace(kv.first, ToUtf16(kv.second));
    return WriteLanguageLibrary(path, u16, error, langId, replace);
}

}  // namespace kuttools
