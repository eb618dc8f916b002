// kut::mem allocations and the test hooks that make them fail.
#include "support/alloc.h"

#include <cstdint>
#include <cstdlib>

#if defined(KUT_TESTING)
#include "kut/testing.h"

namespace {
long g_failAfter = -1;  // allocations still allowed; -1: never fail
bool g_persistent = false;
long g_failures = 0;
long long g_failAbove = -1;  // larger requests fail; -1: no limit

bool ShouldFail(std::size_t n) {
    if (g_failAbove >= 0 && n > static_cast<unsigned long long>(g_failAbove)) {
        ++g_failures;
        return true;
    }
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
    g_failAbove = -1;
}

extern "C" void KUT_TestFailAllocAbove(long long bytes) {
    g_failAfter = -1;
    g_failures = 0;
    g_failAbove = bytes < 0 ? -1 : bytes;
}

extern "C" long KUT_TestAllocFailures(void) { return g_failures; }
#else
namespace {
constexpr bool ShouldFail(std::size_t) { return false; }
}  // namespace
#endif

namespace kut::mem {

void* Alloc(std::size_t n) { return ShouldFail(n) ? nullptr : std::malloc(n); }
void* Calloc(std::size_t count, std::size_t size) {
    // A product that overflows counts as the largest request; calloc itself
    // refuses it.
    const std::size_t n = count && size > SIZE_MAX / count ? SIZE_MAX : count * size;
    return ShouldFail(n) ? nullptr : std::calloc(count, size);
}
void* Realloc(void* p, std::size_t n) { return ShouldFail(n) ? nullptr : std::realloc(p, n); }
void Free(void* p) { std::free(p); }

}  // namespace kut::mem
