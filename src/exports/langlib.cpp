#include "kut/kut_ext.h"
#include "platform/platform.h"

extern "C" HMODULE KUT_LangLibOpen(const wchar_t* path) { return kut::platform::LoadLib(path); }

extern "C" int KUT_LangLibString(HMODULE lib, unsigned int id, wchar_t* buf, int cap) {
    return kut::platform::ReadString(lib, id, buf, cap);
}

extern "C" void KUT_LangLibClose(HMODULE lib) { kut::platform::FreeLib(lib); }
