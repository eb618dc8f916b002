// KUT_Units: unit sections of the configuration files and the conversion
// coefficients.
#include "kut/units.h"

#include <cwchar>
#include <cwctype>

#include "kbase/repert.h"
#include "kopts/kopts.h"
#include "support/alloc.h"
#include "platform/platform.h"
#include "units/cfg_reader.h"

using kut::units::CfgReader;

namespace {

constexpr double kNotFound = -1.0;   // file missing or unreadable
constexpr double kNoTable = -2.0;    // count unreadable, negative, or no memory
constexpr double kNoFirst = -10.0;   // (first) name absent, zero, or file cut short
constexpr double kNoSecond = -20.0;  // second name absent

enum Section { kLength = 1, kForce = 2, kMass = 3 };

// The run-time's upper-casing in the host's current locale: in the "C"
// locale only a to z change; after a host's setlocale the names in the file
// and the caller's match as that locale's letters do (ång is ÅNG).
void ToUpper(wchar_t* s) {
    for (; *s; ++s) *s = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(*s)));
}

// Private upper-cased copy of a caller's name. Ten characters are enough to
// keep the answer: a name of ten or more matches no row (rows hold nine).
class NameCopy {
public:
    explicit NameCopy(const wchar_t* name) {
        std::size_t n = 0;
        if (name) {
            for (; n < kKeep && name[n]; ++n) m_text[n] = name[n];
        }
        m_text[n] = L'\0';
        ToUpper(m_text);
    }
    wchar_t* get() { return m_text; }

private:
    static constexpr std::size_t kKeep = 10;
    wchar_t m_text[kKeep + 1];
};

// Moves past one section: its count line and that many two-token records
// (a negative count skips nothing). 0.0, or the failure value.
double SkipSection(std::FILE* file) {
    // The reader keeps what it looks ahead in memory: without memory the
    // section counts as unreadable.
    try {
        CfgReader reader(file);
        short count = 0;
        if (!reader.ReadCount(&count)) return kNoTable;
        for (short i = 0; i < count; ++i) {
            if (!reader.SkipRecord()) return kNoFirst;
        }
        return 0.0;
    } catch (...) { return kNoTable; }
}

// Finds the configuration file of the current unit system, opens it and
// moves past the sections before `section`. Null with *failure set when any
// of that fails.
std::FILE* OpenSection(Section section, double* failure) {
    const CONF_UNITS* settings = CONF_KUNITS();
    const wchar_t* name = settings->raw[CONF_KUNITS_NONMETRIC] ? L"uninmet.cfg" : L"unimet.cfg";
    wchar_t path[KUT_PATH_MAX];
    path[0] = L'\0';
    short found = 0;
    REP_ChkCfg(270, name, path, &found);
    if (!found) {
        *failure = kNotFound;
        return nullptr;
    }
    // Binary: the reader turns CR LF into one line end itself, the same way
    // on every platform.
    std::FILE* file = kut::platform::OpenFile(path, "rb");
    if (!file) {
        *failure = kNotFound;
        return nullptr;
    }
    for (int skipped = kLength; skipped < section; ++skipped) {
        double result = SkipSection(file);
        if (result != 0.0) {
            *failure = result;
            std::fclose(file);
            return nullptr;
        }
    }
    return file;
}

// The course every operation takes: the caller's names copied and
// upper-cased (`second` may be null), the unit system's file opened at
// `section`, `read(file, first, second)` on the copies, the file closed.
// The failure value when the section cannot be reached.
template <typename Read>
double ReadInSection(Section section, const wchar_t* first, const wchar_t* second, Read read) {
    NameCopy a(first), b(second);
    double failure = 0.0;
    std::FILE* file = OpenSection(section, &failure);
    if (!file) return failure;
    const double result = read(file, a.get(), b.get());
    std::fclose(file);
    return result;
}

double ReadSectionRows(std::FILE* file, UNIT_ITEM** table, short* rows);

// Reads the section at the stream's position into a new table. Returns 0.0
// with the table and its row count, or a failure value; a table allocated
// before the failure is still handed back for the caller to release.
double ReadSection(std::FILE* file, UNIT_ITEM** table, short* rows) {
    try {
        return ReadSectionRows(file, table, rows);
    } catch (...) {
        return kNoTable;  // the reader found no memory for its look-ahead
    }
}

double ReadSectionRows(std::FILE* file, UNIT_ITEM** table, short* rows) {
    CfgReader reader(file);
    short count = 0;
    if (!reader.ReadCount(&count) || count < 0) return kNoTable;
    // One row at least, so that an empty section is not mistaken for a
    // failed allocation.
    *table = static_cast<UNIT_ITEM*>(kut::mem::Calloc(count > 0 ? count : 1, sizeof(UNIT_ITEM)));
    if (!*table) return kNoTable;
    *rows = count;
    for (short i = 0; i < count; ++i) {
        UNIT_ITEM& row = (*table)[i];
        if (!reader.ReadName(row.name)) return kNoFirst;
        double value = 0.0;
        CfgReader::Number read = reader.ReadNumber(&value);
        if (read == CfgReader::Number::End) return kNoFirst;
        // Text that is not a number leaves the coefficient 0.0 and starts
        // the next row's name.
        if (read == CfgReader::Number::Read) row.coeff = value;
    }
    return 0.0;
}

// Index of the first row named `name` (upper case), or -1.
int FindRow(UNIT_ITEM* table, short rows, const wchar_t* name) {
    for (short i = 0; i < rows; ++i) {
        ToUpper(table[i].name);
        if (std::wcscmp(table[i].name, name) == 0) return i;
    }
    return -1;
}

}  // namespace

KUT_Units::KUT_Units() : unitTab(nullptr) {}

KUT_Units::~KUT_Units() = default;

KUT_Units::KUT_Units(const KUT_Units& other) = default;

KUT_Units& KUT_Units::operator=(const KUT_Units& other) {
    if (this != &other) unitTab = other.unitTab;
    return *this;
}

// The readers are private members, hence a lambda per operation rather
// than a reader passed by name.
double KUT_Units::LenghtCoeff(wchar_t* first, wchar_t* second) {
    return ReadInSection(kLength, first, second, [this](std::FILE* f, wchar_t* a, wchar_t* b) { return UnitCoeff(f, a, b); });
}

double KUT_Units::ForceCoeff(wchar_t* first, wchar_t* second) {
    return ReadInSection(kForce, first, second, [this](std::FILE* f, wchar_t* a, wchar_t* b) { return UnitCoeff(f, a, b); });
}

double KUT_Units::MassCoeff(wchar_t* first, wchar_t* second) {
    return ReadInSection(kMass, first, second, [this](std::FILE* f, wchar_t* a, wchar_t* b) { return UnitCoeff(f, a, b); });
}

double KUT_Units::GetLenghtCoeff(wchar_t* name) {
    return ReadInSection(kLength, name, nullptr, [this](std::FILE* f, wchar_t* a, wchar_t*) { return GetUnitCoeff(f, a); });
}

double KUT_Units::GetForceCoeff(wchar_t* name) {
    return ReadInSection(kForce, name, nullptr, [this](std::FILE* f, wchar_t* a, wchar_t*) { return GetUnitCoeff(f, a); });
}

double KUT_Units::GetMassCoeff(wchar_t* name) {
    return ReadInSection(kMass, name, nullptr, [this](std::FILE* f, wchar_t* a, wchar_t*) { return GetUnitCoeff(f, a); });
}

double KUT_Units::UnitCoeff(FILE* file, wchar_t* first, wchar_t* second) {
    short rows = 0;
    double result = ReadSection(file, &unitTab, &rows);
    if (result == 0.0) {
        int a = FindRow(unitTab, rows, first);
        if (a < 0 || unitTab[a].coeff == 0.0) {
            result = kNoFirst;
        } else {
            int b = FindRow(unitTab, rows, second);
            result = b < 0 ? kNoSecond : unitTab[b].coeff / unitTab[a].coeff;
        }
    }
    kut::mem::Free(unitTab);
    unitTab = nullptr;
    return result;
}

double KUT_Units::GetUnitCoeff(FILE* file, wchar_t* name) {
    short rows = 0;
    double result = ReadSection(file, &unitTab, &rows);
    if (result == 0.0) {
        int a = FindRow(unitTab, rows, name);
        result = (a < 0 || unitTab[a].coeff == 0.0) ? kNoFirst : unitTab[a].coeff;
    }
    kut::mem::Free(unitTab);
    unitTab = nullptr;
    return result;
}
