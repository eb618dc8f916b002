#include "imgfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "kbase/graf.h"
#include "kut/img.h"
#include "pngio.h"
#include "textconv.h"

namespace kuttools {
namespace {

namespace fs = std::filesystem;

std::string Shown(const std::wstring& w) { return ToUtf8(w); }

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::wstring& path) { return File(native::OpenFile(path, "rb")); }

// "cannot open <path>: <reason>" for a failed Open.
std::string CannotOpen(const std::wstring& path) {
    const int err = errno;
    return "cannot open " + Shown(path) + ": " + native::ErrnoReason(err);
}

// With Replace::kRefuse an existing destination is kept: true in *skip.
bool Prepare(const std::vector<std::wstring>& inputs, const std::wstring& out, native::Replace replace, bool* skip,
             std::string* error) {
    *skip = false;
    if (!native::CheckOutputs(inputs, {out}, error)) return false;
    *skip = replace == native::Replace::kRefuse && native::Exists(out);
    return true;
}

void Put16(std::string* s, unsigned v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::uint32_t Get32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// The index as stored, with its bounds checked against the file's length.
struct RawEntry {
    std::int32_t position;
};
struct RawModule {
    std::string name;
    std::vector<RawEntry> entries;
};

bool ReadIndex(std::FILE* f, std::vector<RawModule>* modules, std::string* error) {
    unsigned char word[2];
    if (std::fread(word, 1, 2, f) != 2) return Fail(error, "the file is too short for a module count");
    const auto count = static_cast<short>(word[0] | (word[1] << 8));
    if (count < 0) return Fail(error, "negative module count " + std::to_string(count));
    modules->clear();
    for (int m = 0; m < count; ++m) {
        unsigned char head[14];
        if (std::fread(head, 1, sizeof head, f) != sizeof head) {
            return Fail(error, "the index ends inside module record " + std::to_string(m));
        }
        RawModule mod;
        for (int i = 0; i < 7 && head[i]; ++i) mod.name += static_cast<char>(head[i]);
        const auto images = static_cast<short>(head[8] | (head[9] << 8));
        if (images <= 0) return Fail(error, "module " + mod.name + " has " + std::to_string(images) + " images");
        std::vector<unsigned char> table(8u * static_cast<unsigned>(images));
        if (std::fread(table.data(), 1, table.size(), f) != table.size()) {
            return Fail(error, "the index ends inside the image table of module " + mod.name);
        }
        for (int i = 0; i < images; ++i) { mod.entries.push_back({static_cast<std::int32_t>(Get32(&table[8u * i]))}); }
        modules->push_back(std::move(mod));
    }
    return true;
}

// Length of the BMP at `pos`: the pixel rows' end, or the header's file size
// when that is larger, never past the end of the file; 0 when it is not a
// readable bitmap.
std::int64_t BmpLength(std::FILE* f, std::int32_t pos, std::int64_t fileEnd) {
    if (pos < 0 || pos >= fileEnd || std::fseek(f, pos, SEEK_SET) != 0) return 0;
    const GRAF_BMP_INFO* info = GRAF_BMP_FInfo(f);
    if (!info) return 0;
    unsigned char head[14];
    if (std::fseek(f, pos, SEEK_SET) != 0 || std::fread(head, 1, sizeof head, f) != sizeof head) return 0;
    const std::int64_t stride = (static_cast<std::int64_t>(info->width) * info->bitCount + 31) / 32 * 4;
    const std::int64_t rowsEnd = Get32(head + 10) + stride * info->height;
    const std::int64_t declared = Get32(head + 2);
    std::int64_t len = std::max(rowsEnd, declared);
    return std::min(len, fileEnd - pos);
}

std::wstring Wide(const std::string& s) {
    std::wstring w;
    for (unsigned char c : s) w += static_cast<wchar_t>(c);
    return w;
}

}  // namespace

bool EncodeBmp(const Bitmap& bitmap, int bpp, bool topDown, std::string* bmp, std::string* error) {
    const int w = bitmap.width, h = bitmap.height;
    if (w < 1 || h < 1 || static_cast<std::size_t>(w) * h != bitmap.pixels.size()) {
        return Fail(error, "bitmap size does not match its pixels");
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        return Fail(error, "unsupported depth " + std::to_string(bpp));
    }
    std::vector<std::uint32_t> palette;
    std::map<std::uint32_t, unsigned> index;
    if (bpp <= 8) {
        for (std::uint32_t p : bitmap.pixels) {
            p &= 0xFFFFFF;
            if (index.count(p)) continue;
            if (palette.size() == (1u << bpp)) {
                return Fail(error,
                            "more than " + std::to_string(1u << bpp) + " colours for " + std::to_string(bpp) + " bits per pixel");
            }
            index[p] = static_cast<unsigned>(palette.size());
            palette.push_back(p);
        }
    }
    const std::uint32_t stride = (static_cast<std::uint32_t>(w) * bpp + 31) / 32 * 4;
    const std::uint32_t offBits = 14 + 40 + 4 * static_cast<std::uint32_t>(palette.size());
    std::string out;
    out += "BM";
    Put32(&out, offBits + stride * h);
    Put32(&out, 0);
    Put32(&out, offBits);
    Put32(&out, 40);
    Put32(&out, static_cast<std::uint32_t>(w));
    Put32(&out, static_cast<std::uint32_t>(topDown ? -h : h));
    Put16(&out, 1);
    Put16(&out, static_cast<unsigned>(bpp));
    Put32(&out, 0);
    Put32(&out, stride * h);
    Put32(&out, 2835);
    Put32(&out, 2835);
    Put32(&out, static_cast<std::uint32_t>(palette.size()));
    Put32(&out, 0);
    for (std::uint32_t c : palette) Put32(&out, c);  // B, G, R, 0
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        std::string row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = bitmap.pixels[static_cast<std::size_t>(y) * w + x] & 0xFFFFFF;
            switch (bpp) {
            case 1: row[x >> 3] = static_cast<char>(row[x >> 3] | (index[p] << (7 - (x & 7)))); break;
            case 4: row[x >> 1] = static_cast<char>(row[x >> 1] | (index[p] << ((x & 1) ? 0 : 4))); break;
            case 8: row[x] = static_cast<char>(index[p]); break;
            default: {
                const int n = bpp / 8;
                row[n * x] = static_cast<char>(p & 0xFF);
                row[n * x + 1] = static_cast<char>((p >> 8) & 0xFF);
                row[n * x + 2] = static_cast<char>((p >> 16) & 0xFF);
                if (n == 4) row[n * x + 3] = static_cast<char>(0xFF);
            }
            }
        }
        out += row;
    }
    *bmp = std::move(out);
    return true;
}

bool ImageFileBytes(const std::vector<ImgModuleSource>& modules, std::string* bytes, std::string* error) {
    if (modules.size() > 32767) return Fail(error, "more than 32767 modules");
    std::size_t indexBytes = 2;
    for (const auto& m : modules) {
        if (m.name.empty() || m.name.size() > 7 || m.name.find('\0') != std::string::npos) {
            return Fail(error, "module name \"" + m.name + "\" is not 1 to 7 characters");
        }
        if (m.bitmaps.empty() || m.bitmaps.size() > 32767) {
            return Fail(error, "module " + m.name + " needs 1 to 32767 images, has " + std::to_string(m.bitmaps.size()));
        }
        indexBytes += 14 + 8 * m.bitmaps.size();
    }
    std::string out;
    Put16(&out, static_cast<unsigned>(modules.size()));
    std::uint64_t pos = indexBytes;
    for (const auto& m : modules) {
        std::string name = m.name;
        name.resize(8, '\0');
        out += name;
        Put16(&out, static_cast<unsigned>(m.bitmaps.size()));
        Put32(&out, 0);
        for (const auto& b : m.bitmaps) {
            if (pos + b.size() > 0x7FFFFFFF) return Fail(error, "the image file would exceed 2 GiB");
            Put32(&out, static_cast<std::uint32_t>(pos));
            Put32(&out, static_cast<std::uint32_t>(b.size()));
            pos += b.size();
        }
    }
    for (const auto& m : modules) {
        for (const auto& b : m.bitmaps) out += b;
    }
    *bytes = std::move(out);
    return true;
}

bool BuildImageFile(const std::wstring& folder, const std::wstring& out, std::string* error, native::Replace replace) {
    std::vector<ImgModuleSource> modules;
    std::vector<std::vector<fs::path>> paths;  // the bitmaps of each module
    std::vector<std::wstring> inputs;
    std::error_code ec;
    std::vector<fs::path> dirs;
    for (fs::directory_iterator it(native::FsPath(folder), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec)) dirs.push_back(it->path());
    }
    if (ec) return Fail(error, "cannot list " + Shown(folder) + ": " + ec.message());
    std::sort(dirs.begin(), dirs.end());
    for (const fs::path& dir : dirs) {
        ImgModuleSource mod;
        mod.name = dir.filename().string();
        std::vector<fs::path> files;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string ext = it->path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
            if ((ext == ".bmp" || ext == ".png") && it->is_regular_file(ec)) files.push_back(it->path());
        }
        if (ec) return Fail(error, "cannot list " + Shown(native::FromFsPath(dir)) + ": " + ec.message());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) inputs.push_back(native::FromFsPath(f));
        modules.push_back(std::move(mod));
        paths.push_back(std::move(files));
    }
    if (modules.empty()) return Fail(error, Shown(folder) + " has no module folders");
    // The output may sit among the bitmaps (or be one of them through a link).
    bool skip = false;
    if (!Prepare(inputs, out, replace, &skip, error)) return false;
    if (skip) return true;
    for (std::size_t m = 0; m < modules.size(); ++m) {
        for (const fs::path& f : paths[m]) {
            std::string bytes;
            if (!native::ReadFile(native::FromFsPath(f), &bytes, error)) return false;
            std::string why;
            if (IsPngName(native::FromFsPath(f)) && !PngToBmp(std::string(bytes), &bytes, &why)) {
                return Fail(error, Shown(native::FromFsPath(f)) + ": " + why);
            }
            modules[m].bitmaps.push_back(std::move(bytes));
        }
    }
    std::string bytes;
    if (!ImageFileBytes(modules, &bytes, error)) return false;
    native::PendingOutput pending;
    if (!pending.Begin(out, error) || !pending.Write(bytes.data(), bytes.size(), error)) return false;

    // Every bitmap must be one the library reads; checked on the written
    // file before it takes the destination's place.
    {
        File f = Open(pending.TempPath());
        if (!f) return Fail(error, CannotOpen(pending.TempPath()));
        std::vector<RawModule> index;
        if (!ReadIndex(f.get(), &index, error)) return false;
        for (std::size_t m = 0; m < index.size(); ++m) {
            for (std::size_t i = 0; i < index[m].entries.size(); ++i) {
                if (std::fseek(f.get(), index[m].entries[i].position, SEEK_SET) != 0 || GRAF_BMP_Size(f.get()) <= 0) {
                    return Fail(error, Shown(native::FromFsPath(paths[m][i])) + ": image " + std::to_string(i) + " of module " +
                                           index[m].name + " is not a bitmap the library can read");
                }
            }
        }
    }
    return pending.Commit(error, replace) != 1;
}

bool ListImageFile(const std::wstring& path, std::vector<ImgModuleInfo>* modules, std::string* error) {
    File f = Open(path);
    if (!f) return Fail(error, CannotOpen(path));
    std::vector<RawModule> index;
    if (!ReadIndex(f.get(), &index, error)) return false;
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        return Fail(error, "cannot measure " + Shown(path) + ": " + native::ErrnoReason(errno));
    const std::int64_t fileEnd = std::ftell(f.get());
    modules->clear();
    for (const RawModule& raw : index) {
        ImgModuleInfo mod;
        mod.name = raw.name;
        for (const RawEntry& e : raw.entries) {
            ImgEntryInfo info;
            info.position = e.position;
            info.fileBytes = BmpLength(f.get(), e.position, fileEnd);
            if (info.fileBytes > 0 && std::fseek(f.get(), e.position, SEEK_SET) == 0) {
                if (const GRAF_BMP_INFO* bi = GRAF_BMP_FInfo(f.get())) {
                    info.width = bi->width;
                    info.height = bi->height;
                    info.bitCount = bi->bitCount;
                    info.memoryBytes = GRAF_BMP_Size(f.get());
                }
            }
            mod.images.push_back(info);
        }
        modules->push_back(std::move(mod));
    }
    return true;
}

std::string FormatListing(const std::vector<ImgModuleInfo>& modules) {
    std::string out;
    char line[160];
    for (const auto& m : modules) {
        std::snprintf(line, sizeof line, "%-7s %d images\n", m.name.c_str(), static_cast<int>(m.images.size()));
        out += line;
        for (std::size_t i = 0; i < m.images.size(); ++i) {
            const ImgEntryInfo& e = m.images[i];
            if (e.memoryBytes > 0) {
                std::snprintf(line, sizeof line, "  %4d  at %10ld  %4d x %-4d %2d bpp  %8lld bytes in file  %8d in memory\n",
                              static_cast<int>(i), static_cast<long>(e.position), e.width, e.height, e.bitCount,
                              static_cast<long long>(e.fileBytes), e.memoryBytes);
            } else {
                std::snprintf(line, sizeof line, "  %4d  at %10ld  unreadable\n", static_cast<int>(i),
                              static_cast<long>(e.position));
            }
            out += line;
        }
    }
    return out;
}

bool ExtractImage(const std::wstring& path, const std::string& module, int image, const std::wstring& outBmp, std::string* error,
                  native::Replace replace) {
    bool skip = false;
    if (!Prepare({path}, outBmp, replace, &skip, error)) return false;
    if (skip) return true;
    File f = Open(path);
    if (!f) return Fail(error, CannotOpen(path));
    std::vector<RawModule> index;
    if (!ReadIndex(f.get(), &index, error)) return false;
    auto it = std::find_if(index.begin(), index.end(), [&](const RawModule& m) { return m.name == module; });
    if (it == index.end()) return Fail(error, "no module " + module);
    if (image < 0 || static_cast<std::size_t>(image) >= it->entries.size()) {
        return Fail(error, "module " + module + " has no image " + std::to_string(image));
    }
    if (std::fseek(f.get(), 0, SEEK_END) != 0)
        return Fail(error, "cannot measure " + Shown(path) + ": " + native::ErrnoReason(errno));
    const std::int64_t fileEnd = std::ftell(f.get());
    const std::int32_t pos = it->entries[static_cast<std::size_t>(image)].position;
    const std::int64_t len = BmpLength(f.get(), pos, fileEnd);
    if (len <= 0) return Fail(error, "image " + std::to_string(image) + " of " + module + " is not a readable bitmap");
    std::string bytes(static_cast<std::size_t>(len), '\0');
    if (std::fseek(f.get(), pos, SEEK_SET) != 0 || std::fread(&bytes[0], 1, bytes.size(), f.get()) != bytes.size()) {
        const int err = std::ferror(f.get()) ? errno : 0;
        return Fail(error, "cannot read image " + std::to_string(image) + " of " + module + " from " + Shown(path) + ": " +
                               (err ? native::ErrnoReason(err) : std::string("the file ends inside it")));
    }
    return native::WriteFileAtomic(outBmp, bytes.data(), bytes.size(), error, replace) != 1;
}

bool RenderSheet(const std::wstring& path, const std::string& module, const std::wstring& outBmp, int columns, int gap,
                 std::string* error, native::Replace replace) {
    bool skip = false;
    if (!Prepare({path}, outBmp, replace, &skip, error)) return false;
    if (skip) return true;
    if (!Open(path)) return Fail(error, CannotOpen(path));
    if (gap < 0) gap = 0;
    IMG_SetImgPathFileName(path.c_str());
    const std::wstring name = Wide(module);
    struct Cell {
        short width, height;
        int x, y;
    };
    std::vector<Cell> cells;
    for (int i = 0; i <= 32767 && IMG_CreateLabel(name.c_str(), static_cast<short>(i), nullptr) == 0; ++i) {
        Cell c{0, 0, 0, 0};
        IMG_ImgSize(name.c_str(), static_cast<short>(i), &c.width, &c.height);
        cells.push_back(c);
    }
    if (cells.empty()) {
        IMG_Close();
        return Fail(error, "no module " + module + " in " + Shown(path) + " (or the file cannot be read)");
    }
    const std::size_t perRow = columns > 0 ? static_cast<std::size_t>(columns) : cells.size();
    long long width = 0, height = gap;
    for (std::size_t first = 0; first < cells.size(); first += perRow) {
        long long x = gap, rowHeight = 0;
        for (std::size_t i = first; i < std::min(cells.size(), first + perRow); ++i) {
            cells[i].x = static_cast<int>(std::min<long long>(x, 1 << 20));
            cells[i].y = static_cast<int>(std::min<long long>(height, 1 << 20));
            x += cells[i].width + gap;
            rowHeight = std::max<long long>(rowHeight, cells[i].height);
        }
        width = std::max(width, x);
        height += rowHeight + gap;
    }
    if (width > GRAF_BMP_MAX_SIDE || height > GRAF_BMP_MAX_SIDE) {
        IMG_Close();
        return Fail(
            error, "the sheet would be " + std::to_string(width) + " x " + std::to_string(height) + " pixels; use fewer columns");
    }
    GRAF_CanvasSize(static_cast<short>(width), static_cast<short>(height));
    int failed = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (IMG_Show(name.c_str(), static_cast<short>(i), static_cast<short>(cells[i].x), static_cast<short>(cells[i].y), 0) !=
            0) {
            ++failed;
        }
    }
    IMG_Close();
    native::PendingOutput pending;
    if (!pending.Begin(outBmp, error)) return false;
    errno = 0;
    if (GRAF_CanvasSave(pending.TempPath().c_str()) != 0) {
        const int err = errno;
        return Fail(error,
                    "cannot write " + Shown(outBmp) + ": " + (err ? native::ErrnoReason(err) : "the drawing could not be saved"));
    }
    if (pending.Commit(error, replace) == 1) return false;
    if (failed) return Fail(error, std::to_string(failed) + " image(s) of " + module + " could not be drawn");
    return true;
}

}  // namespace kuttools
