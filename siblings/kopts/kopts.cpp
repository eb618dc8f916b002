#include "kopts/kopts.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

CONF_LANGUAGE g_language;
CONF_UNITS g_units;
bool g_languageRead = false;
bool g_unitsRead = false;

// One decimal int at `s` (leading blanks and a sign allowed); `*end` is left
// after it. False when there is no number or it does not fit an int.
bool ParseInt(const char* s, const char** end, int* out) {
    char* stop = nullptr;
    errno = 0;
    const long v = std::strtol(s, &stop, 10);
    if (stop == s || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *end = stop;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

extern "C" CONF_LANGUAGE* CONF_Language(void) {
    if (!g_languageRead) {
        g_languageRead = true;
        g_language.logic = 1;
        g_language.output = 1;
        if (const char* v = std::getenv("KOPTS_LANGUAGE")) {
            // "<logic>,<output>"; anything after the second number is ignored.
            int logic = 0, output = 0;
            const char* p = v;
            if (ParseInt(p, &p, &logic) && *p == ',' && ParseInt(p + 1, &p, &output)) {
                g_language.logic = logic;
                g_language.output = output;
            }
        }
    }
    return &g_language;
}

extern "C" CONF_UNITS* CONF_KUNITS(void) {
    if (!g_unitsRead) {
        g_unitsRead = true;
        std::memset(g_units.raw, 0, sizeof g_units.raw);
        const char* v = std::getenv("KOPTS_UNITS");
        g_units.raw[CONF_KUNITS_NONMETRIC] = (v && std::strcmp(v, "nonmetric") == 0) ? 1 : 0;
    }
    return &g_units;
}
