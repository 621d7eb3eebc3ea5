#include "host/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/journal_file.h"
#include "platform/scratch_dir.h"
#include "protocol/answer.h"

namespace tolv {
namespace {

using tests::read_file;
using tests::ScratchDir;

const char* const START = "2024/01/02 03:04:05";

// "dddd/dd/dd dd:dd:dd"
bool is_time_text(const std::string& text) {
    const std::string layout = "dddd/dd/dd dd:dd:dd";
    if (text.size() != layout.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (layout[i] == 'd' ? !digit : text[i] != layout[i]) return false;
    }
    return true;
}

// Everything written to standard output while it lives, by descriptor.
class StdoutCapture {
public:
    explicit StdoutCapture(const std::string& path) {
        std::fflush(stdout);
        saved_ = dup(1);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        close(fd);
    }
    ~StdoutCapture() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
    }

private:
    int saved_;
};

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        journal_reset();
        journal_set_start_time(START);
        answers_were_enabled_ = answer_enabled();
    }
    void TearDown() override {
        journal_reset();
        answer_enable(answers_were_enabled_);
    }

    // Splits the file into blocks, checking the framing lines of each.
    static std::vector<std::string> block_contents(const std::string& text) {
        const std::string start = std::string("-----  start : ") + START + "  -----\n";
        const std::string end = "\n=====  end : ";
        const std::string end_tail = "  ===== \n";
        std::vector<std::string> contents;
        size_t at = 0;
        while (at < text.size()) {
            if (text.compare(at, start.size(), start) != 0) {
                ADD_FAILURE() << "no start line at " << at;
                break;
            }
            size_t content_start = at + start.size();
            size_t end_at = text.find(end, content_start);
            size_t time_at = end_at + end.size();
            if (end_at == std::string::npos || time_at + 19 + end_tail.size() > text.size() ||
                !is_time_text(text.substr(time_at, 19)) ||
                text.compare(time_at + 19, end_tail.size(), end_tail) != 0) {
                ADD_FAILURE() << "no end line after " << at;
                break;
            }
            contents.push_back(text.substr(content_start, end_at - content_start));
            at = time_at + 19 + end_tail.size();
        }
        return contents;
    }

    ScratchDir dir_;
    bool answers_were_enabled_ = false;
};

TEST_F(JournalTest, LargeJournalIsWrittenWholeAndInOrder) {
    // Texts that land exactly on and around the buffer's fill limit, one
    // bigger than the buffer, and many small lines.
    std::vector<std::string> texts = {std::string(32763, 'a'), "b", std::string(32762, 'c'), "dd",
                                      std::string(40000, 'e')};
    for (int i = 0; i < 3000; ++i) texts.push_back("\nline " + std::to_string(i));
    texts.push_back("");
    std::string expected;
    for (const std::string& text : texts) {
        journal_append(text.data(), text.size());
        expected += text;
    }
    journal_append("tail");
    expected += "tail";
    EXPECT_EQ(journal_size(), expected.size());

    std::string path = dir_.file("journal.log");
    ASSERT_TRUE(journal_write(path));
    EXPECT_EQ(journal_size(), 0u);

    std::vector<std::string> contents = block_contents(read_file(path));
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_TRUE(contents[0] == expected) << "content differs";
}

TEST_F(JournalTest, EachWriteAppendsOneBlockAndEmptiesTheJournal) {
    std::string path = dir_.file("journal.log");
    journal_append("first");
    ASSERT_TRUE(journal_write(path));
    ASSERT_TRUE(journal_write(path));  // an empty journal still gets its frame
    journal_append("third\n", 6);
    ASSERT_TRUE(journal_write(path));
    EXPECT_EQ(block_contents(read_file(path)), (std::vector<std::string>{"first", "", "third\n"}));
}

// The 9999 record "S14" "9999" + raw counted message when the file stays
// locked; the journal is dropped.
TEST_F(JournalTest, LockedFileGivesUpWithRecord9999) {
    std::string path = dir_.file("journal.log");
    int holder = journal_file_open(path.c_str());
    ASSERT_GE(holder, 0);
    journal_append("lost text");

    std::string captured = dir_.file("stdout");
    answer_enable(true);
    bool written;
    {
        StdoutCapture capture(captured);
        written = journal_write(path, 3, 1);
    }
    journal_file_close(holder);

    EXPECT_FALSE(written);
    EXPECT_EQ(journal_size(), 0u);
    EXPECT_EQ(read_file(path), "");
    std::string message = "open&lock of jounal file(" + path + ")";
    std::string length = std::to_string(message.size());
    EXPECT_EQ(read_file(captured), "S149999" + std::string(1, static_cast<char>('0' + length.size())) + length + message);

    ASSERT_TRUE(journal_write(path));
    EXPECT_EQ(block_contents(read_file(path)), std::vector<std::string>{""});
}

// Without answer records (command-line run) the developer sees the message
// on standard error instead.
TEST_F(JournalTest, OpenFailureInCommandLineRunGoesToStandardError) {
    std::string path = dir_.file("missing/journal.log");
    answer_enable(false);
    std::string captured = dir_.file("stdout");
    ::testing::internal::CaptureStderr();
    bool written;
    {
        StdoutCapture capture(captured);
        written = journal_write(path, 2, 1);
    }
    std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(written);
    EXPECT_EQ(read_file(captured), "");
    EXPECT_NE(errors.find("open&lock of jounal file(" + path + ")"), std::string::npos) << errors;
}

TEST_F(JournalTest, ConcurrentWritersNeverInterleave) {
    constexpr int WRITERS = 20;
    std::string path = dir_.file("journal.log");
    auto block_text = [](int writer) {
        std::string text;
        for (int line = 0; line < 2000; ++line) text += "writer " + std::to_string(writer) + " line " + std::to_string(line) + "\n";
        return text;
    };
    std::vector<pid_t> children;
    for (int writer = 0; writer < WRITERS; ++writer) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            journal_reset();
            journal_set_start_time(START);
            std::string text = block_text(writer);
            for (size_t at = 0; at < text.size(); at += 1000) journal_append(text.data() + at, std::min<size_t>(1000, text.size() - at));
            _exit(journal_write(path) ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::vector<std::string> contents = block_contents(read_file(path));
    ASSERT_EQ(contents.size(), static_cast<size_t>(WRITERS));
    std::vector<bool> seen(WRITERS, false);
    for (const std::string& content : contents) {
        int writer = std::stoi(content.substr(7));
        ASSERT_TRUE(writer >= 0 && writer < WRITERS);
        EXPECT_FALSE(seen[static_cast<size_t>(writer)]);
        seen[static_cast<size_t>(writer)] = true;
        EXPECT_TRUE(content == block_text(writer)) << "block of writer " << writer << " damaged";
    }
}

TEST(LocalTimeText, HasTheJournalLayout) {
    EXPECT_TRUE(is_time_text(local_time_text())) << local_time_text();
}

}  // namespace
}  // namespace tolv
