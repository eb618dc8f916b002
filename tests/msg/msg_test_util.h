// Shared set-up of the message-table tests: a folder of language libraries
// behind directory kind 2, and the language settings.
#ifndef KUT_TESTS_MSG_TEST_UTIL_H
#define KUT_TESTS_MSG_TEST_UTIL_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "kbase/kbase.h"
#include "kopts/kopts.h"
#include "kut/msg.h"
#include "testutil.h"

// Friend of K_MSG: the class-wide language numbers are private.
struct KMsgTestAccess {
    static int Logic() { return K_MSG::m_StaticLogic; }
    static int Output() { return K_MSG::m_StaticOutput; }
    // Whether mode 4 lookups may go through the number index.
    static bool Indexed(const K_MSG& msg) { return msg.m_Index != nullptr; }
};

namespace msgtest {

using Strings = std::map<unsigned, std::wstring>;

class LangDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        REP_SetRepert(2, m_dir.path().c_str());
        CONF_Language()->logic = 1;
        CONF_Language()->output = 2;
    }
    void TearDown() override { REP_SetRepert(2, nullptr); }

    // Writes a language library named `file` into the folder.
    void WriteLib(const std::wstring& file, const Strings& strings);

    const kuttest::TempDir& dir() const { return m_dir; }

private:
    kuttest::TempDir m_dir;
};

// The entries of a mode 4 table in table order, for comparisons.
using Table = std::vector<std::pair<KLONG, std::wstring>>;
Table TableOf(const K_MSG& msg);

}  // namespace msgtest

#endif
