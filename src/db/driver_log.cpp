#include "db/driver_log.h"

#include <string>

#include "db/driver_api.h"
#include "runtime/journal_lines.h"

namespace tolv {

namespace {

const char* level_text(mongoc_log_level_t level) {
    switch (level) {
    case MONGOC_LOG_LEVEL_ERROR: return "ERROR";
    case MONGOC_LOG_LEVEL_CRITICAL: return "CRITICAL";
    case MONGOC_LOG_LEVEL_WARNING: return "WARNING";
    default: return nullptr;
    }
}

// The runner's clients are single-threaded (no pool, no background monitor
// thread), so the driver logs from the request's own thread.
void to_journal(mongoc_log_level_t level, const char* domain, const char* message, void*) {
    const char* level_name = level_text(level);
    if (!level_name) return;  // messages, information, debugging, tracing
    std::string line = "MONGODB DRIVER ";
    line += level_name;
    line += " (";
    line += domain ? domain : "";
    line += ") : ";
    line += message ? message : "";
    line += '\n';
    journal_append(line.data(), line.size());
}

}  // namespace

void install_driver_log_handler() { g_mongoc.mongoc_log_set_handler(to_journal, nullptr); }

}  // namespace tolv
