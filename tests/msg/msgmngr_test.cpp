#include <gtest/gtest.h>

#include <string>

#include "kut/msgmngr.h"

namespace {

// Records what the manager receives and answers a fixed value.
class RecordingMngr : public KMsgMngrBase {
public:
    int Message(unsigned int a, unsigned int b, const wchar_t* t1, const wchar_t* t2, const wchar_t* t3,
                unsigned int s, KMsgExtInfoBase* i) override {
        ++calls;
        id1 = a;
        id2 = b;
        text1 = t1;
        text2 = t2;
        text3 = t3;
        style = s;
        info = i;
        return 42;
    }
    int calls = 0;
    unsigned id1 = 0, id2 = 0, style = 0;
    const wchar_t* text1 = nullptr;
    std::wstring text2;
    const wchar_t* text3 = nullptr;
    KMsgExtInfoBase* info = nullptr;
};

class Info : public KMsgExtInfoBase {
public:
    int attr() const { return m_Attr; }
    void setLinks(const wchar_t* a, const wchar_t* b) {
        m_Link1 = a;
        m_Link2 = b;
    }
    void setAttr(int a) { m_Attr = a; }
    const CString& link1() const { return m_Link1; }
    const CString& link2() const { return m_Link2; }
};

}  // namespace

TEST(MsgMngr, DefaultManagerAnswersByTheYesNoBit) {
    // Each test runs in its own process: nothing has been installed yet.
    EXPECT_EQ(KMSG_Message(1, 2, L"a", L"b", L"c", 4, nullptr), 6);
    EXPECT_EQ(KMSG_Message(1, 2, L"a", L"b", L"c", 36, nullptr), 6);
    for (unsigned style : {0u, 1u, 2u, 3u, 32u}) {
        EXPECT_EQ(KMSG_Message(0, 0, nullptr, nullptr, nullptr, style, nullptr), 3) << style;
    }
    KMsgMngrBase base;
    EXPECT_EQ(base.Message(0, 0, nullptr, nullptr, nullptr, 0xFFFFFFFFu, nullptr), 6);
}

TEST(MsgMngr, SecondTextFallsBackToTheFirst) {
    RecordingMngr host;
    KMsgMngrBase& before = KMSG_TheMsgMngr();
    KMSG_SetMsgMngr(host);
    EXPECT_EQ(&KMSG_TheMsgMngr(), &host);

    const wchar_t* first = L"first";
    const wchar_t* third = L"third";
    Info info;
    EXPECT_EQ(KMSG_Message(7, 8, first, nullptr, third, 0x31, &info), 42);
    EXPECT_EQ(host.text2, L"first");
    // Everything but the second text passes unchanged.
    EXPECT_EQ(host.text1, first);
    EXPECT_EQ(host.text3, third);
    EXPECT_EQ(host.id1, 7u);
    EXPECT_EQ(host.id2, 8u);
    EXPECT_EQ(host.style, 0x31u);
    EXPECT_EQ(host.info, &info);

    KMSG_Message(0, 0, first, L"second", nullptr, 0, nullptr);
    EXPECT_EQ(host.text2, L"second");
    EXPECT_EQ(host.text3, nullptr);

    KMSG_Message(0, 0, nullptr, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(host.text2, L"");
    EXPECT_EQ(host.calls, 3);

    // Restoring the earlier manager gives back its answers.
    KMSG_SetMsgMngr(before);
    EXPECT_EQ(KMSG_Message(0, 0, L"x", nullptr, nullptr, 4, nullptr), 6);
    EXPECT_EQ(host.calls, 3);
}

TEST(MsgMngr, ExtInfoDefaultsLinksAndCopies) {
    Info info;
    EXPECT_EQ(info.attr(), 1);
    EXPECT_FALSE(info.ConsistWebLink());
    EXPECT_EQ(info.GetDataType(), 0);
    EXPECT_TRUE(info.GetMessageW().IsEmpty());
    EXPECT_TRUE(info.GetListText().IsEmpty());

    info.setLinks(L"http://host/", L"");
    EXPECT_FALSE(info.ConsistWebLink());
    info.setLinks(L"", L"page");
    EXPECT_FALSE(info.ConsistWebLink());
    info.setLinks(L"http://host/", L"page");
    EXPECT_TRUE(info.ConsistWebLink());

    info.setAttr(9);
    Info copy(info);
    EXPECT_EQ(copy.attr(), 9);
    EXPECT_EQ(copy.link1(), L"http://host/");
    EXPECT_EQ(copy.link2(), L"page");
    EXPECT_TRUE(copy.ConsistWebLink());

    Info assigned;
    assigned = info;
    EXPECT_EQ(assigned.attr(), 9);
    EXPECT_EQ(assigned.link2(), L"page");
}
