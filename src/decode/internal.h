// Pieces shared by the decoding sources.
#ifndef KUT_DECODE_INTERNAL_H
#define KUT_DECODE_INTERNAL_H

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

// Back to the state of a freshly loaded library (test builds).
void ResetCodePageState();
void ResetDictionaryState();
void ResetConvertState();

}  // namespace kut::decode

#endif
