// The formatted input of the unit configuration files, done by hand over a
// byte stream so that every platform reads a file the same way: the C
// run-time's wide formatted input differs between C libraries in encoding
// errors and text-mode handling. What the host's current locale decides is
// taken from it, as wide stream input in that locale would:
// - characters: a byte below 0x80 is itself (every encoding a C run-time
//   offers keeps ASCII); a higher byte starts a character of the locale's
//   encoding (mbrtowc, or btowc in a single-byte locale). A byte that starts
//   no character (a broken sequence) stays a character of its own with the
//   byte's value. The "C" locale reads every byte as the character 0-255
//   without asking the run-time, whose C locales differ, so that a file
//   reads the same on every platform.
// - the decimal point of "%lf": the locale's (LC_NUMERIC), when it is one
//   byte; "." otherwise.
// White space stays the six ASCII characters, in every locale.
//
// Each operation mirrors one scanf directive of the file format:
//   ReadCount   "%hd\n"
//   ReadNumber  "%lf\n"  (the trailing skip only after a number was read)
//   SkipRecord  "%*s%*s\n"
//   ReadName    characters up to a comma
// CR LF is one line end; a lone CR is whitespace. Only names hold
// characters beyond ASCII; they are decoded as said above.
#ifndef KUT_UNITS_CFG_READER_H
#define KUT_UNITS_CFG_READER_H

#include <cstdio>
#include <string>

namespace kut::units {

class CfgReader {
public:
    static constexpr int kEnd = -1;

    // Takes the current locale's encoding and decimal point.
    explicit CfgReader(std::FILE* file);
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
    int GetChar();
    void Unget(int c);
    bool SkipToken();

    std::FILE* m_file;
    std::string m_back;  // bytes pushed back, the next one last
    char m_point;        // the decimal point
    bool m_bytes;        // the "C" locale: every byte is a character
    bool m_singleByte;   // the locale's encoding has one byte per character
};

}  // namespace kut::units

#endif
