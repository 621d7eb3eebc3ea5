// The FastCGI mode: one server process takes requests from a web server and
// runs each in a fresh process forked from the state it prepared once (the
// configuration read, the INCLUDE modules loaded).
#pragma once

#include <string>

namespace tolv {

struct FastcgiOptions {
    std::string address;     // HOST:PORT or a socket path; empty: the socket on standard input
    int children = 16;       // requests served at once
    int time_limit = 30;     // seconds per request; 0: none
    long memory_limit = 0;   // megabytes of address space per request; 0: none
    // Internal: a process that took a connection after the prepared state
    // changed serves it from a fresh start (the connection on standard
    // input, the progress records on descriptor 3); its progress slot.
    int handed_over_slot = -1;
};

// The words after --fastcgi. False with the reason in `error`.
bool parse_fastcgi_arguments(int argc, char** argv, FastcgiOptions& options, std::string& error);

// Serves until SIGTERM (or SIGINT), then lets the requests in flight finish.
// Returns the exit code.
// `argv`: the whole command line, to start again from.
int run_fastcgi_server(char** argv, const FastcgiOptions& options);

}  // namespace tolv
