// The parser's entry points: module texts, statement sequences of `eval` and
// template placeholders, configuration initialisers and the top program.
#include "lang/parser.h"

#include <utility>

#include "lang/expression_parser.h"
#include "lang/lexer.h"
#include "lang/literal_parser.h"
#include "lang/operation_builder.h"
#include "lang/parse_state.h"
#include "lang/statement_parser.h"
#include "runtime/errors.h"
#include "runtime/opcodes.h"

namespace tolv {

std::vector<ValueHandle> g_initialisers;

namespace {

// Each entry point parses with a state of its own, so that text parsed while
// a script runs (`eval`, templates) starts clean and leaves nothing behind.
class ParseSession {
public:
    ParseSession(uint32_t module, bool no_stop_all) : saved_(std::move(g_parse)), saved_line_(g_error_context.parse_line) {
        g_parse = ParseState{};
        g_parse.module = module;
        g_parse.no_stop_all = no_stop_all;
    }
    ~ParseSession() {
        g_parse = std::move(saved_);
        if (restore_line_) g_error_context.parse_line = saved_line_;
    }
    ParseSession(const ParseSession&) = delete;
    ParseSession& operator=(const ParseSession&) = delete;
    bool restore_line_ = false;

private:
    ParseState saved_;
    uint32_t saved_line_;
};

// A NUL-terminated copy the parser may cut at brackets.
std::vector<char> text_copy(const char* text, size_t length) {
    std::vector<char> copy(text, text + length);
    copy.push_back('\0');
    return copy;
}

// The top program comes from the client: it may only name an application
// function and pass it request variables, globals and literal values. Calls,
// keyword operations, assignments and every other operation are refused
// before anything runs, so a client cannot run code of its own.
// Nothing has run yet: the error points at the start of the top program.
[[noreturn]] void top_statement_fail() {
    g_error_context.operation = nullptr;
    g_error_context.line = 1;
    g_error_context.column = 1;
    raise(Error::TOP_BAD_STATEMENT);
}

bool plain_argument(ValueHandle argument) {
    if (argument <= VALUE_NAN || is_plain_name(argument)) return true;
    switch (kind_of(argument)) {
    case KIND_INTEGER:
    case KIND_FLOAT:
        return true;
    case KIND_STRING:
        return cell_as<StringCell>(argument)->template_mark >= 0;
    default:
        return false;
    }
}

void check_top_call(ValueHandle call, const char* text) {
    if (!is_plain_name(operation_operand(call, 0))) top_statement_fail();
    const Word32* block = reinterpret_cast<const Word32*>(area_ptr(operation_operand(call, 1)));
    for (uint32_t i = 1; i <= block[0]; ++i)
        if (!plain_argument(block[i]))
            raise_parse(Error::TOP_BAD_OPERATOR, excerpt(text, 120));
}

}  // namespace

void parse_module(uint32_t module, char* text) {
    ParseSession session(module, false);
    g_error_context.module = module;
    begin_text(text, 1);
    std::vector<ValueHandle> statements;
    parse_statement_sequence(text, statements, true);
    g_initialisers.insert(g_initialisers.end(), statements.begin(), statements.end());
}

void parse_statements(const char* text, size_t length, std::vector<ValueHandle>& out) {
    ParseSession session(g_error_context.module, true);
    session.restore_line_ = true;
    std::vector<char> copy = text_copy(text, length);
    begin_text(copy.data(), g_error_context.line ? g_error_context.line : 1);
    parse_statement_sequence(copy.data(), out, true);
}

ValueHandle parse_initialiser(const char* text, uint32_t& name_index) {
    ParseSession session(g_error_context.module, true);
    session.restore_line_ = true;
    std::size_t length = 0;
    while (text[length]) ++length;
    std::vector<char> copy = text_copy(text, length);
    begin_text(copy.data(), 1);
    ValueHandle value = 0;
    char* rest = skip_space(parse_object_entry(copy.data(), name_index, value));
    if (*rest) raise_syntax(Error::BAD_STRING_LITERAL, excerpt(copy.data(), 120));
    return retain(value);
}

ValueHandle parse_main_script(uint32_t module, const char* text, size_t length) {
    ParseSession session(module, true);
    g_error_context.module = module;
    std::vector<char> copy = text_copy(text, length);
    // Messages quote the text as written, not the copy the parse cuts up.
    const std::vector<char> pristine = copy;
    g_parse.main_script = true;
    g_parse.main_text = pristine.data();
    begin_text(copy.data(), 1);
    ValueHandle results[18];
    int count = 0;
    parse_top_expression(copy.data(), results, 18, count);
    if (count != 1 || !is_operation(results[0], OP_CALL)) top_statement_fail();
    check_top_call(results[0], pristine.data());
    return retain(results[0]);
}

void parser_reset() {
    g_initialisers.clear();
    g_parse = ParseState{};
}

}  // namespace tolv
