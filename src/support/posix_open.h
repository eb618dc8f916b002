// Opening a stream on POSIX as the Windows run-time does, for the library's
// platform layer and the kbase stand-in alike (header only, never
// installed):
//  - a folder never opens as a file (EISDIR), so that a folder named like a
//    data file reads as a missing file on both systems;
//  - a file whose mode lacks the owner's write bit carries the read-only
//    attribute: it never opens for writing (EACCES), not even for root, who
//    could otherwise write and truncate it. The check is made on the open
//    file before anything is truncated.
// The mode is a C mode ("r", "wb", "r+", "a", "wx"); 'b' and 't' mean
// nothing here (text-mode line ends are the caller's business).
#ifndef KUT_SUPPORT_POSIX_OPEN_H
#define KUT_SUPPORT_POSIX_OPEN_H

#if !defined(_WIN32)

#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kut::posix {

// Whether a file of this mode counts as read-only: a regular file without
// the owner's write bit.
inline bool IsReadOnly(const struct stat& st) { return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0; }

inline std::FILE* OpenStream(const char* path, const char* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    const char kind = mode[0];
    bool plus = false, exclusive = false;
    std::string cmode(1, kind);
    for (const char* m = mode + 1; *m; ++m) {
        if (*m == '+')
            plus = true, cmode += '+';
        else if (*m == 'x')
            exclusive = true;
    }
    if (kind != 'r' && kind != 'w' && kind != 'a') {
        errno = EINVAL;
        return nullptr;
    }
    const bool writing = kind != 'r' || plus;
    int flags = plus ? O_RDWR : kind == 'r' ? O_RDONLY : O_WRONLY;
    if (kind == 'a') flags |= O_APPEND;
    flags |= O_CLOEXEC;
    int fd = -1;
    bool created = false;
    // An existing file is opened without truncation, so that a read-only
    // one is refused before it loses anything. "w" usually makes a new file
    // (a copy deletes its destination first): it tries to create first and
    // opens the existing file only when there is one; the other modes
    // usually find the file there and try it first.
    const bool createFirst = kind == 'w';
    for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
        if (!createFirst) {
            fd = ::open(path, flags);
            if (fd >= 0 || errno != ENOENT || kind == 'r') break;
        }
        fd = ::open(path, flags | O_CREAT | O_EXCL, 0666);
        created = fd >= 0;
        if (fd >= 0 || errno != EEXIST || exclusive) break;
        if (createFirst) {
            fd = ::open(path, flags);
            if (fd >= 0 || errno != ENOENT) break;  // ENOENT: removed meanwhile, try again
        }
    }
    if (fd < 0) return nullptr;
    struct stat st {};
    const bool statFailed = ::fstat(fd, &st) != 0;
    int refuse = statFailed ? errno : S_ISDIR(st.st_mode) ? EISDIR : writing && !created && IsReadOnly(st) ? EACCES : 0;
    // Truncated only once it is known to be a writable regular file.
    if (refuse == 0 && kind == 'w' && !created && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) refuse = errno;
    if (refuse != 0) {
        ::close(fd);
        errno = refuse;
        return nullptr;
    }
    std::FILE* f = ::fdopen(fd, cmode.c_str());
    if (!f) {
        const int e = errno;
        ::close(fd);
        errno = e;
    }
    return f;
}

// unlink, except that a read-only file (above) is kept (EACCES), as Windows
// keeps a file with the read-only attribute. A symbolic link is judged by
// its own mode, so a link to a read-only file can go.
inline int RemoveFile(const char* path) {
    struct stat st {};
    if (::lstat(path, &st) != 0) {
        if (errno == ENOENT) return -1;  // nothing to remove: spare the unlink
    } else if (IsReadOnly(st)) {
        errno = EACCES;
        return -1;
    }
    return ::unlink(path);
}

}  // namespace kut::posix

#endif

#endif
