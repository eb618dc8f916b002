// Name stacks and word copies. Memory comes from the system table, so that a
// test build can make any of these allocations fail.
#include "kbase/stack.h"
#include "sys.h"

#include <cstring>
#include <cwchar>

struct KSTACK {
    unsigned char* data;
    std::size_t elemSize;
    std::size_t count;
    std::size_t capacity;
};

namespace {

void SetStatus(int* status, int value) {
    if (status) *status = value;
}

// Makes room for one more element; false when memory runs out.
bool Reserve(KSTACK* s) {
    if (s->count < s->capacity) return true;
    std::size_t cap = s->capacity ? s->capacity * 2 : 8;
    void* p = kbase::Sys().realloc(s->data, cap * s->elemSize);
    if (!p) return false;
    s->data = static_cast<unsigned char*>(p);
    s->capacity = cap;
    return true;
}

}  // namespace

extern "C" KSTACK* _STACK_Open(int* status, int initial, int elemSize) {
    SetStatus(status, 255);
    if (elemSize < 1) return nullptr;
    auto* s = static_cast<KSTACK*>(kbase::Sys().alloc(sizeof(KSTACK)));
    if (!s) return nullptr;
    s->elemSize = static_cast<std::size_t>(elemSize);
    s->count = 0;
    s->capacity = initial > 0 ? static_cast<std::size_t>(initial) : 0;
    s->data = nullptr;
    if (s->capacity) {
        s->data = static_cast<unsigned char*>(kbase::Sys().alloc(s->capacity * s->elemSize));
        if (!s->data) {
            kbase::Sys().free(s);
            return nullptr;
        }
    }
    SetStatus(status, 0);
    return s;
}

extern "C" int _STACK_Make(int* status, KSTACK* stack, KSTACK_PRODUCER producer, void* ctx) {
    if (!stack || !producer) {
        SetStatus(status, 255);
        return 255;
    }
    for (;;) {
        if (!Reserve(stack)) {
            SetStatus(status, 255);
            return 255;
        }
        void* slot = nullptr;
        if (producer(&slot, ctx) == -1) break;
        unsigned char* dst = stack->data + stack->count * stack->elemSize;
        if (slot) {
            std::memcpy(dst, slot, stack->elemSize);
        } else {
            std::memset(dst, 0, stack->elemSize);
        }
        ++stack->count;
    }
    SetStatus(status, 0);
    return 0;
}

extern "C" int _STACK_Scan(int* status, KSTACK* stack, KSTACK_VISITOR visitor, void* /*reserved*/, void* ctx) {
    if (!stack || !visitor) {
        SetStatus(status, 255);
        return 255;
    }
    int result = 0;
    for (std::size_t i = 0; i < stack->count; ++i) {
        int answer = visitor(stack->data + i * stack->elemSize, ctx);
        if (answer != 0 && result == 0) result = answer;
    }
    SetStatus(status, result != 0 ? 255 : 0);
    return result;
}

extern "C" int _STACK_Del(int* status, KSTACK* stack, KSTACK_FREE freeFn) {
    SetStatus(status, 0);
    if (!stack) return 0;
    if (freeFn) {
        for (std::size_t i = 0; i < stack->count; ++i) freeFn(stack->data + i * stack->elemSize);
    }
    kbase::Sys().free(stack->data);
    kbase::Sys().free(stack);
    return 0;
}

extern "C" int _STACK_Count(const KSTACK* stack) { return stack ? static_cast<int>(stack->count) : 0; }

extern "C" wchar_t* _WORD_Dup(int* status, const wchar_t* text) {
    SetStatus(status, 255);
    if (!text) return nullptr;
    std::size_t n = std::wcslen(text) + 1;
    auto* copy = static_cast<wchar_t*>(kbase::Sys().alloc(n * sizeof(wchar_t)));
    if (!copy) return nullptr;
    std::wmemcpy(copy, text, n);
    SetStatus(status, 0);
    return copy;
}

extern "C" void _WORD_Free(int* status, void* element) {
    if (!element) {
        SetStatus(status, 255);
        return;
    }
    auto** p = static_cast<wchar_t**>(element);
    kbase::Sys().free(*p);
    *p = nullptr;
    SetStatus(status, 0);
}
