#include "lang/lexer.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "lang/parse_state.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {

constexpr size_t IDENTIFIER_LIMIT = 200;
constexpr size_t IDENTIFIER_COLLECT = 204;
constexpr size_t EXCERPT_BYTES = 510;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool escaped(const char* text, const char* at) { return at > text && at[-1] == '\\'; }

void note_newline(const char* at) {
    // A look past a statement for `else`, `catch` or `finally` skips the
    // newlines after it, and the caller skips them again: count each once.
    if (at < g_parse.line_start) return;
    ++g_error_context.parse_line;
    g_parse.line_start = at + 1;
}

[[noreturn]] void bad_number(const char* start) {
    raise_syntax(Error::BAD_NUMBER_FORMAT, excerpt(start, 100));
}

ValueHandle integer_or_float(uint64_t magnitude, bool fits, int sign, const char* start, const char* end) {
    if (fits) {
        if (sign > 0 && magnitude <= 0x7FFFFFFFu) return new_integer(int32_t(magnitude));
        if (sign < 0 && magnitude <= 0x80000000u) return new_integer(int32_t(-int64_t(magnitude)));
    }
    // Beyond the Integer range the literal keeps its value as a Float.
    double value = std::strtod(std::string(start, size_t(end - start)).c_str(), nullptr);
    return new_float(sign < 0 ? -value : value);
}

}  // namespace

char* skip_space(char* p) {
    while (is_space(*p)) {
        if (*p == '\n') note_newline(p);
        ++p;
    }
    return p;
}

bool at_word(const char* p, const char* word) {
    size_t n = std::strlen(word);
    return std::strncmp(p, word, n) == 0 && !is_ident_char(p[n]);
}

char* read_identifier(char* p, uint32_t& name_index) {
    size_t n = 0;
    while (n < IDENTIFIER_COLLECT && is_ident_char(p[n])) ++n;
    if (n > IDENTIFIER_LIMIT) raise_syntax(Error::NAME_TOO_LONG);
    name_index = intern_name(p, n);
    return p + n;
}

char* read_string_literal(char* p, char quote, ValueHandle& out) {
    std::string text;
    text.reserve(4096);
    bool has_placeholder = false;
    for (;;) {
        char c = *p;
        if (c == '\0') raise_syntax(Error::BAD_JSON_TEXT);
        if (c == quote) {
            ++p;
            break;
        }
        if (c == '\r') {
            ++p;
            continue;
        }
        if (c == '\n') note_newline(p);
        if (c == '\\') {
            char next = p[1];
            if (next == '\0') raise_syntax(Error::BAD_JSON_TEXT);
            if (next == '\n') note_newline(p + 1);
            if (quote == '`') {
                // Template text keeps its escapes for the evaluator, all but \`.
                if (next != '`') text.push_back('\\');
                if (next != '\r') text.push_back(next);
            } else if (next == 'n') {
                text.push_back('\n');
            } else if (next == 'r') {
                text.push_back('\r');
            } else if (next == 't') {
                text.push_back('\t');
            } else if (next != '\r') {
                text.push_back(next);
            }
            p += 2;
            continue;
        }
        if (quote == '`' && c == '$' && p[1] == '{') has_placeholder = true;
        text.push_back(c);
        ++p;
    }
    out = new_string(text.data(), text.size());
    if (has_placeholder) cell_as<StringCell>(out)->template_mark = -1;
    return p;
}

char* read_number(char* p, int sign, ValueHandle& out) {
    const char* start = p;
    if (p[0] == '0' && p[1] == 'x') {
        char* q = p + 2;
        uint64_t magnitude = 0;
        bool fits = true;
        while (hex_value(*q) >= 0) {
            if (fits) {
                magnitude = magnitude * 16 + uint64_t(hex_value(*q));
                fits = magnitude <= 0xFFFFFFFFu;
            }
            ++q;
        }
        if (q == p + 2) bad_number(start);
        if (fits) {
            out = integer_or_float(magnitude, true, sign, start, q);
        } else {
            double value = std::strtod(std::string(start, size_t(q - start)).c_str(), nullptr);
            out = new_float(sign < 0 ? -value : value);
        }
        return q;
    }
    const bool leading_dot = *p == '.';
    char* q = p;
    uint64_t magnitude = 0;
    bool fits = true;
    while (is_digit(*q)) {
        if (fits) {
            magnitude = magnitude * 10 + uint64_t(*q - '0');
            fits = magnitude <= 0xFFFFFFFFu;
        }
        ++q;
    }
    bool is_float = false;
    if (*q == '.' && is_digit(q[1])) {
        is_float = true;
        ++q;
        while (is_digit(*q)) ++q;
        if (leading_dot && *q == '.') bad_number(start);
    } else if (leading_dot) {
        bad_number(start);
    }
    if (*q == 'e' || *q == 'E') {
        char* e = q + 1;
        if (*e == '+' || *e == '-') ++e;
        if (!is_digit(*e)) bad_number(start);
        while (is_digit(*e)) ++e;
        q = e;
        is_float = true;
    }
    if (!is_float) {
        out = integer_or_float(magnitude, fits, sign, start, q);
    } else {
        double value = std::strtod(std::string(start, size_t(q - start)).c_str(), nullptr);
        out = new_float(sign < 0 ? -value : value);
    }
    return q;
}

const char* literal_end(const char* p) {
    const char quote = *p;
    const char* q = p + 1;
    for (;;) {
        q = std::strchr(q, quote);
        if (!q) return nullptr;
        size_t backslashes = 0;
        while (q - backslashes > p + 1 && q[-1 - ptrdiff_t(backslashes)] == '\\') ++backslashes;
        if (backslashes % 2 == 0) return q + 1;
        ++q;
    }
}

const char* find_outside_literals(const char* text, char c) {
    const char* p = text;
    while (*p) {
        if (is_quote(*p)) {
            p = literal_end(p);
            if (!p) return nullptr;
            continue;
        }
        if (*p == c && !escaped(text, p)) return p;
        ++p;
    }
    return nullptr;
}

const char* find_matching_closer(const char* text, char closer, char opener) {
    int depth = 0;
    const char* p = text;
    while (*p) {
        if (is_quote(*p)) {
            p = literal_end(p);
            if (!p) return nullptr;
            continue;
        }
        if (!escaped(text, p)) {
            if (*p == closer) {
                if (depth == 0) return p;
                --depth;
            } else if (*p == opener) {
                ++depth;
            }
        }
        ++p;
    }
    return nullptr;
}

const char* excerpt_to(char* out, const char* text, size_t n) {
    size_t used = 0;
    size_t characters = 0;
    const char* p = text ? text : "";
    while (*p && *p != '\n' && characters < n) {
        if (*p == '\r' && p[1] == '\n') break;
        unsigned char lead = static_cast<unsigned char>(*p);
        size_t length = lead >= 0xFC && lead <= 0xFD ? 6
                        : lead >= 0xF8 && lead <= 0xFB ? 5
                        : lead >= 0xF0 && lead <= 0xF7 ? 4
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xC0 && lead <= 0xDF ? 2
                                                        : 1;
        size_t available = 1;
        while (available < length && p[available]) ++available;
        if (available < length) length = available;
        if (used + length > EXCERPT_BYTES) break;
        std::memcpy(out + used, p, length);
        used += length;
        p += length;
        ++characters;
    }
    out[used] = '\0';
    return out;
}

const char* excerpt(const char* text, size_t n) {
    static char buffer[EXCERPT_BYTES + 2];
    return excerpt_to(buffer, text, n);
}

void remove_comments(char* text) {
    // Block comments first. A quote inside a comment opens a literal as
    // anywhere else, so an unclosed one leaves the comment unclosed.
    char* p = text;
    while (*p) {
        if (is_quote(*p)) {
            const char* end = literal_end(p);
            if (!end) break;
            p = const_cast<char*>(end);
            continue;
        }
        if (p[0] == '/' && p[1] == '*') {
            char* q = p + 2;
            for (;;) {
                if (*q == '\0') raise_syntax(Error::BAD_COMMENT);
                if (is_quote(*q)) {
                    const char* end = literal_end(q);
                    if (!end) raise_syntax(Error::BAD_COMMENT);
                    q = const_cast<char*>(end);
                    continue;
                }
                if (q[0] == '*' && q[1] == '/') break;
                ++q;
            }
            for (char* b = p; b <= q + 1; ++b) {
                if (*b != '\n') *b = ' ';
            }
            p = q + 2;
            continue;
        }
        ++p;
    }
    // Then line comments.
    p = text;
    while (*p) {
        if (is_quote(*p)) {
            const char* end = literal_end(p);
            if (!end) return;
            p = const_cast<char*>(end);
            continue;
        }
        if (p[0] == '/' && p[1] == '/') {
            char* newline = std::strchr(p, '\n');
            if (!newline) {
                *p = '\0';
                return;
            }
            std::memset(p, ' ', size_t(newline - p));
            p = newline;
            continue;
        }
        ++p;
    }
}

}  // namespace tolv
