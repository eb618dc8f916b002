// The text-mode streams on their own, at the edges of their buffers.
#include <gtest/gtest.h>

#include <string>

#include "platform/textio.h"
#include "testutil.h"

namespace {

// The streams are compiled into this program (extra.cmake); they take any
// binary stream.
std::FILE* Open(const std::wstring& path, const char* mode) {
    return std::fopen(kuttest::Narrow(path).c_str(), mode);
}

std::string ReadAll(const std::string& bytes, bool* eofBeforeEnd = nullptr) {
    kuttest::TempDir dir;
    std::wstring path = dir.file(L"t.txt");
    EXPECT_TRUE(kuttest::WriteFile(path, bytes));
    std::FILE* f = Open(path, "rb");
    EXPECT_NE(f, nullptr);
    std::string out;
    {
        kut::textio::Reader in(f);
        if (eofBeforeEnd) *eofBeforeEnd = in.Eof();
        for (int c; (c = in.Get()) != kut::textio::kEnd;) {
            EXPECT_FALSE(in.Eof());
            out += static_cast<char>(c);
        }
        EXPECT_TRUE(in.Eof());
        EXPECT_EQ(in.Get(), kut::textio::kEnd);
    }
    std::fclose(f);
    return out;
}

TEST(TextIo, ReaderTranslatesLikeTheWindowsRunTime) {
    bool eof = true;
    EXPECT_EQ(ReadAll("a\r\nb\rc\n\r\r\nd\r", &eof), "a\nb\rc\n\r\nd\r");
    EXPECT_FALSE(eof);
    EXPECT_EQ(ReadAll(""), "");
    EXPECT_EQ(ReadAll("ab\x1A" "cd\r\n"), "ab");
    EXPECT_EQ(ReadAll("ab\r\x1A" "\n"), "ab\r");
    EXPECT_EQ(ReadAll(std::string("\0\xFF\x80", 3)), std::string("\0\xFF\x80", 3));
}

TEST(TextIo, CrLfAcrossTheReaderBlock) {
    // Blocks are 8 KiB: put the CR last in one and the LF first in the next,
    // and a lone CR likewise.
    for (std::size_t at : {8190u, 8191u, 8192u, 16383u}) {
        std::string s(at, 'x');
        s += "\r\ny\r";
        s += std::string(9000, 'z');
        std::string expected(at, 'x');
        expected += "\ny\r" + std::string(9000, 'z');
        EXPECT_EQ(ReadAll(s), expected) << at;
    }
    std::string big(8191, 'x');
    EXPECT_EQ(ReadAll(big + "\r"), big + "\r");
    EXPECT_EQ(ReadAll(big + "\x1A" "tail"), big);
}

TEST(TextIo, UngetGivesTheCharacterBack) {
    kuttest::TempDir dir;
    std::wstring path = dir.file(L"u.txt");
    ASSERT_TRUE(kuttest::WriteFile(path, "ab"));
    std::FILE* f = Open(path, "rb");
    ASSERT_NE(f, nullptr);
    {
        kut::textio::Reader in(f);
        int a = in.Get();
        in.Unget(a);
        EXPECT_EQ(in.Get(), 'a');
        EXPECT_EQ(in.Get(), 'b');
        EXPECT_EQ(in.Get(), kut::textio::kEnd);
        in.Unget(kut::textio::kEnd);
        EXPECT_EQ(in.Get(), kut::textio::kEnd);
    }
    std::fclose(f);
}

TEST(TextIo, WriterTurnsLfIntoCrLf) {
    kuttest::TempDir dir;
    std::wstring path = dir.file(L"w.txt");
    std::FILE* f = Open(path, "wb");
    ASSERT_NE(f, nullptr);
    std::string expected;
    {
        kut::textio::Writer out(f);
        for (unsigned char c : std::string("a\nb\r\n\x1A\xFF")) out.Put(c);
        EXPECT_TRUE(out.Flush());
        std::string written;
        ASSERT_TRUE(kuttest::ReadFile(path, &written));
        EXPECT_EQ(written, "a\r\nb\r\r\n\x1A\xFF");  // on disk after Flush
        // More than the writer's buffer in one go: nothing is lost.
        for (int i = 0; i < 10000; ++i) out.Put('\n');
        expected = written;
        for (int i = 0; i < 10000; ++i) expected += "\r\n";
    }
    std::fclose(f);
    std::string written;
    ASSERT_TRUE(kuttest::ReadFile(path, &written));
    EXPECT_EQ(written, expected);
}

}  // namespace
