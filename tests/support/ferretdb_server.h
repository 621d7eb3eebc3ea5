// A real MongoDB-compatible server for database tests: FerretDB with its
// SQLite back end on a free loopback port and a data directory of its own.
// Started once per test process at first use, stopped when the process ends
// (and killed with it if the process dies).
#pragma once

#include "support/loopback.h"

#include <sys/types.h>

#include <string>

namespace tolv::tests {

class FerretDbServer {
public:
    FerretDbServer();
    ~FerretDbServer();
    FerretDbServer(const FerretDbServer&) = delete;
    FerretDbServer& operator=(const FerretDbServer&) = delete;

    bool running() const { return pid_ > 0; }
    const std::string& failure() const { return failure_; }
    int port() const { return port_; }
    // mongodb://127.0.0.1:PORT/DATABASE with a short server-selection time-out.
    std::string uri(const std::string& database) const;
    // Stops the server (also used by tests of a server that goes away).
    void stop();

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string dir_;
    std::string failure_;
};

// The process's shared server, started at the first call.
FerretDbServer& ferretdb();

// Where the FerretDB binary is: $TOLV_FERRETDB, else the versioned build
// cache that tools/ferretdb.sh fills.
std::string ferretdb_binary();

// The driver's library files as scripts name them on this platform.
inline constexpr const char* DRIVER_LIBRARIES = "libmongoc-1.0.so.0;libbson-1.0.so.0";

}  // namespace tolv::tests
