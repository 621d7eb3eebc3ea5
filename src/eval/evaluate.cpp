// Evaluation by kind, the operation tables, literal instantiation and
// template strings.
#include "eval/evaluate.h"

#include <array>
#include <cstring>
#include <vector>

#include "eval/control.h"
#include "eval/handlers.h"
#include "eval/scopes.h"
#include "lang/parser.h"
#include "runtime/text.h"

namespace tolv {

bool g_expression_mode = false;

namespace {

using Table = OperationTable;

// Both tables come from the rows of runtime/opcodes.def; codes without a row
// are no operation.
constexpr Table make_operation_table() {
    Table t{};
    for (auto& entry : t) entry = op_no_operation;
#define OPCODE(code, id, name, handler, debugger, operands, missing) t[code] = handler;
#include "runtime/opcodes.def"
#undef OPCODE
    return t;
}

ValueHandle op_refused(ValueHandle) { raise(Error::DEBUG_EVAL); }

constexpr bool REFUSED = true;
constexpr bool ALLOWED = false;

constexpr Table make_restricted_table() {
    Table t = make_operation_table();
#define OPCODE(code, id, name, handler, debugger, operands, missing) \
    if (debugger) t[code] = op_refused;
#include "runtime/opcodes.def"
#undef OPCODE
    return t;
}

// ---- Literal instantiation ----------------------------------------------------

// Keys as they are, each value evaluated and retained. The vectors are read
// afresh after each evaluation, which may allocate.
void instantiate_pairs(ValueHandle literal, ValueHandle result, uint32_t n, Word32* (*pairs)(ValueHandle)) {
    for (uint32_t i = 0; i < n; ++i) {
        ValueHandle v = evaluate(pairs(literal)[2 * i + 1]);
        Word32* out = pairs(result);
        out[2 * i] = pairs(literal)[2 * i];
        out[2 * i + 1] = retain(v);
    }
}

// Every evaluation gives a container of its own, constant literals too:
// methods and index writes change containers in place, and the literal must
// be the same on the next evaluation (`var list = []` in a function called
// twice starts empty both times).
[[gnu::noinline]] ValueHandle instantiate(ValueHandle literal) {
    switch (kind_of(literal)) {
    case KIND_ARRAY: {
        uint32_t n = array_length(literal);
        ValueHandle result = new_array(n);
        std::memcpy(cell_as<ArrayCell>(result)->flags, cell_as<ArrayCell>(literal)->flags, 2);
        for (uint32_t i = 0; i < n; ++i) {
            ValueHandle v = evaluate(array_elements(literal)[i]);
            array_elements(result)[i] = retain(v);
        }
        return result;
    }
    case KIND_ASSOC_ARRAY: {
        ValueHandle result = new_assoc_array(assoc_count(literal));
        std::memcpy(cell_as<AssocArrayCell>(result)->flags, cell_as<AssocArrayCell>(literal)->flags, 2);
        instantiate_pairs(literal, result, assoc_count(literal), assoc_pairs);
        return result;
    }
    default: {
        ValueHandle result = new_hash(hash_count(literal));
        std::memcpy(cell_as<HashCell>(result)->flags, cell_as<HashCell>(literal)->flags, 2);
        instantiate_pairs(literal, result, hash_count(literal), hash_pairs);
        return result;
    }
    }
}

// ---- Templates --------------------------------------------------------------

bool odd_backslashes_before(const char* text, size_t at) {
    size_t n = 0;
    while (at > n && text[at - n - 1] == '\\') ++n;
    return (n & 1) != 0;
}

constexpr size_t PLACEHOLDER_LIMIT = 512;

void expand_placeholder(const char* text, size_t length, TextBuffer& out) {
    std::vector<ValueHandle> statements;
    settle_error_position();
    parse_statements(text, length, statements);
    ValueHandle last = VALUE_SENTINEL;
    for (ValueHandle s : statements) {
        if (last != VALUE_SENTINEL) dispose(last);
        last = evaluate(s);
        if (g_completion != COMPLETION_NORMAL) break;
    }
    if (last != VALUE_SENTINEL) {
        // The text is taken before the parsed cells go: the value may live in one of them.
        text_of(last, out);
        dispose(last);
    }
    settle_error_position();  // the position may be in a cell released here
    for (ValueHandle s : statements) release(s);
}

[[gnu::noinline]] ValueHandle expand_template(ValueHandle literal) {
    const char* text = string_text(literal);
    size_t length = string_length(literal);
    TextBuffer out;
    size_t copied = 0;
    size_t at = 0;
    while (at + 1 < length) {
        if (text[at] != '$' || text[at + 1] != '{') {
            ++at;
            continue;
        }
        if (odd_backslashes_before(text, at)) {
            at += 2;
            continue;
        }
        size_t close = at + 2;
        while (close < length && text[close] != '}') ++close;
        if (close >= length || odd_backslashes_before(text, close)) raise(Error::BAD_TEMPLATE);
        size_t inner = close - (at + 2);
        if (inner >= PLACEHOLDER_LIMIT) raise(Error::TEMPLATE_OVERFLOW);
        out.append(text + copied, at - copied);
        // The parser may write into the text it reads: give it a copy.
        char placeholder[PLACEHOLDER_LIMIT];
        std::memcpy(placeholder, text + at + 2, inner);
        placeholder[inner] = '\0';
        expand_placeholder(placeholder, inner, out);
        text = string_text(literal);  // the heap may have moved nothing, but stay safe
        at = close + 1;
        copied = at;
    }
    out.append(text + copied, length - copied);
    return new_string(out.data(), out.size());
}

// Kept out of evaluate(): its buffer would otherwise sit in every evaluation frame.
[[noreturn, gnu::noinline, gnu::cold]] void not_evaluable(ValueHandle h) {
    char excerpt[512];
    message_excerpt(h, excerpt, sizeof excerpt, 120);
    raise(Error::BAD_EVAL_TEXT, excerpt);
}

}  // namespace

constinit const OperationTable g_operation_table = make_operation_table();
constinit const OperationTable g_restricted_table = make_restricted_table();

ValueHandle evaluate_other(ValueHandle h) {
    switch (h >> 24) {
    case KIND_NAME:
        return h <= VALUE_NAN ? h : lookup_variable(h);
    case KIND_OPERATION:
        return evaluate(h);
    case KIND_INTEGER:
    case KIND_DATE:
    case KIND_ERROR:
    case KIND_REGEXP:
    case KIND_FLOAT:
    case KIND_FUNCTION:
        return h;
    case KIND_STRING:
        return cell_as<StringCell>(h)->template_mark < 0 ? expand_template(h) : h;
    case KIND_ARRAY:
    case KIND_ASSOC_ARRAY:
    case KIND_HASH:
        return instantiate(h);
    default:
        not_evaluable(h);
    }
}

ValueHandle op_nop(ValueHandle) { return VALUE_UNDEFINED; }

ValueHandle op_no_operation(ValueHandle) { raise(Error::DEBUG_EVAL); }

ValueHandle op_paren_list(ValueHandle cell) {
    const OperationCell* c = operation_cell(cell);
    uint32_t n = operand_count(c);
    ValueHandle result = VALUE_UNDEFINED;
    for (uint32_t i = 0; i < n; ++i) {
        if (i > 0) dispose(result);
        result = evaluate(operand(operation_cell(cell), i));
    }
    return result;
}

bool truth_value(ValueHandle v) {
    switch (kind_of(v)) {
    case KIND_NAME:
        return v == VALUE_TRUE || v > VALUE_NAN;
    case KIND_INTEGER:
        return integer_value(v) != 0;
    case KIND_FLOAT:
        return float_value(v) != 0.0;
    case KIND_STRING:
        return string_length(v) != 0;
    case KIND_ARRAY:
        return array_length(v) != 0;
    case KIND_ASSOC_ARRAY:
        return assoc_count(v) != 0;
    case KIND_HASH:
        return hash_count(v) != 0;
    default:
        return true;
    }
}

ValueHandle take_from_temporary(ValueHandle container, ValueHandle result) {
    if (!has_storage(container) || ref_count(container) != 0) return result;
    retain(result);
    dispose(container);
    release_keep(result);
    return result;
}

void message_excerpt(ValueHandle v, char* out, size_t out_size, size_t limit) {
    TextBuffer text;
    if (kind_of(v) == KIND_FUNCTION || is_sentinel(v) || kind_of(v) == KIND_UNUSED || kind_of(v) == KIND_RESERVED) {
        text.appendf("%08X", v);
    } else {
        text_of(v, text);
    }
    // Cut at `limit` characters without splitting a UTF-8 sequence.
    size_t bytes = 0;
    size_t chars = 0;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    while (bytes < text.size() && chars < limit) {
        size_t step = s[bytes] >= 0xF0 ? 4 : s[bytes] >= 0xE0 ? 3 : s[bytes] >= 0xC0 ? 2 : 1;
        if (bytes + step > text.size() || bytes + step >= out_size) break;
        bytes += step;
        ++chars;
    }
    std::memcpy(out, text.data(), bytes);
    out[bytes] = '\0';
}

}  // namespace tolv
