// Text helpers of the message tables: the "$$" field rule, the output
// marker, the "%n" markers and the bounded reading of one library string.
#include "msg/text.h"

#include <cstring>
#include <cwchar>

#include "kut/msg.h"
#include "platform/platform.h"
#include "support/alloc.h"

const wchar_t* g_OutMark = L"OUT::";
wchar_t g_MsgParamText[KUT_TEXT_MAX];

namespace kut::msg {

std::size_t CopyBounded(wchar_t* dst, const wchar_t* src, std::size_t len) {
    if (len > kMaxText) len = kMaxText;
    std::wmemmove(dst, src, len);
    dst[len] = L'\0';
    return len;
}

int ReadRaw(HMODULE lib, KLONG id, wchar_t* buf) {
    buf[0] = L'\0';
    int n = kut::platform::ReadString(lib, static_cast<unsigned int>(id), buf, KUT_TEXT_MAX);
    if (n < 0) n = 0;
    if (n > static_cast<int>(kMaxText)) n = static_cast<int>(kMaxText);
    buf[n] = L'\0';
    return n;
}

bool HasOutMark(const wchar_t* s) {
    // Every string of a library passes here when a complete table is built.
    return s[0] == g_OutMark[0] && std::wcsncmp(s, g_OutMark, kOutMarkLen) == 0;
}

void DropOutMark(wchar_t* s) {
    // The output text of a marked number carries the marker too; a text
    // shorter than the marker becomes empty rather than read past its end.
    std::size_t len = std::wcslen(s);
    std::size_t cut = len < kOutMarkLen ? len : kOutMarkLen;
    std::wmemmove(s, s + cut, len - cut + 1);
}

void TakeOutputText(wchar_t* buf, HMODULE outputLib, KLONG id, int field) {
    if (!HasOutMark(buf)) return;
    wchar_t out[KUT_TEXT_MAX];
    if (ReadRaw(outputLib, id, out) > 0) {
        if (field != 0) KeepField(field, out);
        CopyBounded(buf, out, std::wcslen(out));
    }
    DropOutMark(buf);
}

const wchar_t kNoText[] = L"";

wchar_t* CopyWithSpare(const wchar_t* text) {
    const std::size_t len = std::wcslen(text);
    auto* copy = static_cast<wchar_t*>(kut::mem::Alloc((len + 2) * sizeof(wchar_t)));
    if (!copy) return nullptr;
    std::wmemcpy(copy, text, len + 1);
    copy[len + 1] = L'\0';
    return copy;
}

void FreeItems(MSG_ITEM*& items, int count) {
    if (!items) return;
    for (int i = 0; i < count; ++i) kut::mem::Free(items[i].pText);
    kut::mem::Free(items);
    items = nullptr;
}

void KeepField(int n, wchar_t* buf) {
    MsgParam(n, buf);
    CopyBounded(buf, g_MsgParamText, std::wcslen(g_MsgParamText));
}

const wchar_t* FindField(const wchar_t* text, long n, std::size_t* len) {
    const wchar_t* s = text;
    for (long i = 1; i < n; ++i) {
        const wchar_t* sep = std::wcsstr(s, L"$$");
        if (!sep) return nullptr;
        s = sep + 2;
    }
    const wchar_t* end = std::wcsstr(s, L"$$");
    *len = end ? static_cast<std::size_t>(end - s) : std::wcslen(s);
    return s;
}

std::size_t Decimal(long v, std::size_t width, wchar_t* out) {
    // "%0*d" without the C library: the sign counts in the width, and the
    // value is printed in full whatever its length.
    unsigned long mag = v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    wchar_t digits[kDecimalMax];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' + mag % 10);
        mag /= 10;
    } while (mag != 0);
    if (width >= kDecimalMax) width = kDecimalMax - 1;
    std::size_t len = 0;
    if (v < 0) out[len++] = L'-';
    for (std::size_t used = n + len; used < width; ++used) out[len++] = L'0';
    while (n > 0) out[len++] = digits[--n];
    out[len] = L'\0';
    return len;
}

}  // namespace kut::msg

wchar_t* MsgParam(int n, const wchar_t* text) {
    // The field is located before g_MsgParamText is touched, so a caller may
    // pass g_MsgParamText itself.
    std::size_t len = 0;
    const wchar_t* field = text ? kut::msg::FindField(text, n, &len) : nullptr;
    if (!field) {
        g_MsgParamText[0] = L'\0';
        return g_MsgParamText;
    }
    kut::msg::CopyBounded(g_MsgParamText, field, len);
    return g_MsgParamText;
}
