// kut units: coefficients and ratios of the unit configuration files, as
// KUT_Units reads them.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/units.h"

namespace kutcli {
namespace {

const char kHelp[] =
    "usage: kut units length|force|mass <unit> [<unit2>] [--metric | --nonmetric]\n"
    "\n"
    "With one unit: its coefficient as the unit file stores it (how many of the\n"
    "unit make one base unit). With two: the factor that turns a value in the\n"
    "first unit into one in the second, printed as '1 <unit> = <factor> <unit2>'.\n"
    "The file is unimet.cfg (metric) or uninmet.cfg (non-metric), found in the\n"
    "configuration folder (kind 1, then kind 2). --metric and --nonmetric\n"
    "override the unit settings (KOPTS_UNITS).\n";

std::string Number(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

}  // namespace

int CmdUnits(const std::vector<std::wstring>& args) {
    Parsed p;
    std::string error;
    if (!Parse(args, 1, {}, {L"--metric", L"--nonmetric"}, &p, &error)) return Usage("units", error);
    if (p.help) {
        Out(kHelp);
        return kExitOk;
    }
    if (p.Has(L"--metric") && p.Has(L"--nonmetric")) return Usage("units", "--metric or --nonmetric, not both");
    if (p.positional.size() < 2 || p.positional.size() > 3) {
        return Usage("units", "give a quantity (length, force, mass) and one or two units");
    }
    const std::wstring& quantity = p.positional[0];
    int section = quantity == L"length" ? 1 : quantity == L"force" ? 2 : quantity == L"mass" ? 3 : 0;
    if (section == 0) return Usage("units", "unknown quantity '" + U8(quantity) + "' (length, force or mass)");
    for (std::size_t i = 1; i < p.positional.size(); ++i) {
        if (p.positional[i].empty()) return Usage("units", "empty unit name");
    }

    CONF_UNITS* settings = CONF_KUNITS();
    if (p.Has(L"--metric")) settings->raw[CONF_KUNITS_NONMETRIC] = 0;
    if (p.Has(L"--nonmetric")) settings->raw[CONF_KUNITS_NONMETRIC] = 1;
    const wchar_t* file = settings->raw[CONF_KUNITS_NONMETRIC] ? L"uninmet.cfg" : L"unimet.cfg";

    // The library takes writable names.
    std::vector<wchar_t> first(p.positional[1].begin(), p.positional[1].end());
    first.push_back(0);
    std::vector<wchar_t> second;
    const bool ratio = p.positional.size() == 3;
    if (ratio) {
        second.assign(p.positional[2].begin(), p.positional[2].end());
        second.push_back(0);
    }
    KUT_Units units;
    double v;
    if (ratio) {
        v = section == 1   ? units.LenghtCoeff(first.data(), second.data())
            : section == 2 ? units.ForceCoeff(first.data(), second.data())
                           : units.MassCoeff(first.data(), second.data());
    } else {
        v = section == 1   ? units.GetLenghtCoeff(first.data())
            : section == 2 ? units.GetForceCoeff(first.data())
                           : units.GetMassCoeff(first.data());
    }
    if (v >= 0) {
        if (ratio) {
            OutLine("1 " + U8(p.positional[1]) + " = " + Number(v) + " " + U8(p.positional[2]));
        } else {
            OutLine(U8(p.positional[1]) + " " + Number(v));
        }
        return kExitOk;
    }

    wchar_t path[KUT_PATH_MAX] = {0};
    short found = 0;
    REP_ChkCfg(270, file, path, &found);
    const std::string where = found ? U8(path) : U8(file);
    const std::string what = U8(quantity) + " section";
    if (v == -1.0) {
        if (!found) { return Fail(U8(file) + ": not found in " + U8(KindDir(1)) + " nor " + U8(KindDir(2))); }
        return Fail(where + ": " + WhyUnreadable(path));
    }
    if (v == -2.0) return Fail(where + ": the count line of the " + what + " (or of one before it) is not a number");
    if (v == -20.0) return Fail(where + ": no unit '" + U8(p.positional[2]) + "' in the " + what);
    return Fail(where + ": no unit '" + U8(p.positional[1]) + "' in the " + what +
                " (or its coefficient is 0, or the section is cut short)");
}

}  // namespace kutcli
