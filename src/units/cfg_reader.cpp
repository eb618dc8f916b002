// CfgReader: counts, numbers and names read by hand from the unit
// configuration files.
#include "units/cfg_reader.h"

#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <system_error>

namespace kut::units {

namespace {

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

CfgReader::CfgReader(std::FILE* file) : m_file(file), m_point('.'), m_bytes(true), m_singleByte(MB_CUR_MAX == 1) {
    // The "C" locale keeps every byte as the character of its value. Not
    // every run-time's C locale decodes so (wine's takes 0x80-0x9F as
    // Windows-1252), so it is not asked.
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    m_bytes = !ctype || std::strcmp(ctype, "C") == 0 || std::strcmp(ctype, "POSIX") == 0;
    const std::lconv* conv = std::localeconv();
    if (conv && conv->decimal_point && conv->decimal_point[0] && !conv->decimal_point[1]) { m_point = conv->decimal_point[0]; }
}

CfgReader::~CfgReader() {
    // A directive reads at most one character ahead once it has succeeded;
    // longer push-backs remain only after a failure, when nobody reads on.
    while (!m_back.empty()) {
        std::ungetc(static_cast<unsigned char>(m_back.back()), m_file);
        m_back.pop_back();
    }
}

int CfgReader::Raw() {
    if (!m_back.empty()) {
        int c = static_cast<unsigned char>(m_back.back());
        m_back.pop_back();
        return c;
    }
    int c = std::fgetc(m_file);
    return c == EOF ? kEnd : c;
}

int CfgReader::Get() {
    int c = Raw();
    if (c == '\r') {
        int next = Raw();
        if (next == '\n') return '\n';
        Unget(next);
    }
    return c;
}

int CfgReader::GetChar() {
    const int c = Get();
    if (c == kEnd || c < 0x80 || m_bytes) return c;
    if (m_singleByte) {
        const std::wint_t w = std::btowc(c);
        return w == WEOF ? c : static_cast<int>(w);
    }
    // Byte by byte, so that a broken sequence can be given back whole but
    // its first byte.
    unsigned char seq[MB_LEN_MAX];
    int n = 0;
    seq[n++] = static_cast<unsigned char>(c);
    std::mbstate_t state{};
    wchar_t w = 0;
    char b = static_cast<char>(c);
    std::size_t r = std::mbrtowc(&w, &b, 1, &state);
    while (r == static_cast<std::size_t>(-2) && n < MB_LEN_MAX) {
        const int next = Raw();
        if (next == kEnd) break;
        seq[n++] = static_cast<unsigned char>(next);
        b = static_cast<char>(next);
        r = std::mbrtowc(&w, &b, 1, &state);
    }
    if (r == static_cast<std::size_t>(-1) || r == static_cast<std::size_t>(-2)) {
        for (int i = n - 1; i >= 1; --i) Unget(seq[i]);
        return c;
    }
    return static_cast<int>(w);
}

void CfgReader::Unget(int c) {
    if (c != kEnd) m_back.push_back(static_cast<char>(c));
}

void CfgReader::SkipSpace() {
    int c;
    do { c = Get(); } while (IsSpace(c));
    Unget(c);
}

bool CfgReader::ReadCount(short* count) {
    SkipSpace();
    int c = Get();
    bool negative = false;
    int sign = kEnd;
    if (c == '+' || c == '-') {
        negative = c == '-';
        sign = c;
        c = Get();
    }
    if (!IsDigit(c)) {
        Unget(c);
        Unget(sign);
        return false;
    }
    // Unsigned arithmetic wraps modulo 2^64, which leaves the low 16 bits
    // exact however long the digit string is.
    std::uint64_t value = 0;
    while (IsDigit(c)) {
        value = value * 10u + static_cast<unsigned>(c - '0');
        c = Get();
    }
    Unget(c);
    if (negative) value = 0u - value;
    *count = static_cast<short>(static_cast<std::uint16_t>(value & 0xFFFFu));
    SkipSpace();
    return true;
}

CfgReader::Number CfgReader::ReadNumber(double* value) {
    SkipSpace();
    std::string seen;       // every character consumed from here on
    std::size_t valid = 0;  // length of the longest prefix that is a number
    int intDigits = 0;
    int intSignificant = 0;    // integer digits after leading zeros
    int fracLeadingZeros = 0;  // fraction zeros before the first nonzero digit
    bool fracNonzero = false;
    long long exponent = 0;
    bool expNegative = false;
    std::size_t mantissaEnd = 0;
    std::size_t pointAt = std::string::npos;

    int c = Get();
    if (c == kEnd) return Number::End;
    if (c == '+' || c == '-') {
        seen += static_cast<char>(c);
        c = Get();
    }
    while (IsDigit(c)) {
        if (intSignificant > 0 || c != '0') ++intSignificant;
        ++intDigits;
        seen += static_cast<char>(c);
        valid = seen.size();
        c = Get();
    }
    if (c == static_cast<unsigned char>(m_point)) {
        pointAt = seen.size();
        seen += static_cast<char>(c);
        if (intDigits > 0) valid = seen.size();
        c = Get();
        while (IsDigit(c)) {
            if (!fracNonzero) {
                if (c == '0')
                    ++fracLeadingZeros;
                else
                    fracNonzero = true;
            }
            seen += static_cast<char>(c);
            valid = seen.size();
            c = Get();
        }
    }
    mantissaEnd = valid;
    if (valid > 0 && (c == 'e' || c == 'E')) {
        seen += static_cast<char>(c);
        c = Get();
        if (c == '+' || c == '-') {
            expNegative = c == '-';
            seen += static_cast<char>(c);
            c = Get();
        }
        while (IsDigit(c)) {
            if (exponent < 1000000000LL) exponent = exponent * 10 + (c - '0');
            seen += static_cast<char>(c);
            valid = seen.size();
            c = Get();
        }
        if (valid == mantissaEnd) exponent = 0;  // "e" without digits is not part of it
    }
    // Give back what lies beyond the number, last character first.
    Unget(c);
    for (std::size_t i = seen.size(); i > valid; --i) Unget(static_cast<unsigned char>(seen[i - 1]));
    if (valid == 0) return Number::NotANumber;

    seen.resize(valid);
    if (pointAt < seen.size()) seen[pointAt] = '.';  // from_chars knows only the point
    const char* first = seen.data();
    const char* last = first + seen.size();
    if (*first == '+') ++first;  // from_chars takes no plus sign
    double result = 0.0;
    std::from_chars_result r = std::from_chars(first, last, result, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: decide which from the decimal
        // order of magnitude, as strtod would give HUGE_VAL or zero.
        long long e = expNegative ? -exponent : exponent;
        long long order = intSignificant > 0 ? intSignificant - 1 + e : e - fracLeadingZeros - 1;
        result = order >= 0 ? HUGE_VAL : 0.0;
        if (seen[0] == '-') result = -result;
    }
    *value = result;
    SkipSpace();
    return Number::Read;
}

bool CfgReader::ReadName(wchar_t name[10]) {
    int length = 0;
    bool blank = false;
    for (;;) {
        int c = GetChar();
        if (c == kEnd) {
            name[length] = L'\0';
            return false;
        }
        if (c == ',') break;
        if (c == ' ') {
            blank = true;
        } else if (!blank && length < 9) {
            name[length++] = static_cast<wchar_t>(c);
        }
    }
    name[length] = L'\0';
    return true;
}

bool CfgReader::SkipToken() {
    SkipSpace();
    int c = Get();
    if (c == kEnd) return false;
    while (c != kEnd && !IsSpace(c)) c = Get();
    Unget(c);
    return true;
}

bool CfgReader::SkipRecord() {
    if (!SkipToken() || !SkipToken()) return false;
    SkipSpace();
    return true;
}

}  // namespace kut::units
