// Registry of the language libraries the K_MSG objects load, so that a copy can reopen them.
#include "msg/libs.h"

#include <map>
#include <mutex>
#include <new>
#include <string>

#include "platform/platform.h"

namespace kut::msg {

namespace {

struct Loaded {
    std::wstring path;
    int handles = 0;  // Windows hands out one handle per module, counted
};

// Every K_MSG construction, copy and destruction goes through the registry,
// whichever thread does it, while the objects themselves belong to one thread
// each: the registry is the one piece they share, hence its lock.
std::mutex g_registryLock;

using RegistryMap = std::map<HMODULE, Loaded>;

// Never destroyed: a K_MSG with static storage may be destroyed after this
// file's statics. Built in place, so that making it needs no memory.
RegistryMap* Registry() {
    alignas(RegistryMap) static unsigned char storage[sizeof(RegistryMap)];
    static RegistryMap* registry = new (storage) RegistryMap();
    return registry;
}

}  // namespace

HMODULE OpenLib(const wchar_t* path) {
    HMODULE lib = kut::platform::LoadLib(path);
    if (!lib) return nullptr;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(g_registryLock);
        RegistryMap* registry = Registry();
        if (registry) {
            try {
                Loaded& entry = (*registry)[lib];
                if (entry.handles == 0) entry.path = path;
                ++entry.handles;
                known = true;
            } catch (...) {
                // No memory for the entry: an entry that the insert left
                // without a path must not stay behind.
                auto it = registry->find(lib);
                if (it != registry->end() && it->second.handles == 0) registry->erase(it);
            }
        }
    }
    // A handle the registry does not know could not be copied or counted:
    // the load fails as a whole, as when the file is missing.
    if (!known) {
        kut::platform::FreeLib(lib);
        return nullptr;
    }
    return lib;
}

HMODULE ReopenLib(HMODULE lib) {
    if (!lib) return nullptr;
    wchar_t path[KUT_PATH_MAX];
    {
        std::lock_guard<std::mutex> lock(g_registryLock);
        RegistryMap* registry = Registry();
        if (!registry) return nullptr;
        auto it = registry->find(lib);
        if (it == registry->end() || it->second.path.size() >= KUT_PATH_MAX) return nullptr;
        // A copy: on Windows the same entry is rewritten from this path.
        it->second.path.copy(path, it->second.path.size());
        path[it->second.path.size()] = L'\0';
    }
    return OpenLib(path);
}

void CloseLib(HMODULE lib) {
    if (!lib) return;
    {
        std::lock_guard<std::mutex> lock(g_registryLock);
        RegistryMap* registry = Registry();
        if (registry) {
            auto it = registry->find(lib);
            if (it != registry->end() && --it->second.handles <= 0) registry->erase(it);
        }
    }
    kut::platform::FreeLib(lib);
}

}  // namespace kut::msg
