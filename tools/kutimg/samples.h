// The sample bitmaps of data/img: small drawings in every depth the image
// files carry, written once and kept in the repository.
#ifndef KUTIMG_SAMPLES_H
#define KUTIMG_SAMPLES_H

#include <string>

namespace kutimg {

// Writes <folder>/<MODULE>/<nn>_<what>.bmp for the three sample modules.
bool WriteSamples(const std::wstring& folder, std::string* error);

}  // namespace kutimg

#endif
