// Shared by the decoding tables: the data-file lock, the clamped count, the rejection warning.
#include "decode/internal.h"
#include "platform/platform.h"

#include "kbase/repert.h"

#include <climits>
#include <string>

#if defined(KUT_TESTING)
#include "kut/testing.h"
#endif

namespace kut::decode {

std::recursive_mutex& DataFileLock() {
    static std::recursive_mutex lock;
    return lock;
}

int AtoiClamped(const unsigned char* text, int length) {
    int i = 0;
    while (i < length && (text[i] == ' ' || (text[i] >= 0x09 && text[i] <= 0x0D))) ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number: its range holds INT_MIN.
    long long value = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 - (text[i] - '0');
        if (value < static_cast<long long>(INT_MIN)) { return negative ? INT_MIN : INT_MAX; }
    }
    if (negative) return static_cast<int>(value);
    return value < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-value);
}

void WarnRejected(const wchar_t* fileName, long long count) {
    const unsigned kOkExclamation = 0x30;
    try {
        std::wstring text = fileName;
        text += L" warning ";
        text += std::to_wstring(count);
        text += L" elements.";
        platform::ShowMessageBox(text.c_str(), KST_GetNameChar(6), kOkExclamation);
    } catch (...) {
        // No memory for the text: the file is rejected all the same.
    }
}

}  // namespace kut::decode

#if defined(KUT_TESTING)
extern "C" void KUT_TestResetDecodeState(void) {
    kut::decode::ResetCodePageState();
    kut::decode::ResetDictionaryState();
    kut::decode::ResetConvertState();
}
#endif
