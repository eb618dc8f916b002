#ifndef KBASE_GRAF_H
#define KBASE_GRAF_H
#include "kbase/export.h"
#endif
