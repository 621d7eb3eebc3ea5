// The source writer: a parsed pattern back to text, in one canonical
// spelling (the RegExp's source property and its text form).
#pragma once

#include <string>

#include "regexp/pattern_tree.h"

namespace tolv::regexp {

// Appends the pattern's text (UTF-8) to `out`.
void write_source(const ParsedPattern& pattern, std::string& out);

}  // namespace tolv::regexp
