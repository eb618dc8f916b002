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
//  - resource type 6 -> block id (number / 16 + 1) -> the block's language
//    entry, chosen as the Windows loader chooses it (see Languages) -> data
//    entry {RVA, size} -> 16 counted UTF-16 strings; each count is bounded
//    by the data entry's size, so a short or lying block loses only the
//    strings that run past its end;
//  - a block cut by the end of the file (or of its section's file data)
//    keeps every string that lies wholly before the cut. The Windows loader
//    also hands out the strings it reads past the end of a block or of the
//    file (zeros or whatever follows); those stay refused here: safety
//    first, a text is never made of bytes that are not the string's own;
//  - entry counts are capped by the bytes left in the section; the walk has
//    exactly three levels and refuses a directory that is one of its own
//    ancestors, so loops cannot recurse; work and memory are bounded by the
//    4,096 possible blocks, however the entries alias each other.
// Faults in the headers or in the first two directory levels refuse the
// whole file; a faulty block only loses its strings, and is listed among the
// image's problems (so that tools can name the damage). A well-formed image
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

// The user's languages, as Windows language ids, that pick a block's entry
// when the block exists in several languages. The order is the one wine 8's
// LoadStringW was seen to follow (tests/windows/loader_diff_test.cpp asks it
// again): the neutral entry (exactly 0x0000), the user's UI language, the
// same with the neutral sublanguage (0x0407 -> 0x0007), the system's
// language, the same with the neutral sublanguage, English (exactly 0x0409),
// and then the first entry of the directory. Each id is looked up as the
// loader does, by binary search over the id entries, so a directory whose
// entries are out of order picks what Windows picks, not what a scan would.
// 0x0400, 0x0800, 0x007F or other English variants get no special place.
struct Languages {
    std::uint16_t user = 0x0409;
    std::uint16_t system = 0x0409;
};

// A Windows language id for a POSIX locale name ("de_AT.UTF-8",
// "sr_RS@latin", "pt"); 0x0409 (en-US) for "C", "POSIX", empty or unknown
// names, as wine does. The table is in the README.
std::uint16_t LanguageOfLocale(const char* name);
// The user's languages from the environment, as the POSIX categories are
// resolved: the UI language from LC_ALL, LC_MESSAGES, LANG (the first that is
// set and not empty), the system's from LC_ALL, LC_CTYPE, LANG.
Languages EnvironmentLanguages();

// Parses a file image, taking ownership of it; null when it is not a
// well-formed PE image (or memory runs out). Never reads outside the
// `size` bytes. Files of 4 GiB or more are refused.
ImagePtr ParseOwned(std::unique_ptr<unsigned char[]> data, std::size_t size, const Languages& langs = Languages());
// The same on a copy of the caller's bytes.
ImagePtr Parse(const unsigned char* data, std::size_t size, const Languages& langs = Languages());
ImagePtr Parse(const std::vector<unsigned char>& bytes, const Languages& langs = Languages());

// A block of the string table that lost strings, or all of them: its id
// (numbers (block - 1) * 16 to (block - 1) * 16 + 15) and what is wrong, in
// English, e.g. "cut by the end of the file". At most one per block, by
// block id; block 0 stands for the whole table (a directory that lost
// entries, so that which blocks are missing cannot be told).
struct Problem {
    unsigned block;
    const char* what;
    unsigned firstLost;  // slots firstLost..15 could not be read (16: none, the size alone is wrong)
};
const std::vector<Problem>& Problems(const StringTableImage& img);
// The file's bytes that the image holds (FindString's texts point into them).
const unsigned char* FileBytes(const StringTableImage& img);

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
