// The answer stream to the front end on standard output: counted fields and
// the records the runner writes itself. In the command-line run every record
// write is skipped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/text.h"

namespace tolv {

// Counters of the records sent, for the completion record.
struct AnswerCounters {
    uint32_t arrays = 0;   // "A"
    uint32_t hashes = 0;   // "H"
    uint32_t scalars = 0;  // "s"
};
extern AnswerCounters g_answer_counters;

// Writes when records are enabled (not in the command-line run) and flushes.
void answer_write(const char* data, size_t length);
void answer_enable(bool enabled);
bool answer_enabled();
// Enabled and not closed yet: records can still reach the front end.
bool answer_open();
// "Content-type: text/plane;charset=UTF-8\n\n".
void answer_header();
void answer_close();

// Where the answer's bytes go when not to standard output (the FastCGI
// mode's record stream). `write` must write all bytes; `close` ends the answer.
struct AnswerTransport {
    void (*write)(const char* data, size_t length) = nullptr;
    void (*close)() = nullptr;
};
void answer_set_transport(const AnswerTransport& transport);
// Writes whether or not records are enabled: the fatal record.
void answer_write_always(const char* data, size_t length);

// '0' + digit count, then the digits: 0 is "10", 123 is "3123".
void put_counted_number(TextBuffer& out, uint64_t n);
// Marker '0'+d (nothing escaped) or 'A'+d (some bytes escaped as %XX), the
// length as sent, the text as sent. An empty text is "10".
void put_counted_text(TextBuffer& out, const char* text, size_t length);
// '0' + digit count of the length, the length, the raw bytes.
void put_raw_counted_text(TextBuffer& out, const char* text, size_t length);

// "S" + counted code text + counted message.
void write_error_record(const char* code, size_t code_length, const char* message, size_t message_length);
// "S" record for an error value escaping the run: KIND_ERROR, a thrown
// string ("S10" + text) or anything else ("S1010").
void write_escaped_value_record(ValueHandle value);
// As above, but an error the runner raised keeps only its code and
// "EVAL ERROR 6155" (or "PARSE ERROR ..."): no module, line, path, source or
// server address reaches the client. Values a script threw pass unchanged.
void write_brief_error_record(ValueHandle value);
// "C" + counted A, H, s counts + "10".
void write_completion_record();

}  // namespace tolv
