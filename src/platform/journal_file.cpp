#include "platform/journal_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tolv {

int journal_file_open(const char* path) {
    // O_NONBLOCK: opening a FIFO without a reader fails at once (ENXIO)
    // instead of holding the finished request's process for ever.
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        if (errno == ENXIO) errno = JOURNAL_NOT_A_FILE;
        return -1;
    }
    // A FIFO or socket with a reader could still stall the write; files and
    // character devices (/dev/null) cannot.
    struct stat status;
    if (fstat(fd, &status) != 0 || !(S_ISREG(status.st_mode) || S_ISCHR(status.st_mode))) {
        close(fd);
        errno = JOURNAL_NOT_A_FILE;
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
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
