// Pieces shared by the decoding sources.
#ifndef KUT_DECODE_INTERNAL_H
#define KUT_DECODE_INTERNAL_H

#include <cstdio>
#include <mutex>

#include "kbase/repert.h"
#include "kut/types.h"
#include "platform/platform.h"
#include "decode/textio.h"

namespace kut::decode {

// Load states of the two data files.
enum LoadState : unsigned char { LOAD_NONE = 0, LOAD_DONE = 1, LOAD_FAILED = 255 };

// atoi as the Windows C run-time does it: leading white space, optional
// sign, digits up to the first non-digit, 0 without digits, clamped to the
// 32-bit range on overflow.
int AtoiClamped(const unsigned char* text, int length);

// The warning of a rejected data file: "<file> warning <count> elements."
// in a box with the product's warning caption, OK and the exclamation icon.
void WarnRejected(const wchar_t* fileName, long long count);

// Held while a data file loads and while its state is looked at, so that
// threads converting for the first time load the file once and all see it
// loaded. Recursive: the warning about a rejected file goes through the
// message-box hook, which may convert again on the same thread.
std::recursive_mutex& DataFileLock();

// Loads a data file of the decoding-data folder once: `readOne(in, index)`
// is called until the end of the file and stores what it reads while
// `index` is below `slots`. The file is taken when it held exactly `slots`
// values, and `loaded()` then runs once; otherwise it is failed and then
// warned about (the state is LOAD_FAILED while the box shows). A file
// that failed stays failed, a loaded one stays loaded, until a reset.
template <typename ReadOne, typename Loaded>
bool LoadDataFile(const wchar_t* fileName, LoadState& state, long long slots, ReadOne readOne, Loaded loaded) {
    std::lock_guard<std::recursive_mutex> lock(DataFileLock());
    if (state == LOAD_FAILED) return false;
    if (state == LOAD_DONE) return true;
    state = LOAD_DONE;
    wchar_t path[KUT_PATH_MAX];
    path[0] = L'\0';
    REP_Repert(0, 5, fileName, path);
    std::FILE* file = platform::OpenFile(path, "r");
    if (!file) {
        state = LOAD_FAILED;
        return false;
    }
    long long count = 0;
    {
        textio::Reader in(file);
        while (!in.Eof()) {
            readOne(in, count);
            ++count;
        }
    }
    if (count == slots) {
        std::fclose(file);
        loaded();
        return true;
    }
    // Failed before the warning shows: a call made while it is up (from the
    // message-box hook, say) gets the built-in tables, never the slots this
    // file filled.
    state = LOAD_FAILED;
    WarnRejected(fileName, count);
    std::fclose(file);
    return false;
}

// Back to the state of a freshly loaded library (test builds).
void ResetCodePageState();
void ResetDictionaryState();
void ResetConvertState();

}  // namespace kut::decode

#endif
