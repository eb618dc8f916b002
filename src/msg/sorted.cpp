// The sorted table of mode 4: filling, insertion, search and field access.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "kut/msg.h"
#include "msg/text.h"
#include "support/alloc.h"

namespace {
// The table grows just before a text is stored whenever the step counter is
// 0 or kStepLimit, each time to the count so far plus kTableGrowth entries:
// 99 more entries per step, with 3 to spare.
constexpr int kStepLimit = 100;

// Index entry of a number that has no text; positions stay below it.
constexpr std::uint16_t kNotStored = 0xFFFF;
// Highest number the index covers: string tables end at 65535.
constexpr KLONG kIndexedMax = 0xFFFF;
}  // namespace

void K_MSG::LoadAllStrings(KLONG bound) {
    // A second filling starts afresh; the texts of the first are released
    // rather than lost.
    DropIndex();
    kut::msg::FreeItems(m_Items, m_Count);
    m_MaxId = bound;
    m_Count = 0;
    int k = 0;

    wchar_t buf[KUT_TEXT_MAX];
    const auto limit = static_cast<std::uint32_t>(bound);
    for (std::uint32_t id = 1; id < limit; ++id) {
        const auto number = static_cast<KLONG>(id);
        kut::msg::ReadRaw(m_LogicLib, number, buf);
        if (m_Param != 0) kut::msg::KeepField(m_Param, buf);
        kut::msg::TakeOutputText(buf, m_OutputLib, number, m_Param);
        if (buf[0] == L'\0') continue;

        if (k == 0 || k == kStepLimit) {
            const std::size_t cap = static_cast<std::size_t>(m_Count) + kut::msg::kTableGrowth;
            void* grown = kut::mem::Realloc(m_Items, cap * sizeof(MSG_ITEM));
            // Without room the table keeps what it has and stops growing.
            if (!grown) break;
            m_Items = static_cast<MSG_ITEM*>(grown);
            k = 1;
        }
        ++k;
        // Numbers come in ascending order, so every entry stored so far has
        // a smaller one: the first greater entry is none, the end.
        if (InsertAt(buf, number, m_Count, m_Count)) ++m_Count;
    }
    BuildIndex();
}

void K_MSG::SortSet(const wchar_t* text, KLONG id, KLONG count) {
    // Positions move and numbers may repeat: lookups fall back to BSearch.
    DropIndex();
    if (!m_Items || count < 0) return;
    // The first entry in table order with a greater number. A host may have
    // put its table in any order, so this is a scan, not a bisection: on a
    // table out of order the two disagree.
    KLONG pos = 0;
    while (pos < count && m_Items[pos].nId <= id) ++pos;
    InsertAt(text, id, pos, count);
}

bool K_MSG::InsertAt(const wchar_t* text, KLONG id, KLONG pos, KLONG count) {
    if (!m_Items || count < 0 || pos < 0 || pos > count) return false;
    if (!text) text = L"";
    wchar_t* copy = kut::msg::CopyWithSpare(text);
    if (!copy) return false;

    std::memmove(m_Items + pos + 1, m_Items + pos, static_cast<std::size_t>(count - pos) * sizeof(MSG_ITEM));
    m_Items[pos].pText = copy;
    m_Items[pos].nId = id;
    return true;
}

int K_MSG::BSearch(KLONG id, KLONG count) {
    // The probes of the middle entry's neighbours decide which of several
    // equal numbers is found; keep them in this order.
    if (count <= 0) return -1;
    const KLONG n = count;
    KLONG lo = 0;
    KLONG hi = n;
    KLONG width = n;
    for (;;) {
        const KLONG half = width / 2;
        const KLONG mid = lo + half;
        if (m_Items[mid].nId == id) return static_cast<int>(mid);
        if (mid >= 1 && m_Items[mid - 1].nId == id) return static_cast<int>(mid - 1);
        if (mid + 1 < n && m_Items[mid + 1].nId == id) return static_cast<int>(mid + 1);
        if (width == 0 || width == 1) return -1;
        // Which half follows is a coin toss for the branch predictor, so it
        // is chosen by masks: "below" moves lo up to mid, else hi comes
        // down by half.
        const KLONG below = -static_cast<KLONG>(m_Items[mid].nId < id);
        lo += (mid - lo) & below;
        hi -= half & ~below;
        width = hi - lo;
    }
}

const wchar_t* K_MSG::SortedText(KLONG id) {
    // A bisection over a large table is a chain of dependent cache misses;
    // the index answers with a few reads. The host may have edited numbers
    // in place since the index was built, so a hit counts only while the
    // entry still has the number and neither neighbour shares it: in an
    // ascending table BSearch then meets that very entry. Anything else,
    // misses included (an edit may have brought a number in), is asked of
    // BSearch.
    if (m_Index && m_Items == m_IndexItems && m_Count == m_IndexCount) {
        const auto number = static_cast<KULONG>(id);  // negative numbers land above the range
        if (number < m_IndexSize) {
            const int pos = m_Index[number];
            if (pos != kNotStored && m_Items[pos].nId == id && (pos == 0 || m_Items[pos - 1].nId != id) &&
                (pos + 1 == m_Count || m_Items[pos + 1].nId != id)) {
                return m_Items[pos].pText;
            }
        }
    }
    const int pos = BSearch(id, m_Count);
    return pos < 0 ? kut::msg::kNoText : m_Items[pos].pText;
}

void K_MSG::BuildIndex() {
    DropIndex();
    if (!m_Items || m_Count <= 0 || m_Count > kNotStored) return;
    const KLONG last = m_Items[m_Count - 1].nId;
    if (m_Items[0].nId < 0 || last > kIndexedMax) return;
    // With equal numbers BSearch's choice depends on its probe order, which
    // a direct index does not reproduce.
    for (int i = 1; i < m_Count; ++i) {
        if (m_Items[i - 1].nId >= m_Items[i].nId) return;
    }
    const auto size = static_cast<std::size_t>(last) + 1;
    auto* index = static_cast<std::uint16_t*>(kut::mem::Alloc(size * sizeof(std::uint16_t)));
    // Without memory the bisection serves.
    if (!index) return;
    std::fill(index, index + size, kNotStored);
    for (int i = 0; i < m_Count; ++i) index[m_Items[i].nId] = static_cast<std::uint16_t>(i);
    m_Index = index;
    m_IndexSize = static_cast<KULONG>(size);
    m_IndexItems = m_Items;
    m_IndexCount = m_Count;
}

void K_MSG::DropIndex() {
    kut::mem::Free(m_Index);
    m_Index = nullptr;
    m_IndexSize = 0;
    m_IndexItems = nullptr;
    m_IndexCount = 0;
}

wchar_t* K_MSG::GetTextParam(KLONG pos, KLONG n) {
    m_ParamText[0] = L'\0';
    // Outside the table there is no text; the empty result says so.
    if (!m_Items || pos < 0 || pos >= m_Count) return m_ParamText;
    std::size_t len = 0;
    const wchar_t* field = kut::msg::FindField(m_Items[pos].pText, n, &len);
    // A text with fewer fields gives the constant empty text, which the next
    // call does not overwrite.
    if (!field)
        return const_cast<wchar_t*>(kut::msg::kNoText);  // NOLINT(cppcoreguidelines-pro-type-const-cast): read-only by contract
    kut::msg::CopyBounded(m_ParamText, field, len);
    return m_ParamText;
}
