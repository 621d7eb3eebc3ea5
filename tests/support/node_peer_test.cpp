// The differential harness itself: a known difference is reported, and the
// engines' different spellings of one number are not.
#include "support/node_peer.h"

#include <gtest/gtest.h>

namespace tolv::tests {
namespace {

TEST(NodePeer, ReportsDifferencesAndNothingElse) {
    if (node_program().empty()) GTEST_SKIP() << "node is not installed (tools/setup.sh installs it)";
    PeerScript script;
    script.add("float", "0.1 + 0.2");
    script.add("whole float", "2.0");
    script.add("text", js_literal("a\"b\\c\nd"));
    script.add("array", "'a,b'.split(',')");
    script.add("both throw", "decodeURIComponent('%zz')");
    script.add("rounding", "Math.round(-2.5)");  // away from zero here
    PeerComparison c = compare_with_node(script);
    EXPECT_EQ(c.cases, 6u);
    EXPECT_EQ(c.mismatched, 1u) << c.report;
    EXPECT_NE(c.report.find("rounding: Math.round(-2.5)\n    runner: -3\n    node:   -2"), std::string::npos)
        << c.report;
}

}  // namespace
}  // namespace tolv::tests
