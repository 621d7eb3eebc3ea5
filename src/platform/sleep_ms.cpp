#include "platform/sleep_ms.h"

#include <cerrno>
#include <ctime>

namespace tolv {

void sleep_ms(uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    // Resume after a signal with the time still left.
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

}  // namespace tolv
