#include "lang/literal_parser.h"

#include <vector>

#include "lang/expression_parser.h"
#include "lang/lexer.h"
#include "lang/operation_builder.h"
#include "lang/parse_state.h"
#include "lang/scopes.h"
#include "lang/statement_parser.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/opcodes.h"

namespace tolv {

namespace {

constexpr size_t LOCAL_LIMIT = 255;
constexpr size_t HASH_ENTRY_LIMIT = 0xFFFF - 10;

// A parameter: a name, or `name = default`.
bool is_parameter(ValueHandle h) {
    if (is_plain_name(h)) return true;
    return is_operation(h, OP_ASSIGN) && operation_operand_count(h) == 2 && is_plain_name(operation_operand(h, 0));
}

uint32_t parameter_name(ValueHandle h) { return is_plain_name(h) ? h : operation_operand(h, 0); }

ValueHandle build_function(const std::vector<ValueHandle>& params, const std::vector<uint32_t>& locals,
                           ValueHandle body, uint32_t first_line, uint32_t last_line) {
    std::vector<uint32_t> names(params.begin(), params.end());
    names.insert(names.end(), locals.begin(), locals.end());
    AreaRef vector = names.empty() ? 0 : build_word_vector(names.data(), names.size());
    ValueHandle h = new_cell(KIND_FUNCTION, 0);
    FunctionCell* cell = cell_as<FunctionCell>(h);
    cell->module = uint8_t(g_parse.module & 0x7F);
    cell->param_count = uint8_t(params.size());
    cell->local_count = uint8_t(locals.size());
    cell->body = retain(body);
    cell->names = vector;
    cell->first_line = uint16_t(first_line > 0xFFFF ? 0xFFFF : first_line);
    cell->last_line = uint16_t(last_line > 0xFFFF ? 0xFFFF : last_line);
    return h;
}

}  // namespace

char* parse_function(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    auto bad_format = [statement]() { raise_syntax(Error::BAD_FORMAT_1050, excerpt(statement, 120)); };
    char* p = skip_space(text);
    uint32_t name = 0;
    bool named = false;
    if (is_ident_start(*p)) {
        p = read_identifier(p, name);
        if (name < PREDEFINED_NAME_COUNT) raise_syntax(Error::BAD_FUNCTION_NAME, excerpt(statement, 120));
        declare_variable(name);
        named = true;
    }
    p = skip_space(p);
    if (*p != '(') bad_format();
    char* close = find_matching_closer(p + 1, ')', '(');
    if (!close) bad_format();
    ValueHandle items[256];
    int count = 0;
    {
        TextCut cut(close);
        char* rest = skip_space(parse_expression_list(p + 1, items, 256, count, true));
        if (*rest) bad_format();
    }
    std::vector<ValueHandle> params(items, items + count);
    for (ValueHandle item : params) {
        if (!is_parameter(item)) bad_format();
    }
    p = skip_space(close + 1);
    if (*p != '{') bad_format();

    FunctionScope saved = std::move(g_parse.function);
    g_parse.function = FunctionScope{};
    g_parse.function.active = true;
    g_parse.function.local_start = g_parse.local_names.size();
    for (ValueHandle item : params) g_parse.function.params.push_back(parameter_name(item));
    ValueHandle body = 0;
    char* after = nullptr;
    std::vector<uint32_t> locals;
    try {
        after = parse_block(p, body);
        locals.assign(g_parse.local_names.begin() + ptrdiff_t(g_parse.function.local_start),
                      g_parse.local_names.end());
    } catch (...) {
        g_parse.local_names.resize(g_parse.function.local_start);
        g_parse.function = std::move(saved);
        throw;
    }
    const uint32_t last_line = g_error_context.parse_line;
    g_parse.local_names.resize(g_parse.function.local_start);
    g_parse.function = std::move(saved);
    if (locals.size() > LOCAL_LIMIT) bad_format();

    ValueHandle function = build_function(params, locals, body, position_line(position), last_line);
    if (named) {
        ValueHandle operands[2] = {name_handle(name), function};
        out = build_operation(OP_ASSIGN, operands, 2, position);
    } else {
        out = function;
    }
    g_parse.end_flag = true;
    return after;
}

char* parse_array_literal(char* text, ValueHandle& out) {
    char* close = find_matching_closer(text, ']', '[');
    if (!close) raise_syntax(Error::BAD_JSON_FORMAT_1070, excerpt(text, 120));
    std::vector<ValueHandle> elements;
    elements.reserve(64);
    {
        TextCut cut(close);
        char* p = skip_space(text);
        while (*p) {
            ValueHandle element = 0;
            int count = 0;
            const char* start = p;
            p = skip_space(parse_element(p, element, count));
            if (count != 1) raise_syntax(Error::BAD_JSON_FORMAT_1070, excerpt(start, 120));
            elements.push_back(element);
        }
    }
    ValueHandle array = new_array(uint32_t(elements.size()));
    Word32* slots = array_elements(array);
    for (size_t i = 0; i < elements.size(); ++i) slots[i] = retain(elements[i]);
    out = array;
    return close + 1;
}

char* parse_object_entry(char* text, uint32_t& name_index, ValueHandle& value) {
    char* p = skip_space(text);
    const char* start = p;
    auto bad_entry = [start]() { raise_syntax(Error::BAD_STRING_LITERAL, excerpt(start, 120)); };
    if (is_quote(*p)) {
        ValueHandle key = 0;
        p = read_string_literal(p + 1, *p, key);
        const uint32_t length = string_length(key);
        if (length == 0 || length > 255) bad_entry();
        name_index = intern_name(string_text(key), length);
        dispose(key);
    } else if (is_ident_start(*p)) {
        p = read_identifier(p, name_index);
    } else {
        bad_entry();
    }
    p = skip_space(p);
    if (*p != ':') bad_entry();
    int count = 0;
    p = parse_element(p + 1, value, count);
    if (count != 1) bad_entry();
    return p;
}

char* parse_object_literal(char* text, ValueHandle& out) {
    char* close = find_matching_closer(text, '}', '{');
    if (!close) raise_syntax(Error::BAD_JSON_LITERAL, excerpt(text, 120));
    std::vector<std::pair<uint32_t, ValueHandle>> entries;
    entries.reserve(32);
    {
        TextCut cut(close);
        char* p = skip_space(text);
        while (*p) {
            uint32_t name = 0;
            ValueHandle value = 0;
            p = skip_space(parse_object_entry(p, name, value));
            entries.emplace_back(name, value);
        }
    }
    // The pair count of a hash is 16 bits wide.
    if (entries.size() > HASH_ENTRY_LIMIT) raise_syntax(Error::BAD_JSON_LITERAL, excerpt(text, 120));
    ValueHandle hash = new_hash(uint32_t(entries.size()));
    Word32* pairs = hash_pairs(hash);
    for (size_t i = 0; i < entries.size(); ++i) {
        pairs[2 * i] = entries[i].first;
        pairs[2 * i + 1] = retain(entries[i].second);
    }
    cell_as<HashCell>(hash)->count = uint16_t(entries.size());
    out = hash;
    return close + 1;
}

}  // namespace tolv
