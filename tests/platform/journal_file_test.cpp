#include "platform/journal_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/scratch_dir.h"

namespace tolv {
namespace {

using tests::read_file;
using tests::ScratchDir;

TEST(JournalFile, CreatesAndAppends) {
    ScratchDir dir;
    std::string path = dir.file("journal.log");
    for (const char* text : {"first\n", "second\n"}) {
        int fd = journal_file_open(path.c_str());
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(journal_file_write(fd, text, std::strlen(text)));
        journal_file_close(fd);
    }
    EXPECT_EQ(read_file(path), "first\nsecond\n");
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0644u & ~mask);
}

// A second open while the lock is held fails at once, also within one
// process; closing the holder frees the file.
TEST(JournalFile, LockIsExclusiveUntilClosed) {
    ScratchDir dir;
    std::string path = dir.file("journal.log");
    int holder = journal_file_open(path.c_str());
    ASSERT_GE(holder, 0);
    EXPECT_EQ(journal_file_open(path.c_str()), -1);
    journal_file_close(holder);
    int next = journal_file_open(path.c_str());
    EXPECT_GE(next, 0);
    journal_file_close(next);
}

TEST(JournalFile, OpenFailsInMissingDirectory) {
    ScratchDir dir;
    EXPECT_EQ(journal_file_open(dir.file("missing/journal.log").c_str()), -1);
}

}  // namespace
}  // namespace tolv
