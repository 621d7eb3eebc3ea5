// The clock's two readings agree with each other.
#include <gtest/gtest.h>

#include "platform/clock.h"

namespace tolv::tests {
namespace {

// Scripts compare `new Date()` (milliseconds) with `Date.now()` (seconds):
// a reading in seconds taken after one in milliseconds never names an
// earlier second. The loop spans at least one change of second.
TEST(Clock, SecondsNeverLagMilliseconds) {
    const int64_t start = now_milliseconds();
    while (now_milliseconds() - start < 1100) {
        const int64_t ms = now_milliseconds();
        const int64_t s = now_seconds();
        ASSERT_GE(s, ms / 1000) << "milliseconds " << ms;
    }
}

}  // namespace
}  // namespace tolv::tests
