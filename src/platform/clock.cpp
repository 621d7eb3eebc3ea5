#include "platform/clock.h"

#include <ctime>

namespace tolv {

int64_t now_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

int64_t now_milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace tolv
