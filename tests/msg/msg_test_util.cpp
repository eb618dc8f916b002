#include "msg_test_util.h"

#include "langlib_writer.h"

namespace msgtest {

void LangDirTest::WriteLib(const std::wstring& file, const Strings& strings) {
    std::string error;
    ASSERT_TRUE(kuttools::WriteLanguageLibrary(m_dir.file(file), strings, &error)) << error;
}

Table TableOf(const K_MSG& msg) {
    Table out;
    for (int i = 0; i < msg.m_Count; ++i) out.emplace_back(msg.m_Items[i].nId, msg.m_Items[i].pText);
    return out;
}

}  // namespace msgtest
