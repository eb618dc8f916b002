#ifndef KUT_UNITS_H
#define KUT_UNITS_H
#include "kut/types.h"
#endif
