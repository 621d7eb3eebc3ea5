// The String methods that take a pattern: replace, replaceAll, split,
// search, str_match and str_matchAll.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

ValueHandle string_replace(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_replace_all(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_split(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_search(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_match(ValueHandle receiver, const ValueHandle* args, uint32_t count);
ValueHandle string_match_all(ValueHandle receiver, const ValueHandle* args, uint32_t count);

// Puts the handlers above into the String method list.
void install_regexp_string_methods();

}  // namespace tolv
