// The operating-system calls of the file services and the name stacks, all
// in one table (kbase/testing.h describes it). sys.cpp holds the two
// backends; everything else in the stand-in is the same on both systems and
// calls the system only through Sys().
#ifndef KBASE_SYS_H
#define KBASE_SYS_H

#include "kbase/testing.h"

namespace kbase {

const KBASE_SYSCALLS& Sys();

}  // namespace kbase

#endif
