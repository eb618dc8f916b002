// Arguments and what the kut tool says: option parsing, numbers, UTF-8
// output, failure and usage messages, the library's message boxes on
// standard error.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "kut/kut_ext.h"
#include "textconv.h"

namespace kutcli {

namespace {

int MessageBoxToStderr(const wchar_t* text, const wchar_t* caption, unsigned style) {
    std::wstring t = text ? text : L"";
    MessageBoxTexts().push_back(t);
    std::string c = caption && *caption ? U8(caption) : std::string("warning");
    std::fprintf(stderr, "kut: %s: %s\n", kuttools::Printable(c).c_str(), kuttools::Printable(t).c_str());
    return 1;  // OK
}

}  // namespace

// ---- text ------------------------------------------------------------------

std::string U8(const std::wstring& text) { return kuttools::ToUtf8(text); }
std::wstring FromU8(const std::string& text) { return kuttools::FromUtf8(text); }

std::string Cp1252ToU8(const std::string& bytes) {
    static const unsigned short k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                           0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                           0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::wstring w;
    for (unsigned char c : bytes) w += static_cast<wchar_t>(c >= 0x80 && c < 0xA0 ? k80[c - 0x80] : c);
    return U8(w);
}

void Out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void OutLine(const std::string& text) {
    Out(kuttools::Printable(text));
    std::fputc('\n', stdout);
}

int Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kut: %s\n", kuttools::Printable(message).c_str());
    return kExitFail;
}

void Warn(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kut: warning: %s\n", kuttools::Printable(message).c_str());
}

int Usage(const std::string& command, const std::string& message) {
    std::fflush(stdout);
    std::string name = command.empty() ? "kut" : "kut " + command;
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", name.c_str(), kuttools::Printable(message).c_str(), name.c_str());
    return kExitUsage;
}

// ---- arguments ---------------------------------------------------------------

const std::wstring* Parsed::Value(const wchar_t* option) const {
    auto it = values.find(option);
    return it == values.end() ? nullptr : &it->second;
}

bool Parse(const std::vector<std::wstring>& args, std::size_t first, const std::vector<std::wstring>& valued,
           const std::vector<std::wstring>& plain, Parsed* out, std::string* error) {
    auto in = [](const std::vector<std::wstring>& list, const std::wstring& s) {
        for (const auto& x : list)
            if (x == s) return true;
        return false;
    };
    bool options = true;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (!options || a.size() < 2 || a[0] != L'-') {
            out->positional.push_back(a);
            continue;
        }
        if (a == L"--") {
            options = false;
            continue;
        }
        if (a == L"-h" || a == L"--help") {
            out->help = true;
            continue;
        }
        std::wstring name = a, value;
        bool inlineValue = false;
        std::size_t eq = a.find(L'=');
        if (a.compare(0, 2, L"--") == 0 && eq != std::wstring::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        if (in(valued, name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    *error = "option " + U8(name) + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            out->values[name] = value;
        } else if (in(plain, name) && !inlineValue) {
            out->flags.insert(name);
        } else if (a.size() > 1 && (a[1] >= L'0' && a[1] <= L'9')) {
            out->positional.push_back(a);  // a negative number
        } else {
            *error = "unknown option " + U8(a);
            return false;
        }
    }
    return true;
}

bool ParseNumber(const std::wstring& text, long min, long max, long* value) {
    if (text.empty() || text.size() > 12) return false;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == L'-' || text[0] == L'+') {
        negative = text[0] == L'-';
        i = 1;
    }
    if (i == text.size()) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        v = v * 10 + (text[i] - L'0');
    }
    if (negative) v = -v;
    if (v < min || v > max) return false;
    *value = static_cast<long>(v);
    return true;
}

bool NoClobber(const Parsed& p) { return p.Has(L"-n") || p.Has(L"--no-clobber"); }

kuttools::native::Replace OutputReplace(const Parsed& p) {
    return NoClobber(p) ? kuttools::native::Replace::kRefuse : kuttools::native::Replace::kAllow;
}

void InstallMessageBoxHook() { KUT_SetMessageBoxHook(MessageBoxToStderr); }

std::vector<std::wstring>& MessageBoxTexts() {
    static std::vector<std::wstring> texts;
    return texts;
}

}  // namespace kutcli
