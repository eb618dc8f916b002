#include "kopts/kopts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

CONF_LANGUAGE g_language;
CONF_UNITS g_units;
bool g_languageRead = false;
bool g_unitsRead = false;

}  // namespace

extern "C" CONF_LANGUAGE* CONF_Language(void) {
    if (!g_languageRead) {
        g_languageRead = true;
        g_language.logic = 1;
        g_language.output = 1;
        if (const char* v = std::getenv("KOPTS_LANGUAGE")) {
            int logic = 0, output = 0;
            if (std::sscanf(v, "%d,%d", &logic, &output) == 2) {
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
