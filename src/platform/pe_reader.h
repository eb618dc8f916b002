// Reader of string tables in PE/COFF resource-only libraries (the language
// libraries). Portable code: the POSIX backend loads language libraries with
// it, and the Windows build runs it too so that both readers can be compared.
//
// Parse validates the file once and copies every string of the table into
// one pool, indexed by block: afterwards a lookup is two array reads and the
// file itself is no longer needed. What is read, and how hostile files are
// kept at bay:
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
//    ancestors, so loops cannot recurse;
//  - blocks that share one data entry share its strings, and the pool may
//    never outgrow the file, so overlapping data entries cannot blow up
//    memory.
// Faults in the headers or in the first two directory levels refuse the
// whole file; a faulty block only loses its strings. A well-formed image
// without resources loads and holds no string, as on Windows.
#ifndef KUT_PLATFORM_PE_READER_H
#define KUT_PLATFORM_PE_READER_H

#include <cstddef>
#include <cstdint>
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

// Parses `bytes`; null when the file is not a well-formed PE image (or
// memory runs out). Never reads outside `bytes`.
ImagePtr Parse(const std::vector<unsigned char>& bytes);
ImagePtr Parse(const unsigned char* data, std::size_t size);

// String `id` in UTF-16 units, pointing into the image (valid while it
// lives): false when the library holds no such string or it is empty.
// The whole string is handed out; the caller truncates.
bool FindString(const StringTableImage& img, unsigned int id, const char16_t** text, std::size_t* len);

}  // namespace kut::pe

#endif
