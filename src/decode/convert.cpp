// File conversion: a DOS text file to a Windows text file, line by line,
// with temporary destination names and the product keyword rule.
#include "kut/decode.h"
#include "decode/internal.h"
#include "platform/platform.h"
#include "decode/textio.h"

#include "kbase/repert.h"

#include <cwchar>
#include <mutex>
#include <string>

namespace kut::decode {
namespace {

// Characters a line may hold; a longer line goes on as the next line.
constexpr int kLineChars = 519;
// The line, two spare elements for the keyword's "97", and the NUL.
constexpr int kLineBuffer = kLineChars + 2 + 1;

// The folder prefix during a search, the full temporary path after it.
std::wstring LastTempName;

// Held over a search for a free temporary name and, in DECODE_Convert, until
// the file under the name found exists: two threads converting to temporary
// files at once then never pick the same name. Recursive: DECODE_Convert
// holds it while calling DECODE_CreateFiel, which calls DECODE_SetCount.
std::recursive_mutex& TempNameLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::wstring TempFileName(short counter) {
    std::wstring name = L"TMP~";
    if (counter < 10)
        name += L"00";
    else if (counter < 100)
        name += L"0";
    name += std::to_wstring(counter);
    name += L".con";
    return name;
}

// Reads the next line (without its LF) into `line`, NUL-terminated. The
// read that meets the end of the input gives a line too (maybe empty).
void ReadLine(textio::Reader& in, wchar_t* line) {
    int n = 0;
    for (;;) {
        int c = in.Get();
        if (c == textio::kEnd || c == 0x0A) break;
        line[n++] = static_cast<wchar_t>(c);
        if (n == kLineChars) {
            // A full buffer: the LF that may follow belongs to this line,
            // anything else starts the next one.
            int next = in.Get();
            if (next != 0x0A) in.Unget(next);
            break;
        }
    }
    line[n] = L'\0';
}

}  // namespace

void ResetConvertState() {
    LastTempName.clear();
    LastTempName.shrink_to_fit();
}

}  // namespace kut::decode

extern "C" int DECODE_Convert(const wchar_t* source, wchar_t* destination, short language) {
    using namespace kut;
    std::FILE* src = source ? platform::OpenFile(source, "r") : nullptr;
    if (!src) return 1;
    std::FILE* dst = nullptr;
    if (destination) {
        std::lock_guard<std::recursive_mutex> lock(decode::TempNameLock());
        if (destination[0] == L'\0') DECODE_CreateFiel(destination);
        dst = platform::OpenFile(destination, "w");
    }
    if (!dst) {
        std::fclose(src);
        return 2;
    }
    {
        textio::Reader in(src);
        textio::Writer out(dst);
        wchar_t line[decode::kLineBuffer];
        do {
            decode::ReadLine(in, line);
            TestLine(line);
            auto length = static_cast<short>(std::wcslen(line));
            DECODE_DosToWin(line, length, language);
            // A code-page file may map a byte to 0: the line ends there too.
            for (short i = 0; i < length && line[i] != L'\0'; ++i) { out.Put(static_cast<unsigned char>(line[i] & 0xFF)); }
            out.Put(0x0A);
            out.Flush();
        } while (!in.Eof());
    }
    std::fclose(dst);
    std::fclose(src);
    return 0;
}

extern "C" int DECODE_ConvertFile(const wchar_t* source, wchar_t* destination, short language) {
    return DECODE_Convert(source, destination, language);
}

extern "C" const wchar_t* DECODE_LastTempName(void) { return kut::decode::LastTempName.c_str(); }

void DECODE_CreateFiel(wchar_t* tempPath) {
    std::lock_guard<std::recursive_mutex> lock(kut::decode::TempNameLock());
    wchar_t folder[KUT_TMPPATH_MAX];
    folder[0] = L'\0';
    REP_Repert(0, 9, L"", folder);
    try {
        kut::decode::LastTempName = folder;
    } catch (...) { kut::decode::LastTempName.clear(); }
    DECODE_SetCount(0);
    if (tempPath) {
        const std::wstring& name = kut::decode::LastTempName;
        std::wmemcpy(tempPath, name.c_str(), name.size() + 1);
    }
}

void DECODE_SetCount(short start) {
    using namespace kut;
    std::lock_guard<std::recursive_mutex> lock(decode::TempNameLock());
    // Out of memory ends the search like a folder full of taken names: with
    // an empty name, which opens nothing.
    try {
        const std::wstring prefix = decode::LastTempName;
        short counter = start;
        // Every 16-bit counter value once at most: a folder full of taken
        // names must not keep the search going for ever.
        for (int tries = 0; tries < 65536; ++tries) {
            counter = counter == 32767 ? static_cast<short>(-32768) : static_cast<short>(counter + 1);
            std::wstring candidate = prefix + decode::TempFileName(counter);
            std::FILE* taken = platform::OpenFile(candidate.c_str(), "r+");
            if (!taken) {
                decode::LastTempName.swap(candidate);
                return;
            }
            std::fclose(taken);
        }
    } catch (...) {}
    decode::LastTempName.clear();
}

void TestLine(wchar_t* line) {
    if (!line) return;
    wchar_t* p = line;
    while (*p == L' ' || *p == L'\t') ++p;
    static const wchar_t kLower[] = L"kesto";
    static const wchar_t kUpper[] = L"KESTO";
    for (int i = 0; i < 5; ++i) {
        if (p[i] != kLower[i] && p[i] != kUpper[i]) return;  // also stops at the NUL
    }
    wchar_t* rest = p + 5;
    std::size_t tail = std::wcslen(rest) + 1;  // with the NUL
    std::wmemmove(rest + 2, rest, tail);
    rest[0] = L'9';
    rest[1] = L'7';
}
