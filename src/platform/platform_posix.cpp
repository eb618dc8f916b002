// POSIX backend of the platform layer. May hold only code generic to POSIX
// systems; language libraries are read by the portable PE reader.
#include "platform/platform.h"
#include "platform/pe_reader.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace kut::platform {

namespace {

// wchar_t is UTF-32 here; the system takes UTF-8 paths.
std::string ToUtf8(const wchar_t* s) {
    std::string out;
    for (; s && *s; ++s) {
        auto c = static_cast<std::uint32_t>(*s);
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            out += '?';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::FILE* OpenFile(const wchar_t* path, const char* mode) {
    if (!path || !mode) return nullptr;
    std::string m;
    for (const char* p = mode; *p; ++p) {
        if (*p != 'b' && *p != 't') m += *p;
    }
    return std::fopen(ToUtf8(path).c_str(), m.c_str());
}

int SystemMessageBox(const wchar_t* text, const wchar_t* caption, unsigned /*style*/) {
    std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
    return 1;  // IDOK
}

}  // namespace kut::platform

// ---- language libraries ----------------------------------------------------

struct KUT_LangLib {
    kut::pe::StringTableImage* image;
};

namespace kut::platform {

namespace {

// Larger files are not language libraries: a full string table (65,535
// strings of 65,535 characters) is far beyond what a product ships, and the
// cap keeps a stray path from pulling gigabytes into memory.
constexpr std::size_t kMaxLibraryBytes = std::size_t{256} << 20;

bool ReadWhole(std::FILE* f, std::vector<unsigned char>* bytes) {
    try {
        unsigned char chunk[65536];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
            if (bytes->size() + n > kMaxLibraryBytes) return false;
            bytes->insert(bytes->end(), chunk, chunk + n);
        }
        return std::ferror(f) == 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

HMODULE LoadLib(const wchar_t* path) {
    std::FILE* f = OpenFile(path, "rb");
    if (!f) return nullptr;
    std::vector<unsigned char> bytes;
    const bool ok = ReadWhole(f, &bytes);
    std::fclose(f);
    if (!ok) return nullptr;
    // The strings are copied out; the file's bytes go with this scope.
    auto image = kut::pe::Parse(bytes);
    if (!image) return nullptr;
    auto* lib = new (std::nothrow) KUT_LangLib{image.get()};
    if (lib) image.release();
    return lib;
}

int ReadString(HMODULE lib, unsigned int id, wchar_t* buf, int cap) {
    if (!buf || cap <= 0) return 0;
    buf[0] = L'\0';
    // A null handle is the host program's own string table: an ELF program
    // has none.
    if (!lib) return 0;
    const char16_t* text = nullptr;
    std::size_t len = 0;
    if (!kut::pe::FindString(*lib->image, id, &text, &len)) return 0;
    // UTF-16 to UTF-32: a surrogate pair becomes one character; a lone
    // surrogate is kept as it is, as Windows would hand it out.
    int count = 0;
    for (std::size_t i = 0; i < len && count < cap - 1; ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < len && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        buf[count++] = static_cast<wchar_t>(c);
    }
    buf[count] = L'\0';
    return count;
}

void FreeLib(HMODULE lib) {
    if (!lib) return;
    kut::pe::Destroy(lib->image);
    delete lib;
}

}  // namespace kut::platform
