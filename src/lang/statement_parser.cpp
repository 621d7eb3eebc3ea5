#include "lang/statement_parser.h"

#include <cstring>
#include <utility>

#include "lang/expression_parser.h"
#include "lang/keywords.h"
#include "lang/lexer.h"
#include "lang/operation_builder.h"
#include "lang/parse_state.h"
#include "lang/scopes.h"
#include "runtime/opcodes.h"

namespace tolv {

namespace {

constexpr int STATEMENT_MAX = 18;
constexpr size_t SWITCH_TABLE_LIMIT = 1024;

// `(` exactly one expression `)`; nullptr when the shape is wrong.
char* read_condition(char* text, int max, ValueHandle& out) {
    char* open = skip_space(text);
    if (*open != '(') return nullptr;
    char* close = find_matching_closer(open + 1, ')', '(');
    if (!close) return nullptr;
    ValueHandle results[128];
    int count = 0;
    {
        TextCut cut(close);
        char* rest = skip_space(parse_expression_list(open + 1, results, max, count, false));
        if (*rest || count != 1) return nullptr;
    }
    out = results[0];
    return close + 1;
}

char* skip_semicolon(char* p) {
    char* q = skip_space(p);
    return *q == ';' ? q + 1 : q;
}

// First ';' not preceded by an odd number of backslashes.
char* find_separator(char* text) {
    for (char* p = text; *p; ++p) {
        if (*p != ';') continue;
        size_t backslashes = 0;
        while (p - backslashes > text && p[-1 - ptrdiff_t(backslashes)] == '\\') ++backslashes;
        if (backslashes % 2 == 0) return p;
    }
    return nullptr;
}

enum class Declaration : uint8_t { VAR, LET, CONST };

char* parse_declaration(Declaration kind, char* text, ValueHandle& out, const char* statement, uint32_t position) {
    static const char* const KEYWORD[] = {"var", "let", "const"};
    static constexpr uint8_t OPCODE[] = {OP_VAR, OP_LET, OP_CONST};
    const char* keyword = KEYWORD[int(kind)];
    auto bad_item = [&]() {
        if (kind == Declaration::VAR) raise_syntax(Error::BAD_FORMAT_1025, excerpt(statement, 120));
        raise_syntax(Error::BAD_FORMAT_IN, excerpt(statement, 120), keyword);
    };
    ValueHandle items[256];
    int count = 0;
    char* end = parse_expression_list(text, items, 256, count, false);
    if (count == 0) bad_item();
    for (int i = 0; i < count; ++i) {
        ValueHandle item = items[i];
        uint32_t name;
        if (is_plain_name(item)) {
            name = item;
        } else if (is_operation(item, OP_ASSIGN) && is_plain_name(operation_operand(item, 0))) {
            name = operation_operand(item, 0);
        } else if (kind != Declaration::VAR &&
                   (item <= VALUE_NULL || (is_operation(item, OP_ASSIGN) && operation_operand(item, 0) <= VALUE_NULL))) {
            // undefined, true, false and null are names too: the statement
            // refuses them when it runs, where a script can catch that.
            continue;
        } else {
            bad_item();
        }
        if (kind == Declaration::VAR) {
            declare_variable(name);
        } else {
            declare_lexical(name, keyword, statement);
        }
    }
    out = build_operation(OPCODE[int(kind)], items, size_t(count), position);
    return end;
}

}  // namespace

char* parse_block(char* text, ValueHandle& out) {
    const uint32_t position = position_code(text);
    char* close = find_matching_closer(text + 1, '}', '{');
    if (!close) raise_syntax(Error::BAD_BLOCK, excerpt(text + 1, 120));
    std::vector<ValueHandle> statements;
    {
        TextCut cut(close);
        BlockRange range;
        parse_statement_sequence(text + 1, statements, false);
    }
    out = build_operation(OP_BLOCK, statements.data(), statements.size(), position);
    return close + 1;
}

char* parse_statement(char* text, ValueHandle& out) {
    NestingGuard guard(text);
    out = 0;
    char* p = skip_space(text);
    if (*p == '{') return skip_semicolon(parse_block(p, out));
    if (is_ident_start(*p)) {
        const char* after = nullptr;
        const int keyword = recognise_keyword(p, &after);
        // Call-like keywords read as expression statements, so that
        // `parseInt(a) + 1;` is one statement.
        if (keyword >= 0 && keyword_is_statement(keyword)) {
            const uint32_t position = position_code(p);
            char* end = keyword_routine(keyword)(const_cast<char*>(after), out, p, position);
            g_parse.end_flag = false;
            return skip_semicolon(end);
        }
    }
    ValueHandle results[STATEMENT_MAX];
    int count = 0;
    char* end = parse_expression_list(p, results, STATEMENT_MAX, count, false);
    if (count > 1) raise_syntax(Error::BAD_STATEMENT_1000, excerpt(p, 120));
    if (count == 1) out = results[0];
    return end;
}

void parse_statement_sequence(char* text, std::vector<ValueHandle>& out, bool retain) {
    out.reserve(out.size() + 512);
    char* p = text;
    for (;;) {
        p = skip_space(p);
        if (*p == '\0') return;
        if (*p == ';') {
            ++p;
            continue;
        }
        ValueHandle statement = 0;
        char* next = parse_statement(p, statement);
        if (next == p) raise_syntax(Error::BAD_STATEMENT_1000, excerpt(p, 120));
        p = next;
        if (statement) out.push_back(retain ? tolv::retain(statement) : statement);
    }
}

char* parse_break(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    char* p = skip_space(text);
    if (*p != ';') raise_syntax(Error::BAD_STATEMENT_1105, excerpt(statement, 120));
    out = build_operation(OP_BREAK, nullptr, 0, position);
    return p + 1;
}

char* parse_continue(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    char* p = skip_space(text);
    if (*p != ';') raise_syntax(Error::BAD_STATEMENT_1110, excerpt(statement, 120));
    out = build_operation(OP_CONTINUE, nullptr, 0, position);
    return p + 1;
}

char* parse_return(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    ValueHandle results[8];
    int count = 0;
    char* end = parse_expression_list(text, results, 8, count, false);
    if (count > 1) raise_syntax(Error::BAD_STATEMENT_1115, excerpt(statement, 120));
    out = build_operation(OP_RETURN, results, size_t(count), position);
    return end;
}

char* parse_throw(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    ValueHandle results[4];
    int count = 0;
    char* end = parse_expression_list(text, results, 4, count, false);
    if (count != 1) raise_syntax(Error::BAD_STATEMENT_1100, excerpt(statement, 120));
    out = build_operation(OP_THROW, results, 1, position);
    return end;
}

char* parse_if(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    ValueHandle operands[3] = {0, 0, 0};
    char* p = read_condition(text, 10, operands[0]);
    if (!p) raise_syntax(Error::BAD_STATEMENT_UNCLOSED, excerpt(statement, 120));
    p = parse_statement(p, operands[1]);
    size_t count = 2;
    char* q = skip_space(p);
    if (at_word(q, "else")) {
        p = parse_statement(q + 4, operands[2]);
        count = 3;
    }
    out = build_operation(OP_IF, operands, count, position);
    return p;
}

char* parse_while(char* text, ValueHandle& out, const char*, uint32_t position) {
    ValueHandle operands[2] = {0, 0};
    char* p = read_condition(text, 8, operands[0]);
    if (!p) raise_syntax(Error::BAD_WHILE, excerpt(text, 120));
    p = parse_statement(p, operands[1]);
    out = build_operation(OP_WHILE, operands, 2, position);
    return p;
}

char* parse_do(char* text, ValueHandle& out, const char*, uint32_t position) {
    ValueHandle operands[2] = {0, 0};
    char* p = parse_statement(text, operands[0]);
    char* q = skip_space(p);
    if (!at_word(q, "while")) raise_syntax(Error::BAD_DO_WHILE, excerpt(text, 120), "");
    p = read_condition(q + 5, 4, operands[1]);
    if (!p) raise_syntax(Error::BAD_DO_WHILE, excerpt(text, 120), "... while");
    out = build_operation(OP_DO_WHILE, operands, 2, position);
    return skip_semicolon(p);
}

char* parse_for(char* text, ValueHandle& out, const char*, uint32_t position) {
    auto bad = [text]() { raise_syntax(Error::BAD_FOR, excerpt(text, 120)); };
    char* open = skip_space(text);
    if (*open != '(') bad();
    char* close = find_matching_closer(open + 1, ')', '(');
    if (!close) bad();
    // The loop's let/const names are its own, as the loop is a block level
    // of its own when it runs.
    BlockRange range;
    char* inside = open + 1;
    char* separator = nullptr;
    {
        TextCut cut(close);
        separator = find_separator(inside);
    }
    if (separator) {
        ValueHandle words[512];
        int init_count = 0, condition_count = 0, step_count = 0;
        {
            TextCut cut(close);
            {
                TextCut init_cut(separator);
                char* rest = skip_space(parse_expression_list(inside, words, 256, init_count, false));
                if (*rest) bad();
            }
            ValueHandle condition[2];
            char* after = parse_expression_list(separator + 1, condition, 2, condition_count, false);
            if (condition_count != 1 || after[-1] != ';' || after - 1 <= separator) bad();
            words[init_count] = condition[0];
            const int step_max = 254 - init_count > 1 ? 254 - init_count : 1;
            char* rest = skip_space(parse_expression_list(after, words + init_count + 1, step_max, step_count, false));
            if (*rest) bad();
        }
        ValueHandle body = 0;
        char* end = parse_statement(close + 1, body);
        const size_t total = size_t(init_count + 1 + step_count);
        for (size_t i = 0; i < total; ++i) retain(words[i]);
        ValueHandle operands[3] = {build_word_vector(words, total),
                                   uint32_t(init_count) << 16 | uint32_t(step_count), body};
        out = build_operation(OP_FOR, operands, 3, position);
        return end;
    }
    uint32_t name = 0;
    uint32_t declaration = 0;
    uint8_t opcode = 0;
    ValueHandle iterable = 0;
    {
        TextCut cut(close);
        char* q = skip_space(inside);
        if (at_word(q, "var")) {
            declaration = 2;
            q += 3;
        } else if (at_word(q, "let")) {
            q += 3;
        } else if (at_word(q, "const")) {
            declaration = 1;
            q += 5;
        }
        q = skip_space(q);
        if (!is_ident_start(*q)) bad();
        q = skip_space(read_identifier(q, name));
        if (name <= VALUE_NAN) bad();
        if (at_word(q, "of")) {
            opcode = OP_FOR_OF;
        } else if (at_word(q, "in")) {
            opcode = OP_FOR_IN;
        } else {
            bad();
        }
        ValueHandle results[4];
        int count = 0;
        char* rest = skip_space(parse_expression_list(q + 2, results, 4, count, false));
        if (*rest || count != 1) bad();
        iterable = results[0];
    }
    if (declaration == 2) declare_variable(name);
    ValueHandle body = 0;
    char* end = parse_statement(close + 1, body);
    ValueHandle operands[4] = {name_handle(name), iterable, body, declaration};
    out = build_operation(opcode, operands, 4, position);
    return end;
}

char* parse_try(char* text, ValueHandle& out, const char*, uint32_t position) {
    const char* read_try = "";
    auto bad = [&](const char* clause, const char* at) {
        raise_syntax(Error::BAD_STATEMENT_IN, "try", read_try, clause, excerpt(at, 120));
    };
    char* p = skip_space(text);
    if (*p != '{') bad("", p);
    ValueHandle operands[3] = {0, 0, 0};
    p = parse_block(p, operands[0]);
    read_try = " ... ";
    char* q = skip_space(p);
    size_t count = 0;
    if (at_word(q, "catch")) {
        char* open = skip_space(q + 5);
        if (*open != '(') bad("catch", q);
        char* close = find_matching_closer(open + 1, ')', '(');
        if (!close) bad("catch", q);
        ValueHandle names[STATEMENT_MAX];
        int name_count = 0;
        {
            TextCut cut(close);
            char* rest = skip_space(parse_expression_list(open + 1, names, STATEMENT_MAX, name_count, false));
            if (*rest || name_count != 1 || !is_plain_name(names[0])) bad("catch", q);
        }
        char* block = skip_space(close + 1);
        if (*block != '{') bad("catch", q);
        ValueHandle handler = 0;
        p = parse_block(block, handler);
        const uint32_t pair[2] = {names[0], retain(handler)};
        operands[1] = build_word_vector(pair, 2);
        count = 2;
        q = skip_space(p);
    }
    if (at_word(q, "finally")) {
        char* block = skip_space(q + 7);
        if (*block != '{') bad("finally", q);
        p = parse_block(block, operands[2]);
        count = 3;
    }
    if (count == 0) bad("", q);
    out = build_operation(OP_TRY, operands, count, position);
    return p;
}

char* parse_var(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    return parse_declaration(Declaration::VAR, text, out, statement, position);
}

char* parse_let(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    return parse_declaration(Declaration::LET, text, out, statement, position);
}

char* parse_const(char* text, ValueHandle& out, const char* statement, uint32_t position) {
    return parse_declaration(Declaration::CONST, text, out, statement, position);
}

char* parse_switch(char* text, ValueHandle& out, const char*, uint32_t position) {
    auto bad = [text]() { raise_syntax(Error::BAD_KEYWORD_STATEMENT, "switch", excerpt(text, 120)); };
    ValueHandle discriminant = 0;
    char* p = read_condition(text, 128, discriminant);
    if (!p) bad();
    char* open = skip_space(p);
    if (*open != '{') bad();
    char* close = find_matching_closer(open + 1, '}', '{');
    if (!close) bad();
    // Entry 0: (entries, statements); entry 1: (0, default index); then the cases.
    std::vector<uint32_t> table = {0, 0, 0, 0};
    std::vector<uint32_t> statements;
    uint32_t has_default = 0;
    {
        TextCut cut(close);
        char* q = open + 1;
        for (;;) {
            q = skip_space(q);
            if (*q == '\0') break;
            if (at_word(q, "case")) {
                char* colon = find_outside_literals(q + 4, ':');
                if (!colon) bad();
                ValueHandle values[4];
                int count = 0;
                {
                    TextCut value_cut(colon);
                    char* rest = skip_space(parse_expression_list(q + 4, values, 4, count, false));
                    if (*rest || count != 1 || values[0] == VALUE_UNDEFINED) bad();
                }
                if (table.size() / 2 >= SWITCH_TABLE_LIMIT) {
                    raise_syntax(Error::TOO_MANY_CASES, excerpt(text, 120));
                }
                table.push_back(retain(values[0]));
                table.push_back(uint32_t(statements.size()));
                q = colon + 1;
            } else if (at_word(q, "default") && *skip_space(q + 7) == ':') {
                table[3] = uint32_t(statements.size());
                has_default = 1;
                q = skip_space(q + 7) + 1;
            } else if (*q == ';') {
                ++q;
            } else {
                ValueHandle results[128];
                int count = 0;
                q = parse_expression_list(q, results, 128, count, false);
                for (int i = 0; i < count; ++i) statements.push_back(retain(results[i]));
            }
        }
    }
    if (statements.empty() || table.size() == 4) {
        raise_syntax(Error::BAD_SWITCH, excerpt(text, 120));
    }
    table[0] = uint32_t(table.size() / 2);
    table[1] = uint32_t(statements.size());
    ValueHandle operands[4] = {discriminant, build_word_vector(table.data(), table.size()),
                               build_word_vector(statements.data(), statements.size()), has_default};
    out = build_operation(OP_SWITCH, operands, 4, position);
    return close + 1;
}

}  // namespace tolv
