#include "lang/expression_parser.h"

#include <cstring>
#include <string>

#include "lang/keywords.h"
#include "lang/lexer.h"
#include "lang/literal_parser.h"
#include "lang/operation_builder.h"
#include "lang/parse_state.h"
#include "lang/regexp_literal.h"
#include "regexp/regexp.h"
#include "runtime/name_table.h"
#include "runtime/opcodes.h"

namespace tolv {

namespace {

constexpr ValueHandle EMPTY = 0x0FFFFFFF;
constexpr int SLOT_CAPACITY = 1280;
constexpr int SLOT_LIMIT = 1023;
constexpr int TOP_SLOT_LIMIT = 31;
constexpr uint8_t OPERAND_SLOT = 1;
constexpr int LEVEL_COUNT = 18;
// A chain cell holds at most this many operands (the count byte 255 is the
// long form of blocks); a longer run continues in a further cell.
constexpr size_t CHAIN_LIMIT = 254;

enum class Mode : uint8_t { LIST, ELEMENT, TOP };

struct Slots {
    ValueHandle operand[SLOT_CAPACITY];
    uint8_t code[SLOT_CAPACITY];
    uint32_t position[SLOT_CAPACITY];
    bool level[LEVEL_COUNT];
    int n;
};

struct Operator {
    const char* text;
    uint8_t code;
    int8_t level;  // -1: the comma
};

// Longest match first within each leading character.
constexpr Operator OPERATORS[] = {
    {">>>", OP_USHR, 7},        {">>", OP_SHR, 7},          {">=", OP_GE, 8},
    {">", OP_GT, 8},            {"<<", OP_SHL, 7},          {"<=", OP_LE, 8},
    {"<", OP_LT, 8},            {"===", OP_STRICT_EQ, 9},   {"==", OP_EQ, 9},
    {"=", OP_ASSIGN, 17},       {"!==", OP_STRICT_NE, 9},   {"!=", OP_NE, 9},
    {"!", OP_NOT, 3},           {"&&", OP_AND_CHAIN, 13},   {"&=", OP_AND_ASSIGN, 17},
    {"&", OP_BITAND_CHAIN, 10}, {"||", OP_OR_CHAIN, 14},    {"|=", OP_OR_ASSIGN, 17},
    {"|", OP_BITOR_CHAIN, 12},  {"^=", OP_XOR_ASSIGN, 17},  {"^", OP_BITXOR_CHAIN, 11},
    {"~", OP_BITNOT, 3},        {"**", OP_POWER, 4},        {"*=", OP_MUL_ASSIGN, 17},
    {"*", OP_MUL_CHAIN, 5},     {"/=", OP_DIV_ASSIGN, 17},  {"/", OP_DIV_CHAIN, 5},
    {"%=", OP_MOD_ASSIGN, 17},  {"%", OP_MOD_CHAIN, 5},     {"++", OP_POSTFIX_INC, 2},
    {"+=", OP_ADD_ASSIGN, 17},  {"+", OP_ADD_CHAIN, 6},     {"--", OP_POSTFIX_DEC, 2},
    {"-=", OP_SUB_ASSIGN, 17},  {"-", OP_SUB_CHAIN, 6},     {"?", OP_CONDITIONAL, 16},
    {":", OP_COLON, 16},        {",", OP_COMMA, -1},
};

struct Constructor {
    uint32_t name;
    uint8_t opcode;
    uint8_t min;
    uint16_t max;
    bool direct;  // also called without `new`
};

constexpr Constructor CONSTRUCTORS[] = {
    {NAME_NUMBER, OP_NUMBER, 0, 1, false},      {NAME_INTEGER, OP_INTEGER, 0, 1, true},
    {NAME_FLOAT, OP_FLOAT, 0, 1, true},         {NAME_DATE, OP_DATE, 0, 7, false},
    {NAME_ERROR, OP_ERROR, 1, 2, true},         {NAME_REGEXP, OP_REGEXP, 1, 2, true},
    {NAME_STRING, OP_STRING, 0, 1, false},      {NAME_ARRAY, OP_ARRAY, 0, 256, true},
    {NAME_HASH, OP_HASH, 0, 256, false},        {NAME_EXCEPTION, OP_EXCEPTION, 1, 2, true},
};

const Constructor* find_constructor(uint32_t name) {
    for (const Constructor& c : CONSTRUCTORS) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

class ExpressionParse {
public:
    ExpressionParse(char* text, Mode mode) : text_(text), mode_(mode) { slots_.n = 0; }

    char* run(ValueHandle* results, int max, int& count, bool retain) {
        std::memset(slots_.level, 0, sizeof slots_.level);
        char* end = tokenize();
        reduce();
        collect(results, max, count, retain);
        return end;
    }

private:
    Slots slots_;
    char* text_;
    Mode mode_;

    [[noreturn]] void malformed() {
        if (mode_ == Mode::ELEMENT) raise_syntax(Error::BAD_JSON_FORMAT_1065, excerpt(text_, 120));
        raise_syntax(Error::BAD_FORMAT_1125, excerpt(text_, 120));
    }
    [[noreturn]] void unreadable() { raise_syntax(Error::BAD_STATEMENT_PART, excerpt(text_, 120)); }
    [[noreturn]] void no_closer(char closer, char opener, const char* inside) {
        char c[2] = {closer, 0}, o[2] = {opener, 0};
        raise_syntax(Error::MISSING_CLOSE, c, o, excerpt(inside, 120));
    }
    [[noreturn]] void left_over(const char* rest, char opener, const char* inside) {
        char rest_text[512];
        char o[2] = {opener, 0};
        raise_syntax(Error::UNEXPECTED_CLOSE, excerpt_to(rest_text, rest, 20), o,
                    excerpt(inside, 120));
    }
    [[noreturn]] void bad_count() { raise_syntax(Error::WRONG_ARGUMENT_COUNT_IN_1020, excerpt(text_, 100)); }

    bool operand_position() const { return slots_.n == 0 || slots_.operand[slots_.n - 1] == EMPTY; }

    void push(ValueHandle operand, uint8_t code, uint32_t position, int level = -1) {
        const int limit = mode_ == Mode::TOP ? TOP_SLOT_LIMIT : SLOT_LIMIT;
        if (slots_.n >= limit) {
            if (mode_ == Mode::ELEMENT) raise_syntax(Error::BAD_JSON_OPERATOR, excerpt(text_, 120));
            raise_syntax(Error::BAD_OPERATOR, excerpt(text_, 120));
        }
        slots_.operand[slots_.n] = operand;
        slots_.code[slots_.n] = code;
        slots_.position[slots_.n] = position;
        if (level >= 0) slots_.level[level] = true;
        ++slots_.n;
    }

    // Parses the bracketed list after `open` (whose closer is found here);
    // returns the cursor after the closer.
    char* bracketed_list(char* open, char closer, ValueHandle* results, int max, int& count, bool retain) {
        char* inside = open + 1;
        char* close = find_matching_closer(inside, closer, *open);
        if (!close) no_closer(closer, *open, inside);
        TextCut cut(close);
        char* rest = skip_space(parse_expression_list(inside, results, max, count, retain));
        if (*rest) left_over(rest, *open, inside);
        return close + 1;
    }

    char* read_call(char* p, uint32_t position) {
        push(EMPTY, OP_CALL, position, 0);
        ValueHandle arguments[256];
        int count = 0;
        char* after = bracketed_list(p, ')', arguments, 256, count, true);
        push(build_argument_block(arguments, size_t(count)), OPERAND_SLOT, position);
        return after;
    }

    char* read_group(char* p, uint32_t position) {
        ValueHandle items[256];
        int count = 0;
        char* after = bracketed_list(p, ')', items, 256, count, false);
        if (count == 0) unreadable();
        push(build_operation(OP_PAREN_LIST, items, size_t(count), position), OPERAND_SLOT, position);
        return after;
    }

    char* read_index(char* p, uint32_t position) {
        push(EMPTY, OP_INDEX, position, 0);
        char* inside = p + 1;
        char* close = find_matching_closer(inside, ']', '[');
        if (!close) no_closer(']', '[', inside);
        ValueHandle items[3];
        int count = 0;
        {
            TextCut cut(close);
            char* rest = skip_space(parse_expression_list(inside, items, 3, count, false));
            if (*rest || count != 1) unreadable();
        }
        push(items[0], OPERAND_SLOT, position_code(inside));
        return close + 1;
    }

    // Arguments of a constructor: `(` list `)`, or none.
    char* constructor_arguments(char* p, ValueHandle* arguments, int& count, bool retain) {
        count = 0;
        char* q = skip_space(p);
        if (*q == '.') unreadable();
        if (*q != '(') return p;
        return bracketed_list(q, ')', arguments, 256, count, retain);
    }

    char* read_direct_constructor(char* p, const Constructor& ctor, uint32_t position) {
        ValueHandle arguments[256];
        int count = 0;
        p = constructor_arguments(p, arguments, count, false);
        if (count < ctor.min || count > ctor.max || size_t(count) > CHAIN_LIMIT) bad_count();
        push(build_operation(ctor.opcode, arguments, size_t(count), position), OPERAND_SLOT, position);
        return p;
    }

    char* read_new(char* p, uint32_t position) {
        push(EMPTY, OP_NEW, position, 0);
        char* q = skip_space(p);
        if (!is_ident_start(*q)) unreadable();
        const uint32_t name_position = position_code(q);
        uint32_t name = 0;
        q = read_identifier(q, name);
        push(name_handle(name), OPERAND_SLOT, name_position);
        ValueHandle arguments[256];
        int count = 0;
        q = constructor_arguments(q, arguments, count, true);
        if (const Constructor* ctor = find_constructor(name)) {
            if (count < ctor->min || count > ctor->max) bad_count();
        }
        push(EMPTY, OP_CALL, position, 0);
        push(build_argument_block(arguments, size_t(count)), OPERAND_SLOT, position);
        return q;
    }

    char* read_name(char* p, uint32_t position) {
        uint32_t name = 0;
        char* q = read_identifier(p, name);
        switch (name) {
            case NAME_TYPEOF:
                push(EMPTY, OP_TYPEOF, position, 3);
                return q;
            case NAME_INSTANCEOF: {
                push(EMPTY, OP_INSTANCEOF, position, 8);
                char* r = skip_space(q);
                if (!is_ident_start(*r)) unreadable();
                const uint32_t class_position = position_code(r);
                uint32_t class_name = 0;
                r = read_identifier(r, class_name);
                push(name_handle(class_name), OPERAND_SLOT, class_position);
                return r;
            }
            case NAME_NEW:
                return read_new(q, position);
            default:
                break;
        }
        if (const Constructor* ctor = find_constructor(name); ctor && ctor->direct) {
            return read_direct_constructor(q, *ctor, position);
        }
        push(name_handle(name), OPERAND_SLOT, position);
        return q;
    }

    // Returns true when the expression ends after this keyword.
    bool read_keyword(int keyword, const char* after, uint32_t position, char*& p) {
        ValueHandle operand = 0;
        const bool was_end = g_parse.end_flag;
        g_parse.end_flag = false;
        p = keyword_routine(keyword)(const_cast<char*>(after), operand, text_, position);
        push(operand, OPERAND_SLOT, position);
        const bool ends = g_parse.end_flag || keyword_is_statement(keyword);
        g_parse.end_flag = was_end;
        if (!ends) return false;
        // A function definition may still be followed by further list items.
        return !(keyword == KW_FUNCTION && *skip_space(p) == ',');
    }

    char* read_operator(char* p, uint32_t position) {
        for (const Operator& op : OPERATORS) {
            const size_t length = std::strlen(op.text);
            if (std::strncmp(p, op.text, length) != 0) continue;
            uint8_t code = op.code;
            int level = op.level;
            if ((code == OP_POSTFIX_INC || code == OP_POSTFIX_DEC) &&
                (slots_.n == 0 || slots_.code[slots_.n - 1] != OPERAND_SLOT)) {
                code = code == OP_POSTFIX_INC ? OP_PREFIX_INC : OP_PREFIX_DEC;
                level = 3;
            }
            push(EMPTY, code, position, level);
            return p + length;
        }
        unreadable();
    }

    char* tokenize() {
        char* p = text_;
        for (;;) {
            p = skip_space(p);
            const char c = *p;
            if (c == '\0') return p;
            if (c == ';') {
                if (mode_ == Mode::ELEMENT) raise_syntax(Error::JSON_SEMICOLON);
                return p + 1;
            }
            if (c == ',' && mode_ == Mode::ELEMENT) return p + 1;
            const uint32_t position = position_code(p);
            const bool at_operand = operand_position();
            if (is_quote(c)) {
                ValueHandle literal = 0;
                p = read_string_literal(p + 1, c, literal);
                push(literal, OPERAND_SLOT, position);
            } else if (is_digit(c) || (c == '.' && at_operand && is_digit(p[1])) ||
                       ((c == '+' || c == '-') && at_operand && is_digit(p[1]))) {
                int sign = 1;
                if (c == '+' || c == '-') {
                    sign = c == '-' ? -1 : 1;
                    ++p;
                }
                ValueHandle number = 0;
                p = read_number(p, sign, number);
                push(number, OPERAND_SLOT, position);
            } else if (c == '/' && at_operand) {
                p = read_regexp_literal(p, position);
            } else if (c == '(') {
                p = at_operand ? read_group(p, position) : read_call(p, position);
            } else if (c == '[') {
                if (at_operand) {
                    ValueHandle array = 0;
                    p = parse_array_literal(p + 1, array);
                    push(array, OPERAND_SLOT, position);
                } else {
                    p = read_index(p, position);
                }
            } else if (c == '{') {
                ValueHandle hash = 0;
                p = parse_object_literal(p + 1, hash);
                push(hash, OPERAND_SLOT, position);
            } else if (c == '.' && !at_operand) {
                push(EMPTY, OP_MEMBER, position, 0);
                char* q = skip_space(p + 1);
                if (!is_ident_start(*q)) unreadable();
                const uint32_t name_position = position_code(q);
                uint32_t name = 0;
                p = read_identifier(q, name);
                push(name_handle(name), OPERAND_SLOT, name_position);
            } else if (is_ident_start(c)) {
                const char* after = nullptr;
                const int keyword = recognise_keyword(p, &after);
                if (keyword >= 0) {
                    if (read_keyword(keyword, after, position, p)) {
                        char* q = skip_space(p);
                        if (*q == ';' && mode_ != Mode::ELEMENT) return q + 1;
                        if (*q == ',' && mode_ == Mode::ELEMENT) return q + 1;
                        return q;
                    }
                } else {
                    p = read_name(p, position);
                }
            } else {
                p = read_operator(p, position);
            }
        }
    }

    // "/pattern/flags": the cell keeps the literal's text and, from its
    // first evaluation on, the compiled RegExp (operand 1).
    char* read_regexp_literal(char* p, uint32_t position) {
        const char* close = regexp_literal_close(p);
        if (!close) raise_syntax(Error::REGEXP_BAD_SLASH);
        const char* flags = close + 1;
        char* end = const_cast<char*>(flags);
        while (is_letter(*end)) ++end;
        const size_t flags_length = size_t(end - flags);
        if (flags_length > 255) {
            std::string all(flags, flags_length);
            raise_syntax(Error::REGEXP_BAD_FLAGS, all.c_str());
        }
        check_pattern_literal(p + 1, size_t(close - p - 1), flags, flags_length, syntax_fail);
        ValueHandle operands[2] = {new_string(p, size_t(end - p)), VALUE_UNDEFINED};
        push(build_operation(OP_REGEXP_LITERAL, operands, 2, position), OPERAND_SLOT, position);
        return end;
    }

    // ---- Reduction ----

    int left_operand(int i) {
        for (int j = i - 1; j >= 0; --j) {
            if (slots_.code[j] > 30) malformed();
            if (slots_.operand[j] != EMPTY) return j;
        }
        malformed();
    }

    int right_operand(int i) {
        for (int j = i + 1; j < slots_.n; ++j) {
            if (slots_.code[j] > 30) malformed();
            if (slots_.operand[j] != EMPTY) return j;
        }
        malformed();
    }

    void consume_operator(int i) {
        slots_.code[i] = OPERAND_SLOT;
        slots_.operand[i] = EMPTY;
    }

    int leftmost(const uint8_t* codes, size_t count) const {
        for (int i = 0; i < slots_.n; ++i) {
            for (size_t k = 0; k < count; ++k) {
                if (slots_.code[i] == codes[k]) return i;
            }
        }
        return -1;
    }

    int rightmost(const uint8_t* codes, size_t count) const {
        for (int i = slots_.n - 1; i >= 0; --i) {
            for (size_t k = 0; k < count; ++k) {
                if (slots_.code[i] == codes[k]) return i;
            }
        }
        return -1;
    }

    void binary_at(int i) {
        const int left = left_operand(i);
        const int right = right_operand(i);
        ValueHandle operands[2] = {slots_.operand[left], slots_.operand[right]};
        slots_.operand[left] = build_operation(slots_.code[i], operands, 2, slots_.position[i]);
        consume_operator(i);
        slots_.operand[right] = EMPTY;
    }

    void reduce_member_level() {
        static constexpr uint8_t CODES[] = {OP_CALL, OP_INDEX, OP_MEMBER};
        for (int i; (i = leftmost(CODES, 3)) >= 0;) {
            const int left = left_operand(i);
            if (slots_.code[i] == OP_CALL && left > 0 && slots_.code[left - 1] == OP_NEW) {
                const int right = right_operand(i);
                ValueHandle operands[2] = {slots_.operand[left], slots_.operand[right]};
                slots_.operand[left] = build_operation(OP_NEW, operands, 2, slots_.position[left - 1]);
                consume_operator(left - 1);
                consume_operator(i);
                slots_.operand[right] = EMPTY;
            } else {
                binary_at(i);
            }
        }
    }

    void reduce_postfix() {
        for (uint8_t code : {OP_POSTFIX_INC, OP_POSTFIX_DEC}) {
            for (int i; (i = leftmost(&code, 1)) >= 0;) {
                const int operand = left_operand(i);
                slots_.operand[operand] = build_operation(code, &slots_.operand[operand], 1, slots_.position[i]);
                consume_operator(i);
            }
        }
    }

    // Rightmost first over all prefix operators, so that `!!a` and
    // `!typeof a` nest.
    void reduce_prefix() {
        static constexpr uint8_t CODES[] = {OP_PREFIX_INC, OP_PREFIX_DEC, OP_NOT, OP_BITNOT, OP_TYPEOF};
        for (int i; (i = rightmost(CODES, 5)) >= 0;) {
            const int operand = right_operand(i);
            ValueHandle cell = build_operation(slots_.code[i], &slots_.operand[operand], 1, slots_.position[i]);
            slots_.operand[operand] = EMPTY;
            consume_operator(i);
            slots_.operand[operand] = cell;
        }
    }

    void reduce_rightmost_binary(const uint8_t* codes, size_t count) {
        for (int i; (i = rightmost(codes, count)) >= 0;) binary_at(i);
    }

    void reduce_leftmost_binary(const uint8_t* codes, size_t count) {
        for (int i; (i = leftmost(codes, count)) >= 0;) binary_at(i);
    }

    void reduce_chain(uint8_t code) {
        ValueHandle operands[CHAIN_LIMIT];
        for (int i; (i = leftmost(&code, 1)) >= 0;) {
            const int left = left_operand(i);
            size_t count = 0;
            operands[count++] = slots_.operand[left];
            const uint32_t position = slots_.position[i];
            int op = i;
            for (;;) {
                const int right = right_operand(op);
                operands[count++] = slots_.operand[right];
                consume_operator(op);
                slots_.operand[right] = EMPTY;
                if (count == CHAIN_LIMIT) break;
                int next = right + 1;
                while (next < slots_.n && slots_.code[next] <= 30 && slots_.operand[next] == EMPTY) ++next;
                if (next >= slots_.n || slots_.code[next] != code) break;
                op = next;
            }
            slots_.operand[left] = build_operation(code, operands, count, position);
        }
    }

    void reduce_conditional() {
        static constexpr uint8_t CODE[] = {OP_CONDITIONAL};
        for (int i; (i = rightmost(CODE, 1)) >= 0;) {
            const int condition = left_operand(i);
            const int then_slot = right_operand(i);
            int colon = then_slot + 1;
            while (colon < slots_.n && slots_.code[colon] <= 30 && slots_.operand[colon] == EMPTY) ++colon;
            if (colon >= slots_.n || slots_.code[colon] != OP_COLON) malformed();
            const int else_slot = right_operand(colon);
            ValueHandle operands[3] = {slots_.operand[condition], slots_.operand[then_slot], slots_.operand[else_slot]};
            slots_.operand[condition] = build_operation(OP_CONDITIONAL, operands, 3, slots_.position[i]);
            consume_operator(i);
            consume_operator(colon);
            slots_.operand[then_slot] = EMPTY;
            slots_.operand[else_slot] = EMPTY;
        }
    }

    void reduce() {
        if (slots_.n == 0) return;
        const uint8_t last = slots_.code[slots_.n - 1];
        if (last > OP_POSTFIX_DEC) malformed();
        for (int level = 0; level < LEVEL_COUNT; ++level) {
            if (!slots_.level[level]) continue;
            switch (level) {
                case 0: reduce_member_level(); break;
                case 2: reduce_postfix(); break;
                case 3: reduce_prefix(); break;
                case 4: {
                    static constexpr uint8_t CODES[] = {OP_POWER};
                    reduce_rightmost_binary(CODES, 1);
                    break;
                }
                case 5:
                    reduce_chain(OP_MUL_CHAIN);
                    reduce_chain(OP_DIV_CHAIN);
                    reduce_chain(OP_MOD_CHAIN);
                    break;
                case 6:
                    reduce_chain(OP_ADD_CHAIN);
                    reduce_chain(OP_SUB_CHAIN);
                    break;
                case 7: {
                    static constexpr uint8_t CODES[] = {OP_SHL, OP_SHR, OP_USHR};
                    reduce_leftmost_binary(CODES, 3);
                    break;
                }
                case 8: {
                    static constexpr uint8_t CODES[] = {OP_GE, OP_GT, OP_LE, OP_LT, OP_INSTANCEOF};
                    reduce_leftmost_binary(CODES, 5);
                    break;
                }
                case 9: {
                    static constexpr uint8_t CODES[] = {OP_EQ, OP_STRICT_EQ, OP_NE, OP_STRICT_NE};
                    reduce_leftmost_binary(CODES, 4);
                    break;
                }
                case 10: reduce_chain(OP_BITAND_CHAIN); break;
                case 11: reduce_chain(OP_BITXOR_CHAIN); break;
                case 12: reduce_chain(OP_BITOR_CHAIN); break;
                case 13: reduce_chain(OP_AND_CHAIN); break;
                case 14: reduce_chain(OP_OR_CHAIN); break;
                case 16: reduce_conditional(); break;
                case 17: {
                    static constexpr uint8_t CODES[] = {OP_ASSIGN,     OP_ADD_ASSIGN, OP_SUB_ASSIGN,
                                                        OP_MUL_ASSIGN, OP_DIV_ASSIGN, OP_MOD_ASSIGN,
                                                        OP_AND_ASSIGN, OP_OR_ASSIGN,  OP_XOR_ASSIGN};
                    reduce_rightmost_binary(CODES, 9);
                    break;
                }
                default: break;
            }
        }
    }

    void collect(ValueHandle* results, int max, int& count, bool retain) {
        count = 0;
        for (int i = 0; i < slots_.n; ++i) {
            if (slots_.operand[i] != EMPTY) {
                if (count >= max - 1) raise_syntax(Error::WRONG_OPERAND_COUNT, excerpt(text_, 120));
                results[count++] = retain ? tolv::retain(slots_.operand[i]) : slots_.operand[i];
            } else if (slots_.code[i] > 30 && slots_.code[i] != OP_COMMA) {
                malformed();
            }
        }
    }
};

struct ExpressionDepth {
    ExpressionDepth() { ++g_parse.expression_depth; }
    ~ExpressionDepth() { --g_parse.expression_depth; }
};

char* parse_in_mode(char* text, Mode mode, ValueHandle* results, int max, int& count, bool retain) {
    NestingGuard guard(text);
    ExpressionDepth depth;
    ExpressionParse parse(text, mode);
    return parse.run(results, max, count, retain);
}

}  // namespace

char* parse_expression_list(char* text, ValueHandle* results, int max, int& count, bool retain) {
    return parse_in_mode(text, Mode::LIST, results, max, count, retain);
}

char* parse_element(char* text, ValueHandle& out, int& count) {
    ValueHandle results[2] = {0, 0};
    char* end = parse_in_mode(text, Mode::ELEMENT, results, 3, count, false);
    out = results[0];
    return end;
}

char* parse_top_expression(char* text, ValueHandle* results, int max, int& count) {
    return parse_in_mode(text, Mode::TOP, results, max, count, false);
}

}  // namespace tolv
