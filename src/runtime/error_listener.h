// runner-debug hands every EVAL ERROR and PARSE ERROR line to its debugger;
// the debugger sets the listener. runner has no such slot.
#pragma once

#if TOLV_DEBUGGER

#include <cstddef>

namespace tolv {

using ErrorLineListener = void (*)(const char* line, size_t length);
extern ErrorLineListener g_error_line_listener;

}  // namespace tolv

#endif
