#ifndef KUT_IMG_H
#define KUT_IMG_H
#include "kut/types.h"
#endif
