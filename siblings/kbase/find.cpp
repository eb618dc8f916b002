// SYS_FileFind: one directory search at a time. The first call reads the
// whole directory through the system table, keeps the names that match, in
// ascending order, and the following calls hand them out one by one.
#include "kbase/files.h"
#include "internal.h"
#include "sys.h"

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kPath = 260;

struct Entry {
    std::wstring name;
    bool isDir;
};

struct Search {
    std::vector<Entry> entries;
    std::size_t next = 0;
    bool active = false;
};

Search g_search;

wchar_t Fold(wchar_t c) { return kbase::Paths().foldCase ? static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))) : c; }

// Wildcard match with backtracking over the last '*' only: linear in
// practice and never recursive.
bool Match(const wchar_t* pat, const wchar_t* s) {
    if (std::wcscmp(pat, L"*.*") == 0) return true;
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*s) {
        if (*pat == L'*') {
            star = pat++;
            resume = s;
        } else if (*pat == L'?' || (*pat && Fold(*pat) == Fold(*s))) {
            ++pat;
            ++s;
        } else if (star) {
            pat = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*pat == L'*') ++pat;
    return *pat == L'\0';
}

using kbase::IsSep;

struct Collect {
    const wchar_t* pattern;
    std::vector<Entry>* out;
};

void Sink(void* ctx, const wchar_t* name, int isDir) {
    auto* c = static_cast<Collect*>(ctx);
    if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) return;
    if (std::wcslen(name) >= kPath) return;
    if (Match(c->pattern, name)) c->out->push_back(Entry{name, isDir != 0});
}

void Start(const wchar_t* search) {
    g_search = Search{};
    g_search.active = true;
    std::wstring s = search;
    std::size_t cut = std::wstring::npos;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (IsSep(s[i])) cut = i;
    }
    std::wstring dir, pattern;
    if (cut == std::wstring::npos) {
        if (kbase::Paths().drives && s.size() >= 2 && s[1] == L':') {
            dir = s.substr(0, 2);  // the current folder of that drive
            pattern = s.substr(2);
        } else {
            dir = L".";
            pattern = s;
        }
    } else {
        // Keep the separator of a root ("/", "C:\") so that it names the root.
        dir = s.substr(0, cut == 0 || (cut == 2 && s[1] == L':') ? cut + 1 : cut);
        pattern = s.substr(cut + 1);
    }
    if (pattern.empty()) return;  // nothing can match an empty pattern
    Collect c{pattern.c_str(), &g_search.entries};
    if (kbase::Sys().list(dir.c_str(), Sink, &c) != 0) {
        g_search.entries.clear();
        return;
    }
    std::sort(g_search.entries.begin(), g_search.entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
}

}  // namespace

extern "C" short SYS_FileFind(const wchar_t* search, wchar_t* name, short attrib) {
    if (search) {
        try {
            Start(search);
        } catch (...) {  // out of memory while reading the directory
            g_search = Search{};
        }
    }
    if (!name || !g_search.active) return -1;
    while (g_search.next < g_search.entries.size()) {
        const Entry& e = g_search.entries[g_search.next++];
        bool wanted = e.isDir ? (attrib & 2) != 0 : (attrib & 1) != 0;
        if (!wanted) continue;
        kbase::CopyBounded(name, kPath, e.name);
        return 0;
    }
    // The end releases the names; a further null call keeps answering -1.
    g_search = Search{};
    return -1;
}
