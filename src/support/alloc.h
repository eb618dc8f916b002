// Allocation seam of kut. Every allocation whose failure the library turns
// into a result (copy chunks, message tables, unit tables, the image index)
// goes through here, so that test builds can make the N-th one fail and
// exercise that path; in a release build these are plain
// malloc/calloc/realloc/free.
#ifndef KUT_SUPPORT_ALLOC_H
#define KUT_SUPPORT_ALLOC_H

#include <cstddef>

namespace kut::mem {

void* Alloc(std::size_t n);
void* Calloc(std::size_t count, std::size_t size);
void* Realloc(void* p, std::size_t n);
void Free(void* p);

}  // namespace kut::mem

#endif
