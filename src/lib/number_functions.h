// Number.parseInt, Number.parseFloat and Number.isInteger, and the global
// keywords parseInt and parseFloat, which are the same operations. A bad
// argument gives NaN (isInteger: false), never an error.
#pragma once

namespace tolv {

void install_number_functions();

}  // namespace tolv
