#include "runtime/journal_lines.h"

#include <cstring>
#include <vector>

namespace tolv {
namespace {

constexpr size_t JOURNAL_BUFFER_SIZE = 32768;
// A text goes into the buffer only while the total stays below this.
constexpr size_t JOURNAL_BUFFER_FILL_LIMIT = 32764;

struct JournalLines {
    char buffer[JOURNAL_BUFFER_SIZE];
    size_t buffer_length = 0;
    std::vector<std::string> chunks;  // overflow, oldest first
    size_t chunk_bytes = 0;
};

JournalLines g_lines;

}  // namespace

void journal_append(const char* text, size_t length) {
    if (length == 0) return;
    JournalLines& j = g_lines;
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

void journal_collect(std::string& out) {
    out.reserve(out.size() + journal_size());
    for (const std::string& chunk : g_lines.chunks) out += chunk;
    out.append(g_lines.buffer, g_lines.buffer_length);
}

size_t journal_size() { return g_lines.chunk_bytes + g_lines.buffer_length; }

void journal_clear() {
    g_lines.buffer_length = 0;
    g_lines.chunks.clear();
    g_lines.chunks.shrink_to_fit();
    g_lines.chunk_bytes = 0;
}

}  // namespace tolv
