// Language dictionaries: 256-byte tables folding Windows-code-page text to
// plain capitals, built in per script or read from a dictionary file.
#include "kut/decode.h"
#include "decode/internal.h"
#include "platform/platform.h"
#include "decode/textio.h"

#include "kbase/repert.h"

#include <atomic>

namespace kut::decode {
namespace {

struct FoldTable {
    unsigned char t[256];
};

// The lower half that every built-in dictionary shares: control characters
// become spaces (NUL, LF and CR stay), ASCII letters become capitals.
constexpr FoldTable LowerHalf() {
    FoldTable f{};
    for (int b = 0; b < 0x80; ++b) {
        unsigned char v = static_cast<unsigned char>(b);
        if (b < 0x20 && b != 0x00 && b != 0x0A && b != 0x0D) v = 0x20;
        if (b >= 'a' && b <= 'z') v = static_cast<unsigned char>(b - 0x20);
        if (b == 0x7F) v = 0x20;
        f.t[b] = v;
    }
    for (int b = 0x80; b < 0x100; ++b) f.t[b] = 0x20;
    return f;
}

// Windows-1252: accented letters lose their accents; the letters with no
// plain capital (Æ, Ø, Þ, ß, ð ...) become spaces.
constexpr FoldTable MakeLatin() {
    FoldTable f = LowerHalf();
    constexpr unsigned char upper[64] = {
        /* C0 */ 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x20, 0x43, 0x45, 0x45, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,
        /* D0 */ 0x44, 0x4E, 0x4F, 0x4F, 0x4F, 0x4F, 0x4F, 0x20, 0x20, 0x55, 0x55, 0x55, 0x55, 0x59, 0x20, 0x20,
        /* E0 */ 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x20, 0x43, 0x45, 0x45, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,
        /* F0 */ 0x20, 0x4E, 0x4F, 0x4F, 0x4F, 0x4F, 0x4F, 0x20, 0x20, 0x55, 0x55, 0x55, 0x55, 0x59, 0x20, 0x59,
    };
    for (int i = 0; i < 64; ++i) f.t[0xC0 + i] = upper[i];
    return f;
}

// Windows-1250, Polish letters only; the degree sign is kept.
constexpr FoldTable MakeCentralEuropean() {
    FoldTable f = LowerHalf();
    constexpr struct {
        unsigned char from, to;
    } letters[] = {
        {0xA5, 'A'}, {0xB9, 'A'}, {0xC6, 'C'}, {0xE6, 'C'}, {0xCA, 'E'},  {0xEA, 'E'}, {0xA3, 'L'},
        {0xB3, 'L'}, {0xD1, 'N'}, {0xF1, 'N'}, {0xD3, 'O'}, {0xF3, 'O'},  {0x8C, 'S'}, {0x9C, 'S'},
        {0x8F, 'Z'}, {0x9F, 'Z'}, {0xAF, 'Z'}, {0xBF, 'Z'}, {0xB0, 0xB0},
    };
    for (const auto& l : letters) f.t[l.from] = l.to;
    return f;
}

// Windows-1251: capitals stay, small letters become capitals; 0xFF (small
// ya) becomes a space.
constexpr FoldTable MakeCyrillic() {
    FoldTable f = LowerHalf();
    for (int b = 0xC0; b <= 0xDF; ++b) f.t[b] = static_cast<unsigned char>(b);
    for (int b = 0xE0; b <= 0xFE; ++b) f.t[b] = static_cast<unsigned char>(b - 0x20);
    return f;
}

constexpr FoldTable FOLD_TABLE_LATIN = MakeLatin();
constexpr FoldTable FOLD_TABLE_CE = MakeCentralEuropean();
constexpr FoldTable FOLD_TABLE_CYR = MakeCyrillic();

// The dictionary read from a file: slots 0..255 fold, slot 256 takes the
// final read.
constexpr int kDctSlots = 257;
unsigned char DCT_TABLE[kDctSlots];
LoadState DCT_STATE = LOAD_NONE;

// Longest part of a dictionary line that is kept (up to and including its
// first comma, all that counts).
constexpr int kDctLineMax = 259;

struct DictionaryRow {
    const wchar_t* file;
    const unsigned char* table;
};

DictionaryRow SelectRow(short language) {
    switch (language) {
    case 33: return {L"Decod033.dct", FOLD_TABLE_LATIN.t};
    case 34: return {L"Decod034.dct", FOLD_TABLE_LATIN.t};
    case 35: return {L"Decod035.dct", FOLD_TABLE_LATIN.t};
    case 39: return {L"Decod039.dct", FOLD_TABLE_LATIN.t};
    case 48: return {L"Decod048.dct", FOLD_TABLE_CE.t};
    case 49: return {L"Decod049.dct", FOLD_TABLE_LATIN.t};
    case 55: return {L"Decod055.dct", FOLD_TABLE_LATIN.t};
    case 70:
    case 79: return {L"Decod070.dct", FOLD_TABLE_CYR.t};
    case 81: return {L"Decod081.dct", FOLD_TABLE_LATIN.t};
    default: return {L"Decod001.dct", FOLD_TABLE_LATIN.t};
    }
}

// One entry of a dictionary file. Header lines ("[...") and the empty lines
// right after one are passed over; the text after the first comma of an
// entry line is a comment.
unsigned char ReadEntry(textio::Reader& in) {
    unsigned char text[kDctLineMax];
    int length = 0;
    bool comma = false;
    bool afterHeader = false;
    for (;;) {
        int c = in.Get();
        if (c == textio::kEnd) break;
        if (c == 0x0D || c == 0x0A) {
            if (length > 0 && text[0] == '[') {
                // A comma in a header belongs to the header.
                afterHeader = true;
                length = 0;
                comma = false;
                continue;
            }
            if (length == 0 && afterHeader) continue;
            break;
        }
        if (comma) continue;
        if (length < kDctLineMax) text[length++] = static_cast<unsigned char>(c);
        if (c == ',') comma = true;
    }
    if (length > 0 && text[0] == '\'') return length > 1 ? text[1] : 0;
    return static_cast<unsigned char>(static_cast<unsigned>(AtoiClamped(text, length)) & 0xFF);
}

bool LoadDictionary(const wchar_t* fileName) {
    return LoadDataFile(
        fileName, DCT_STATE, kDctSlots,
        [](textio::Reader& in, long long index) {
            const unsigned char entry = ReadEntry(in);
            if (index < kDctSlots) DCT_TABLE[index] = entry;
        },
        [] {});
}

// The dictionary in force. Starting on the Latin one keeps DECODE_Txt_XP a
// bare lookup even when a caller forgets DECODE_Language.
// Atomic, as the threads that set it may differ from those that fold; the
// acquiring load is a plain load on the usual processors.
std::atomic<const unsigned char*> CURRENT_FOLD_TABLE{FOLD_TABLE_LATIN.t};

}  // namespace

void ResetDictionaryState() {
    DCT_STATE = LOAD_NONE;
    for (auto& slot : DCT_TABLE) slot = 0;
    CURRENT_FOLD_TABLE.store(FOLD_TABLE_LATIN.t, std::memory_order_release);
}

}  // namespace kut::decode

extern "C" void DECODE_Language(short language) {
    using namespace kut::decode;
    DictionaryRow row = SelectRow(language);
    CURRENT_FOLD_TABLE.store(LoadDictionary(row.file) ? DCT_TABLE : row.table, std::memory_order_release);
}

extern "C" void DECODE_Txt_XP(unsigned char* byte) {
    *byte = kut::decode::CURRENT_FOLD_TABLE.load(std::memory_order_acquire)[*byte];
}

extern "C" void DECODE_Txt(char* /*byte*/) {}
