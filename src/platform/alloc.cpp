#include "platform/alloc.h"

#include <cstdlib>

#if defined(KUT_TESTING)
#include "kut/testing.h"

namespace {
long g_failAfter = -1;   // allocations still allowed; -1: never fail
bool g_persistent = false;
long g_failures = 0;

bool ShouldFail() {
    if (g_failAfter < 0) return false;
    if (g_failAfter == 0) {
        ++g_failures;
        if (!g_persistent) g_failAfter = -1;
        return true;
    }
    --g_failAfter;
    return false;
}
}  // namespace

extern "C" void KUT_TestFailAlloc(long after, int persistent) {
    g_failAfter = after;
    g_persistent = persistent != 0;
    g_failures = 0;
}

extern "C" long KUT_TestAllocFailures(void) { return g_failures; }
#else
namespace {
constexpr bool ShouldFail() { return false; }
}  // namespace
#endif

namespace kut::mem {

void* Alloc(std::size_t n) { return ShouldFail() ? nullptr : std::malloc(n); }
void* Calloc(std::size_t count, std::size_t size) { return ShouldFail() ? nullptr : std::calloc(count, size); }
void* Realloc(void* p, std::size_t n) { return ShouldFail() ? nullptr : std::realloc(p, n); }
void Free(void* p) { std::free(p); }

}  // namespace kut::mem
