#ifndef KUT_MSGMNGR_H
#define KUT_MSGMNGR_H
#include "kut/types.h"
#endif
