#include "platform/clock.h"

#include <ctime>

namespace tolv {

// Both readings come from the same clock. time() reads the kernel's coarse
// clock, which lags CLOCK_REALTIME by up to a tick: just after a second
// began, a reading in seconds taken later could name the second before.
int64_t now_seconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec);
}

int64_t now_milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace tolv
