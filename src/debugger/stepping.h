// Stops, steps and traced calls: the debugger's side of the evaluator's
// stopping points and of script function calls.
#pragma once

#include <string_view>

#include "runtime/value.h"

namespace tolv {

void on_stopping_point(const OperationCell* cell);
void on_call_enter(ValueHandle function);
void on_call_leave(ValueHandle result);

// Sends a message of the session; a failure ends the session with 1850.
void send_in_session(std::string_view payload);
// Applies a B, b or T command (letter first); reports rejected conditions.
void apply_table_command(std::string_view command);

void stepping_reset();

}  // namespace tolv
