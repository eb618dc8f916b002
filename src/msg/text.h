// Internal text helpers of the message tables.
#ifndef KUT_MSG_TEXT_H
#define KUT_MSG_TEXT_H

#include <cstddef>

#include "kut/msg.h"
#include "kut/types.h"

namespace kut::msg {

// A message text holds at most this many characters, plus its NUL.
constexpr std::size_t kMaxText = KUT_TEXT_MAX - 1;
constexpr std::size_t kOutMarkLen = 5;

// Entries a filled table has room for beyond its count after each growth
// step; a copy of a table gets the same headroom.
constexpr int kTableGrowth = 102;

// Copies at most kMaxText characters of src[0..len) and a NUL; the ranges
// may overlap. Returns the number copied.
std::size_t CopyBounded(wchar_t* dst, const wchar_t* src, std::size_t len);

// Reads string `id` of `lib` into buf (KUT_TEXT_MAX characters), always
// NUL-terminated, empty when absent. Returns its length.
int ReadRaw(HMODULE lib, KLONG id, wchar_t* buf);

// Whether s starts with the output marker, and dropping it.
bool HasOutMark(const wchar_t* s);
void DropOutMark(wchar_t* s);

// A text read from the logic library that carries the output marker is the
// output language's: buf (KUT_TEXT_MAX) becomes string `id` of `outputLib`,
// cut to its field `field` when `field` is not 0, and loses the marker. When
// the output library lacks the number, the logic-language text stands in.
// An unmarked buf is left as it is.
void TakeOutputText(wchar_t* buf, HMODULE outputLib, KLONG id, int field);

// The empty text handed out where a table has none; callers must not
// write to it.
extern const wchar_t kNoText[];

// A copy of text from kut::mem::Alloc with room for two characters past the
// text, both NUL: the size of every text a table or list owns, which hosts
// that reach into the tables rely on. Null without memory.
wchar_t* CopyWithSpare(const wchar_t* text);

// Frees the texts of items[0..count) and the array itself; items becomes
// null. The caller resets the count.
void FreeItems(MSG_ITEM*& items, int count);

// buf becomes its own field n (the "$$" rule of MsgParam).
void KeepField(int n, wchar_t* buf);

// Field n (<= 1: field 1) of text: its start and length, or null when the
// text has fewer fields.
const wchar_t* FindField(const wchar_t* text, long n, std::size_t* len);

// Room for any Decimal below: 20 digits, a sign and the NUL (a width up to
// the same size).
constexpr std::size_t kDecimalMax = 24;

// v in decimal, zero-padded to `width` characters with the sign counted,
// into `out` (kDecimalMax elements; `width` below kDecimalMax). Returns the
// length. Allocates nothing, so that callers need no failure path.
std::size_t Decimal(long v, std::size_t width, wchar_t* out);

}  // namespace kut::msg

#endif
