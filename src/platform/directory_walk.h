// Recursive listing of the files under a directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolv {

struct DirectoryFile {
    std::string relative_path;  // from the walked directory, "/" separated
    int64_t write_time;         // last modification, seconds since 1970 (UTC)
    uint64_t size;              // bytes
};

// Appends every regular file under `dir` (subdirectories included, "." and
// ".." skipped) to `out`, in no particular order. A symbolic link counts as
// what it points to; a directory already being walked higher up is not
// entered again. False when `dir` itself cannot be read; unreadable
// subdirectories are left out.
bool walk_directory(const std::string& dir, std::vector<DirectoryFile>& out);

}  // namespace tolv
