// The journal file: opened for appending under an exclusive lock so that
// concurrent requests add whole blocks one after another.
#pragma once

#include <cerrno>
#include <cstddef>

namespace tolv {

// errno of journal_file_open for a path that is no file to append to.
inline constexpr int JOURNAL_NOT_A_FILE = ESPIPE;

// Opens (creating with mode 0644) `path` for appending and takes an
// exclusive lock without waiting. Returns the descriptor, or -1 with errno
// set: EWOULDBLOCK when another process holds the lock (try again later),
// JOURNAL_NOT_A_FILE when the path names something other than a regular
// file or a character device (a FIFO or socket could block the process),
// anything else when the file cannot be opened at all. Never blocks.
int journal_file_open(const char* path);
// Writes all `length` bytes, continuing after short writes. False on error,
// with errno set.
bool journal_file_write(int fd, const char* data, size_t length);
// Releases the lock and closes the descriptor.
void journal_file_close(int fd);

}  // namespace tolv
