// Reader of string tables in PE/COFF resource-only libraries (the language
// libraries). Portable code: the POSIX backend loads language libraries with
// it, and the Windows build runs it too so that both readers can be compared.
//
// Parse validates the file once and indexes every string slot of the table
// (block id -> 16 file offsets): afterwards a lookup is three array reads and
// never touches the disk. The image keeps the file's bytes; the index is
// 64 bytes per block present. What is read, and how hostile files are kept
// at bay:
//  - DOS header, "PE\0\0", optional header PE32 or PE32+, at least three data
//    directories (the resource directory is number 2), at most 96 sections;
//  - addresses (RVAs) are mapped to file offsets through the section table,
//    the string data included; a range must lie inside the file-backed part
//    of one section and inside the file; every check is done in 64 bits;
//  - resource type 6 -> block id (number / 16 + 1) -> the first language
//    entry of the block -> data entry {RVA, size} -> 16 counted UTF-16
//    strings; each count is bounded by the data entry's size, so a short or
//    lying block loses only the strings that run past its end;
//  - entry counts are capped by the bytes left in the section; the walk has
//    exactly three levels and refuses a directory that is one of its own
//    ancestors, so loops cannot recurse; work and memory are bounded by the
//    4,096 possible blocks, however the entries alias each other.
// Faults in the headers or in the first two directory levels refuse the
// whole file; a faulty block only loses its strings. A well-formed image
// without resources loads and holds no string, as on Windows.
#ifndef KUT_LANGLIB_PE_READER_H
#define KUT_LANGLIB_PE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace kut::pe {

// One loaded library, validated once. Reading a string never touches the
// disk.
class StringTableImage;
void Destroy(StringTableImage* img);
struct ImageDeleter {
    void operator()(StringTableImage* img) const { Destroy(img); }
};
using ImagePtr = std::unique_ptr<StringTableImage, ImageDeleter>;

// Parses a file image, taking ownership of it; null when it is not a
// well-formed PE image (or memory runs out). Never reads outside the
// `size` bytes. Files of 4 GiB or more are refused.
ImagePtr ParseOwned(std::unique_ptr<unsigned char[]> data, std::size_t size);
// The same on a copy of the caller's bytes.
ImagePtr Parse(const unsigned char* data, std::size_t size);
ImagePtr Parse(const std::vector<unsigned char>& bytes);

// String `id`: `*text` points at its `*len` UTF-16 units, little-endian as
// in the file (not aligned), valid while the image lives. False when the
// library holds no such string or it is empty. The whole string is handed
// out; the caller truncates.
bool FindString(const StringTableImage& img, unsigned int id, const unsigned char** text, std::size_t* len);

// One UTF-16 unit of such a text. On little-endian hosts an unaligned load
// (which compilers vectorise in copy loops), else assembled byte by byte.
inline char16_t Unit(const unsigned char* text, std::size_t i) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint16_t u;
    std::memcpy(&u, text + 2 * i, 2);
    return static_cast<char16_t>(u);
#else
    return static_cast<char16_t>(text[2 * i] | (text[2 * i + 1] << 8));
#endif
}

}  // namespace kut::pe

#endif
