#include "support/request_records.h"

#include "support/runner_sandbox.h"

namespace tolv::tests {

std::string top_program(const std::string& text) { return "P" + counted_text(text); }

std::string module_record(const std::vector<std::string>& paths) {
    std::string list;
    for (const auto& p : paths) list += counted_number(p.size()) + p;
    return "M" + counted_number(paths.size()) + counted_number(list.size()) + list;
}

std::string script_request(const std::string& top, const std::string& module) {
    return top_program(top) + counted_record('M', 1, counted_text(module));
}

std::string error_record(int code, const std::string& message) {
    return "S" + counted_text(std::to_string(code)) + counted_text(message);
}

}  // namespace tolv::tests
