// The message-box hook: KUT_SetMessageBoxHook and the ShowMessageBox that honours it.
#include "platform/platform.h"
#include "kut/kut_ext.h"

namespace {
KUT_MessageBoxHook g_hook = nullptr;
}

extern "C" void KUT_SetMessageBoxHook(KUT_MessageBoxHook hook) { g_hook = hook; }

namespace kut::platform {

int ShowMessageBox(const wchar_t* text, const wchar_t* caption, unsigned style) {
    if (g_hook) return g_hook(text, caption, style);
    return SystemMessageBox(text, caption, style);
}

}  // namespace kut::platform
