// The end of a request that cannot go on (configuration missing, bad
// CONTENT_LENGTH, ...): an "S" record of code 8555 and the end sequence.
#pragma once

namespace tolv {

// Writes "S148555" + the raw counted message, runs the end hook (journal,
// debugger), closes standard output and exits with code 0. In the
// command-line run the message goes as a readable line to standard error
// instead, and the exit code is 1.
[[noreturn]] void fatal_exit(const char* message);

// Makes fatal_exit speak to a developer at a terminal (`runner -e`).
void set_fatal_for_command_line();

// The process end sequence that the fatal exit runs; set by the request
// cycle. Returns the hook it replaces.
using FatalEndHook = void (*)();
FatalEndHook set_fatal_end_hook(FatalEndHook hook);

}  // namespace tolv
