// The unit-file reader on arbitrary bytes: the input is unimet.cfg in the
// configuration folder; every operation of KUT_Units runs with a few names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "fuzz_common.h"
#include "kut/units.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kutfuzz::WriteInput(L"unimet.cfg", data, size);
    static const wchar_t* const kNames[] = {L"M", L"mm", L"KN", L"N", L"KG", L"T", L"", L"ABCDEFGHIJ"};
    KUT_Units units;
    for (const wchar_t* a : kNames) {
        wchar_t first[16], second[16];
        for (const wchar_t* b : {L"M", L"KN", L"T"}) {
            std::wcsncpy(first, a, 16);
            std::wcsncpy(second, b, 16);
            units.LenghtCoeff(first, second);
            units.ForceCoeff(first, second);
            units.MassCoeff(first, second);
            if (units.unitTab) std::abort();  // released before every return
        }
        std::wcsncpy(first, a, 16);
        units.GetLenghtCoeff(first);
        units.GetForceCoeff(first);
        units.GetMassCoeff(first);
        if (units.unitTab) std::abort();
    }
    return 0;
}
