// Shared by the fuzz targets: a private scratch folder and file writing.
#ifndef KUT_FUZZ_COMMON_H
#define KUT_FUZZ_COMMON_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kutfuzz {

// A folder of this process's own, made once, that every directory kind of
// kbase points to.
const std::wstring& Scratch();
// Writes the input to Scratch()/name and returns the full path.
std::wstring WriteInput(const wchar_t* name, const std::uint8_t* data, std::size_t size);

}  // namespace kutfuzz

#endif
