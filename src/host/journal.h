// The request's journal: every error and console line, kept in memory and
// written to the LOGFILE once at the end as one block under an exclusive lock.
#pragma once

#include <cstddef>
#include <string>

#include "runtime/journal_lines.h"

namespace tolv {

// The request's start time text, "%d/%02d/%02d %02d:%02d:%02d" (local time).
void journal_set_start_time(const std::string& text);
// Writes the block (start line, contents, end line) to `path` and empties the
// journal. Retries a locked file 50 times 100 ms apart; after that writes the
// 9999 record and drops the journal. Returns true when the block was written.
bool journal_write(const std::string& path);
// The same with the number of open attempts and the pause between them.
bool journal_write(const std::string& path, int attempts, unsigned retry_delay_ms);
void journal_reset();

// "%d/%02d/%02d %02d:%02d:%02d" of the current local time.
std::string local_time_text();

}  // namespace tolv
