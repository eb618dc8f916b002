// POSIX backend of the platform layer. May hold only code generic to POSIX
// systems; language libraries are read by the portable PE reader.
#include "platform/platform.h"
#include "langlib/pe_reader.h"
#include "posix_open.h"
#include "utf8.h"

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

// wchar_t is UTF-32 here; the system takes bytes, UTF-8 by convention, and
// bytes that are not UTF-8 come back from their escapes.
std::string ToUtf8(const wchar_t* s) { return kut::utf8::FromWide(s); }

}  // namespace

long long TransferStreams(std::FILE* out, std::FILE* in, long long count, bool* atEnd) {
    int end = 0;
    long long moved = REP_FTransfer(out, in, count, &end);
    *atEnd = end != 0;
    return moved;
}

// A folder does not open (it would read as a file here but not on Windows),
// and a file without the owner's write bit is read-only as on Windows, for
// root too: the temporary-name search counts it as free and the conversion
// cannot write it (src/support/posix_open.h).
std::FILE* SystemOpenFile(const wchar_t* path, const char* mode) {
    if (!path || !mode) return nullptr;
    try {
        return kut::posix::OpenStream(ToUtf8(path).c_str(), mode);
    } catch (...) {
        return nullptr;  // no memory for the system's form of the path
    }
}

int SystemMessageBox(const wchar_t* text, const wchar_t* caption, unsigned /*style*/) {
    try {
        std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
    } catch (...) {
        // No memory to show the text: the answer is the same.
    }
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
    } catch (const std::bad_alloc&) { return nullptr; }
}

}  // namespace

HMODULE LoadLib(const wchar_t* path) {
    std::FILE* f = SystemOpenFile(path, "rb");
    if (!f) return nullptr;
    std::size_t size = 0;
    std::unique_ptr<unsigned char[]> data = ReadWhole(f, &size);
    std::fclose(f);
    if (!data) return nullptr;
    kut::pe::ImagePtr image;
    try {
        // The block's language as Windows would choose it for this user.
        image = kut::pe::ParseOwned(std::move(data), size, kut::pe::EnvironmentLanguages());
    } catch (...) { return nullptr; }
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

void ResourceLanguages(unsigned short* user, unsigned short* system) {
    const kut::pe::Languages langs = kut::pe::EnvironmentLanguages();
    *user = langs.user;
    *system = langs.system;
}

void FreeLib(HMODULE lib) {
    if (!lib) return;
    kut::pe::Destroy(lib->image);
    delete lib;
}

}  // namespace kut::platform
