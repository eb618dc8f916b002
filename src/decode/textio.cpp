// Text-mode Reader and Writer over binary streams (CR LF, 0x1A end of input).
#include "decode/textio.h"

namespace kut::textio {

// m_buf is left uncleared: only the bytes a read has filled are looked at.
// cppcheck-suppress uninitMemberVar
Reader::Reader(std::FILE* file) noexcept : m_file(file) {
    // Our own buffer does the buffering: the stream would only copy twice.
    if (m_file)
        std::setvbuf(m_file, nullptr, _IONBF, 0);
    else
        m_streamDone = true;
}

bool Reader::Fill() noexcept {
    if (m_streamDone) return false;
    m_pos = 0;
    m_len = std::fread(m_buf, 1, kBufSize, m_file);
    if (m_len == 0) {
        // End of the stream or a read error: either way the input is over.
        m_streamDone = true;
        return false;
    }
    return true;
}

int Reader::GetSlow() noexcept {
    if (m_pos >= m_len && !Fill()) {
        m_eof = true;
        return kEnd;
    }
    unsigned char c = m_buf[m_pos++];
    if (c == 0x1A) {
        // Everything from here on is past the end of a text file.
        m_streamDone = true;
        m_pos = m_len = 0;
        m_eof = true;
        return kEnd;
    }
    if (c != 0x0D) return c;
    // A CR: look at the next byte, which may lie in the next block.
    if (m_pos >= m_len && !Fill()) return 0x0D;
    if (m_buf[m_pos] == 0x0A) {
        ++m_pos;
        return 0x0A;
    }
    return 0x0D;
}

// m_buf is left uncleared: only the bytes Put has stored are written.
// cppcheck-suppress uninitMemberVar
Writer::Writer(std::FILE* file) noexcept : m_file(file) {
    // One Flush() is then exactly one write of the system.
    if (m_file) std::setvbuf(m_file, nullptr, _IONBF, 0);
}

Writer::~Writer() { Flush(); }

bool Writer::Flush() noexcept {
    bool ok = true;
    if (m_len > 0 && m_file) ok = std::fwrite(m_buf, 1, m_len, m_file) == m_len;
    m_len = 0;
    return ok;
}

}  // namespace kut::textio
