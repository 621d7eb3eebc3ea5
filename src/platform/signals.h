// Signal dispositions of the request process.
#pragma once

namespace tolv {

// A client that goes away must not kill the process half-way through its
// end sequence: writes to a closed pipe fail instead of raising SIGPIPE.
void ignore_broken_pipes();

// Web servers terminate a CGI program once its answer is complete; the
// journal is written after that, so termination requests are held off for
// the rest of the process.
void hold_off_termination();

}  // namespace tolv
