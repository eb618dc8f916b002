// KMsgExtInfoBase, KMsgMngrBase, the default manager and the current-manager functions.
#include "kut/msgmngr.h"

// ---- KMsgExtInfoBase --------------------------------------------------------

KMsgExtInfoBase::KMsgExtInfoBase() : m_Attr(1) {}

// A copy that finds no memory for the link texts goes without a web link
// rather than throwing out of the library; construction copies through the
// assignment so that the rule lives in one place.
KMsgExtInfoBase::KMsgExtInfoBase(const KMsgExtInfoBase& other) : m_Attr(other.m_Attr) { *this = other; }

KMsgExtInfoBase& KMsgExtInfoBase::operator=(const KMsgExtInfoBase& other) {
    if (this == &other) return *this;
    m_Attr = other.m_Attr;
    try {
        m_Link1 = other.m_Link1;
        m_Link2 = other.m_Link2;
    } catch (...) {
        m_Link1.Empty();
        m_Link2.Empty();
    }
    return *this;
}

KMsgExtInfoBase::~KMsgExtInfoBase() = default;

CString KMsgExtInfoBase::GetMessageW() { return CString(); }

int KMsgExtInfoBase::GetDataType() { return 0; }

CString KMsgExtInfoBase::GetListText() { return CString(); }

bool KMsgExtInfoBase::ConsistWebLink() const { return !m_Link1.IsEmpty() && !m_Link2.IsEmpty(); }

// ---- KMsgMngrBase and the current manager -----------------------------------

KMsgMngrBase::KMsgMngrBase() noexcept = default;

KMsgMngrBase::KMsgMngrBase(const KMsgMngrBase&) = default;

KMsgMngrBase& KMsgMngrBase::operator=(const KMsgMngrBase&) = default;

KMsgMngrBase::~KMsgMngrBase() = default;

int KMsgMngrBase::Message(unsigned int, unsigned int, const wchar_t*, const wchar_t*, const wchar_t*, unsigned int style,
                          KMsgExtInfoBase*) {
    // A library has nobody to ask: answer as a user who accepts a yes/no
    // question and abandons anything else.
    return (style & 4u) != 0 ? 6 : 3;
}

namespace {
// Both are constant-initialised, so the pointer designates the default
// manager before any code of the library runs, including other libraries'
// static constructors that might already show a message. The exported
// default constructor is out of line, hence a constexpr one of its own;
// the compiler refuses the build should it ever need a dynamic initialiser.
#if defined(__clang__)
#define KUT_CONSTINIT [[clang::require_constant_initialization]]
#elif defined(__GNUC__)
#define KUT_CONSTINIT __constinit
#else
#define KUT_CONSTINIT
#endif
class DefaultMngr final : public KMsgMngrBase {
public:
    constexpr DefaultMngr() noexcept : KMsgMngrBase(ConstantInit{}) {}
};
KUT_CONSTINIT DefaultMngr g_defaultMngr;
KUT_CONSTINIT KMsgMngrBase* g_currentMngr = &g_defaultMngr;
}  // namespace

int KMSG_Message(unsigned int id1, unsigned int id2, const wchar_t* text1, const wchar_t* text2, const wchar_t* text3,
                 unsigned int style, KMsgExtInfoBase* info) {
    // The caller's own text is handed on: no copy, so nothing can fail here.
    const wchar_t* second = text2 != nullptr ? text2 : (text1 != nullptr ? text1 : L"");
    try {
        return g_currentMngr->Message(id1, id2, text1, second, text3, style, info);
    } catch (...) {
        // A host manager that throws gets the default manager's answer: the
        // caller of a library function never sees the exception.
        return g_defaultMngr.KMsgMngrBase::Message(id1, id2, text1, second, text3, style, info);
    }
}

void KMSG_SetMsgMngr(KMsgMngrBase& mngr) { g_currentMngr = &mngr; }

KMsgMngrBase& KMSG_TheMsgMngr() { return *g_currentMngr; }
