// Records that scripts send to the front end: "s" scalars, "A" arrays and
// "H" hashes (nested containers first, under "^A500001"-style names), and
// alerts.
#pragma once

#include <cstddef>

#include "runtime/value.h"

namespace tolv {

// Writes the record for `value` under `name`: an "s" record for scalars, an
// "A" or "H" record for arrays and hashes. Raises 1330/1335 for values that
// cannot be sent, 1215 for elements that cannot. A record whose building
// fails is not written; nested records already written stay.
void send_to_front(const char* name, size_t name_length, ValueHandle value);
// "s219XYZBCA_ALERT_ABCZYX" + undefined, a string or an error; raises 1340.
void alert_to_front(ValueHandle value);
// Restarts the nested-object counter at 500000 (tests).
void front_output_reset();

}  // namespace tolv
