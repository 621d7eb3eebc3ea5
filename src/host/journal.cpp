#include "host/journal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/journal_file.h"
#include "platform/local_time.h"
#include "platform/sleep_ms.h"
#include "protocol/answer.h"
#include "runtime/journal_lines.h"

namespace tolv {
namespace {

constexpr int JOURNAL_OPEN_ATTEMPTS = 50;
constexpr unsigned JOURNAL_RETRY_DELAY_MS = 100;

std::string g_start_time;

// "S149999" + '0' + digit count of the length + the length + the message,
// while the answer is still open (the fatal exit); the web server's error
// log always hears of it, with the reason.
void report_lost_journal(const std::string& path, const char* reason) {
    std::string message = "open&lock of jounal file(" + path + ")";
    if (answer_open()) {
        std::string length = std::to_string(message.size());
        std::string record = "S149999";
        record += static_cast<char>('0' + length.size());
        record += length;
        record += message;
        answer_write(record.data(), record.size());
    }
    std::fprintf(stderr, "%s: %s; the journal of this request is lost\n", message.c_str(), reason);
}

// Only a lock held by another writer goes away by waiting.
bool is_lock_busy(int error) { return error == EWOULDBLOCK || error == EAGAIN || error == EINTR; }

}  // namespace

void journal_set_start_time(const std::string& text) { g_start_time = text; }

bool journal_write(const std::string& path) {
    return journal_write(path, JOURNAL_OPEN_ATTEMPTS, JOURNAL_RETRY_DELAY_MS);
}

bool journal_write(const std::string& path, int attempts, unsigned retry_delay_ms) {
    int fd = -1;
    int error = 0;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        fd = journal_file_open(path.c_str());
        if (fd >= 0) break;
        error = errno;
        if (!is_lock_busy(error)) break;
        if (attempt < attempts) sleep_ms(retry_delay_ms);
    }
    if (fd < 0) {
        const char* reason = is_lock_busy(error)              ? "locked by another process"
                             : error == JOURNAL_NOT_A_FILE ? "not a regular file"
                                                           : std::strerror(error);
        report_lost_journal(path, reason);
        journal_clear();
        return false;
    }

    // The whole block goes out in one write so that readers of the file see
    // it in one piece even without honouring the lock.
    std::string block;
    block.reserve(journal_size() + g_start_time.size() + 96);
    block += "-----  start : ";
    block += g_start_time;
    block += "  -----\n";
    journal_collect(block);
    block += "\n=====  end : ";
    block += local_time_text();
    block += "  ===== \n";
    journal_clear();

    bool written = journal_file_write(fd, block.data(), block.size());
    if (!written) {
        std::fprintf(stderr, "write of jounal file(%s): %s; the journal of this request is incomplete\n",
                     path.c_str(), std::strerror(errno));
    }
    journal_file_close(fd);
    return written;
}

void journal_reset() {
    journal_clear();
    g_start_time.clear();
}

std::string local_time_text() { return local_calendar_text(now_seconds()); }

}  // namespace tolv
