// What the host asks of runner-debug's debugger client. In runner these are
// empty inline functions and the client is not built.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ipv4.h"

namespace tolv {

// A module text the debugger supplied.
struct DebuggerModule {
    bool image = false;       // a .jo image, already decoded from base64
    bool bad_image = false;   // the base64 did not decode
    std::vector<char> bytes;  // source text or image bytes
};

#if TOLV_DEBUGGER
// Connects to the debugger at the client's address on `port`; false (nothing
// reported) when no debugger answers.
bool debugger_start(const Ipv4& client, const std::string& port);
// Sends the end message and closes the connection, if one is open.
void debugger_end();
bool debugger_connected();
// Asks the debugger for the module's text and takes the tables that come with
// it; false when the module is to be read from its file.
bool debugger_fetch_module(uint32_t module, const std::string& path, DebuggerModule& out);
// The connection is gone: the hooks fall quiet.
void debugger_session_closed();
#else
inline bool debugger_start(const Ipv4&, const std::string&) { return false; }
inline void debugger_end() {}
inline bool debugger_connected() { return false; }
inline bool debugger_fetch_module(uint32_t, const std::string&, DebuggerModule&) { return false; }
#endif

}  // namespace tolv
