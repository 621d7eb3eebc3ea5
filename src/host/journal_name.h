// A request may name its own journal file ("l" record) within the directory
// of the configured LOGFILE.
#pragma once

#include <string_view>

namespace tolv {

// Replaces the file part of the configured LOGFILE with `name`; false (and
// nothing changed) when the name could leave that directory or there is no
// directory part to keep.
bool apply_journal_name(std::string_view name);

}  // namespace tolv
