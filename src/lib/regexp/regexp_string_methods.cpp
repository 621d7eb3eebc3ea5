#include "lib/regexp/regexp_string_methods.h"

#include <cstring>
#include <string>
#include <vector>

#include "lib/regexp/regexp_methods.h"
#include "lib/regexp/regexp_values.h"
#include "lib/string/string_methods.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

using namespace regexp;

namespace {

constexpr size_t REFERENCE_LIMIT = 255;
constexpr size_t GROUP_NAME_LIMIT = 200;
constexpr int32_t SPLIT_LIMIT = 16777215;


// Frees a RegExp made for one call when the call ends, however it ends.
struct MadeRegexp {
    ValueHandle handle;
    explicit MadeRegexp(ValueHandle h) : handle(h) {}
    ~MadeRegexp() { dispose(handle); }
    MadeRegexp(const MadeRegexp&) = delete;
    MadeRegexp& operator=(const MadeRegexp&) = delete;
};

void append_group(std::string& out, const SubjectText& text, const int32_t* caps, uint32_t g) {
    const int32_t from = caps[2 * g], to = caps[2 * g + 1];
    if (from < 0 || to < from) return;
    const size_t a = text.byte_at(size_t(from)), b = text.byte_at(size_t(to));
    out.append(text.bytes() + a, b - a);
}

uint32_t group_named(const Program& program, const char* name, size_t length) {
    const uint32_t* names = group_names(program);
    for (uint32_t g = 1; g <= group_count(program); ++g) {
        if (names[g] && name_length(names[g]) == length && std::memcmp(name_text(names[g]), name, length) == 0)
            return g;
    }
    return 0;
}

// The replacement text with $n and $<name> replaced by the groups' texts.
void expand(const char* r, size_t n, const Program& program, const SubjectText& text, const int32_t* caps,
            std::string& out) {
    if (group_count(program) == 0) {
        out.append(r, n);
        return;
    }
    size_t references = 0;
    auto count_reference = [&references] {
        if (++references > REFERENCE_LIMIT) raise(Error::REGEXP_REPLACEMENT_COUNT);
    };
    size_t i = 0;
    while (i < n) {
        const char c = r[i];
        if (c != '$' || (i > 0 && r[i - 1] == '\\') || i + 1 >= n) {
            out += c;
            ++i;
            continue;
        }
        const char next = r[i + 1];
        if (next >= '0' && next <= '9') {
            size_t j = i + 1;
            uint64_t number = 0;
            while (j < n && r[j] >= '0' && r[j] <= '9') {
                if (number < 100000) number = number * 10 + uint64_t(r[j] - '0');
                ++j;
            }
            if (number < 1 || number > group_count(program)) raise(Error::REGEXP_BAD_GROUP_REFERENCE);
            count_reference();
            append_group(out, text, caps, uint32_t(number));
            i = j;
            continue;
        }
        if (next == '<') {
            size_t close = i + 2;
            while (close < n && !(r[close] == '>' && r[close - 1] != '\\')) ++close;
            if (close >= n) {  // no ">": as written
                out += c;
                ++i;
                continue;
            }
            const size_t length = close - (i + 2);
            if (length > GROUP_NAME_LIMIT) raise(Error::REGEXP_BAD_GROUP_2718);
            const uint32_t g = group_named(program, r + i + 2, length);
            if (g) {
                count_reference();
                append_group(out, text, caps, g);
            } else {
                out.append(r + i, close + 1 - i);
            }
            i = close + 1;
            continue;
        }
        out += c;
        ++i;
    }
}

ValueHandle new_text_string(const std::string& s) { return new_string(s.data(), s.size()); }

ValueHandle replace_regexp(ValueHandle receiver, ValueHandle regexp, ValueHandle replacement, bool all) {
    const Program& program = regexp_program(regexp);
    const bool sticky = regexp_flags(regexp) & REGEXP_FLAG_Y;
    SubjectText text;
    text.load(receiver);
    std::vector<int32_t> caps = capture_slots(program);
    std::string out;
    size_t start = 0, copied = 0;
    bool replaced = false;
    while (text.search(program, start, sticky, caps.data()) && caps[1] > caps[0]) {
        const size_t from = text.byte_at(size_t(caps[0]));
        out.append(text.bytes() + copied, from - copied);
        expand(string_text(replacement), string_length(replacement), program, text, caps.data(), out);
        copied = text.byte_at(size_t(caps[1]));
        start = size_t(caps[1]);
        replaced = true;
        if (!all) break;
    }
    if (!replaced) return receiver;
    out.append(text.bytes() + copied, string_length(receiver) - copied);
    return new_text_string(out);
}

}  // namespace

ValueHandle pattern_replace(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    if (!is_regexp(args[0]) || !is_string(args[1])) return string_replace(receiver, args, count);
    return replace_regexp(receiver, args[0], args[1], false);
}

ValueHandle pattern_replace_all(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    if (!is_regexp(args[0]) || !is_string(args[1])) return string_replace_all(receiver, args, count);
    if (!(regexp_flags(args[0]) & REGEXP_FLAG_G)) raise(Error::REGEXP_GLOBAL_ARGUMENT);
    return replace_regexp(receiver, args[0], args[1], true);
}

ValueHandle pattern_split(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    if (count == 0 || !is_regexp(args[0])) return string_split(receiver, args, count);
    int32_t limit = SPLIT_LIMIT;
    if (count > 1) {
        if (kind_of(args[1]) != KIND_INTEGER || is_sentinel(args[1])) raise(Error::NOT_INTEGER_ARGUMENT_2740);
        limit = integer_value(args[1]);
    }
    const ValueHandle pieces = new_array(0);
    if (limit <= 0) return pieces;
    const Program& program = regexp_program(args[0]);
    SubjectText subject;
    subject.load(receiver);
    std::vector<int32_t> caps = capture_slots(program);
    int32_t made = 0;
    size_t start = 0, previous = 0;
    while (made < limit && subject.search(program, start, false, caps.data()) && caps[1] > caps[0]) {
        array_push(pieces, subject.slice(previous, size_t(caps[0])));
        ++made;
        for (uint32_t g = 1; g <= group_count(program) && made < limit; ++g, ++made) {
            const int32_t from = caps[2 * g], to = caps[2 * g + 1];
            array_push(pieces, from >= 0 && to >= from ? subject.slice(size_t(from), size_t(to)) : new_string("", 0));
        }
        previous = start = size_t(caps[1]);
    }
    if (made < limit) array_push(pieces, subject.slice(previous, subject.length()));
    return pieces;
}

ValueHandle pattern_search(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    MadeRegexp made(VALUE_UNDEFINED);
    const ValueHandle regexp = is_regexp(args[0]) ? args[0] : (made.handle = regexp_from_value(args[0]));
    const Program& program = regexp_program(regexp);
    SubjectText text;
    text.load(receiver);
    std::vector<int32_t> caps = capture_slots(program);
    const bool sticky = regexp_flags(regexp) & REGEXP_FLAG_Y;
    if (text.search(program, 0, sticky, caps.data()) && caps[1] > caps[0]) return new_integer(text.character_at(caps[0]));
    return new_integer(-1);
}

ValueHandle pattern_match(ValueHandle receiver, const ValueHandle* args, uint32_t count) {
    if (count == 0) {
        const ValueHandle one = new_array(0);
        array_push(one, new_string("", 0));
        return one;
    }
    MadeRegexp made(VALUE_UNDEFINED);
    const ValueHandle regexp = is_regexp(args[0]) ? args[0] : (made.handle = regexp_from_value(args[0]));
    const Program& program = regexp_program(regexp);
    const uint8_t flags = regexp_flags(regexp);
    SubjectText text;
    text.load(receiver);
    std::vector<int32_t> caps = capture_slots(program);
    const bool sticky = flags & REGEXP_FLAG_Y;
    if (!(flags & REGEXP_FLAG_G)) {
        if (!text.search(program, 0, sticky, caps.data())) return VALUE_NULL;
        return exec_result(program, receiver, text, caps.data());
    }
    ValueHandle all = VALUE_NULL;
    size_t start = 0;
    while (text.search(program, start, sticky, caps.data())) {
        if (all == VALUE_NULL) all = new_array(0);
        array_push(all, text.slice(size_t(caps[0]), size_t(caps[1])));
        start = size_t(caps[1] > caps[0] ? caps[1] : caps[0] + 1);
    }
    return all;
}

ValueHandle pattern_match_all(ValueHandle receiver, const ValueHandle* args, uint32_t) {
    MadeRegexp made(VALUE_UNDEFINED);
    const ValueHandle regexp = is_regexp(args[0]) ? args[0] : (made.handle = regexp_from_value(args[0]));
    value_ptr(regexp)[1] |= REGEXP_FLAG_G;
    const Program& program = regexp_program(regexp);
    SubjectText text;
    text.load(receiver);
    std::vector<int32_t> caps = capture_slots(program);
    const bool sticky = regexp_flags(regexp) & REGEXP_FLAG_Y;
    const ValueHandle all = new_array(0);
    size_t start = 0;
    while (text.search(program, start, sticky, caps.data())) {
        if (caps[1] == caps[0]) {
            dispose(all);
            raise(Error::REGEXP_MULTIBYTE);
        }
        const ValueHandle one = new_array(0);
        array_push(one, text.slice(size_t(caps[0]), size_t(caps[1])));
        for (uint32_t g = 1; g <= group_count(program); ++g) {
            const int32_t from = caps[2 * g], to = caps[2 * g + 1];
            array_push(one, from >= 0 && to >= from ? text.slice(size_t(from), size_t(to)) : new_string("", 0));
        }
        array_push(all, one);
        start = size_t(caps[1]);
    }
    return all;
}

namespace {

struct Entry {
    const char* name;
    MethodHandler handler;
};
const Entry PATTERN_METHODS[] = {
    {"replace", pattern_replace}, {"replaceAll", pattern_replace_all}, {"split", pattern_split},
    {"search", pattern_search},   {"str_match", pattern_match},        {"str_matchAll", pattern_match_all},
};

}  // namespace

void install_regexp_string_methods() {
    for (const Entry& e : PATTERN_METHODS) set_string_method_handler(e.name, e.handler);
}

}  // namespace tolv
