#include "msgtext.h"

#include <algorithm>
#include <cstdio>

namespace kuttools {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

const char16_t kOut[] = u"OUT::";

// A blank run for a message line: quoted, with the catalog escapes.
std::string Quoted(const std::u16string& s) { return "\"" + EscapeText(s) + "\""; }

std::string Params(const std::vector<unsigned>& params) {
    if (params.empty()) return "none";
    std::string out;
    for (unsigned p : params) out += (out.empty() ? "%" : " %") + std::to_string(p);
    return out;
}

}  // namespace

TextTraits Traits(const std::u16string& text) {
    TextTraits t;
    for (std::size_t at = 0; (at = text.find(u"$$", at)) != std::u16string::npos; at += 2) ++t.fields;
    t.outMarker = text.compare(0, 5, kOut) == 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'%' || text[i + 1] < u'0' || text[i + 1] > u'9') continue;
        unsigned n = 0;
        std::size_t j = i + 1;
        // fillParam formats its marker from a 16-bit number: longer runs are
        // capped rather than overflowed.
        for (; j < text.size() && text[j] >= u'0' && text[j] <= u'9'; ++j) n = std::min(n * 10 + (text[j] - u'0'), 99999u);
        t.params.push_back(n);
        i = j - 1;
    }
    std::sort(t.params.begin(), t.params.end());
    std::size_t lead = 0;
    while (lead < text.size() && IsBlank(text[lead])) ++lead;
    t.leading = text.substr(0, lead);
    std::size_t end = text.size();
    while (end > lead && IsBlank(text[end - 1])) --end;
    t.trailing = text.substr(end);
    return t;
}

std::vector<std::string> CompareStrings(const StringMap& ref, const StringMap& target) {
    std::vector<std::string> out;
    auto r = ref.begin();
    auto t = target.begin();
    while (r != ref.end() || t != target.end()) {
        if (t == target.end() || (r != ref.end() && r->first < t->first)) {
            out.push_back(std::to_string(r->first) + ": missing in the target");
            ++r;
            continue;
        }
        if (r == ref.end() || t->first < r->first) {
            out.push_back(std::to_string(t->first) + ": extra in the target (not in the reference)");
            ++t;
            continue;
        }
        const std::string n = std::to_string(r->first) + ": ";
        const TextTraits a = Traits(r->second), b = Traits(t->second);
        if (a.params != b.params)
            out.push_back(n + "parameters differ: " + Params(a.params) + " in the reference, " + Params(b.params) +
                          " in the target");
        if (a.fields != b.fields)
            out.push_back(n + "$$ fields differ: " + std::to_string(a.fields) + " in the reference, " + std::to_string(b.fields) +
                          " in the target");
        if (a.outMarker != b.outMarker) out.push_back(n + "OUT:: marker only in the " + (a.outMarker ? "reference" : "target"));
        if (a.leading != b.leading)
            out.push_back(n + "leading blanks differ: " + Quoted(a.leading) + " in the reference, " + Quoted(b.leading) +
                          " in the target");
        if (a.trailing != b.trailing)
            out.push_back(n + "trailing blanks differ: " + Quoted(a.trailing) + " in the reference, " + Quoted(b.trailing) +
                          " in the target");
        ++r;
        ++t;
    }
    return out;
}

std::string TranslatorNotes(const std::u16string& text) {
    const TextTraits t = Traits(text);
    std::vector<std::string> notes;
    if (t.outMarker)
        notes.push_back("OUT:: at the start marks a text shown in the output language: keep it, unchanged, at the very start.");
    if (t.fields > 1)
        notes.push_back("$$ separates " + std::to_string(t.fields) +
                        " fields: field 1 is what most screens show, the others are read by position; keep all " +
                        std::to_string(t.fields) + " fields and translate each.");
    if (!t.params.empty()) {
        std::vector<unsigned> unique = t.params;
        unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
        notes.push_back(Params(unique) + (unique.size() == 1 ? " is a value filled in when the text is shown: keep it."
                                                             : " are values filled in when the text is shown: keep each, in "
                                                               "any order the language needs."));
    }
    if (!t.leading.empty() || !t.trailing.empty())
        notes.push_back("Keep the blanks at the start and end of the text: they lay it out on screen.");
    std::string out;
    for (const std::string& n : notes) out += (out.empty() ? "" : "\n") + n;
    return out;
}

std::string LanguageTag(long number) {
    // 1 English and 2 French as the sample libraries have them; the rest is
    // this project's numbering, written down in the README. A library of
    // another number is exported with --language.
    static const char* const kTags[] = {"en", "fr", "de", "it", "es", "nl", "pt", "pl", "cs", "sv"};
    if (number < 1 || number > static_cast<long>(sizeof kTags / sizeof kTags[0])) return "";
    return kTags[number - 1];
}

long LanguageOfLibraryName(const std::wstring& path) {
    std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < 3) return 0;
    long n = 0;
    for (std::size_t i = dot - 3; i < dot; ++i) {
        if (path[i] < L'0' || path[i] > L'9') return 0;
        n = n * 10 + (path[i] - L'0');
    }
    return n;
}

}  // namespace kuttools
