// POSIX backend of the platform layer. May hold only code generic to POSIX
// systems; language libraries are read by the portable PE reader.
#include "platform/platform.h"
#include "platform/pe_reader.h"

#include "kbase/files.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace kut::platform {

namespace {

// wchar_t is UTF-32 here; the system takes UTF-8 paths.
std::string ToUtf8(const wchar_t* s) {
    std::string out;
    for (; s && *s; ++s) {
        auto c = static_cast<std::uint32_t>(*s);  // NOLINT(bugprone-signed-char-misuse,cert-str34-c): a wide code unit, not a byte
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

long long TransferStreams(std::FILE* out, std::FILE* in, long long count, bool* atEnd) {
    int end = 0;
    long long moved = REP_FTransfer(out, in, count, &end);
    *atEnd = end != 0;
    return moved;
}

std::FILE* OpenFile(const wchar_t* path, const char* mode) {
    if (!path || !mode) return nullptr;
    std::string m;
    for (const char* p = mode; *p; ++p) {
        if (*p != 'b' && *p != 't') m += *p;
    }
    std::FILE* f = std::fopen(ToUtf8(path).c_str(), m.c_str());
    // A directory opens for reading here but not on Windows; refuse it so
    // that a folder named like a data file reads as a missing file on both.
    struct stat st {};
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        errno = EISDIR;
        return nullptr;
    }
    return f;
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

// The whole file, in one allocation without zero-filling when its size is
// known; streams that cannot seek are read in chunks.
std::unique_ptr<unsigned char[]> ReadWhole(std::FILE* f, std::size_t* size) {
    *size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long end = std::ftell(f);
        std::rewind(f);
        if (end > 0 && static_cast<unsigned long>(end) > kMaxLibraryBytes) return nullptr;
        if (end > 0) {
            const auto n = static_cast<std::size_t>(end);
            std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[n]);
            if (!data) return nullptr;
            // A file that shrank meanwhile is read to its new end.
            *size = std::fread(data.get(), 1, n, f);
            if (std::ferror(f)) return nullptr;
            return data;
        }
    }
    try {
        std::vector<unsigned char> bytes;
        unsigned char chunk[65536];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
            if (bytes.size() + n > kMaxLibraryBytes) return nullptr;
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        if (std::ferror(f)) return nullptr;
        std::unique_ptr<unsigned char[]> data(new unsigned char[bytes.size() ? bytes.size() : 1]);
        if (!bytes.empty()) std::memcpy(data.get(), bytes.data(), bytes.size());
        *size = bytes.size();
        return data;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

HMODULE LoadLib(const wchar_t* path) {
    std::FILE* f = OpenFile(path, "rb");
    if (!f) return nullptr;
    std::size_t size = 0;
    std::unique_ptr<unsigned char[]> data = ReadWhole(f, &size);
    std::fclose(f);
    if (!data) return nullptr;
    auto image = kut::pe::ParseOwned(std::move(data), size);
    if (!image) return nullptr;
    auto* lib = new (std::nothrow) KUT_LangLib{image.get()};
    if (lib) static_cast<void>(image.release());  // the library record owns it now
    return lib;
}

int ReadString(HMODULE lib, unsigned int id, wchar_t* buf, int cap) {
    if (!buf || cap <= 0) return 0;
    buf[0] = L'\0';
    // A null handle is the host program's own string table: an ELF program
    // has none.
    if (!lib) return 0;
    const unsigned char* text = nullptr;
    std::size_t len = 0;
    // Windows reads string numbers as 16-bit values (a number above 65535
    // reads the string of its low 16 bits); do the same.
    if (!kut::pe::FindString(*lib->image, id & 0xFFFFu, &text, &len)) return 0;
    using kut::pe::Unit;
    // UTF-16 to UTF-32. Almost every text holds no surrogate: widen it in
    // one straight (vectorisable) pass and only look again when one shows.
    const std::size_t room = static_cast<std::size_t>(cap) - 1;
    const std::size_t n = len < room ? len : room;
    unsigned surrogates = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t c = Unit(text, i);
        buf[i] = static_cast<wchar_t>(c);
        surrogates |= (c - 0xD800u) < 0x800u;
    }
    if (!surrogates) {
        buf[n] = L'\0';
        return static_cast<int>(n);
    }
    // A surrogate pair becomes one character, which also lets more of the
    // text into the buffer; a lone surrogate is kept as it is, as Windows
    // would hand it out.
    std::size_t count = 0;
    for (std::size_t i = 0; i < len && count < room; ++i) {
        std::uint32_t c = Unit(text, i);
        const std::uint32_t next = i + 1 < len ? Unit(text, i + 1) : 0;
        if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        }
        buf[count++] = static_cast<wchar_t>(c);
    }
    buf[count] = L'\0';
    return static_cast<int>(count);
}

void FreeLib(HMODULE lib) {
    if (!lib) return;
    kut::pe::Destroy(lib->image);
    delete lib;
}

}  // namespace kut::platform
