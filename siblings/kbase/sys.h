// The operating-system calls of the stand-in, all in one table
// (kbase/testing.h describes it). sys.cpp holds the two backends; everything
// else in the stand-in is the same on both systems and calls the system only
// through Sys().
#ifndef KBASE_SYS_H
#define KBASE_SYS_H

#include <ctime>

#include "kbase/testing.h"

namespace kbase {

const KBASE_SYSCALLS& Sys();

// The local calendar time of t (seconds since 1970-01-01 UTC); false when
// the run-time cannot say.
bool LocalTime(long long t, std::tm* out);

}  // namespace kbase

#endif
