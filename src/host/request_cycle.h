// One request from start to exit: configuration, body, records, modules, the
// run and the closing records.
#pragma once

namespace tolv {

// The whole process; returns the exit code.
int run_runner(int argc, char** argv);

}  // namespace tolv
