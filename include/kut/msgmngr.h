// The message manager: one replaceable object through which host modules
// show their messages.
//
// The host derives from KMsgMngrBase, overrides Message and installs its
// object with KMSG_SetMsgMngr; kut only keeps the address, so the object must
// outlive its installation. Until then the library's default manager answers
// at once without showing anything: 6 (IDYES) when the style has the bit 4
// (MB_YESNO), else 3 (IDABORT).
//
// The current-manager pointer is read and written without locks: install the
// manager before the modules start showing messages.
#ifndef KUT_MSGMNGR_H
#define KUT_MSGMNGR_H

#include "kut/afx.h"
#include "kut/types.h"

// Additional information that travels with a message.
class KUT_API KMsgExtInfoBase {
public:
    KMsgExtInfoBase();
    KMsgExtInfoBase(const KMsgExtInfoBase& other);
    KMsgExtInfoBase& operator=(const KMsgExtInfoBase& other);
    virtual ~KMsgExtInfoBase();

    virtual CString GetMessageW();
    virtual int GetDataType();
    virtual CString GetListText();

    // True when both parts of the web link are set.
    bool ConsistWebLink() const;

protected:
    int m_Attr;
    CString m_Link1;
    CString m_Link2;
};

class KUT_API KMsgMngrBase {
public:
    // Defined in the library, so that the DLL exports them with the class
    // and a host that only declares them links.
    KMsgMngrBase() noexcept;
    KMsgMngrBase(const KMsgMngrBase&);
    KMsgMngrBase& operator=(const KMsgMngrBase&);
    virtual ~KMsgMngrBase();

    // The answer to a message (Windows message-box numbering). `text2` is
    // never null when called through KMSG_Message.
    virtual int Message(unsigned int id1, unsigned int id2, const wchar_t* text1, const wchar_t* text2, const wchar_t* text3,
                        unsigned int style, KMsgExtInfoBase* info);

protected:
    // For the library's default manager, which is constant-initialised so
    // that it answers even a message shown from another static constructor
    // before the library's own have run. Does what the default constructor
    // does.
    struct ConstantInit {};
    constexpr explicit KMsgMngrBase(ConstantInit) noexcept {}
};

// Shows a message through the current manager and returns its answer. The
// manager receives text2, or text1 when text2 is null (an empty text when
// both are).
KUT_API int KMSG_Message(unsigned int id1, unsigned int id2, const wchar_t* text1, const wchar_t* text2, const wchar_t* text3,
                         unsigned int style, KMsgExtInfoBase* info);
// Installs `mngr` (only its address is kept).
KUT_API void KMSG_SetMsgMngr(KMsgMngrBase& mngr);
// The manager in force: the default one until KMSG_SetMsgMngr.
KUT_API KMsgMngrBase& KMSG_TheMsgMngr();

#endif
