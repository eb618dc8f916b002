#ifndef KUT_KSTATE_H
#define KUT_KSTATE_H
#include "kut/types.h"
#endif
