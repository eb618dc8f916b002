#ifndef KUT_FILE_H
#define KUT_FILE_H
#include "kut/types.h"
#endif
