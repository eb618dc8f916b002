// Object cache: labelled blocks of memory kept under a byte budget.
//
// The cache knows nothing about its client's labels or memory. Everything
// that depends on them goes through the client's callback, which CACHE_Init
// stores at the start of the control block:
//
//   op 0  order the entry table, largest use value (byte 4 of an entry) first
//   op 1  allocate a zeroed bytes, result the memory (null on failure)
//   op 2  free the memory a
//   op 3  compare the labels a and b, 0 when equal
//   op 4  find the entry labelled a, result its object (CACHE_ObjectPtr)
//   op 5  where an entry's label begins (must answer CACHE_LABEL_OFFSET)
//   op 6  where an entry's object begins (must answer CACHE_OBJECT_OFFSET)
//
// Every byte the cache holds (entries and the entry table) comes from op 1
// and goes back through op 2.
//
// Budget: an object of n bytes costs CACHE_OBJECT_OFFSET + n bytes rounded
// up to 8 (the entry as allocated). The entry table is not charged. A
// budget of 0 is a cache without memory: nothing is ever stored.
//
// Eviction: each entry carries a use value at byte 4, taken from a clock in
// the control block that ticks on every CACHE_MakeRoom and every hit of
// CACHE_GetObject (CACHE_FindObject is a probe and does not count as a use).
// When room is needed the cache has the client sort the table (op 0) and
// drops entries from its end, the least recently used first.
//
// Labels are CACHE_LABEL_SIZE bytes (the product's labels are two 16-bit
// numbers); the entry keeps a copy in the 8 bytes at CACHE_LABEL_OFFSET.
#ifndef KBASE_CACHE_H
#define KBASE_CACHE_H

#include <stddef.h>
#include <stdint.h>
#include "kbase/export.h"

#ifdef __cplusplus
extern "C" {
#endif

// The operations of the client callback (see above).
enum {
    CACHE_OP_SORT = 0,
    CACHE_OP_ALLOC = 1,
    CACHE_OP_FREE = 2,
    CACHE_OP_COMPARE = 3,
    CACHE_OP_FIND = 4,
    CACHE_OP_LABEL_OFFSET = 5,
    CACHE_OP_OBJECT_OFFSET = 6
};

struct CACHE_BLOCK;
// Client callback: (control block, operation, a, b) -> pointer-sized result.
typedef intptr_t (*CACHE_CALLBACK)(struct CACHE_BLOCK* block, short op, intptr_t a, intptr_t b);

// The control block, 48 bytes. Clients may read the callback pointer (0), the
// entry count (26) and the entry table (40); the rest belongs to the cache.
// A block must be zero (static storage, or after CACHE_Close) or live.
typedef struct CACHE_BLOCK {
    CACHE_CALLBACK callback;  // 0
    long long budget;         // 8: bytes the entries may take
    long long used;           // 16: bytes the entries take
    short capacity;           // 24: slots of the entry table
    short count;              // 26: entries
    int clock;                // 28: last use value handed out
    int magic;                // 32: CACHE_MAGIC while the block is live
    int reserved;             // 36
    void** table;             // 40: entry pointers
} CACHE_BLOCK;

// One entry, followed by its object.
typedef struct CACHE_ENTRY {
    int size;                // 0: object bytes
    int use;                 // 4: use value, larger is more recent
    long long cost;          // 8: bytes charged to the budget
    unsigned char label[8];  // 16
} CACHE_ENTRY;               // object at 24

enum {
    CACHE_LABEL_OFFSET = 16,
    CACHE_OBJECT_OFFSET = 24,
    CACHE_LABEL_SIZE = 4,
    CACHE_MAX_ENTRIES = 32767,
    CACHE_MAGIC = 0x4843414B  // "KACH"
};

// Sets up (or resets) the cache in `block` with `bytes` of budget (below 1:
// no memory). A block that is live already drops its objects first. The
// callback must answer ops 5 and 6 with the offsets above; if it does not,
// the block is set up without memory and the result is -1. Otherwise 0.
KBASE_API short CACHE_Init(CACHE_BLOCK* block, CACHE_CALLBACK callback, int bytes);
// Drops every object, frees the table and zeroes the block.
KBASE_API void CACHE_Close(CACHE_BLOCK* block);
// Drops every object; the cache stays usable.
KBASE_API void CACHE_Flush(CACHE_BLOCK* block);
// Drops the object labelled `label`: 0, or -1 when there is none.
KBASE_API short CACHE_FlushObject(CACHE_BLOCK* block, const void* label);
// 0 when the block holds a live cache that can store objects; 1 when it is
// not set up or has no memory (so there is no point in asking for room).
KBASE_API short CACHE_CheckExist(CACHE_BLOCK* block);
// The object labelled `label`, or null. Does not count as a use. When given,
// *size receives its byte count and *entry its entry (both 0/null on a miss).
KBASE_API void* CACHE_FindObject(CACHE_BLOCK* block, const void* label, int* size, void** entry);
// The object labelled `label`, or null; a hit counts as a use. When given,
// *size receives its byte count (0 on a miss).
KBASE_API void* CACHE_GetObject(CACHE_BLOCK* block, const void* label, int* size);
// Makes room for an object of `bytes` bytes labelled `label`, evicting the
// least recently used objects when the budget requires it. An object already
// under that label is dropped first. On success *object receives zeroed
// memory of `bytes` bytes and the result is 0. Nonzero, with *object null,
// when the cache has no memory, the object can never fit in the budget, or
// memory runs out (objects evicted by then stay evicted).
KBASE_API short CACHE_MakeRoom(CACHE_BLOCK* block, const void* label, int bytes, void** object);
// Where the label and the object of `entry` begin.
KBASE_API void* CACHE_LabelPtr(CACHE_BLOCK* block, void* entry);
KBASE_API void* CACHE_ObjectPtr(CACHE_BLOCK* block, void* entry);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(CACHE_BLOCK) == 48 || sizeof(void*) != 8, "control block is 48 bytes");
static_assert(offsetof(CACHE_BLOCK, callback) == 0, "callback at 0");
static_assert(offsetof(CACHE_BLOCK, count) == 26, "entry count at 26");
static_assert(offsetof(CACHE_BLOCK, table) == 40 || sizeof(void*) != 8, "entry table at 40");
static_assert(offsetof(CACHE_ENTRY, use) == 4, "use value at 4");
static_assert(offsetof(CACHE_ENTRY, label) == CACHE_LABEL_OFFSET, "label at 16");
static_assert(sizeof(CACHE_ENTRY) == CACHE_OBJECT_OFFSET, "object at 24");
#endif

#endif
