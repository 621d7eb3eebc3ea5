// A request may name its own journal file ("l" record) within the directory
// of the configured LOGFILE.
#pragma once

#include <string_view>

namespace tolv {

// Replaces the file part of the configured LOGFILE with `name`; false (and
// nothing changed) when there is no directory part to keep or the name is
// not a plain file name (letters, digits, "_", "-", "."; not starting with
// "."; at most 64 bytes) ending with the LOGFILE's own extension (".log"
// when it has none), or names the configuration or the program.
bool apply_journal_name(std::string_view name);

}  // namespace tolv
