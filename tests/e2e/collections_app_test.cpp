// Arrays and hashes through the built runner: an application that groups,
// sorts and sums with the Array and Hash methods, and a comparator error
// reported at the sort call.
#include <gtest/gtest.h>

#include "support/runner_sandbox.h"

namespace tolv::tests {
namespace {

const std::string APP_DIR = std::string(TOLV_SOURCE_DIR) + "/tests/e2e/apps/collections";

class CollectionsApp : public ::testing::Test {
protected:
    void SetUp() override { box.write_config("MODULE_DIR=" + APP_DIR + "\n"); }
    RunnerSandbox box;
};

TEST_F(CollectionsApp, GroupsSortsAndSums) {
    ProcessResult result = box.run({"-e", "report()", "collections.js"});
    EXPECT_EQ(result.out,
              "(L) by total: ink, pad, pen, cap\n"
              "(L) per customer: ann=60 bob=45 cid=5 of 3\n"
              "(L) middle: 2 pad -1 4\n"
              "(L) left: bob+ann {bob:45,ann:60}\n");
    EXPECT_EQ(result.exit_code, 0);
}

TEST_F(CollectionsApp, ComparatorWithoutAnswerIsReportedAtTheSortCall) {
    ProcessResult result = box.run({"-e", "badSort()", "collections.js"});
    EXPECT_EQ(result.out,
              "EVAL ERROR 2540 (collections.js:45:11) : ソートでの比較結果不正\n"
              "ERROR  2540：EVAL ERROR 2540 (collections.js:45:11) : ソートでの比較結果不正\n");
}

}  // namespace
}  // namespace tolv::tests
