// kbase: product directories, configuration files, file services, name
// stacks, the object cache and bitmap files of the product family.
//
// This is the interface kut calls; siblings/kbase is our stand-in for the
// real library, built as its own shared library so that the real one can
// replace it without rebuilding kut. Every function has C linkage.
#ifndef KBASE_KBASE_H
#define KBASE_KBASE_H

#include "kbase/export.h"
#include "kbase/repert.h"
#include "kbase/files.h"
#include "kbase/stack.h"
#include "kbase/cache.h"
#include "kbase/graf.h"

#endif
