#include "environment.h"

#include <cstdio>

#include "native.h"
#include "textconv.h"

namespace kuttools {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r'; }

// One whole number as the settings library reads it (leading blanks and a
// sign allowed), advancing *at. False when there is no digit.
bool Number(const std::wstring& s, std::size_t* at, long long* out) {
    std::size_t i = *at;
    while (i < s.size() && IsBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
    const std::size_t digits = i;
    long long v = 0;
    for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9'; ++i) {
        if (v < 100000000000LL) v = v * 10 + (s[i] - L'0');
    }
    if (i == digits) return false;
    *out = negative ? -v : v;
    *at = i;
    return true;
}

std::string Shown(const char* name, const std::wstring& value) { return std::string(name) + "=" + ToUtf8(value); }

void CheckLanguage(std::vector<std::string>* out) {
    std::wstring v;
    if (!native::GetEnv("KOPTS_LANGUAGE", &v) || v.empty()) return;
    std::size_t at = 0;
    long long logic = 0, output = 0;
    if (!Number(v, &at, &logic) || at >= v.size() || v[at] != L',' || !(++at, Number(v, &at, &output))) {
        out->push_back(Shown("KOPTS_LANGUAGE", v) +
                       ": not two language numbers \"logic,output\" (such as 1,2); ignored, languages 1,1 are used");
        return;
    }
    if (logic < 1 || logic > 32767 || output < 1 || output > 32767) {
        out->push_back(Shown("KOPTS_LANGUAGE", v) + ": language numbers are 1 to 32767");
    } else if (at < v.size()) {
        out->push_back(Shown("KOPTS_LANGUAGE", v) + ": the text after the second number is ignored");
    }
}

void CheckUnits(std::vector<std::string>* out) {
    std::wstring v;
    if (!native::GetEnv("KOPTS_UNITS", &v) || v.empty() || v == L"nonmetric" || v == L"metric") return;
    out->push_back(Shown("KOPTS_UNITS", v) + ": not \"nonmetric\" or \"metric\"; ignored, metric units are used");
}

void CheckFolder(const char* name, std::vector<std::string>* out) {
    std::wstring v;
    if (!native::GetEnv(name, &v) || v.empty() || native::IsDirectory(v)) return;
    out->push_back(Shown(name, v) + (native::Exists(v) ? ": not a folder" : ": no such folder"));
}

}  // namespace

std::vector<std::string> EnvironmentWarnings() {
    std::vector<std::string> out;
    CheckLanguage(&out);
    CheckUnits(&out);
    CheckFolder("KBASE_ROOT", &out);
    for (int kind = 0; kind < 16; ++kind) {
        char name[32];
        std::snprintf(name, sizeof name, "KBASE_DIR_%d", kind);
        CheckFolder(name, &out);
    }
    return out;
}

}  // namespace kuttools
