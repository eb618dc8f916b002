#include "kut/msgmngr.h"

// ---- KMsgExtInfoBase --------------------------------------------------------

KMsgExtInfoBase::KMsgExtInfoBase() : m_Attr(1) {}

KMsgExtInfoBase::KMsgExtInfoBase(const KMsgExtInfoBase& other) = default;

KMsgExtInfoBase& KMsgExtInfoBase::operator=(const KMsgExtInfoBase& other) = default;

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

int KMsgMngrBase::Message(unsigned int, unsigned int, const wchar_t*, const wchar_t*, const wchar_t*,
                          unsigned int style, KMsgExtInfoBase*) {
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
KUT_CONSTINIT DefaultMngr g_DefaultMngr;
KUT_CONSTINIT KMsgMngrBase* g_CurrentMngr = &g_DefaultMngr;
}  // namespace

int KMSG_Message(unsigned int id1, unsigned int id2, const wchar_t* text1, const wchar_t* text2,
                 const wchar_t* text3, unsigned int style, KMsgExtInfoBase* info) {
    CString second(text1);
    if (text2 != nullptr) second = text2;
    return g_CurrentMngr->Message(id1, id2, text1, second, text3, style, info);
}

void KMSG_SetMsgMngr(KMsgMngrBase& mngr) { g_CurrentMngr = &mngr; }

KMsgMngrBase& KMSG_TheMsgMngr() { return *g_CurrentMngr; }
