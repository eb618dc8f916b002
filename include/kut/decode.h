#ifndef KUT_DECODE_H
#define KUT_DECODE_H
#include "kut/types.h"
#endif
