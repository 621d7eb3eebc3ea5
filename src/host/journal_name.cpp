#include "host/journal_name.h"

#include <string>
#include <strings.h>

#include "host/config.h"
#include "platform/program_dir.h"

namespace tolv {
namespace {

constexpr size_t LOGFILE_LIMIT = 255;
constexpr size_t NAME_LIMIT = 64;

// Letters, digits, "_", "-" and "." only, not hidden: nothing that could
// climb out of the directory, name a device or hide a file.
bool is_plain_file_name(std::string_view name) {
    if (name.empty() || name.size() > NAME_LIMIT || name.front() == '.') return false;
    for (char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '-' || c == '.';
        if (!plain) return false;
    }
    return true;
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The configuration and the program live beside a journal that was set up
// next to them; a request must never be able to write over or beside them.
bool is_reserved_name(std::string_view name) {
    return same_name(name, "TOLV.config") || same_name(name, "mongoTOLV.config") ||
           same_name(name, program_file_name());
}

}  // namespace

bool apply_journal_name(std::string_view name) {
    std::string& logfile = g_config.logfile;
    size_t slash = logfile.rfind('/');
    if (logfile.empty() || slash == std::string::npos) return false;
    std::string_view file_part = std::string_view(logfile).substr(slash + 1);
    size_t dot = file_part.rfind('.');
    std::string_view extension = dot == std::string_view::npos || dot == 0 ? ".log" : file_part.substr(dot);
    if (!is_plain_file_name(name) || is_reserved_name(name)) return false;
    if (name.size() <= extension.size() || name.substr(name.size() - extension.size()) != extension) return false;
    if (slash + 1 + name.size() > LOGFILE_LIMIT) return false;
    logfile.replace(slash + 1, std::string::npos, name);
    return true;
}

}  // namespace tolv
