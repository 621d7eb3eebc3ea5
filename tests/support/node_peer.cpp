#include "support/node_peer.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "support/runner_sandbox.h"

namespace tolv::tests {

namespace {

const char SHOW[] =
    "function show(r) {\n"
    "    if (r === null) return 'null';\n"
    "    if (typeof r == 'string') return '\"' + r.replaceAll('\\\\', '\\\\\\\\').replaceAll('\\n', '\\\\n')"
    ".replaceAll('\\r', '\\\\r') + '\"';\n"
    "    if (typeof r == 'object') {\n"
    "        var s = '[' + r.length + ']';\n"
    "        for (var i = 0; i < r.length; i++) s += ' ' + show(r[i]);\n"
    "        return s;\n"
    "    }\n"
    "    return r;\n"
    "}\n";

std::vector<std::string> lines_of(const std::string& text, const char* prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    size_t prefix_length = std::char_traits<char>::length(prefix);
    while (std::getline(in, line))
        if (line.compare(0, prefix_length, prefix) == 0) lines.push_back(line.substr(prefix_length));
    return lines;
}

// A whole line read as a number, in either engine's spelling.
bool as_number(const std::string& line, double& value) {
    if (line == "NaN" || line == "nan" || line == "-nan") {
        value = NAN;
        return true;
    }
    if (line == "Infinity" || line == "inf") {
        value = INFINITY;
        return true;
    }
    if (line == "-Infinity" || line == "-inf") {
        value = -INFINITY;
        return true;
    }
    if (line.empty()) return false;
    char* end;
    value = std::strtod(line.c_str(), &end);
    return *end == '\0' && line.find_first_of("xXnN") == std::string::npos;
}

// The runner prints Floats with ten decimals; node the shortest exact form.
bool same_line(const std::string& runner, const std::string& node) {
    if (runner == node) return true;
    double a, b;
    if (!as_number(runner, a) || !as_number(node, b)) return false;
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (std::isinf(a) || std::isinf(b)) return a == b;
    return std::fabs(a - b) <= 5e-11 + 1e-15 * std::fabs(b);
}

}  // namespace

std::string node_program() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/local/bin:/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        for (const char* name : {"node", "nodejs"}) {
            std::string candidate = dir + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
        }
    }
    return "";
}

std::string js_literal(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

void PeerScript::add(const std::string& label, const std::string& expression) {
    labels_.push_back(label);
    expressions_.push_back(expression);
}

std::string PeerScript::text() const {
    std::string out = SHOW + prelude_ + "function main() {\n    var r;\n";
    for (const std::string& e : expressions_)
        out += "    try { r = " + e + "; console.log(show(r)); } catch (e) { console.log('ERR'); }\n";
    return out + "}\n";
}

PeerComparison compare_with_node(const PeerScript& script) {
    PeerComparison result;
    result.cases = script.size();
    RunnerSandbox box;
    box.write_config("MODULE_DIR=" + box.dir() + "\n");
    box.write_file("peer.js", script.text());
    box.write_file("peer_node.js", script.text() + "main();\n");
    ProcessResult ours = box.run({"-e", "main()", "peer.js"});
    ProcessOptions options;
    options.args = {box.path("peer_node.js")};
    options.working_dir = box.dir();
    ProcessResult theirs = run_process(node_program(), options);

    std::vector<std::string> runner_lines = lines_of(ours.out, "(L) ");
    std::vector<std::string> node_lines = lines_of(theirs.out, "");
    if (runner_lines.size() != script.size() || node_lines.size() != script.size()) {
        result.mismatched = script.size();
        result.report = "runner printed " + std::to_string(runner_lines.size()) + " lines, node " +
                        std::to_string(node_lines.size()) + " of " + std::to_string(script.size()) +
                        "\nrunner: " + ours.out.substr(0, 2000) + ours.err.substr(0, 500) +
                        "\nnode: " + theirs.err.substr(0, 1000);
        return result;
    }
    for (size_t i = 0; i < script.size(); ++i) {
        if (runner_lines[i] == "ERR" && node_lines[i] == "ERR") ++result.both_threw;
        if (same_line(runner_lines[i], node_lines[i])) continue;
        if (++result.mismatched <= 12)
            result.report += script.label(i) + ": " + script.expression(i) + "\n    runner: " + runner_lines[i] +
                             "\n    node:   " + node_lines[i] + "\n";
    }
    return result;
}

}  // namespace tolv::tests
