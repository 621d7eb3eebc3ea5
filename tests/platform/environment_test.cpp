#include "platform/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tolv {
namespace {

TEST(Environment, SetReplaceAndRemove) {
    ASSERT_TRUE(environment_set("TOLV_ENV_TEST", "one"));
    EXPECT_STREQ(environment_get("TOLV_ENV_TEST"), "one");
    ASSERT_TRUE(environment_set("TOLV_ENV_TEST", "two=2"));
    EXPECT_STREQ(environment_get("TOLV_ENV_TEST"), "two=2");
    ASSERT_TRUE(environment_set("TOLV_ENV_TEST", ""));
    EXPECT_EQ(environment_get("TOLV_ENV_TEST"), nullptr);
}

TEST(Environment, RefusesBadNames) {
    EXPECT_FALSE(environment_set("", "x"));
    EXPECT_FALSE(environment_set("A=B", "x"));
    EXPECT_EQ(environment_get("A"), nullptr);
}

}  // namespace
}  // namespace tolv
