#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <tuple>

#include "kut/msgmngr.h"
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using ::testing::IsNull;
using ::testing::Return;
using ::testing::StrEq;

class HostMngr : public KMsgMngrBase {
public:
    MOCK_METHOD(int, Message, (unsigned, unsigned, const wchar_t*, const wchar_t*, const wchar_t*, unsigned, KMsgExtInfoBase*),
                (override));
};

// Fills what a host's information class fills.
struct Info : KMsgExtInfoBase {
    Info() = default;
    Info(int attr, const wchar_t* link1, const wchar_t* link2) {
        std::tie(m_Attr, m_Link1, m_Link2) = std::make_tuple(attr, CString(link1), CString(link2));
    }
    std::tuple<int, CString, CString> Fields() const { return {m_Attr, m_Link1, m_Link2}; }
};

// An export of the library by its (decorated) name, as a host that links
// against it by name resolves it; null when the library lacks it.
void* LibraryExport(const char* name) {
#if defined(_WIN32)
    HMODULE kut = GetModuleHandleW(L"kut.dll");
    return kut ? reinterpret_cast<void*>(GetProcAddress(kut, name)) : nullptr;
#else
    // The default manager lives in the library.
    Dl_info info{};
    if (!dladdr(static_cast<void*>(&KMSG_TheMsgMngr()), &info) || !info.dli_fname) return nullptr;
    void* kut = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!kut) return nullptr;
    void* symbol = dlsym(kut, name);
    dlclose(kut);
    return symbol;
#endif
}

}  // namespace

// A host built against a header that only declares the default constructor
// calls the library's.
TEST(MsgMngr, DefaultConstructorIsExported) {
    void* ctor = LibraryExport("_ZN12KMsgMngrBaseC1Ev");
    ASSERT_NE(ctor, nullptr);
    ASSERT_NE(LibraryExport("_ZN12KMsgMngrBaseC1ERKS_"), nullptr);  // the lookup itself works
    alignas(KMsgMngrBase) unsigned char storage[sizeof(KMsgMngrBase)];
    // The object's address is the constructor's only argument.
    reinterpret_cast<void (*)(void*)>(ctor)(storage);
    KMsgMngrBase* made = std::launder(reinterpret_cast<KMsgMngrBase*>(storage));
    EXPECT_EQ(made->Message(0, 0, L"a", L"b", L"c", 4, nullptr), 6);
    EXPECT_EQ(made->Message(0, 0, L"a", L"b", L"c", 0, nullptr), 3);
    made->~KMsgMngrBase();
}

TEST(MsgMngr, DefaultAnswersByTheYesNoBitAndAnInstalledManagerGetsTheSecondTextOrElseTheFirst) {
    // Each test runs in its own process: nothing has been installed yet.
    for (unsigned style : {4u, 0xFFFFFFFFu}) EXPECT_EQ(KMSG_Message(1, 2, L"a", L"b", L"c", style, nullptr), 6);
    for (unsigned style : {0u, 3u, 0xFFFFFFFBu}) EXPECT_EQ(KMSG_Message(0, 0, L"a", L"b", L"c", style, nullptr), 3);
    HostMngr host;
    KMsgMngrBase& before = KMSG_TheMsgMngr();
    KMSG_SetMsgMngr(host);
    EXPECT_EQ(&KMSG_TheMsgMngr(), &host);
    const wchar_t *first = L"first", *third = L"third";
    Info info;
    ::testing::InSequence order;
    EXPECT_CALL(host, Message(7, 8, first, StrEq(L"first"), third, 0x31, &info)).WillOnce(Return(42));
    EXPECT_CALL(host, Message(0, 0, first, StrEq(L"second"), IsNull(), 0, IsNull())).WillOnce(Return(1));
    EXPECT_CALL(host, Message(0, 0, IsNull(), StrEq(L""), IsNull(), 0, IsNull())).WillOnce(Return(2));
    EXPECT_EQ(KMSG_Message(7, 8, first, nullptr, third, 0x31, &info), 42);
    EXPECT_EQ(KMSG_Message(0, 0, first, L"second", nullptr, 0, nullptr), 1);
    EXPECT_EQ(KMSG_Message(0, 0, nullptr, nullptr, nullptr, 0, nullptr), 2);
    KMSG_SetMsgMngr(before);  // answers again, without the host
    EXPECT_EQ(KMSG_Message(0, 0, L"x", nullptr, nullptr, 4, nullptr), 6);
}

TEST(MsgMngr, ExtInfoDefaultsLinksAndCopies) {
    Info info;
    EXPECT_EQ(info.Fields(), std::make_tuple(1, CString(L""), CString(L"")));
    EXPECT_EQ(std::make_tuple(info.GetDataType(), info.GetMessageW(), info.GetListText()),
              std::make_tuple(0, CString(), CString()));
    for (const Info& one : {info, Info(9, L"http://host/", L""), Info(9, L"", L"page")}) EXPECT_FALSE(one.ConsistWebLink());
    info = Info(9, L"http://host/", L"page");
    EXPECT_TRUE(info.ConsistWebLink());
    EXPECT_EQ(info.Fields(), std::make_tuple(9, CString(L"http://host/"), CString(L"page")));
}
