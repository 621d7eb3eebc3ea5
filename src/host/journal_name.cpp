#include "host/journal_name.h"

#include <string>

#include "host/config.h"

namespace tolv {
namespace {

constexpr size_t LOGFILE_LIMIT = 255;

}  // namespace

bool apply_journal_name(std::string_view name) {
    std::string& logfile = g_config.logfile;
    size_t slash = logfile.rfind('/');
    if (logfile.empty() || slash == std::string::npos) return false;
    if (name.empty() || name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos ||
        name.find("..") != std::string_view::npos) {
        return false;
    }
    if (slash + 1 + name.size() > LOGFILE_LIMIT) return false;
    logfile.replace(slash + 1, std::string::npos, name);
    return true;
}

}  // namespace tolv
