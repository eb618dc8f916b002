#ifndef KUT_MSG_H
#define KUT_MSG_H
#include "kut/types.h"
#endif
