#include "protocol/answer.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>

#include "runtime/errors.h"
#include "runtime/value.h"

namespace tolv {

AnswerCounters g_answer_counters;

namespace {

bool g_answer_enabled = true;
bool g_answer_closed = false;
AnswerTransport g_transport;

// Bytes a counted text sends as they are.
bool sent_plain(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    return c != 0 && std::strchr(";,/?:@&=+$-_.*'()#", c) != nullptr;
}

unsigned digit_count(uint64_t n) {
    unsigned digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

}  // namespace

void answer_enable(bool enabled) { g_answer_enabled = enabled; }
bool answer_enabled() { return g_answer_enabled; }
bool answer_open() { return g_answer_enabled && !g_answer_closed; }

void answer_write(const char* data, size_t length) {
    // After the close, standard output's descriptor may already belong to another file.
    if (!answer_open()) return;
    if (g_transport.write) return g_transport.write(data, length);
    std::fwrite(data, 1, length, stdout);
    std::fflush(stdout);
}

void answer_header() {
    static const char header[] = "Content-type: text/plane;charset=UTF-8\n\n";
    if (g_transport.write) return g_transport.write(header, sizeof header - 1);
    std::fwrite(header, 1, sizeof header - 1, stdout);
    std::fflush(stdout);
}

void answer_close() {
    if (g_answer_closed) return;
    g_answer_closed = true;
    if (g_transport.close) return g_transport.close();
    std::fflush(stdout);
    std::fclose(stdout);
}

void answer_set_transport(const AnswerTransport& transport) { g_transport = transport; }

void answer_write_always(const char* data, size_t length) {
    if (g_transport.write) {
        if (!g_answer_closed) g_transport.write(data, length);
        return;
    }
    std::fflush(stdout);
    while (length > 0) {
        ssize_t n = ::write(STDOUT_FILENO, data, length);
        if (n <= 0) break;
        data += n;
        length -= size_t(n);
    }
}

void put_counted_number(TextBuffer& out, uint64_t n) {
    char digits[24];
    int length = std::snprintf(digits, sizeof digits, "%c%llu", char('0' + digit_count(n)),
                               static_cast<unsigned long long>(n));
    out.append(digits, size_t(length));
}

void put_counted_text(TextBuffer& out, const char* text, size_t length) {
    static const char hex[] = "0123456789ABCDEF";
    size_t escaped = 0;
    for (size_t i = 0; i < length; ++i) {
        if (!sent_plain(static_cast<unsigned char>(text[i]))) ++escaped;
    }
    uint64_t sent_length = length + 2 * escaped;
    char head[24];
    int head_length = std::snprintf(head, sizeof head, "%c%llu",
                                    char((escaped ? 'A' : '0') + digit_count(sent_length)),
                                    static_cast<unsigned long long>(sent_length));
    out.append(head, size_t(head_length));
    if (!escaped) {
        out.append(text, length);
        return;
    }
    size_t run = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (sent_plain(c)) continue;
        out.append(text + run, i - run);
        char code[3] = {'%', hex[c >> 4], hex[c & 15]};
        out.append(code, 3);
        run = i + 1;
    }
    out.append(text + run, length - run);
}

void put_raw_counted_text(TextBuffer& out, const char* text, size_t length) {
    char head[24];
    int head_length = std::snprintf(head, sizeof head, "%c%zu", char('0' + digit_count(length)), length);
    out.append(head, size_t(head_length));
    out.append(text, length);
}

void write_error_record(const char* code, size_t code_length, const char* message, size_t message_length) {
    TextBuffer record;
    record.append_char('S');
    put_counted_text(record, code, code_length);
    put_counted_text(record, message, message_length);
    answer_write(record.data(), record.size());
}

void write_escaped_value_record(ValueHandle value) {
    TextBuffer record;
    if (is_kind(value, KIND_ERROR)) {
        const uint8_t* rec = value_ptr(value);
        record.append_char('S');
        put_counted_text(record, error_code_text(rec), error_code_length(rec));
        put_counted_text(record, error_message(rec), error_message_length(rec));
    } else if (is_string(value)) {
        record.append("S10");
        put_counted_text(record, string_text(value), string_length(value));
    } else {
        record.append("S1010");
    }
    answer_write(record.data(), record.size());
}

void write_brief_error_record(ValueHandle value) {
    if (kind_of(value) != KIND_ERROR || is_sentinel(value)) return write_escaped_value_record(value);
    const uint8_t* rec = value_ptr(value);
    std::string_view message(error_message(rec), error_message_length(rec));
    std::string_view kind;
    for (std::string_view prefix : {std::string_view("EVAL ERROR "), std::string_view("PARSE ERROR ")}) {
        if (message.substr(0, prefix.size()) == prefix) kind = prefix;
    }
    if (kind.empty()) return write_escaped_value_record(value);
    std::string brief(kind);
    brief.append(error_code_text(rec), error_code_length(rec));
    TextBuffer record;
    record.append_char('S');
    put_counted_text(record, error_code_text(rec), error_code_length(rec));
    put_counted_text(record, brief.data(), brief.size());
    answer_write(record.data(), record.size());
}

void write_completion_record() {
    TextBuffer record;
    record.append_char('C');
    put_counted_number(record, g_answer_counters.arrays);
    put_counted_number(record, g_answer_counters.hashes);
    put_counted_number(record, g_answer_counters.scalars);
    put_counted_number(record, 0);
    answer_write(record.data(), record.size());
}

}  // namespace tolv
