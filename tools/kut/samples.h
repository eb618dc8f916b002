// The sample bitmaps of data/img: small drawings in every depth the image
// files carry, written once and kept in the repository. `kut img samples
// <folder> [-n]` draws them again; it is left out of the help, being for
// whoever changes the sample data, not for users.
#ifndef KUT_SAMPLES_H
#define KUT_SAMPLES_H

#include <string>

#include "native.h"

namespace kutcli {

// Writes <folder>/<MODULE>/<nn>_<what>.bmp for the three sample modules,
// each under a temporary name renamed into place; with Replace::kRefuse an
// existing bitmap is kept.
bool WriteSamples(const std::wstring& folder, std::string* error,
                  kuttools::native::Replace replace = kuttools::native::Replace::kAllow);

}  // namespace kutcli

#endif
