// RegExp values as scripts see them: literals, the constructor, the
// properties and the methods exec, test and toString.
#include "lib/regexp/regexp_methods.h"

#include <cstring>
#include <string>

#include "eval/evaluate.h"
#include "eval/library_hooks.h"
#include "eval/methods.h"
#include "lang/regexp_literal.h"
#include "lib/regexp/regexp_string_methods.h"
#include "lib/regexp/regexp_values.h"
#include "regexp/regexp.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"
#include "runtime/regexp_record.h"
#include "runtime/text.h"

namespace tolv {

using namespace regexp;

namespace {

constexpr uint8_t GLOBAL_OR_STICKY = REGEXP_FLAG_G | REGEXP_FLAG_Y;

ValueHandle boolean(bool b) { return b ? VALUE_TRUE : VALUE_FALSE; }

// ---- Literals ------------------------------------------------------------------

// A literal is one RegExp value: compiled at its first evaluation and kept
// in its cell, so its lastIndex carries over from one evaluation to the next.
ValueHandle evaluate_literal(ValueHandle cell) {
    Word32* operands = const_cast<Word32*>(operands_of(operation_cell(cell)));
    if (kind_of(operands[1]) == KIND_REGEXP) return operands[1];
    const ValueHandle text = operands[0];
    const RegexpLiteralParts parts = split_regexp_literal(string_text(text), string_length(text));
    const uint8_t flags = parse_regexp_flags(parts.flags, parts.flags_length, eval_fail);
    const ValueHandle regexp = compile_regexp(parts.pattern, parts.pattern_length, flags, eval_fail);
    operands[1] = retain(regexp);
    return regexp;
}

// ---- Constructor ------------------------------------------------------------------

ValueHandle construct(const ValueHandle* args, uint32_t count) {
    if (count < 1 || kind_of(args[0]) != KIND_STRING || is_sentinel(args[0]))
        raise(Error::REGEXP_PATTERN_NOT_STRING);
    uint8_t flags = 0;
    if (count > 1) {
        if (kind_of(args[1]) != KIND_STRING || is_sentinel(args[1])) raise(Error::REGEXP_FLAGS_NOT_STRING);
        flags = parse_regexp_flags(string_text(args[1]), string_length(args[1]), eval_fail);
    }
    return compile_regexp(string_text(args[0]), string_length(args[0]), flags, eval_fail);
}

// ---- Properties -------------------------------------------------------------------

bool is_name(uint32_t name, const char* text) {
    const size_t n = std::strlen(text);
    return name_length(name) == n && std::memcmp(name_text(name), text, n) == 0;
}

ValueHandle property(ValueHandle regexp, uint32_t name) {
    const uint8_t* record = value_ptr(regexp);
    const uint8_t flags = record[1];
    if (name < g_names.count) {
        if (is_name(name, "flags")) {
            char letters[8];
            const size_t n = regexp_flag_letters(flags, letters);
            return n ? new_string(letters, n) : VALUE_NULL;
        }
        if (is_name(name, "dotAll")) return boolean(flags & REGEXP_FLAG_S);
        if (is_name(name, "global")) return boolean(flags & REGEXP_FLAG_G);
        if (is_name(name, "ignoreCase")) return boolean(flags & REGEXP_FLAG_I);
        if (is_name(name, "multiline")) return boolean(flags & REGEXP_FLAG_M);
        if (is_name(name, "sticky")) return boolean(flags & REGEXP_FLAG_Y);
        if (is_name(name, "unicode")) return VALUE_TRUE;
        if (is_name(name, "source")) return new_string(regexp_source(record));
        if (is_name(name, "lastIndex")) return new_integer(regexp_last_index(record));
    }
    raise(Error::REGEXP_BAD_PROPERTY);
}

// ---- exec, test, toString ------------------------------------------------------------

// Loads the subject of exec or test; a match starts at the last index with g
// or y, else at 0. False when the start lies beyond the text.
bool match_for_method(ValueHandle regexp, ValueHandle subject, ErrorForm<> not_string, SubjectText& text,
                      std::vector<int32_t>& caps) {
    if (kind_of(subject) != KIND_STRING || is_sentinel(subject)) raise(not_string);
    text.load(subject);
    uint8_t* record = value_ptr(regexp);
    const uint8_t flags = record[1];
    const Program& program = regexp_program(regexp);
    caps = capture_slots(program);
    int32_t start = (flags & GLOBAL_OR_STICKY) ? regexp_last_index(record) : 0;
    if (start < 0) start = 0;
    const bool found = text.search(program, text.unit_at(size_t(start)), flags & REGEXP_FLAG_Y, caps.data());
    if (!found) {
        set_regexp_last_index(record, 0);
        return false;
    }
    if (flags & GLOBAL_OR_STICKY) set_regexp_last_index(record, text.character_at(caps[1]));
    return true;
}

// [start, end] of a span of units, in characters.
ValueHandle span_array(const SubjectText& text, int32_t from, int32_t to) {
    const ValueHandle pair = new_array(0);
    array_push(pair, new_integer(text.character_at(from)));
    array_push(pair, new_integer(text.character_at(to)));
    return pair;
}

ValueHandle integer_key(uint32_t n) { return make_handle(KIND_INTEGER, n); }

ValueHandle exec(ValueHandle regexp, const ValueHandle* args, uint32_t) {
    SubjectText text;
    std::vector<int32_t> caps;
    if (!match_for_method(regexp, args[0], Error::NOT_STRING_ARGUMENT_5042, text, caps)) return VALUE_NULL;
    return exec_result(regexp_program(regexp), args[0], text, caps.data());
}

ValueHandle test(ValueHandle regexp, const ValueHandle* args, uint32_t) {
    SubjectText text;
    std::vector<int32_t> caps;
    if (!match_for_method(regexp, args[0], Error::NOT_STRING_ARGUMENT_5045, text, caps)) return VALUE_FALSE;
    if (caps[1] == caps[0] && string_length(args[0]) > 0) {
        // An empty match is no match, but on the empty text it is the whole text.
        set_regexp_last_index(value_ptr(regexp), 0);
        return VALUE_FALSE;
    }
    return VALUE_TRUE;
}

ValueHandle to_string(ValueHandle regexp, const ValueHandle*, uint32_t) {
    TextBuffer out;
    text_of(regexp, out);
    return new_string(out.data(), out.size());
}

const int16_t REGEXP_MIN[] = {1, 1, 0};
const int16_t REGEXP_MAX[] = {1, 1, 0};
MethodHandler g_regexp_handlers[3] = {exec, test, to_string};
const MethodList REGEXP_LIST = {"exec      test      toString  ", 10, 3, REGEXP_MIN, REGEXP_MAX, g_regexp_handlers,
                                Error::BAD_REGEXP_METHOD, Error::WRONG_ARGUMENT_COUNT_5075,
                                Error::WRONG_ARGUMENT_COUNT_5075};

}  // namespace

ValueHandle exec_result(const Program& program, ValueHandle subject, const SubjectText& text, const int32_t* caps) {
    const uint32_t groups = group_count(program);
    const ValueHandle result = new_assoc_array(0);
    assoc_set(result, integer_key(0), text.slice(size_t(caps[0]), size_t(caps[1])));
    assoc_set(result, NAME_INDEX, new_integer(text.character_at(caps[0])));
    assoc_set(result, NAME_INPUT, subject);
    const ValueHandle indices = new_assoc_array(0);
    assoc_set(result, NAME_INDICES, indices);
    assoc_set(indices, integer_key(0), span_array(text, caps[0], caps[1]));
    const uint32_t* names = group_names(program);
    const ValueHandle named = has_group_names(program) ? new_assoc_array(0) : VALUE_UNDEFINED;
    for (uint32_t g = 1; g <= groups; ++g) {
        const int32_t from = caps[2 * g], to = caps[2 * g + 1];
        const bool took_part = from >= 0 && to >= from;
        // A group that took no part in the match gives an empty text.
        const ValueHandle part = took_part ? text.slice(size_t(from), size_t(to)) : new_string("", 0);
        assoc_set(indices, integer_key(g), took_part ? span_array(text, from, to) : VALUE_UNDEFINED);
        if (names[g]) assoc_set(named, names[g], part);
        assoc_set(result, integer_key(g), part);
    }
    assoc_set(indices, NAME_GROUPS, named);
    const uint32_t length_name = intern_name("length", 6);
    assoc_set(indices, length_name, new_integer(int32_t(groups + 1)));
    return result;
}

void install_regexp() {
    g_keyword_hooks[OP_REGEXP_LITERAL - OP_FIRST] = evaluate_literal;
    g_regexp_constructor = construct;
    g_regexp_property = property;
    g_method_lists[RECEIVER_REGEXP_VALUE] = &REGEXP_LIST;
    install_regexp_string_methods();
}

}  // namespace tolv
