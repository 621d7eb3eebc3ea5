// Points where runner-debug talks to the developer's debugger. In runner the
// hooks compile to nothing.
#pragma once

#include "platform/ipv4.h"

namespace tolv {

#if TOLV_DEBUGGER
// Connects to the debugger at the client's address when the client is allowed.
void debugger_start(const Ipv4& client);
// Sends the end message and closes the connection, if one is open.
void debugger_end();
#else
inline void debugger_start(const Ipv4&) {}
inline void debugger_end() {}
#endif

}  // namespace tolv
