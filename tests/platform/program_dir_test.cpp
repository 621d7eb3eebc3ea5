#include "platform/program_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tolv {
namespace {

TEST(ProgramDir, IsTheDirectoryOfTheRunningExecutable) {
    std::string dir = program_dir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    struct stat status {};
    EXPECT_EQ(stat((dir + "tolv_tests").c_str(), &status), 0) << dir;
}

}  // namespace
}  // namespace tolv
