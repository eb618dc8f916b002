// The formatted input of the unit configuration files, done by hand over a
// byte stream so that every platform reads a file the same way: the C
// run-time's wide formatted input differs between C libraries in locale,
// encoding and text-mode handling.
//
// Each operation mirrors one scanf directive of the file format:
//   ReadCount   "%hd\n"
//   ReadNumber  "%lf\n"  (the trailing skip only after a number was read)
//   SkipRecord  "%*s%*s\n"
//   ReadName    characters up to a comma
// CR LF is one line end; a lone CR is whitespace. Bytes are characters
// 0-255.
#ifndef KUT_UNITS_CFG_READER_H
#define KUT_UNITS_CFG_READER_H

#include <cstdio>
#include <string>

namespace kut::units {

class CfgReader {
public:
    static constexpr int kEnd = -1;

    explicit CfgReader(std::FILE* file) : m_file(file) {}
    // Hands the one character read ahead back to the stream, so that the
    // next reader on the same stream starts where this one stopped.
    ~CfgReader();
    CfgReader(const CfgReader&) = delete;
    CfgReader& operator=(const CfgReader&) = delete;

    // False when no integer is there (or the file ended).
    bool ReadCount(short* count);

    enum class Number { Read, NotANumber, End };
    // Skips whitespace, then reads the longest prefix that forms a decimal
    // number. NotANumber consumes nothing but the whitespace; End means the
    // file ended before anything but whitespace.
    Number ReadNumber(double* value);

    // Reads up to and including the next comma. The name keeps the first at
    // most 9 characters before the first blank. False when the file ends
    // before a comma.
    bool ReadName(wchar_t name[10]);

    // Two whitespace-separated tokens and the whitespace after them. False
    // when the file ends before the second token.
    bool SkipRecord();

    void SkipSpace();

private:
    int Raw();
    int Get();
    void Unget(int c);
    bool SkipToken();

    std::FILE* m_file;
    std::string m_back;   // bytes pushed back, the next one last
};

}  // namespace kut::units

#endif
