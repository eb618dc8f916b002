#include "catalog.h"

#include <cstdint>
#include <vector>

#include "kut/kut_ext.h"
#include "langlib_writer.h"
#include "textconv.h"

namespace kuttools {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string* out, std::uint32_t c) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUnit(std::u16string* out, std::uint32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        *out += static_cast<char16_t>(0xD800 + (c >> 10));
        *out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        *out += static_cast<char16_t>(c);
    }
}

// One UTF-8 sequence at s[*i]; false on a malformed one (overlong forms,
// encoded surrogates and values above U+10FFFF included).
bool DecodeUtf8(const std::string& s, std::size_t* i, std::uint32_t* cp) {
    const auto b0 = static_cast<unsigned char>(s[*i]);
    int extra;
    std::uint32_t c;
    std::uint32_t min;
    if (b0 < 0x80) {
        *cp = b0;
        ++*i;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1, c = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, c = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, c = b0 & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (s.size() - *i <= static_cast<std::size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[*i + k]);
        if ((b & 0xC0) != 0x80) return false;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    *cp = c;
    *i += extra + 1;
    return true;
}

std::string LineError(std::size_t line, const std::string& msg) { return "line " + std::to_string(line) + ": " + msg; }

}  // namespace

bool UnescapeText(const std::string& field, std::u16string* out, std::string* error) {
    out->clear();
    std::size_t i = 0;
    while (i < field.size()) {
        if (field[i] != '\\') {
            std::uint32_t cp;
            if (!DecodeUtf8(field, &i, &cp)) {
                if (error) *error = "invalid UTF-8";
                return false;
            }
            AppendUnit(out, cp);
            continue;
        }
        if (i + 1 >= field.size()) {
            if (error) *error = "backslash at the end of the line (write \\\\ for a backslash)";
            return false;
        }
        const char e = field[i + 1];
        i += 2;
        switch (e) {
        case 't': *out += u'\t'; break;
        case 'n': *out += u'\n'; break;
        case 'r': *out += u'\r'; break;
        case '\\': *out += u'\\'; break;
        case 'u': {
            std::uint32_t v = 0;
            for (int k = 0; k < 4; ++k) {
                const int d = i + k < field.size() ? HexDigit(field[i + k]) : -1;
                if (d < 0) {
                    if (error) *error = "\\u needs four hex digits";
                    return false;
                }
                v = v * 16 + static_cast<std::uint32_t>(d);
            }
            i += 4;
            *out += static_cast<char16_t>(v);
            break;
        }
        default:
            if (error) *error = std::string("unknown escape \\") + e;
            return false;
        }
    }
    return true;
}

std::string EscapeText(const std::u16string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        switch (c) {
        case u'\\': out += "\\\\"; continue;
        case u'\t': out += "\\t"; continue;
        case u'\n': out += "\\n"; continue;
        case u'\r': out += "\\r"; continue;
        default: break;
        }
        bool escape = c < 0x20 || c == 0x7F;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            escape = true;  // unpaired: not representable in UTF-8
        }
        if (escape) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
        } else {
            AppendUtf8(&out, c);
        }
    }
    return out;
}

bool ParseCatalog(const std::string& text, StringMap* out, std::string* error) {
    out->clear();
    std::map<unsigned, std::size_t> lineOf;
    std::size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    std::size_t lineNo = 0;
    while (pos < text.size()) {
        ++lineNo;
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::size_t end = eol;
        if (end > pos && text[end - 1] == '\r') --end;
        const std::string line = text.substr(pos, end - pos);
        pos = eol + 1;

        std::size_t i = 0;
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') continue;

        unsigned long number = 0;
        const std::size_t digits = i;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
            number = number * 10 + static_cast<unsigned long>(line[i] - '0');
            if (number > 0xFFFF) break;
            ++i;
        }
        if (i == digits) {
            if (error) *error = LineError(lineNo, "expected a message number");
            return false;
        }
        if (number > 0xFFFF) {
            if (error) *error = LineError(lineNo, "message number outside 0..65535");
            return false;
        }
        std::string field;
        if (i < line.size()) {
            if (!IsBlank(line[i])) {
                if (error) *error = LineError(lineNo, "expected a tab or a space after the number");
                return false;
            }
            field = line.substr(i + 1);
        }
        std::u16string value;
        std::string why;
        if (!UnescapeText(field, &value, &why)) {
            if (error) *error = LineError(lineNo, why);
            return false;
        }
        if (value.size() > kMaxStringUnits) {
            if (error) *error = LineError(lineNo, "text longer than 65535 UTF-16 units");
            return false;
        }
        const auto n = static_cast<unsigned>(number);
        auto seen = lineOf.find(n);
        if (seen != lineOf.end()) {
            if (error) {
                *error =
                    LineError(lineNo, "number " + std::to_string(n) + " already defined on line " + std::to_string(seen->second));
            }
            return false;
        }
        lineOf.emplace(n, lineNo);
        out->emplace(n, std::move(value));
    }
    return true;
}

std::string FormatCatalog(const StringMap& strings) {
    std::string out;
    for (const auto& kv : strings) {
        if (kv.second.empty()) continue;
        out += std::to_string(kv.first);
        out += '\t';
        out += EscapeText(kv.second);
        out += '\n';
    }
    return out;
}

bool ReadCatalog(const std::wstring& path, StringMap* out, std::string* error) {
    std::string bytes;
    if (!native::ReadFile(path, &bytes, error)) return false;
    std::string why;
    if (!ParseCatalog(bytes, out, &why)) {
        if (error) *error = ToUtf8(path) + ": " + why;
        return false;
    }
    return true;
}

bool WriteCatalog(const std::wstring& path, const StringMap& strings, std::string* error, native::Replace replace) {
    const std::string text = FormatCatalog(strings);
    return native::WriteFileAtomic(path, text.data(), text.size(), error, replace) != 1;
}

namespace {

struct Damage {
    std::vector<std::string>* lines;
    std::vector<std::pair<unsigned, unsigned>> lost;  // number ranges that cannot be read
};

void CollectProblem(void* ctx, unsigned first, unsigned last, const wchar_t* what) {
    auto* damage = static_cast<Damage*>(ctx);
    damage->lost.emplace_back(first, last);
    if (last - first >= 0xFFFF) {
        damage->lines->push_back("string table (numbers 0-65535): " + ToUtf8(what));
        return;
    }
    const unsigned start = last / 16 * 16;
    std::string line = "block " + std::to_string(start / 16 + 1) + " (numbers " + std::to_string(start) + "-" +
                       std::to_string(last) + "): " + ToUtf8(what);
    if (first > start && first <= last) {
        line += first == last ? "; number " + std::to_string(last) + " lost"
                              : "; numbers " + std::to_string(first) + "-" + std::to_string(last) + " lost";
    }
    damage->lines->push_back(line);
}

bool Check(const std::wstring& path, Damage* damage, std::string* error) {
    damage->lines->clear();
    if (KUT_LangLibCheck(path.c_str(), CollectProblem, damage) < 0) {
        if (error) *error = ToUtf8(path) + ": not a language library (cannot be loaded)";
        return false;
    }
    return true;
}

}  // namespace

bool CheckLanguageLibrary(const std::wstring& path, std::vector<std::string>* problems, std::string* error) {
    Damage damage{problems, {}};
    return Check(path, &damage, error);
}

bool DumpLanguageLibrary(const std::wstring& path, StringMap* out, std::string* error, std::vector<std::string>* problems) {
    out->clear();
    Damage damage{problems, {}};
    if (problems && !Check(path, &damage, error)) return false;
    HMODULE lib = KUT_LangLibOpen(path.c_str());
    if (!lib) {
        if (error) *error = ToUtf8(path) + ": not a language library (cannot be loaded)";
        return false;
    }
    // Room for the longest string a slot can hold, so nothing is cut.
    std::vector<wchar_t> buf(kMaxStringUnits + 2);
    const int cap = static_cast<int>(buf.size());
    for (unsigned id = 0; id <= 0xFFFF; ++id) {
        const int n = KUT_LangLibString(lib, id, buf.data(), cap);
        // A number of a damaged block that the check could not read is left
        // out: Windows' loader makes its text of bytes past the block or file.
        bool lost = false;
        for (const auto& range : damage.lost) lost = lost || (id >= range.first && id <= range.second);
        if (n > 0 && !lost) out->emplace(id, ToUtf16(std::wstring(buf.data(), static_cast<std::size_t>(n))));
    }
    KUT_LangLibClose(lib);
    return true;
}

bool BuildLanguageLibraryFromCatalog(const std::wstring& catalog, const std::wstring& library, std::string* error,
                                     unsigned short langId, native::Replace replace) {
    if (!native::CheckOutputs({catalog}, {library}, error)) return false;
    StringMap strings;
    if (!ReadCatalog(catalog, &strings, error)) return false;
    std::string why;
    if (!WriteLanguageLibrary(library, strings, &why, langId, replace)) {
        const std::string name = ToUtf8(library);
        if (error) *error = why.find(name) == std::string::npos ? name + ": " + why : why;
        return false;
    }
    return true;
}

}  // namespace kuttools
