// Name stacks: growable arrays of fixed-size elements. Every call takes a
// pointer to a signed 32-bit status first: 0 success, 255 failure.
#ifndef KBASE_STACK_H
#define KBASE_STACK_H

#include <wchar.h>
#include "kbase/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KSTACK KSTACK;
// Producer: fills the element at `slot` and answers 0 (or another value, see
// _STACK_Make); -1 ends the filling.
typedef int (*KSTACK_PRODUCER)(void* slot, void* ctx);
// Visitor: receives the address of one element.
typedef int (*KSTACK_VISITOR)(void* element, void* ctx);
// Releases what one element holds; receives the element's address.
typedef void (*KSTACK_FREE)(void* element);

KBASE_API KSTACK* _STACK_Open(int* status, int initial, int elemSize);
KBASE_API int _STACK_Make(int* status, KSTACK* stack, KSTACK_PRODUCER producer, void* ctx);
KBASE_API int _STACK_Scan(int* status, KSTACK* stack, KSTACK_VISITOR visitor, void* reserved, void* ctx);
KBASE_API int _STACK_Del(int* status, KSTACK* stack, KSTACK_FREE freeFn);
KBASE_API wchar_t* _WORD_Dup(int* status, const wchar_t* text);
// Frees the copy whose pointer is stored at `element` and nulls it.
KBASE_API void _WORD_Free(int* status, void* element);

#ifdef __cplusplus
}
#endif
#endif
