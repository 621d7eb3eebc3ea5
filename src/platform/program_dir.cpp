#include "platform/program_dir.h"

#include <unistd.h>

#include <climits>

namespace tolv {

std::string program_dir() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return "./";
    std::string text(path, static_cast<size_t>(length));
    size_t slash = text.rfind('/');
    if (slash == std::string::npos) return "./";
    return text.substr(0, slash + 1);
}

}  // namespace tolv
