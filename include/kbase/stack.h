// Name stacks: growable arrays of fixed-size elements, kept in the order in
// which they were made. Every call takes a pointer to a signed 32-bit status
// first: 0 success, 255 failure (a null status pointer is allowed).
#ifndef KBASE_STACK_H
#define KBASE_STACK_H

#include <wchar.h>
#include "kbase/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KSTACK KSTACK;
// Producer: points *slot at the bytes of the next element (the stack copies
// one element's size from there) and answers anything but -1; -1 ends the
// filling and stores nothing. *slot is null on entry; an answer that leaves
// it null stores an element of zero bytes.
typedef int (*KSTACK_PRODUCER)(void** slot, void* ctx);
// Visitor: receives the address of one element; 0 means it went well.
typedef int (*KSTACK_VISITOR)(void* element, void* ctx);
// Releases what one element holds; receives the element's address.
typedef void (*KSTACK_FREE)(void* element);

// A stack with room for `initial` elements of `elemSize` bytes to begin with
// (it grows as needed). Null and status 255 for a size below 1 or when
// memory runs out.
KBASE_API KSTACK* _STACK_Open(int* status, int initial, int elemSize);

// Calls producer(slot, ctx) until it answers -1 and appends the element it
// points at after every other answer, whatever the answer is: an answer of 0
// and, say, 3 both store the element and the filling goes on. (Leaving an
// element out is the producer's business: the directory walks loop inside
// their producer while their handler answers 255, so 255 never reaches here.)
// Room for the next element is made before the producer is called, so an
// element produced is always stored: when memory runs out the filling stops
// before asking the producer again, with status and result 255. Else 0.
KBASE_API int _STACK_Make(int* status, KSTACK* stack, KSTACK_PRODUCER producer, void* ctx);

// Calls visitor(element address, ctx) for every element, in the order they
// were stored. A nonzero answer does not stop the scan: the remaining
// elements are visited as well, and the first nonzero answer becomes the
// result, with status 255, so that a walk built on the scan reports it.
// All answers 0: result 0, status 0. `reserved` is not used. A null stack or
// visitor: 255.
KBASE_API int _STACK_Scan(int* status, KSTACK* stack, KSTACK_VISITOR visitor, void* reserved, void* ctx);

// Hands every element's address to freeFn (when not null), then releases the
// stack. A null stack is nothing to delete: status and result 0.
KBASE_API int _STACK_Del(int* status, KSTACK* stack, KSTACK_FREE freeFn);

// Number of elements (0 for a null stack).
KBASE_API int _STACK_Count(const KSTACK* stack);

// A heap copy of text (null and status 255 for a null text or no memory).
KBASE_API wchar_t* _WORD_Dup(int* status, const wchar_t* text);
// Frees the copy whose pointer is stored at `element` and nulls the pointer.
// A null element address: status 255.
KBASE_API void _WORD_Free(int* status, void* element);

#ifdef __cplusplus
}
#endif
#endif
