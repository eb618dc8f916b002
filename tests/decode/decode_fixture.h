// Shared pieces of the decoding tests: a clean decoding state with its own
// data and temporary folders, a recording message-box hook, and the printed
// conversion tables read from tables.txt.
#ifndef KUT_TESTS_DECODE_FIXTURE_H
#define KUT_TESTS_DECODE_FIXTURE_H

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "kbase/kbase.h"
#include "kut/decode.h"
#include "kut/kut_ext.h"
#include "testutil.h"
#if defined(KUT_TESTING)
#include "kut/testing.h"
#endif

namespace decodetest {

struct Box {
    std::wstring text;
    std::wstring caption;
    unsigned style;
};

// Boxes shown since the fixture started.
std::vector<Box>& Boxes();

// Every test starts as a fresh process would: nothing loaded, no hook
// answers but ours, the data folder (kind 5) and the temporary folder
// (kind 9) empty folders of its own. Set before the first decoding call.
class DecodeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes `bytes` as file `name` of the data folder.
    void DataFile(const std::wstring& name, const std::string& bytes) const;

    kuttest::TempDir m_data;
    kuttest::TempDir m_temp;
};

// The printed tables by name: "437", "850", "852" (DOS byte 0x80..0xFF ->
// Windows byte) and "latin" (Windows byte 0xC0..0xFF -> folded byte).
std::map<std::string, std::map<int, int>> PrintedTables();

// A code-page file of the given numbers, each followed by `eol`.
std::string NumberLines(const std::vector<int>& values, const std::string& eol = "\r\n");

// Converts the single byte `b` with DECODE_DosToWin.
int Dos(int b, short language);
// Folds the single byte `b` with the dictionary in force.
int Fold(int b);

}  // namespace decodetest

#endif
