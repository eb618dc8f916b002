// kut tree: directory trees copied, removed and scanned with the _FILE_
// tree operations. Each failed entry is reported once and the walk goes on;
// on a terminal a progress line shows the entries done and the current path.
// What may not be removed or copied into is decided by tree_guard.h before
// anything is touched. Names are shown with Printable: bytes that are not
// UTF-8 as \xNN.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "kbase/kbase.h"
#include "kut/file.h"
#include "native.h"
#include "textconv.h"
#include "tree_guard.h"

namespace kutcli {
namespace {

const char kHelp[] =
    "usage: kut tree copy <source> <destination> [options]\n"
    "       kut tree remove <root> [options] [--keep-root | --files-only]\n"
    "       kut tree scan <root> [options]\n"
    "\n"
    "copy    the directories, then the files, of a tree into a destination\n"
    "        folder (made when missing); files keep their date and mode; a\n"
    "        destination inside the source is refused; a read-only destination\n"
    "        file is not replaced (an error); -n, --no-clobber keeps every\n"
    "        existing destination file quietly\n"
    "remove  the files, then the subdirectories from the bottom up, then the\n"
    "        root itself (--keep-root leaves the root, --files-only the\n"
    "        directories). Refused: the root of a file system, '.' and '..',\n"
    "        the current and the home folder and the folders above them. A\n"
    "        root that is a symbolic link (junction) removes the link only.\n"
    "        Read-only files stay and are named, with their folders\n"
    "scan    lists the directories ('/' at the end) and files below the root,\n"
    "        relative to it\n"
    "\n"
    "  --dirs P    pattern of the subdirectories walked, made or removed (default *)\n"
    "  --files P   pattern of the files copied, removed or listed (default *);\n"
    "              * and ? as wildcards\n"
    "  --depth N   levels walked, 1 = the root's own files (default: no limit)\n"
    "Entries that fail are named on standard error and the status is 1.\n";

// What the handler needs; one tree operation runs at a time.
struct Walk {
    std::wstring srcRoot;  // as handed to the library
    std::wstring dstRoot;
    std::wstring rootLabel;  // prefix stripped for scan output
    int op = 0;              // 1 copy, 2 remove, 3 scan
    long done = 0;
    int failures = 0;
    bool progress = false;
    long long lastDraw = 0;
    long long started = 0;
    bool drawn = false;
    bool noClobber = false;  // copy: existing destination files are kept
    int pass = 0;            // copy: 2 directories, 1 files
    std::wstring scanDir;    // directory being listed (scan)
    std::vector<std::string> listing;
};
Walk g_walk;

void Progress(const std::wstring& path) {
    ++g_walk.done;
    if (!g_walk.progress) return;
    long long now = NowMs();
    // Only long work gets a progress line; redraw a few times a second.
    if (now - g_walk.started < 300 || now - g_walk.lastDraw < 100) return;
    g_walk.lastDraw = now;
    std::string shown = kuttools::Printable(path);
    if (shown.size() > 60) shown = "..." + shown.substr(shown.size() - 57);
    std::fprintf(stderr, "\r\033[K%ld entries  %s", g_walk.done, shown.c_str());
    std::fflush(stderr);
    g_walk.drawn = true;
}

void EndProgress() {
    if (g_walk.drawn) std::fputs("\r\033[K", stderr);
    g_walk.drawn = false;
}

void Report(const std::string& message) {
    EndProgress();
    ++g_walk.failures;
    Fail(message);
}

std::string Shown(const std::wstring& path) { return kuttools::Printable(path); }

// A regular file without write permission (the read-only attribute).
bool IsReadOnlyFile(const std::wstring& path) {
    const unsigned short mode = SYS_FileAccess(path.c_str());
    return mode != 0 && (mode & 0170000) == 0100000 && (mode & 0200) == 0;
}

// Why an operation on `path` failed: read-only, else the system's reason
// that the failed call left.
std::string Why(const std::wstring& path, int err) {
    if (IsReadOnlyFile(path)) return "read-only file, left as it is";
    return err != 0 ? kuttools::native::ErrnoReason(err) : "failed";
}

std::wstring DestinationOf(const std::wstring& path) {
    if (path.compare(0, g_walk.srcRoot.size(), g_walk.srcRoot) != 0) return path;
    return g_walk.dstRoot + path.substr(g_walk.srcRoot.size());
}

int Handler(const wchar_t* name, FTW_CTX* ctx) {
    const int err = errno;  // what the failed operation left, before anything else runs
    const std::wstring n = name ? name : L"";
    if (ctx->kind == FTW_LIST_DIRS || ctx->kind == FTW_LIST_ENTRIES) {
        if (g_walk.op == 3) {
            // The first name of a listing comes with its search path.
            if (ctx->path) {
                std::wstring search = ctx->path;
                std::size_t cut = search.find_last_of(kSep);
                g_walk.scanDir = cut == std::wstring::npos ? std::wstring() : search.substr(0, cut);
            }
            std::wstring full = Join(g_walk.scanDir, n);
            std::wstring rel =
                full.compare(0, g_walk.rootLabel.size(), g_walk.rootLabel) == 0 ? full.substr(g_walk.rootLabel.size()) : full;
            while (!rel.empty() && rel[0] == kSep) rel.erase(0, 1);
            g_walk.listing.push_back(Shown(rel) + (ctx->kind == FTW_LIST_DIRS ? "/" : ""));
            Progress(full);
        }
        return 0;
    }
    if (ctx->error == 0) {
        // -n: an existing destination file is kept, quietly, as cp -n does.
        if (g_walk.op == 1 && g_walk.pass == 1 && g_walk.noClobber && SYS_FileAccess(DestinationOf(n).c_str()) != 0) { return 1; }
        Progress(n);
        return 0;  // operate on it
    }
    // A failed operation: report it and go on with the next entry.
    const bool dir = ctx->attrib == FTW_DIRS;
    if (g_walk.op == 1) {
        const std::wstring to = DestinationOf(n);
        Report(dir ? "cannot create directory " + Shown(to) + ": " + Why(to, err)
                   : "cannot copy " + Shown(n) + " to " + Shown(to) + ": " + Why(to, err));
    } else {
        Report(std::string(dir ? "cannot remove directory " : "cannot remove file ") + Shown(n) + ": " + Why(n, err));
    }
    ctx->error = 0;
    return 0;
}

// The pattern options every action takes.
struct Patterns {
    std::wstring dirs = L"*";
    std::wstring files = L"*";
    int depth = -1;
};

bool Options(const Parsed& p, Patterns* out, std::string* error) {
    if (const std::wstring* v = p.Value(L"--dirs")) out->dirs = *v;
    if (const std::wstring* v = p.Value(L"--files")) out->files = *v;
    if (out->dirs.empty() || out->files.empty()) {
        *error = "empty pattern";
        return false;
    }
    if (const std::wstring* v = p.Value(L"--depth")) {
        long d = 0;
        if (!ParseNumber(*v, 0, 100000, &d)) {
            *error = "bad depth '" + Shown(*v) + "'";
            return false;
        }
        out->depth = static_cast<int>(d);
    }
    return true;
}

int Finish(int result, const std::string& what) {
    EndProgress();
    if (g_walk.failures > 0) {
        return Fail(std::to_string(g_walk.failures) + (g_walk.failures == 1 ? " entry" : " entries") + " failed");
    }
    if (result != 0) return Fail(what + " failed");
    return kExitOk;
}

int Copy(const Parsed& p, const Patterns& pat) {
    if (p.positional.size() != 3) return Usage("tree", "copy takes a source and a destination");
    if (p.Has(L"--keep-root") || p.Has(L"--files-only")) return Usage("tree", "--keep-root and --files-only belong to remove");
    std::wstring src = StripSeparators(p.positional[1]);
    std::wstring dst = StripSeparators(p.positional[2]);
    if (!IsDir(src)) return Fail(Shown(src) + ": no such directory");
    if (IsFile(dst)) return Fail(Shown(dst) + ": is a file");
    if (src.size() >= KUT_PATH_MAX || dst.size() >= KUT_PATH_MAX) return Fail("path too long");
    // A destination inside the source would be walked while it grows.
    const std::string refusal = kuttools::CopyRefusal(src, dst);
    if (!refusal.empty()) return Fail("refusing to copy " + Shown(src) + " to " + Shown(dst) + ": " + refusal);
    g_walk.noClobber = NoClobber(p);
    int status = 0;
    if (!IsDir(dst)) {
        errno = 0;
        _FILE_MkDir(&status, dst.c_str());
        const int err = errno;
        if (!IsDir(dst)) {
            return Fail("cannot create the destination folder " + Shown(dst) + ": " +
                        (err ? kuttools::native::ErrnoReason(err) : std::string("failed")));
        }
    }
    g_walk.op = 1;
    g_walk.srcRoot = src;
    g_walk.dstRoot = dst;
    // The directory pass matches the directories' own names against
    // the entry pattern: give it the directory pattern there.
    g_walk.pass = 2;
    int r = _FILE_TreeCopy(&status, dst.c_str(), src.c_str(), pat.dirs.c_str(), pat.dirs.c_str(), FILE_TREE_MAKE_DIRS, pat.depth,
                           Handler);
    g_walk.pass = 1;
    if (r == 0) {
        r = _FILE_TreeCopy(&status, dst.c_str(), src.c_str(), pat.dirs.c_str(), pat.files.c_str(), FILE_TREE_COPY_FILES,
                           pat.depth, Handler);
    }
    return Finish(r, "copy of " + Shown(src));
}

int Remove(const Parsed& p, const Patterns& pat) {
    if (p.positional.size() != 2) return Usage("tree", "remove takes a root folder");
    if (p.Has(L"--keep-root") && p.Has(L"--files-only")) return Usage("tree", "--keep-root or --files-only, not both");
    if (NoClobber(p)) return Usage("tree", "-n and --no-clobber belong to copy");
    std::wstring root = StripSeparators(p.positional[1]);
    // Before anything is touched: what must never go, by identity.
    const std::string refusal = kuttools::RemovalRefusal(root);
    if (!refusal.empty()) return Fail("refusing to remove " + Shown(root) + ": " + refusal);
    if (kuttools::native::IsLink(root)) {
        // As rm -r LINK: the link goes, what it points to stays.
        if (p.Has(L"--keep-root") || p.Has(L"--files-only")) {
            return Fail(Shown(root) +
                        " is a symbolic link: --keep-root and --files-only would empty what it "
                        "points to; name that folder instead");
        }
        if (!kuttools::native::RemoveLink(root)) {
            return Fail("cannot remove link " + Shown(root) + ": " + kuttools::native::LastSystemReason());
        }
        return kExitOk;
    }
    if (!IsDir(root)) return Fail(Shown(root) + ": no such directory");
    if (root.size() >= KUT_PATH_MAX) return Fail("path too long");
    g_walk.op = 2;
    int status = 0;
    int r =
        _FILE_TreeRemove(&status, root.c_str(), pat.dirs.c_str(), pat.files.c_str(), FILE_TREE_REMOVE_FILES, pat.depth, Handler);
    // As in a copy, the directory pass matches directories against the
    // entry pattern.
    const int flags = p.Has(L"--files-only")  ? 0
                      : p.Has(L"--keep-root") ? FILE_TREE_REMOVE_DIRS
                                              : FILE_TREE_REMOVE_DIRS | FILE_TREE_REMOVE_ROOT;
    if (r == 0 && flags != 0) {
        r = _FILE_TreeRemove(&status, root.c_str(), pat.dirs.c_str(), pat.dirs.c_str(), flags, pat.depth, Handler);
    }
    if (r == 0 && (flags & FILE_TREE_REMOVE_ROOT) && IsDir(root) && g_walk.failures == 0) {
        Report("cannot remove directory " + Shown(root) + ": " + kuttools::native::ErrnoReason(ENOTEMPTY));
    }
    return Finish(r, "removal of " + Shown(root));
}

int Scan(const Parsed& p, const Patterns& pat) {
    if (p.positional.size() != 2) return Usage("tree", "scan takes a root folder");
    if (p.Has(L"--keep-root") || p.Has(L"--files-only")) return Usage("tree", "--keep-root and --files-only belong to remove");
    if (NoClobber(p)) return Usage("tree", "-n and --no-clobber belong to copy");
    std::wstring root = StripSeparators(p.positional[1]);
    if (!IsDir(root)) return Fail(Shown(root) + ": no such directory");
    if (root.size() >= KUT_PATH_MAX) return Fail("path too long");
    g_walk.op = 3;
    g_walk.rootLabel = root;
    int status = 0;
    int r = _FILE_TreeScan(&status, root.c_str(), pat.dirs.c_str(), pat.files.c_str(), pat.depth, Handler);
    EndProgress();
    for (const std::string& line : g_walk.listing) OutLine(line);
    return Finish(r, "scan of " + Shown(root));
}

}  // namespace

int CmdTree(const std::vector<std::wstring>& args) {
    Parsed p;
    std::string error;
    if (!Parse(args, 1, {L"--dirs", L"--files", L"--depth"}, {L"--keep-root", L"--files-only", L"-n", L"--no-clobber"}, &p,
               &error)) {
        return Usage("tree", error);
    }
    if (p.help) {
        Out(kHelp);
        return kExitOk;
    }
    if (p.positional.empty()) return Usage("tree", "missing action: copy, remove or scan");
    Patterns pat;
    if (!Options(p, &pat, &error)) return Usage("tree", error);
    g_walk = Walk{};
    g_walk.progress = kuttools::native::IsTerminal(stderr);
    g_walk.started = NowMs();
    const std::wstring& action = p.positional[0];
    if (action == L"copy") return Copy(p, pat);
    if (action == L"remove") return Remove(p, pat);
    if (action == L"scan") return Scan(p, pat);
    return Usage("tree", "unknown action '" + Shown(action) + "'");
}

}  // namespace kutcli
