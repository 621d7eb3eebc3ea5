#include "eval/debugger_slots.h"

#if TOLV_DEBUGGER

namespace tolv {

DebuggerSlots g_debugger_slots;
bool g_debugger_watching = false;

}  // namespace tolv

#endif
