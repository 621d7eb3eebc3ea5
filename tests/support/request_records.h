// Request records as the front end sends them, and the error record an
// answer carries, for tests that drive the built runner.
#pragma once

#include <string>
#include <vector>

namespace tolv::tests {

// "P" + the counted top program text.
std::string top_program(const std::string& text);

// "M" record listing module paths.
std::string module_record(const std::vector<std::string>& paths);

// The usual request: top program `top` run with the one module `module`.
std::string script_request(const std::string& top, const std::string& module);

// An answer's "S" record: counted code, counted message.
std::string error_record(int code, const std::string& message);

}  // namespace tolv::tests
