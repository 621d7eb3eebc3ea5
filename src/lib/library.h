// The built-in library: plugs every library handler into the evaluator's
// method lists and keyword hooks. Run once at start-up, before any script.
#pragma once

namespace tolv {

void install_library();

}  // namespace tolv
