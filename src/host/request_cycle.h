// One request from start to exit: configuration, body, records, modules, the
// run and the closing records.
#pragma once

#include <string>

namespace tolv {

// The whole process; returns the exit code.
int run_runner(int argc, char** argv);

// The pieces the FastCGI mode puts together differently: a server process
// prepares and reads the configuration once, and each request's process runs
// the CGI request cycle from there.
void prepare_runner_process();
// The configuration file in use: mongoTOLV.config when it exists, else TOLV.config.
std::string runner_configuration_path();
// Reads it; fatal exit when there is none or it is faulty.
void read_runner_configuration();
// One CGI request (environment, standard input, the answer); `configured`
// when the configuration was read already. Returns the exit code.
int serve_cgi_request(bool configured);

}  // namespace tolv
