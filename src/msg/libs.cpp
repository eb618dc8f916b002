#include "msg/libs.h"

#include <map>
#include <string>

#include "platform/platform.h"

namespace kut::msg {

namespace {

struct Loaded {
    std::wstring path;
    int handles = 0;   // Windows hands out one handle per module, counted
};

// Never destroyed: a K_MSG with static storage may be destroyed after this
// file's statics.
std::map<HMODULE, Loaded>& Registry() {
    static auto* registry = new std::map<HMODULE, Loaded>();
    return *registry;
}

}  // namespace

HMODULE OpenLib(const wchar_t* path) {
    HMODULE lib = kut::platform::LoadLib(path);
    if (lib) {
        Loaded& entry = Registry()[lib];
        entry.path = path;
        ++entry.handles;
    }
    return lib;
}

HMODULE ReopenLib(HMODULE lib) {
    if (!lib) return nullptr;
    auto it = Registry().find(lib);
    if (it == Registry().end()) return nullptr;
    // A copy: on Windows the same entry is rewritten from this path.
    std::wstring path = it->second.path;
    return OpenLib(path.c_str());
}

void CloseLib(HMODULE lib) {
    if (!lib) return;
    auto it = Registry().find(lib);
    if (it != Registry().end() && --it->second.handles <= 0) Registry().erase(it);
    kut::platform::FreeLib(lib);
}

}  // namespace kut::msg
