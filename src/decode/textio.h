// Text-mode streams with the rules of the Windows C run-time, over the
// binary streams that kut::platform::OpenFile gives, so that text files are
// read and written the same way on every platform.
//
// Input (Reader):
//  - CR LF is delivered as one LF; a CR not followed by LF stays a CR (also
//    at the very end of the file);
//  - a byte 0x1A ends the input: it and everything after it are never read;
//  - Eof() is the end-of-file indicator of feof(): it is set by the Get()
//    that meets the end, not before. A read error of the stream also ends the
//    input (so a loop "until Eof()" always terminates).
// Output (Writer):
//  - each LF is written as CR LF, every other byte as it is;
//  - bytes are collected in the writer and handed to the stream by Flush()
//    in one write; the writer makes the stream unbuffered, so one Flush()
//    costs one system call.
//
// Neither class owns its stream: the caller opens it (OpenFile, binary) and
// closes it after the reader or writer is done with it. A Writer flushes what
// it holds when destroyed. Both keep their buffers inline (8 KiB and 4 KiB),
// so they can live on the stack without an allocation.
#ifndef KUT_DECODE_TEXTIO_H
#define KUT_DECODE_TEXTIO_H

#include <cstddef>
#include <cstdio>

namespace kut::textio {

constexpr int kEnd = -1;  // Get() at the end of the input

class Reader {
public:
    explicit Reader(std::FILE* file) noexcept;
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The next character (0..255) after translation, or kEnd.
    int Get() noexcept {
        if (m_back >= 0) {
            int c = m_back;
            m_back = -1;
            return c;
        }
        if (m_pos < m_len) {
            unsigned char c = m_buf[m_pos];
            // Fast path: everything but CR and 0x1A passes unchanged.
            if (c != 0x0D && c != 0x1A) {
                ++m_pos;
                return c;
            }
        }
        return GetSlow();
    }

    // Gives back the last character read, as ungetc does (one character;
    // kEnd is ignored). It is read again by the next Get().
    void Unget(int c) noexcept {
        if (c >= 0) m_back = c;
    }

    // Set once a Get() has met the end of the input.
    bool Eof() const noexcept { return m_eof; }

private:
    int GetSlow() noexcept;
    bool Fill() noexcept;  // false at the end of the stream

    static constexpr std::size_t kBufSize = 1 << 13;
    std::FILE* m_file;
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    int m_back = -1;
    bool m_streamDone = false;  // stream exhausted, 0x1A seen or read error
    bool m_eof = false;
    unsigned char m_buf[kBufSize];
};

class Writer {
public:
    explicit Writer(std::FILE* file) noexcept;
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Appends one byte (LF becomes CR LF).
    void Put(unsigned char c) noexcept {
        if (m_len + 2 > kBufSize) Flush();
        if (c == 0x0A) m_buf[m_len++] = 0x0D;
        m_buf[m_len++] = c;
    }

    // Writes what is collected in one write. False when the stream reported
    // an error (the bytes are dropped either way).
    bool Flush() noexcept;

private:
    static constexpr std::size_t kBufSize = 1 << 12;
    std::FILE* m_file;
    std::size_t m_len = 0;
    unsigned char m_buf[kBufSize];
};

}  // namespace kut::textio

#endif
