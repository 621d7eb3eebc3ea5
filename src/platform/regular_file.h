// Opening files that must be plain files on disk (module sources and images).
#pragma once

#include <cstdio>

namespace tolv {

// Opens `path` for binary reading when it names a regular file; nullptr for
// anything else (missing, a directory, a FIFO, a device, a socket). Never
// blocks: a FIFO without a writer is refused, not waited for.
std::FILE* open_regular_file(const char* path);

}  // namespace tolv
