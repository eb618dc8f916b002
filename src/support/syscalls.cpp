// The file-open seam: platform::OpenFile goes to the backend's
// SystemOpenFile, or in a test build through the table a test installed.
#include "platform/platform.h"

#if defined(KUT_TESTING)
#include "kut/testing.h"

namespace {
const KUT_SYSCALLS kSystem = {kut::platform::SystemOpenFile};
KUT_SYSCALLS g_table = kSystem;
}  // namespace

extern "C" void KUT_TestGetSyscalls(KUT_SYSCALLS* out) {
    if (out) *out = g_table;
}

extern "C" void KUT_TestSetSyscalls(const KUT_SYSCALLS* table) { g_table = table ? *table : kSystem; }
#endif

namespace kut::platform {

std::FILE* OpenFile(const wchar_t* path, const char* mode) {
#if defined(KUT_TESTING)
    return g_table.open(path, mode);
#else
    return SystemOpenFile(path, mode);
#endif
}

}  // namespace kut::platform
