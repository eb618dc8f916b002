// Object cache of the kbase stand-in. See kbase/cache.h for the contract.
#include "kbase/cache.h"

#include <climits>
#include <cstring>

namespace {

bool Live(const CACHE_BLOCK* b) { return b && b->magic == CACHE_MAGIC && b->callback; }

void* Call(CACHE_BLOCK* b, short op, intptr_t a = 0, intptr_t c = 0) {
    // The callback's interface carries pointers as intptr_t.
    return reinterpret_cast<void*>(b->callback(b, op, a, c));  // NOLINT(performance-no-int-to-ptr)
}

CACHE_ENTRY* EntryOf(void* object) {
    return reinterpret_cast<CACHE_ENTRY*>(static_cast<unsigned char*>(object) - CACHE_OBJECT_OFFSET);
}

void* Find(CACHE_BLOCK* b, const void* label) {
    if (!Live(b) || !label || b->count <= 0) return nullptr;
    return Call(b, CACHE_OP_FIND, reinterpret_cast<intptr_t>(label));
}

// Removes slot i; the table's order is the client's business (op 0 sorts it
// before every eviction), so the last entry simply takes the freed slot.
void DropAt(CACHE_BLOCK* b, int i) {
    auto* e = static_cast<CACHE_ENTRY*>(b->table[i]);
    b->used -= e->cost;
    b->table[i] = b->table[b->count - 1];
    b->table[b->count - 1] = nullptr;
    --b->count;
    Call(b, CACHE_OP_FREE, reinterpret_cast<intptr_t>(e));
}

void DropAll(CACHE_BLOCK* b) {
    while (b->count > 0) DropAt(b, b->count - 1);
    b->used = 0;
}

int IndexOf(const CACHE_BLOCK* b, const CACHE_ENTRY* e) {
    for (int i = 0; i < b->count; ++i) {
        if (b->table[i] == e) return i;
    }
    return -1;
}

// The use clock. When it would overflow, the entries are renumbered 1..count
// in their order of use, which keeps that order and restarts the clock low.
int Tick(CACHE_BLOCK* b) {
    if (b->clock >= INT_MAX - 1) {
        Call(b, CACHE_OP_SORT);
        for (int i = 0; i < b->count; ++i) { static_cast<CACHE_ENTRY*>(b->table[i])->use = b->count - i; }
        b->clock = b->count;
    }
    return ++b->clock;
}

bool GrowTable(CACHE_BLOCK* b) {
    if (b->count < b->capacity) return true;
    if (b->capacity >= CACHE_MAX_ENTRIES) return false;
    int cap = b->capacity < 16 ? 16 : b->capacity * 2;
    if (cap > CACHE_MAX_ENTRIES) cap = CACHE_MAX_ENTRIES;
    auto** table = static_cast<void**>(Call(b, CACHE_OP_ALLOC, static_cast<intptr_t>(sizeof(void*)) * cap));
    if (!table) return false;
    if (b->count > 0) std::memcpy(table, b->table, sizeof(void*) * b->count);
    if (b->table) Call(b, CACHE_OP_FREE, reinterpret_cast<intptr_t>(b->table));
    b->table = table;
    b->capacity = static_cast<short>(cap);
    return true;
}

}  // namespace

extern "C" {

short CACHE_Init(CACHE_BLOCK* block, CACHE_CALLBACK callback, int bytes) {
    if (!block) return -1;
    if (Live(block)) CACHE_Close(block);
    std::memset(block, 0, sizeof *block);
    if (!callback) return -1;
    block->callback = callback;
    block->magic = CACHE_MAGIC;
    // The entry layout is fixed; a client that expects another one would
    // read the wrong bytes, so such a cache never stores anything.
    if (callback(block, CACHE_OP_LABEL_OFFSET, 0, 0) != CACHE_LABEL_OFFSET ||
        callback(block, CACHE_OP_OBJECT_OFFSET, 0, 0) != CACHE_OBJECT_OFFSET) {
        return -1;
    }
    block->budget = bytes > 0 ? bytes : 0;
    return 0;
}

void CACHE_Close(CACHE_BLOCK* block) {
    if (!Live(block)) return;
    DropAll(block);
    if (block->table) Call(block, CACHE_OP_FREE, reinterpret_cast<intptr_t>(block->table));
    std::memset(block, 0, sizeof *block);
}

void CACHE_Flush(CACHE_BLOCK* block) {
    if (Live(block)) DropAll(block);
}

short CACHE_FlushObject(CACHE_BLOCK* block, const void* label) {
    void* object = Find(block, label);
    if (!object) return -1;
    int i = IndexOf(block, EntryOf(object));
    if (i < 0) return -1;  // the client's op 4 answered something that is not ours
    DropAt(block, i);
    return 0;
}

short CACHE_CheckExist(CACHE_BLOCK* block) { return Live(block) && block->budget > 0 ? 0 : 1; }

void* CACHE_FindObject(CACHE_BLOCK* block, const void* label, int* size, void** entry) {
    void* object = Find(block, label);
    if (size) *size = object ? EntryOf(object)->size : 0;
    if (entry) *entry = object ? EntryOf(object) : nullptr;
    return object;
}

void* CACHE_GetObject(CACHE_BLOCK* block, const void* label, int* size) {
    void* object = Find(block, label);
    if (object) EntryOf(object)->use = Tick(block);
    if (size) *size = object ? EntryOf(object)->size : 0;
    return object;
}

short CACHE_MakeRoom(CACHE_BLOCK* block, const void* label, int bytes, void** object) {
    if (object) *object = nullptr;
    if (!object || !label || !Live(block) || block->budget <= 0 || bytes <= 0) return 1;
    long long cost = (static_cast<long long>(CACHE_OBJECT_OFFSET) + bytes + 7) / 8 * 8;
    if (cost > block->budget) return 1;

    CACHE_FlushObject(block, label);
    if (block->used + cost > block->budget) {
        Call(block, CACHE_OP_SORT);  // most recently used first: evict from the end
        while (block->count > 0 && block->used + cost > block->budget) { DropAt(block, block->count - 1); }
    }
    if (!GrowTable(block)) return 1;
    auto* e = static_cast<CACHE_ENTRY*>(Call(block, CACHE_OP_ALLOC, static_cast<intptr_t>(cost)));
    if (!e) return 1;
    std::memset(e, 0, static_cast<size_t>(cost));
    e->size = bytes;
    e->cost = cost;
    std::memcpy(e->label, label, CACHE_LABEL_SIZE);
    e->use = Tick(block);
    block->table[block->count++] = e;
    block->used += cost;
    *object = CACHE_ObjectPtr(block, e);
    return 0;
}

void* CACHE_LabelPtr(CACHE_BLOCK* /*block*/, void* entry) {
    return entry ? static_cast<unsigned char*>(entry) + CACHE_LABEL_OFFSET : nullptr;
}

void* CACHE_ObjectPtr(CACHE_BLOCK* /*block*/, void* entry) {
    return entry ? static_cast<unsigned char*>(entry) + CACHE_OBJECT_OFFSET : nullptr;
}

}  // extern "C"
