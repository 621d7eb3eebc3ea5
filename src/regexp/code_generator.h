// The code generator: a parsed pattern to the matcher's program image
// (program.h), with the source text stored after the program.
#pragma once

#include <cstdint>
#include <string>

#include "regexp/pattern_tree.h"
#include "regexp/regexp.h"

namespace tolv::regexp {

void generate_program(const ParsedPattern& pattern, uint8_t flags, const std::string& source, CompiledPattern& out);

}  // namespace tolv::regexp
