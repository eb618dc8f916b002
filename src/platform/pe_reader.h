// Reader of string tables in PE/COFF resource-only libraries (the language
// libraries). Portable code: the POSIX backend loads language libraries with
// it, and the Windows build runs it too so that both readers can be compared.
#ifndef KUT_PLATFORM_PE_READER_H
#define KUT_PLATFORM_PE_READER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kut::pe {

// One loaded library: the whole file in memory, validated once. Reading a
// string never touches the disk.
class StringTableImage;
void Destroy(StringTableImage* img);
struct ImageDeleter {
    void operator()(StringTableImage* img) const { Destroy(img); }
};
using ImagePtr = std::unique_ptr<StringTableImage, ImageDeleter>;

// Parses `bytes`; null when the file is not a well-formed PE image with a
// usable resource section. Never reads outside `bytes`.
ImagePtr Parse(std::vector<unsigned char> bytes);

// String `id` in UTF-16 units: false when the library holds no such string.
// `out` receives at most the string's length; the caller truncates.
bool FindString(const StringTableImage& img, unsigned int id, const char16_t** text, std::size_t* len);

}  // namespace kut::pe

#endif
