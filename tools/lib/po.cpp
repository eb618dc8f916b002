#include "po.h"

#include <gettext-po.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "msgtext.h"
#include "native.h"
#include "textconv.h"

namespace kuttools {

namespace {

// libgettextpo reports through a handler without a user pointer; the tools
// read one file at a time, so the first problem of the current call is kept
// here.
struct Report {
    std::string first;
    bool failed = false;
};
Report* g_report = nullptr;

// Points gettext's error handler at one call's report while the call runs.
class ReportScope {
public:
    explicit ReportScope(Report* report) { g_report = report; }
    ~ReportScope() { g_report = nullptr; }
    ReportScope(const ReportScope&) = delete;
    ReportScope& operator=(const ReportScope&) = delete;
};

std::string Where(const char* file, std::size_t line) {
    std::string w = file ? file : "";
    if (line != static_cast<std::size_t>(-1) && line != 0) w += ":" + std::to_string(line);
    return w;
}

void Record(int severity, const char* file, std::size_t line, const char* text) {
    if (!g_report || severity == PO_SEVERITY_WARNING) return;
    // The closing "found N fatal errors" says less than the error before it.
    if (!g_report->failed || g_report->first.empty()) g_report->first = Where(file, line) + ": " + (text ? text : "");
    g_report->failed = true;
}

// A fatal report is documented as not returning; gettext's own reader only
// raises it after the file is read, to sum up, and goes on when the handler
// returns, which is what lets the error become a value here.
void XError(int severity, po_message_t, const char* file, size_t line, size_t, int, const char* text) {
    Record(severity, file, line, text);
}
void XError2(int severity, po_message_t, const char* file, size_t line, size_t, int, const char* text, po_message_t, const char*,
             size_t, size_t, int, const char*) {
    Record(severity, file, line, text);
}
const po_xerror_handler kHandler = {XError, XError2};

struct FileFree {
    void operator()(po_file* f) const { po_file_free(f); }
};
struct IterFree {
    void operator()(po_message_iterator_t i) const { po_message_iterator_free(i); }
};
using File = std::unique_ptr<po_file, FileFree>;
using Iter = std::unique_ptr<struct po_message_iterator, IterFree>;

// False (with the text's number) for a lone surrogate, which UTF-8 and so
// a PO file cannot carry.
bool Utf8Of(unsigned number, const std::u16string& text, std::string* out, std::string* error) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF))) {
            *error = "message " + std::to_string(number) + ": an unpaired surrogate cannot be written to a PO file";
            return false;
        }
        if (high) ++i;
    }
    *out = ToUtf8(FromUtf16(text));
    return true;
}

// Lines on which each `msgctxt "..."` keyword of live entries stands, by
// its one-line value: libgettextpo keeps no positions of the entries it
// reads, and an error should still point the translator at the line.
std::map<std::string, std::size_t> ContextLines(const std::string& path) {
    std::map<std::string, std::size_t> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (std::size_t n = 1; std::getline(in, line); ++n) {
        if (line.compare(0, 9, "msgctxt \"") != 0) continue;
        std::size_t end = line.find('"', 9);
        if (end != std::string::npos) lines.emplace(line.substr(9, end - 9), n);
    }
    return lines;
}

bool ParseNumber(const char* s, unsigned* n) {
    if (!s || !*s) return false;
    unsigned long v = 0;
    for (const char* p = s; *p; ++p) {
        if (*p < '0' || *p > '9' || v > 65535) return false;
        v = v * 10 + static_cast<unsigned>(*p - '0');
    }
    if (v < 1 || v > 65535) return false;
    *n = static_cast<unsigned>(v);
    return true;
}

}  // namespace

// gettext's reader and message objects keep a few small strings that
// po_file_free does not release (the lexer's copy of the file name, flag and
// comment lists, msgctxt): made for short-lived programs. Leak checking in
// the sanitizer builds skips what that library allocates; the stacks stop
// inside it (no frame pointers), so the module is all a rule can name. The
// one string it hands over to us, the header, is freed in ImportPo all the same.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libgettextpo.so\n";
}
#endif

bool ExportPo(const StringMap& ref, const StringMap* target, const std::string& languageTag, const std::wstring& path,
              std::string* error, native::Replace replace) {
    try {
        Report report;
        ReportScope scope(&report);
        File file(po_file_create());
        if (!file) {
            *error = "out of memory";
            return false;
        }
        Iter it(po_message_iterator(file.get(), nullptr));
        po_message_t header = po_message_create();
        po_message_set_msgid(header, "");
        const std::string head =
            "Project-Id-Version: PACKAGE VERSION\n"
            "Language: " +
            languageTag +
            "\n"
            "MIME-Version: 1.0\n"
            "Content-Type: text/plain; charset=UTF-8\n"
            "Content-Transfer-Encoding: 8bit\n";
        po_message_set_msgstr(header, head.c_str());
        if (!target) po_message_set_fuzzy(header, 1);  // a template's header, as xgettext leaves it
        po_message_insert(it.get(), header);
        for (const auto& kv : ref) {
            std::string id, str;
            if (!Utf8Of(kv.first, kv.second, &id, error)) return false;
            if (target) {
                auto t = target->find(kv.first);
                if (t != target->end() && !Utf8Of(kv.first, t->second, &str, error)) return false;
            }
            po_message_t m = po_message_create();
            po_message_set_msgctxt(m, std::to_string(kv.first).c_str());
            po_message_set_msgid(m, id.c_str());
            po_message_set_msgstr(m, str.c_str());
            const std::string notes = TranslatorNotes(kv.second);
            if (!notes.empty()) po_message_set_extracted_comments(m, notes.c_str());
            if (!Traits(kv.second).params.empty()) po_message_set_format(m, "qt-format", 1);
            po_message_insert(it.get(), m);
        }
        it.reset();
        // Written under a temporary name beside the destination, which it
        // replaces only when complete.
        native::PendingOutput pending;
        if (!pending.Begin(path, error)) return false;
        const std::string name = ToUtf8(pending.TempPath());
        if (!po_file_write(file.get(), name.c_str(), &kHandler) || report.failed) {
            *error = report.first.empty() ? "cannot write " + ToUtf8(path) : report.first;
            return false;
        }
        const int committed = pending.Commit(error, replace);
        return committed == 0 || committed == native::kSkippedExisting;
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
}

bool ImportPo(const StringMap& ref, const std::wstring& path, bool fallback, StringMap* out, std::string* error) {
    try {
        Report report;
        ReportScope scope(&report);
        const std::string name = ToUtf8(path);
        {
            std::string bytes;
            if (!native::ReadFile(path, &bytes, error)) return false;
        }
        File file(po_file_read(name.c_str(), &kHandler));
        if (!file || report.failed) {
            *error = report.first.empty() ? name + ": not a PO file" : report.first;
            return false;
        }
        // The header comes back as a fresh copy (declared const, allocated
        // all the same), which is ours to free.
        if (const char* h = po_file_domain_header(file.get(), nullptr)) {
            char* type = po_header_field(h, "Content-Type");
            std::free(const_cast<char*>(h));
            const std::string ct = type ? type : "";
            std::free(type);
            const std::size_t at = ct.find("charset=");
            if (at != std::string::npos) {
                std::string cs = ct.substr(at + 8);
                for (char& c : cs) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (cs != "UTF-8" && cs != "CHARSET" && cs != "ASCII" && cs != "US-ASCII") {
                    *error = name + ": charset " + ct.substr(at + 8) + ": convert it with msgconv --to-code=UTF-8 first";
                    return false;
                }
            }
        }
        std::map<std::string, std::size_t> lines;
        bool linesRead = false;
        auto fail = [&](const std::string& ctxt, const std::string& why) {
            if (!linesRead) lines = ContextLines(name), linesRead = true;
            auto l = lines.find(ctxt);
            *error = name + (l != lines.end() ? ":" + std::to_string(l->second) : std::string()) + ": " + why;
            return false;
        };
        StringMap result;
        std::set<unsigned> seen;
        Iter it(po_message_iterator(file.get(), nullptr));
        while (po_message_t m = po_next_message(it.get())) {
            if (po_message_is_obsolete(m)) continue;
            const char* ctxt = po_message_msgctxt(m);
            const char* id = po_message_msgid(m);
            if (!ctxt && id && !*id) continue;  // the header
            const std::string c = ctxt ? ctxt : "";
            unsigned n = 0;
            if (!ParseNumber(ctxt, &n))
                return fail(c, ctxt ? "msgctxt \"" + c + "\" is not a message number (1 to 65535)"
                                    : std::string("an entry without msgctxt (the message number): \"") + (id ? id : "") + "\"");
            if (!ref.count(n)) return fail(c, "message " + c + " is not in the reference library");
            if (!seen.insert(n).second) return fail(c, "message " + c + " appears twice");
            if (po_message_msgid_plural(m)) return fail(c, "message " + c + ": plural forms are not used by language libraries");
            const char* str = po_message_msgstr(m);
            if (po_message_is_fuzzy(m) || !str || !*str) continue;
            result[n] = ToUtf16(FromUtf8(str));
        }
        if (fallback) {
            for (const auto& kv : ref) result.emplace(kv.first, kv.second);
        }
        *out = std::move(result);
        return true;
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
}

}  // namespace kuttools
