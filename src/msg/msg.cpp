// K_MSG: construction, the language libraries, modes 1 and 2, lookup,
// copying and release. The sorted table of mode 4 is in sorted.cpp.
#include "kut/msg.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "msg/libs.h"
#include "msg/text.h"
#include "support/alloc.h"

int K_MSG::m_StaticLogic = 1;
int K_MSG::m_StaticOutput = 1;

namespace {
// A cache node owns its text, which comes from kut::mem.
void FreeNode(MSG_LIST* node) {
    kut::mem::Free(node->pText);
    delete node;
}
}  // namespace

// ---- cache nodes ------------------------------------------------------------

MSG_LIST::MSG_LIST() : pText(nullptr), nId(0) {}

MSG_LIST::~MSG_LIST() = default;

void MSG_LIST::Serialize(CArchive&) {}

void MSG_LIST::AssertValid() const {}

void MSG_LIST::Dump(CDumpContext&) const {}

void MSG_LIST::Set(const wchar_t* text, KLONG id) {
    if (!text) return;
    wchar_t* copy = kut::msg::CopyWithSpare(text);
    if (!copy) return;
    // The earlier text is not the node's: it may be a host's own storage,
    // and whoever empties the list frees the text the node holds then.
    pText = copy;
    nId = id;
}

MAIN_LIST::MAIN_LIST() : CObList(10) {}

MAIN_LIST::~MAIN_LIST() = default;

// ---- construction -----------------------------------------------------------

K_MSG::K_MSG(const wchar_t* name, unsigned short cache, const wchar_t*, short lang) {
    Init(name, KMSG_MODE_BY_NUMBER);
    Load(lang, CONF_Language()->output);
    // Without memory for the lists the object reads uncached.
    if (cache == 1) {
        m_MsgList = new (std::nothrow) MAIN_LIST;
        m_MsgList2 = new (std::nothrow) MAIN_LIST;
    }
}

K_MSG::K_MSG(const wchar_t* name, const KLONG* ids, short count, unsigned short, const wchar_t*, short lang) {
    Init(name, KMSG_MODE_LIST);
    Load(lang, CONF_Language()->output);
    LoadToMem(ids, count);
}

K_MSG::K_MSG(const wchar_t* name, short lang, KLONG bound, int, int param) {
    Init(name, KMSG_MODE_ALL);
    m_Param = param;
    Load(lang, CONF_Language()->output);
    LoadAllStrings(bound);
}

void K_MSG::Init(const wchar_t* name, int mode) {
    m_Param = 0;
    m_MsgList = nullptr;
    m_MsgList2 = nullptr;
    m_NewMsg = nullptr;
    m_Name[0] = L'\0';
    m_Text[0] = L'\0';
    m_Menu = nullptr;
    m_LogicLib = nullptr;
    m_OutputLib = nullptr;
    m_MemTab = nullptr;
    m_Count = 0;
    m_Error = 0;
    m_Items = nullptr;
    m_MaxId = 0;
    m_ParamText[0] = L'\0';
    m_Index = nullptr;
    m_IndexSize = 0;
    m_IndexItems = nullptr;
    m_IndexCount = 0;

    wchar_t work[KUT_TEXT_MAX];
    const wchar_t* src = name ? name : L"";
    kut::msg::CopyBounded(work, src, std::wcslen(src));
    CustomName(work);
    m_Mode = mode;
    kut::msg::CopyBounded(m_Name, work, std::wcslen(work));
}

void K_MSG::CustomName(wchar_t* name) {
    if (std::wcscmp(name, L"KMAIN") == 0) std::wcscpy(name, L"KESTO");
    if (std::wcscmp(name, L"KBET") == 0) std::wcscpy(name, L"BDAT");
    // Four characters, padded with "_", then "_": the prefix of the file
    // names of the module's language libraries.
    std::size_t len = std::wcslen(name);
    for (std::size_t i = len; i < 4; ++i) name[i] = L'_';
    name[4] = L'_';
    name[5] = L'\0';
}

void K_MSG::Load(int lang, int output) {
    m_StaticLogic = lang != 0 ? lang : CONF_Language()->logic;
    m_StaticOutput = output;

    m_LogicLib = nullptr;
    m_OutputLib = nullptr;
    // Both are loaded even when the numbers are equal: each handle is then
    // released on its own.
    HMODULE* libs[2] = {&m_LogicLib, &m_OutputLib};
    const int langs[2] = {m_StaticLogic, m_StaticOutput};
    for (int i = 0; i < 2; ++i) {
        // m_Name holds fewer than KUT_PATH_MAX characters.
        wchar_t file[KUT_PATH_MAX + kut::msg::kDecimalMax + 4];
        std::size_t len = std::wcslen(m_Name);
        std::wmemcpy(file, m_Name, len);
        len += kut::msg::Decimal(langs[i], 3, file + len);
        std::wcscpy(file + len, L".dll");
        wchar_t path[KUT_PATH_MAX];
        path[0] = L'\0';
        REP_Repert(0, 2, file, path);
        *libs[i] = kut::msg::OpenLib(path);
    }

    m_MemTab = nullptr;
    m_Error = 0;
}

void K_MSG::LoadToMem(const KLONG* ids, short count) {
    int n = (ids && count > 0) ? count : 0;
    m_MemTab = new (std::nothrow) MSG_MEMITEM[static_cast<std::size_t>(n) + 1];
    if (!m_MemTab) n = 0;
    m_Count = n;
    for (int i = 0; i < n; ++i) {
        ReadMessage(ids[i]);
        m_MemTab[i].nId = ids[i];
        try {
            m_MemTab[i].strText = m_Text;
        } catch (...) {
            // No memory for the text: the number stays, without a text.
        }
    }
}

// ---- reading ----------------------------------------------------------------

void K_MSG::ReadMessage(KLONG id) {
    kut::msg::ReadRaw(m_LogicLib, id, m_Text);
    kut::msg::KeepField(1, m_Text);
    kut::msg::TakeOutputText(m_Text, m_OutputLib, id, 1);
}

wchar_t* K_MSG::LoadStringDll(KLONG id) {
    ReadMessage(id);
    if (!m_MsgList) return m_Text;
    // The first text cached for a number stays its text: the pointer handed
    // out for it must remain valid and unchanged.
    POSITION pos = m_MsgList->GetHeadPosition();
    while (pos) {
        auto* node = static_cast<MSG_LIST*>(m_MsgList->GetNext(pos));
        if (node->nId == id) return node->pText;
    }
    auto* node = new (std::nothrow) MSG_LIST;
    if (!node) return m_Text;
    node->Set(m_Text, id);
    if (!node->pText) {
        delete node;
        return m_Text;
    }
    try {
        m_MsgList->AddHead(node);
    } catch (...) {
        // No room in the list: this read goes uncached.
        FreeNode(node);
        return m_Text;
    }
    m_NewMsg = node;
    return node->pText;
}

const wchar_t* K_MSG::text(KLONG id) {
    switch (m_Mode) {
    case KMSG_MODE_ALL: return SortedText(id);
    case KMSG_MODE_BY_NUMBER: return LoadStringDll(id);
    case KMSG_MODE_LIST:
        m_Text[0] = L'\0';
        for (int i = 0; i < m_Count; ++i) {
            if (m_MemTab[i].nId == id) {
                kut::msg::CopyBounded(m_Text, m_MemTab[i].strText, m_MemTab[i].strText.GetLength());
                break;
            }
        }
        return m_Text;
    default: return kut::msg::kNoText;
    }
}

CString K_MSG::operator[](KULONG id) {
    const wchar_t* found = text(static_cast<KLONG>(id));
    try {
        return CString(found);
    } catch (...) {
        return CString();  // no memory for the copy: the empty text
    }
}

wchar_t* K_MSG::gettext(KLONG id, int lib) {
    kut::msg::ReadRaw(lib == 1 ? m_LogicLib : m_OutputLib, id, m_Text);
    if (kut::msg::HasOutMark(m_Text)) kut::msg::DropOutMark(m_Text);
    return m_Text;
}

void K_MSG::fillParam(const wchar_t* src, wchar_t* dst, short n, const wchar_t* value) {
    if (!src || !dst) return;
    if (!value) value = L"";
    wchar_t marker[kut::msg::kDecimalMax + 1];
    marker[0] = L'%';
    const std::size_t markerLen = 1 + kut::msg::Decimal(n, 0, marker + 1);
    const wchar_t* hit = std::wcsstr(src, marker);
    if (!hit) {
        std::wcscpy(dst, src);
        return;
    }
    const std::size_t before = static_cast<std::size_t>(hit - src);
    const std::size_t vlen = std::wcslen(value);
    std::wmemcpy(dst, src, before);
    // The wcscpy below ends the text.
    std::wmemcpy(dst + before, value, vlen);  // NOLINT(bugprone-not-null-terminated-result)
    std::wcscpy(dst + before + vlen, hit + markerLen);
}

const MSG_LIGMNU* K_MSG::menu(KLONG) { return m_Menu; }

void K_MSG::ConfLag(short logic, short output) {
    m_StaticLogic = logic;
    m_StaticOutput = output;
}

short K_MSG::wasInitError() const {
    if (!m_LogicLib || !m_OutputLib) return -1;
    return static_cast<short>(m_Error);
}

short K_MSG::numItems() const { return -1; }

// ---- release and copy -------------------------------------------------------

void K_MSG::Reset() {
    // Mode 4 releases its libraries too: gettext needs them for as long as
    // the object lives, and nothing needs them afterwards.
    kut::msg::CloseLib(m_LogicLib);
    kut::msg::CloseLib(m_OutputLib);
    m_LogicLib = nullptr;
    m_OutputLib = nullptr;

    delete[] m_MemTab;
    m_MemTab = nullptr;

    DropIndex();
    kut::msg::FreeItems(m_Items, m_Count);
    m_Count = 0;
}

void K_MSG::ReleaseAll() {
    Reset();
    MAIN_LIST** lists[2] = {&m_MsgList, &m_MsgList2};
    for (MAIN_LIST** list : lists) {
        if (!*list) continue;
        POSITION pos = (*list)->GetHeadPosition();
        while (pos) {
            auto* node = static_cast<MSG_LIST*>((*list)->GetNext(pos));
            FreeNode(node);
        }
        (*list)->RemoveAll();
        delete *list;
        *list = nullptr;
    }
    m_NewMsg = nullptr;
}

K_MSG::~K_MSG() { ReleaseAll(); }

K_MSG::K_MSG(const K_MSG& other) {
    Init(L"", other.m_Mode);
    CopyFrom(other);
}

K_MSG& K_MSG::operator=(const K_MSG& other) {
    if (this != &other) {
        ReleaseAll();
        CopyFrom(other);
    }
    return *this;
}

// Expects an object that owns nothing. Where an allocation fails, the copy
// ends up with fewer entries, never with shared ones.
void K_MSG::CopyFrom(const K_MSG& other) {
    m_Param = other.m_Param;
    std::wmemcpy(m_Name, other.m_Name, KUT_PATH_MAX);
    std::wmemcpy(m_Text, other.m_Text, KUT_TEXT_MAX);
    m_Menu = other.m_Menu;
    m_Mode = other.m_Mode;
    m_Error = other.m_Error;
    m_MaxId = other.m_MaxId;
    std::wmemcpy(m_ParamText, other.m_ParamText, KUT_TEXT_MAX);

    m_LogicLib = kut::msg::ReopenLib(other.m_LogicLib);
    m_OutputLib = kut::msg::ReopenLib(other.m_OutputLib);

    m_Count = 0;
    if (other.m_MemTab) {
        m_MemTab = new (std::nothrow) MSG_MEMITEM[static_cast<std::size_t>(other.m_Count) + 1];
        if (m_MemTab) {
            try {
                for (int i = 0; i < other.m_Count; ++i) {
                    m_MemTab[i] = other.m_MemTab[i];
                    m_Count = i + 1;
                }
            } catch (...) {
                // No memory for a text: the copy keeps the entries before it.
            }
        }
    }
    if (other.m_Items) {
        // The headroom a filling leaves: SortSet inserts without growing the
        // table, so a copy must have room for insertions as its source does.
        const std::size_t cap = static_cast<std::size_t>(other.m_Count) + kut::msg::kTableGrowth;
        m_Items = static_cast<MSG_ITEM*>(kut::mem::Alloc(cap * sizeof(MSG_ITEM)));
        if (m_Items) {
            for (int i = 0; i < other.m_Count; ++i) {
                wchar_t* copy = kut::msg::CopyWithSpare(other.m_Items[i].pText);
                if (!copy) break;
                m_Items[i].pText = copy;
                m_Items[i].nId = other.m_Items[i].nId;
                m_Count = i + 1;
            }
        }
        BuildIndex();
    }

    if (other.m_MsgList) m_MsgList = new (std::nothrow) MAIN_LIST;
    if (m_MsgList) {
        POSITION pos = other.m_MsgList->GetHeadPosition();
        while (pos) {
            auto* node = static_cast<const MSG_LIST*>(other.m_MsgList->GetNext(pos));
            auto* copy = new (std::nothrow) MSG_LIST;
            if (!copy) break;
            copy->Set(node->pText, node->nId);
            if (!copy->pText) {
                delete copy;
                break;
            }
            try {
                m_MsgList->AddTail(copy);
            } catch (...) {
                FreeNode(copy);
                break;
            }
            if (node == other.m_NewMsg) m_NewMsg = copy;
        }
    }
    if (other.m_MsgList2) m_MsgList2 = new (std::nothrow) MAIN_LIST;
}
