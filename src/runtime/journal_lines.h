// The lines of the request's journal (errors and console output), collected
// in memory while the request runs. The host writes them out as one block.
#pragma once

#include <cstddef>
#include <string>

namespace tolv {

void journal_append(const char* text, size_t length);
void journal_append(const char* text);
// Appends everything collected so far to `out`, oldest first.
void journal_collect(std::string& out);
// Total bytes held.
size_t journal_size();
// Drops what was collected.
void journal_clear();

}  // namespace tolv
