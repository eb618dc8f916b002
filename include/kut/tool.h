#ifndef KUT_TOOL_H
#define KUT_TOOL_H
#include "kut/types.h"
#endif
