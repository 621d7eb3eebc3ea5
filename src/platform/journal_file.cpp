#include "platform/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace tolv {

int journal_file_open(const char* path) {
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool journal_file_write(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

void journal_file_close(int fd) {
    // Closing the last descriptor of the open file also drops its lock.
    close(fd);
}

}  // namespace tolv
