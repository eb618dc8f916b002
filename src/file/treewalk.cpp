// Tree walks and the tree operations built on them. Each level of a walk
// lists its directory into two name stacks of kbase (subdirectories and
// entries), then visits them: entries first from the top down (_FILE_Ftw),
// subdirectories first from the bottom up (_FILE_NFtw).
#include "kut/file.h"

#include <climits>
#include <cwchar>

#include "file/filepath.h"
#include "kbase/kbase.h"

using kut::file::Fits;
using kut::file::IsSep;
using kut::file::SetStatus;

namespace {

constexpr int kStackInitial = 32;
// One pointer per element: 8 bytes on the 64-bit targets.
constexpr int kNameElem = static_cast<int>(sizeof(wchar_t*));

// The tree-operation statics: set by _FILE_TreeCopy and _FILE_TreeZip, read
// by their entry operations, never cleared.
wchar_t treeDestRoot[KUT_PATH_MAX];
int treeSrcLen = 0;
int treeZipLevel = 0;

// FtwFind hands each name copy to _STACK_Make through this slot.
wchar_t* g_foundName = nullptr;
// Set when a name could not be copied: the listing then ends and the walk
// must not pass for complete.
bool g_findFailed = false;

// path + separator (unless it ends with one) + name, into out (260). False,
// with out empty, for an empty path or a result that does not fit: an empty
// root must never turn into the file system's root.
bool FtwJoin(wchar_t* out, const wchar_t* path, const wchar_t* name) {
    out[0] = L'\0';
    if (!path || !*path || !name || !Fits(path)) return false;
    std::wcscpy(out, path);
    std::size_t n = std::wcslen(out);
    if (!IsSep(out[n - 1])) {
        REP_AddEndOfPath(out);
        n = std::wcslen(out);
        if (!IsSep(out[n - 1])) {
            out[0] = L'\0';
            return false;
        }
    }
    std::size_t m = std::wcslen(name);
    if (n + m >= static_cast<std::size_t>(KUT_PATH_MAX)) {
        out[0] = L'\0';
        return false;
    }
    std::wmemcpy(out + n, name, m + 1);
    return true;
}

int FtwFind(void** slot, void* context) {
    auto* ctx = static_cast<FTW_CTX*>(context);
    wchar_t name[KUT_PATH_MAX];
    for (;;) {
        ctx->error = 0;
        if (SYS_FileFind(ctx->path, name, static_cast<short>(ctx->attrib)) == -1) return -1;
        int answer = ctx->handler(name, ctx);
        ctx->path = nullptr;
        if (answer == FTW_LEAVE_OUT) continue;
        // -1 would end the filling without storing: end it here, copying nothing.
        if (answer == -1) return -1;
        int status = 0;
        g_foundName = _WORD_Dup(&status, name);
        if (!g_foundName) {
            g_findFailed = true;
            return -1;
        }
        *slot = &g_foundName;
        return answer;
    }
}

const wchar_t* ElementName(void* element) { return *static_cast<wchar_t**>(element); }

// The handler protocol of one entry: the handler is asked first (nonzero:
// leave the entry alone, result 0); then op runs on it. When op fails, its
// result goes into ctx->error and the handler is asked again; the whole turn
// repeats until the handler clears the error. Returns the handler's answer
// to the last failure, 0 when op succeeded.
template <class Op>
int VisitWithRetry(FTW_CTX* ctx, const wchar_t* path, Op op) {
    int answer = 0;
    do {
        answer = 0;
        ctx->error = 0;
        if (ctx->handler(path, ctx) != 0) return 0;
        answer = op(path);
        if (answer != 0) {
            ctx->error = answer;
            answer = ctx->handler(path, ctx);
        }
    } while (ctx->error != 0);
    return answer;
}

int FtwVisitEntry(void* element, void* context) {
    auto* ctx = static_cast<FTW_CTX*>(context);
    wchar_t full[KUT_PATH_MAX];
    if (!FtwJoin(full, ctx->path, ElementName(element))) return FILE_FAILED;
    return VisitWithRetry(ctx, full, [ctx](const wchar_t* path) { return ctx->fileFn ? ctx->fileFn(path) : 0; });
}

int FtwVisitDir(void* element, void* context) {
    auto* ctx = static_cast<FTW_CTX*>(context);
    wchar_t full[KUT_PATH_MAX];
    if (!FtwJoin(full, ctx->path, ElementName(element))) return FILE_FAILED;
    int status = 0;
    return _FILE_Ftw(&status, full, ctx->dirPattern, ctx->filePattern, ctx->fileFn, ctx->handler, ctx->depth, ctx->attrib);
}

int NFtwVisitDir(void* element, void* context) {
    auto* ctx = static_cast<FTW_CTX*>(context);
    wchar_t full[KUT_PATH_MAX];
    if (!FtwJoin(full, ctx->path, ElementName(element))) return FILE_FAILED;
    int status = 0;
    return _FILE_NFtw(&status, full, ctx->dirPattern, ctx->filePattern, ctx->fileFn, ctx->handler, ctx->depth, ctx->attrib);
}

void FtwFreeName(void* element) {
    int status = 0;
    _WORD_Free(&status, element);
}

// Fills `stack` with the names that `pattern` finds below root; false when
// the search path does not fit or the stack call fails.
bool List(KSTACK* stack, FTW_CTX* ctx, const wchar_t* root, const wchar_t* pattern, int kind, int attrib) {
    wchar_t search[KUT_PATH_MAX];
    if (!FtwJoin(search, root, pattern)) return false;
    ctx->kind = kind;
    ctx->attrib = attrib;
    ctx->path = search;
    g_findFailed = false;
    int status = 0;
    _STACK_Make(&status, stack, FtwFind, ctx);
    ctx->path = nullptr;
    return status == 0 && !g_findFailed;
}

int Walk(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern, FTW_FILEFN fileFn,
         FTW_HANDLER handler, int depth, int attrib, bool bottomUp) {
    if (depth == 0) {
        SetStatus(status, 0);
        return 0;
    }
    if (!root || !dirPattern || !filePattern || !handler) {
        SetStatus(status, FILE_FAILED);
        return FILE_FAILED;
    }
    int result = 0;
    int st = 0;
    KSTACK* dirs = _STACK_Open(&st, kStackInitial, kNameElem);
    if (st != 0) result = FILE_FAILED;
    KSTACK* entries = nullptr;
    if (result == 0) {
        entries = _STACK_Open(&st, kStackInitial, kNameElem);
        if (st != 0) result = FILE_FAILED;
    }
    FTW_CTX ctx{};
    ctx.handler = handler;
    ctx.dirPattern = dirPattern;
    ctx.filePattern = filePattern;
    if (result == 0 && !List(dirs, &ctx, root, dirPattern, FTW_LIST_DIRS, FTW_DIRS)) result = FILE_FAILED;
    if (result == 0 && !List(entries, &ctx, root, filePattern, FTW_LIST_ENTRIES, attrib)) result = FILE_FAILED;

    if (result == 0) {
        ctx.path = root;
        ctx.fileFn = fileFn;
        ctx.attrib = attrib;
        auto visitEntries = [&] {
            if (!fileFn) return;
            ctx.kind = FTW_VISIT_ENTRY;
            _STACK_Scan(&st, entries, FtwVisitEntry, nullptr, &ctx);
            if (st != 0) result = FILE_FAILED;
        };
        auto visitDirs = [&] {
            ctx.depth = depth > INT_MIN ? depth - 1 : depth;
            ctx.kind = FTW_VISIT_DIRS;
            _STACK_Scan(&st, dirs, bottomUp ? NFtwVisitDir : FtwVisitDir, nullptr, &ctx);
            if (st != 0) result = FILE_FAILED;
        };
        if (bottomUp) {
            visitDirs();
            if (result == 0) visitEntries();
        } else {
            visitEntries();
            if (result == 0) visitDirs();
        }
    }

    _STACK_Del(&st, dirs, FtwFreeName);
    if (st != 0) result = FILE_FAILED;
    _STACK_Del(&st, entries, FtwFreeName);
    if (st != 0) result = FILE_FAILED;
    SetStatus(status, result);
    return result;
}

// The entry's path below the destination root; false when it does not fit.
bool TreeDestPath(wchar_t* out, const wchar_t* path) {
    out[0] = L'\0';
    std::size_t n = std::wcslen(path);
    if (n < static_cast<std::size_t>(treeSrcLen)) return false;
    std::size_t rootLen = std::wcslen(treeDestRoot);
    const wchar_t* rest = path + treeSrcLen;
    std::size_t restLen = n - static_cast<std::size_t>(treeSrcLen);
    if (rootLen + restLen >= static_cast<std::size_t>(KUT_PATH_MAX)) return false;
    std::wmemcpy(out, treeDestRoot, rootLen);
    std::wmemcpy(out + rootLen, rest, restLen + 1);
    return true;
}

int TreeMakeDir(const wchar_t* path) {
    wchar_t dest[KUT_PATH_MAX];
    if (!TreeDestPath(dest, path)) return FILE_FAILED;
    if (SYS_FileAccess(dest) == 0) return SYS_DirMake(dest);
    return 0;
}

int TreeCopyFile(const wchar_t* path) {
    wchar_t dest[KUT_PATH_MAX];
    if (!TreeDestPath(dest, path)) return 1;
    int status = 0;
    return _FILE_Copy(&status, dest, path);
}

int TreeZipFile(const wchar_t* path) {
    wchar_t dest[KUT_PATH_MAX];
    if (!TreeDestPath(dest, path)) return FILE_FAILED;
    int status = 0;
    _FILE_Zip(&status, dest, path, treeZipLevel);
    return status;
}

int TreeDelFile(const wchar_t* path) { return REP_FDel(path); }

int TreeDelDir(const wchar_t* path) { return SYS_DirDel(path); }

// Sets the roots of a copy; false when either cannot be held.
bool SetRoots(const wchar_t* destRoot, const wchar_t* srcRoot) {
    if (!Fits(destRoot) || !Fits(srcRoot)) return false;
    std::wcscpy(treeDestRoot, destRoot);
    treeSrcLen = static_cast<int>(std::wcslen(srcRoot));
    return true;
}

// Copies root into buf (260) without its trailing separator.
bool CutRoot(wchar_t* buf, const wchar_t* root) {
    if (!Fits(root)) return false;
    std::wcscpy(buf, root);
    REP_CutEndOfPath(buf);
    return true;
}

}  // namespace

extern "C" int _FILE_Ftw(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern,
                         FTW_FILEFN fileFn, FTW_HANDLER handler, int depth, int attrib) {
    return Walk(status, root, dirPattern, filePattern, fileFn, handler, depth, attrib, false);
}

extern "C" int _FILE_NFtw(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern,
                          FTW_FILEFN fileFn, FTW_HANDLER handler, int depth, int attrib) {
    return Walk(status, root, dirPattern, filePattern, fileFn, handler, depth, attrib, true);
}

extern "C" int _FILE_TreeCopy(int* status, const wchar_t* destRoot, const wchar_t* srcRoot, const wchar_t* dirPattern,
                              const wchar_t* filePattern, int flags, int depth, FTW_HANDLER handler) {
    if (!SetRoots(destRoot, srcRoot)) {
        SetStatus(status, FILE_FAILED);
        return FILE_FAILED;
    }
    if (flags & FILE_TREE_MAKE_DIRS) {
        if (_FILE_Ftw(status, srcRoot, dirPattern, filePattern, TreeMakeDir, handler, depth, FTW_DIRS) != 0) return FILE_FAILED;
    }
    if (flags & FILE_TREE_COPY_FILES) {
        if (_FILE_Ftw(status, srcRoot, dirPattern, filePattern, TreeCopyFile, handler, depth, FTW_FILES) != 0) return FILE_FAILED;
    }
    return 0;
}

extern "C" int _FILE_TreeZip(int* status, const wchar_t* destRoot, const wchar_t* srcRoot, const wchar_t* dirPattern,
                             const wchar_t* filePattern, int level, int depth, FTW_HANDLER handler) {
    if (!SetRoots(destRoot, srcRoot)) {
        SetStatus(status, FILE_FAILED);
        return FILE_FAILED;
    }
    treeZipLevel = level;
    if (_FILE_Ftw(status, srcRoot, dirPattern, filePattern, TreeMakeDir, handler, depth, FTW_DIRS) != 0) return FILE_FAILED;
    if (_FILE_Ftw(status, srcRoot, dirPattern, filePattern, TreeZipFile, handler, depth, FTW_FILES) != 0) return FILE_FAILED;
    return 0;
}

extern "C" int _FILE_TreeRemove(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern,
                                int flags, int depth, FTW_HANDLER handler) {
    if (!root) return FILE_FAILED;
    wchar_t dir[KUT_PATH_MAX];
    if (!CutRoot(dir, root) || !handler) {
        SetStatus(status, FILE_FAILED);
        return FILE_FAILED;
    }
    if (flags & FILE_TREE_REMOVE_FILES) {
        if (_FILE_NFtw(status, dir, dirPattern, filePattern, TreeDelFile, handler, depth, FTW_FILES) != 0) return FILE_FAILED;
    }
    if (flags & FILE_TREE_REMOVE_DIRS) {
        if (_FILE_NFtw(status, dir, dirPattern, filePattern, TreeDelDir, handler, depth, FTW_DIRS) != 0) return FILE_FAILED;
    }
    if (flags & FILE_TREE_REMOVE_ROOT) {
        // The root itself, under the same handler protocol as any entry.
        FTW_CTX ctx{};
        ctx.fileFn = TreeDelDir;
        ctx.handler = handler;
        ctx.attrib = FTW_DIRS;
        ctx.kind = FTW_VISIT_ENTRY;
        ctx.path = dir;
        ctx.dirPattern = dirPattern;
        ctx.filePattern = filePattern;
        VisitWithRetry(&ctx, dir, [status](const wchar_t* path) {
            int st = 0;
            SetStatus(status, _FILE_RmDir(&st, path));
            return st == FILE_FAILED ? FILE_FAILED : 0;
        });
    }
    return 0;
}

extern "C" int _FILE_TreeScan(int* status, const wchar_t* root, const wchar_t* dirPattern, const wchar_t* filePattern, int depth,
                              FTW_HANDLER handler) {
    if (!root) return FILE_FAILED;
    wchar_t dir[KUT_PATH_MAX];
    if (!CutRoot(dir, root)) {
        SetStatus(status, FILE_FAILED);
        return FILE_FAILED;
    }
    return _FILE_NFtw(status, dir, dirPattern, filePattern, nullptr, handler, depth, FTW_FILES) != 0 ? FILE_FAILED : 0;
}
