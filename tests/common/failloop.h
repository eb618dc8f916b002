// Allocation failure from the N-th call on, for N = 0, 1, 2 ... until a run
// completes: the loop shared by the tests that arm an allocator to fail.
#ifndef KUT_TESTS_FAILLOOP_H
#define KUT_TESTS_FAILLOOP_H

#include <gtest/gtest.h>

namespace kuttest {

// Runs `run` with `arm(n)` in force (the allocator fails from its n-th call;
// arm(-1) lets every call succeed again) and hands `judge(n, failures)` the
// count that `failures()` gives before disarming. Stops after the first run
// in which nothing failed and returns its n, the calls a clean run makes. An
// exception out of `run` is a failure of its own: the library answers
// failures with values.
template <class Arm, class Failures, class Run, class Judge>
long FailFromEachCall(Arm arm, Failures failures, Run run, Judge judge, long limit = 20000) {
    for (long n = 0; n < limit; ++n) {
        bool escaped = false;
        arm(n);
        try {
            run();
        } catch (...) { escaped = true; }
        const long failed = failures();
        arm(-1);
        EXPECT_FALSE(escaped) << "an exception came out with allocations failing from call " << n;
        judge(n, failed);
        if (failed == 0) return n;
    }
    ADD_FAILURE() << "still failing after " << limit << " calls";
    return -1;
}

}  // namespace kuttest

#endif
