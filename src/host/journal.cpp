#include "host/journal.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "host/answer.h"
#include "platform/clock.h"
#include "platform/journal_file.h"
#include "platform/local_time.h"
#include "platform/sleep_ms.h"

namespace tolv {
namespace {

constexpr size_t JOURNAL_BUFFER_SIZE = 32768;
// A text goes into the buffer only while the total stays below this.
constexpr size_t JOURNAL_BUFFER_FILL_LIMIT = 32764;
constexpr int JOURNAL_OPEN_ATTEMPTS = 50;
constexpr unsigned JOURNAL_RETRY_DELAY_MS = 100;

struct Journal {
    char buffer[JOURNAL_BUFFER_SIZE];
    size_t buffer_length = 0;
    std::vector<std::string> chunks;  // overflow, oldest first
    size_t chunk_bytes = 0;
    std::string start_time;
};

Journal g_journal;

void journal_empty() {
    g_journal.buffer_length = 0;
    g_journal.chunks.clear();
    g_journal.chunks.shrink_to_fit();
    g_journal.chunk_bytes = 0;
}

// "S149999" + '0' + digit count of the length + the length + the message.
void write_open_failure_record(const std::string& path) {
    std::string message = "open&lock of jounal file(" + path + ")";
    std::string length = std::to_string(message.size());
    std::string record = "S149999";
    record += static_cast<char>('0' + length.size());
    record += length;
    record += message;
    answer_write(record.data(), record.size());
    // The command-line run sends no records; show the developer instead.
    if (!answer_enabled()) std::fprintf(stderr, "%s\n", message.c_str());
}

}  // namespace

void journal_set_start_time(const std::string& text) { g_journal.start_time = text; }

void journal_append(const char* text, size_t length) {
    if (length == 0) return;
    Journal& j = g_journal;
    if (j.buffer_length + length < JOURNAL_BUFFER_FILL_LIMIT) {
        std::memcpy(j.buffer + j.buffer_length, text, length);
        j.buffer_length += length;
        return;
    }
    std::string chunk;
    chunk.reserve(j.buffer_length + length);
    chunk.append(j.buffer, j.buffer_length);
    chunk.append(text, length);
    j.chunk_bytes += chunk.size();
    j.chunks.push_back(std::move(chunk));
    j.buffer_length = 0;
}

void journal_append(const char* text) { journal_append(text, std::strlen(text)); }

bool journal_write(const std::string& path) {
    return journal_write(path, JOURNAL_OPEN_ATTEMPTS, JOURNAL_RETRY_DELAY_MS);
}

bool journal_write(const std::string& path, int attempts, unsigned retry_delay_ms) {
    int fd = -1;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        fd = journal_file_open(path.c_str());
        if (fd >= 0) break;
        if (attempt < attempts) sleep_ms(retry_delay_ms);
    }
    if (fd < 0) {
        write_open_failure_record(path);
        journal_empty();
        return false;
    }

    // The whole block goes out in one write so that readers of the file see
    // it in one piece even without honouring the lock.
    Journal& j = g_journal;
    std::string block;
    block.reserve(j.chunk_bytes + j.buffer_length + j.start_time.size() + 96);
    block += "-----  start : ";
    block += j.start_time;
    block += "  -----\n";
    for (const std::string& chunk : j.chunks) block += chunk;
    block.append(j.buffer, j.buffer_length);
    block += "\n=====  end : ";
    block += local_time_text();
    block += "  ===== \n";
    journal_empty();

    bool written = journal_file_write(fd, block.data(), block.size());
    journal_file_close(fd);
    return written;
}

size_t journal_size() { return g_journal.chunk_bytes + g_journal.buffer_length; }

void journal_reset() {
    journal_empty();
    g_journal.start_time.clear();
}

std::string local_time_text() { return local_calendar_text(now_seconds()); }

}  // namespace tolv
