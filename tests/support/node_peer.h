// Differential runs against node: one generated script, run by the built
// runner (`runner -e 'main()'`) and by node (the same text plus `main();`),
// compared case by case.
//
// A script is a list of cases; each case evaluates one expression into `r`
// and prints show(r) on a line of its own, or ERR when it throws. show()
// quotes Strings (escaping backslash, CR and LF, so every case stays one
// line) and lists arrays as "[n] a b ..."; numbers print as each engine
// prints them and are compared as numbers, to the runner's ten decimals.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tolv::tests {

// node's path, or "" when it is not installed.
std::string node_program();

// A double-quoted literal that both languages read as the same text.
std::string js_literal(const std::string& text);

class PeerScript {
public:
    // Script text placed before main(): helper functions for the cases.
    void prelude(const std::string& text) { prelude_ += text + "\n"; }
    // `label` names the case in reports; `expression` computes its result.
    void add(const std::string& label, const std::string& expression);
    size_t size() const { return labels_.size(); }
    std::string text() const;
    const std::string& label(size_t i) const { return labels_[i]; }
    const std::string& expression(size_t i) const { return expressions_[i]; }

private:
    std::string prelude_;
    std::vector<std::string> labels_;
    std::vector<std::string> expressions_;
};

struct PeerComparison {
    size_t cases = 0;
    size_t mismatched = 0;
    size_t both_threw = 0;  // cases that printed ERR on both sides
    std::string report;  // the first mismatches, or why the runs could not be compared
};

// Runs the script under both and compares the lines.
PeerComparison compare_with_node(const PeerScript& script);

}  // namespace tolv::tests
