// The pattern parser: pattern text (UTF-16 units) to its tree, raising the
// numbered error of the first fault with `raise`.
#pragma once

#include <cstddef>
#include <cstdint>

#include "regexp/pattern_tree.h"
#include "runtime/errors.h"

namespace tolv::regexp {

// `text` is the pattern as written (UTF-8), quoted by messages.
ParsedPattern parse_pattern(const uint16_t* units, size_t count, const char* text, RaiseFunction raise);

}  // namespace tolv::regexp
