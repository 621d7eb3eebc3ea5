#include "platform/directory_walk.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "platform/scratch_dir.h"

namespace tolv {
namespace {

using tests::ScratchDir;

std::vector<DirectoryFile> sorted_walk(const std::string& dir) {
    std::vector<DirectoryFile> files;
    EXPECT_TRUE(walk_directory(dir, files));
    std::sort(files.begin(), files.end(),
              [](const DirectoryFile& a, const DirectoryFile& b) { return a.relative_path < b.relative_path; });
    return files;
}

TEST(DirectoryWalk, ListsNestedFilesWithTimeAndSize) {
    ScratchDir dir;
    dir.mkdir("sub");
    dir.mkdir("sub/deeper");
    dir.mkdir("empty");
    dir.write("top.txt", "12345", 1600000000);
    dir.write("sub/a.js", "", 1700000000);
    dir.write("sub/deeper/b.jo", std::string(70000, 'x'), 1234567890);

    std::vector<DirectoryFile> files = sorted_walk(dir.path());
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].relative_path, "sub/a.js");
    EXPECT_EQ(files[0].write_time, 1700000000);
    EXPECT_EQ(files[0].size, 0u);
    EXPECT_EQ(files[1].relative_path, "sub/deeper/b.jo");
    EXPECT_EQ(files[1].write_time, 1234567890);
    EXPECT_EQ(files[1].size, 70000u);
    EXPECT_EQ(files[2].relative_path, "top.txt");
    EXPECT_EQ(files[2].size, 5u);

    // A trailing "/" changes nothing.
    EXPECT_EQ(sorted_walk(dir.path() + "/").size(), 3u);
}

TEST(DirectoryWalk, FollowsLinksButNotLoops) {
    ScratchDir dir;
    dir.mkdir("real");
    dir.write("real/a.js", "a");
    ASSERT_EQ(symlink(dir.file("real").c_str(), dir.file("linked").c_str()), 0);
    ASSERT_EQ(symlink(dir.path().c_str(), dir.file("real/up").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dir.file("dangling.js").c_str()), 0);

    std::vector<DirectoryFile> files = sorted_walk(dir.path());
    std::vector<std::string> paths;
    for (const DirectoryFile& file : files) paths.push_back(file.relative_path);
    // "real/up" leads back to the walked root and is not entered; "linked/up"
    // is the root as well.
    EXPECT_EQ(paths, (std::vector<std::string>{"linked/a.js", "real/a.js"}));
}

TEST(DirectoryWalk, MissingDirectoryFails) {
    ScratchDir dir;
    std::vector<DirectoryFile> files;
    EXPECT_FALSE(walk_directory(dir.file("missing"), files));
    dir.write("plain", "x");
    EXPECT_FALSE(walk_directory(dir.file("plain"), files));
    EXPECT_TRUE(files.empty());
}

}  // namespace
}  // namespace tolv
