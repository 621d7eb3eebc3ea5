#include "platform/program_dir.h"

#include <unistd.h>

#include <climits>

namespace tolv {

namespace {

std::string executable_path() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return "";
    return std::string(path, static_cast<size_t>(length));
}

}  // namespace

std::string program_dir() {
    std::string text = executable_path();
    size_t slash = text.rfind('/');
    if (slash == std::string::npos) return "./";
    return text.substr(0, slash + 1);
}

std::string program_file_name() {
    std::string text = executable_path();
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace tolv
