// File operations: thin layers over the file services of kbase and the
// standard streams.
#include "kut/file.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "file/filepath.h"
#include "kbase/kbase.h"
#include "support/alloc.h"
#include "platform/platform.h"

using kut::file::Fits;
using kut::file::SetStatus;

namespace {

constexpr int kStaticChunk = 1024;
// The largest buffer a copy asks for. Larger chunks travel through it in
// pieces: bigger buffers only cost page faults, and a copy's memory must not
// grow with the file.
constexpr int kCarrier = 1 << 20;
// From this many bytes on the system moves them (where it can); below, the
// streams' own buffering costs less than the system's set-up.
constexpr long long kTransferMin = 64 * 1024;
constexpr std::size_t kExtMax = 12;  // 11 characters and the terminator

// Used whenever no larger buffer is allocated; never freed.
unsigned char g_copyBuffer[kStaticChunk];

// Closes whichever of the two streams is open and deletes the destination.
void Abandon(FILE* in, FILE* out, const wchar_t* dest) {
    FILE* s = in;
    REP_FClose(&s);
    s = out;
    REP_FClose(&s);
    REP_FDel(dest);
}

// Opens the source and the destination as _FILE_Copy and _FILE_Zip do: the
// destination is deleted first, whether or not the source opened.
bool OpenPair(int* status, const wchar_t* dest, const wchar_t* src, FILE** in, FILE** out) {
    *in = Fits(src) ? _FILE_FOpen(status, src, L"rb") : nullptr;
    REP_FDel(dest);
    if (!*in) return false;
    *out = _FILE_FOpen(status, dest, L"wb");
    return *out != nullptr;
}

}  // namespace

extern "C" FILE* _FILE_FOpen(int* status, const wchar_t* path, const wchar_t* mode) {
    FILE* stream = Fits(path) ? REP_FOpen(path, mode) : nullptr;
    SetStatus(status, stream ? 0 : FILE_FAILED);
    return stream;
}

extern "C" int _FILE_FClose(int* status, FILE* stream) {
    SetStatus(status, 0);
    if (!stream) return 0;
    FILE* own = stream;
    return REP_FClose(&own);
}

extern "C" int _FILE_Len(int* status, const wchar_t* path) {
    int len = Fits(path) ? SYS_FileLen(path) : -1;
    SetStatus(status, len < 0 ? FILE_FAILED : 0);
    return len;
}

extern "C" int _FILE_FCopy(int* status, FILE* out, FILE* in, int bytes) {
    SetStatus(status, 0);
    if (bytes > 0 && (!out || !in)) {
        SetStatus(status, FILE_FAILED);
        return bytes;
    }
    // The chunk: the whole count when a buffer for it can be had, else the
    // largest equal part, else the static buffer's 1,024. Each attempt asks
    // for the buffer that carries a chunk, never more than kCarrier: a larger
    // chunk goes through it in pieces, so a refused request shrinks the chunk
    // one step down this list, while memory stays bounded whatever the size.
    int chunk = bytes;
    int parts = 1;
    unsigned char* allocated = nullptr;
    while (chunk > kStaticChunk) {
        allocated = static_cast<unsigned char*>(kut::mem::Alloc(static_cast<std::size_t>(std::min(chunk, kCarrier))));
        if (allocated) break;
        ++parts;
        chunk = bytes / parts;
    }
    unsigned char* buffer = allocated;
    std::size_t carrier = static_cast<std::size_t>(std::min(chunk, kCarrier));
    if (chunk <= kStaticChunk) {
        buffer = g_copyBuffer;
        chunk = kStaticChunk;
        carrier = kStaticChunk;
    }
    // As many passes as chunks: parts, plus one for a remainder. Under memory
    // pressure the accepted chunk can leave a remainder longer than a chunk
    // (2,000,000 bytes in 1,950 parts of 1,025), which needs more than one
    // extra pass; counting whole chunks keeps that copy complete.
    const int passes = bytes / chunk + (bytes % chunk != 0 ? 1 : 0);
    const long long reach = static_cast<long long>(passes) * chunk;  // what the passes read at most
    long long left = bytes;
    int pass = 0;
    long long carried = 0;  // bytes of pass `pass` already moved
    if (reach >= kTransferMin) {
        // The system moves what it can; passes that it completed did not
        // write short. Where it stopped, our passes go on from that byte.
        bool atEnd = false;
        const long long moved = kut::platform::TransferStreams(out, in, reach, &atEnd);
        if (moved == reach || atEnd) {
            left -= moved;
            pass = passes;
        } else {
            pass = static_cast<int>(moved / chunk);
            carried = moved % chunk;
            left -= moved - carried;
        }
    }
    for (; pass < passes; ++pass) {
        // One pass: up to a chunk read and written in pieces of the carrier.
        // It ends short where one read of the whole chunk would have: at
        // the end of the input or a read error.
        long long got = carried, put = carried;
        carried = 0;
        while (got < chunk) {
            const std::size_t piece = static_cast<std::size_t>(std::min<long long>(chunk - got, static_cast<long long>(carrier)));
            const std::size_t g = std::fread(buffer, 1, piece, in);
            const std::size_t p = g ? std::fwrite(buffer, 1, g, out) : 0;
            got += static_cast<long long>(g);
            put += static_cast<long long>(p);
            if (p < g || g < piece) break;
        }
        // A short write loses the whole pass, as a short write of the chunk did.
        if (put < got) break;
        left -= put;
    }
    kut::mem::Free(allocated);
    if (left != 0) SetStatus(status, FILE_FAILED);
    return static_cast<int>(left);
}

extern "C" int _FILE_Copy(int* status, const wchar_t* dest, const wchar_t* src) {
    SetStatus(status, 0);
    // A destination we cannot name in our buffers is not ours to delete.
    if (!Fits(dest)) return 1;
    unsigned short date = 0, time = 0, mode = 0;
    if (Fits(src)) {
        SYS_FileDateGet(src, &date, &time);
        mode = SYS_FileAccess(src);
    }
    FILE* in = nullptr;
    FILE* out = nullptr;
    if (!OpenPair(status, dest, src, &in, &out)) {
        Abandon(in, out, dest);
        SetStatus(status, 0);
        return 1;
    }
    int len = _FILE_Len(status, src);
    if (len < 0 || _FILE_FCopy(status, out, in, len) != 0) {
        Abandon(in, out, dest);
        SetStatus(status, 0);
        return 1;
    }
    _FILE_FClose(status, in);
    // The last buffered bytes reach the disk only here: a full disk shows up
    // as a failed close, and the truncated copy must not stay behind.
    if (_FILE_FClose(status, out) != 0) {
        REP_FDel(dest);
        SetStatus(status, 0);
        return 1;
    }
    SYS_FileDateSet(dest, date, time);
    SYS_FileMode(dest, mode);
    return 0;
}

extern "C" int _FILE_FZip(int* status, FILE* /*out*/, FILE* /*in*/, wchar_t** /*name*/, unsigned int* /*dateTime*/,
                          int /*level*/) {
    SetStatus(status, 0);
    return 0;
}

extern "C" int _FILE_Zip(int* status, const wchar_t* dest, const wchar_t* src, int level) {
    SetStatus(status, 0);
    if (!Fits(dest)) return 0;
    wchar_t name[KUT_PATH_MAX];
    name[0] = L'\0';
    if (src) {
        std::wcsncpy(name, src, KUT_PATH_MAX - 1);
        name[KUT_PATH_MAX - 1] = L'\0';
    }
    wchar_t* namePtr = name;
    unsigned short date = 0, time = 0, mode = 0;
    if (Fits(src)) {
        SYS_FileDateGet(src, &date, &time);
        mode = SYS_FileAccess(src);
    }
    unsigned int dateTime = (static_cast<unsigned int>(date) << 16) | time;
    FILE* in = nullptr;
    FILE* out = nullptr;
    if (!OpenPair(status, dest, src, &in, &out)) {
        Abandon(in, out, dest);
        SetStatus(status, 0);
        return 0;
    }
    int result = _FILE_FZip(status, out, in, &namePtr, &dateTime, level);
    _FILE_FClose(status, in);
    _FILE_FClose(status, out);
    SYS_FileDateSet(dest, static_cast<unsigned short>(dateTime >> 16), static_cast<unsigned short>(dateTime & 0xFFFF));
    SYS_FileMode(dest, mode);
    SetStatus(status, 0);
    return result;
}

extern "C" void _FILE_NamePaste(int* status, const wchar_t* nameSource, const wchar_t* dirSource, wchar_t* out) {
    SetStatus(status, 0);
    if (!out) return;
    out[0] = L'\0';
    if (!Fits(nameSource) || !Fits(dirSource)) return;
    wchar_t* drive = nullptr;
    wchar_t* dir = nullptr;
    wchar_t* name = nullptr;
    wchar_t* ext = nullptr;
    // The split's parts live in kbase's storage until the next split: keep ours.
    SYS_FileSplit(nameSource, &drive, &dir, &name, &ext);
    wchar_t savedName[KUT_PATH_MAX];
    wchar_t savedExt[kExtMax];
    std::wcsncpy(savedName, name, KUT_PATH_MAX - 1);
    savedName[KUT_PATH_MAX - 1] = L'\0';
    std::wcsncpy(savedExt, ext, kExtMax - 1);
    savedExt[kExtMax - 1] = L'\0';
    SYS_FileSplit(dirSource, &drive, &dir, &name, &ext);
    SYS_FileMerge(out, drive, dir, savedName, savedExt);
}

extern "C" int _FILE_MkDir(int* status, const wchar_t* path) {
    SetStatus(status, 0);
    if (!Fits(path) || !*path) return 0;
    // A last component without a separator is a directory too.
    wchar_t full[KUT_PATH_MAX];
    std::wcscpy(full, path);
    REP_AddEndOfPath(full);
    std::size_t n = std::wcslen(full);
    if (n == 0 || !kut::file::IsSep(full[n - 1])) return 0;  // no room for the separator
    wchar_t* drive = nullptr;
    wchar_t* dirPart = nullptr;
    wchar_t* name = nullptr;
    wchar_t* ext = nullptr;
    SYS_FileSplit(full, &drive, &dirPart, &name, &ext);
    // Our own copies: SYS_FileMerge and the checks below may split again.
    wchar_t dr[8];
    wchar_t dir[KUT_PATH_MAX];
    std::wcsncpy(dr, drive, 7);
    dr[7] = L'\0';
    std::wcscpy(dir, dirPart);
    std::size_t len = std::wcslen(dir);
    std::size_t pos = 0;
    while (pos < len) {
        if (kut::file::IsSep(dir[pos])) ++pos;
        while (pos < len && !kut::file::IsSep(dir[pos])) ++pos;
        wchar_t prefix[KUT_PATH_MAX];
        std::wmemcpy(prefix, dir, pos);
        prefix[pos] = L'\0';
        wchar_t step[KUT_PATH_MAX];
        if (SYS_FileMerge(step, dr, prefix, L"", L"") != 0) continue;
        REP_CutEndOfPath(step);
        if (step[0] && SYS_FileAccess(step) == 0) SYS_DirMake(step);
    }
    return 0;
}

extern "C" int _FILE_RmDir(int* status, const wchar_t* path) {
    SetStatus(status, 0);
    if (!Fits(path)) {
        SetStatus(status, FILE_FAILED);
        return 1;
    }
    wchar_t dir[KUT_PATH_MAX];
    std::wcscpy(dir, path);
    REP_CutEndOfPath(dir);
    if (SYS_FileAccess(dir) == 0) return 0;
    if (SYS_DirDel(dir) == 0) return 0;
    SetStatus(status, FILE_FAILED);
    return 1;
}
