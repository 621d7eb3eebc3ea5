// The String methods that take a pattern: replace, replaceAll and split
// with a RegExp (the text forms are the String methods' own), search,
// str_match and str_matchAll.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

ValueHandle pattern_replace(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle pattern_replace_all(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle pattern_split(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle pattern_search(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle pattern_match(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle pattern_match_all(ValueHandle receiver, const ValueHandle* args, uint32_t count);

// Puts the handlers above into the String method table.
void install_regexp_string_methods();

}  // namespace tolv
