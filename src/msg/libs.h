// The language libraries of the K_MSG objects.
//
// Every library a K_MSG loads goes through here, so that a copied object can
// load the same file again for itself: each object then releases its own
// handles exactly once, whatever happens to the original.
#ifndef KUT_MSG_LIBS_H
#define KUT_MSG_LIBS_H

#include "kut/types.h"

namespace kut::msg {

// Loads the library at `path` (null when it cannot be loaded).
HMODULE OpenLib(const wchar_t* path);
// Loads again the file behind a handle that OpenLib gave; null for null.
HMODULE ReopenLib(HMODULE lib);
// Releases one handle that OpenLib or ReopenLib gave; null is ignored.
void CloseLib(HMODULE lib);

}  // namespace kut::msg

#endif
