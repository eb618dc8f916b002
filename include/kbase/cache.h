#ifndef KBASE_CACHE_H
#define KBASE_CACHE_H
#include "kbase/export.h"
#endif
