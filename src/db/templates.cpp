#include "db/templates.h"

#include <cstdio>

#include "eval/evaluate.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {
constexpr char ROW_VARIABLE[] = "_c__o__l__m_";

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string rewrite_placeholders(const char* text, size_t length, uint32_t& highest) {
    highest = 0;
    std::string out;
    out.reserve(length + 32);
    char quote = 0;
    for (size_t i = 0; i < length; ++i) {
        char ch = text[i];
        if (quote) {
            out += ch;
            if (ch == '\\' && i + 1 < length) out += text[++i];
            else if (ch == quote) quote = 0;
            continue;
        }
        if (ch == '\'' || ch == '"' || ch == '`') {
            quote = ch;
            out += ch;
            continue;
        }
        if (ch == '\\' && i + 1 < length && text[i + 1] == '%') {
            out += "\\%";
            ++i;
            continue;
        }
        if (ch != '%') {
            out += ch;
            continue;
        }
        size_t digits = i + 1;
        unsigned long n = 0;
        while (digits < length && text[digits] >= '0' && text[digits] <= '9' && n < 100000000)
            n = n * 10 + unsigned(text[digits++] - '0');
        if (digits == i + 1) raise(Error::BAD_TEMPLATE_TEXT);
        if (n > highest) highest = uint32_t(n);
        out += ROW_VARIABLE;
        if (n > 0) {
            char index[24];
            int written = std::snprintf(index, sizeof index, "[%lu]", n - 1);
            out.append(index, size_t(written));
        }
        i = digits - 1;
    }
    return out;
}


StatementList::~StatementList() {
    settle_error_position();
    for (ValueHandle s : items) release(s);
}

RowBinding::RowBinding() : top_(g_bindings.top) {
    push_binding(intern_name(ROW_VARIABLE, sizeof ROW_VARIABLE - 1), VALUE_UNDEFINED);
    index_ = g_bindings.top;
}

RowBinding::~RowBinding() {
    if (g_bindings.top >= index_) pop_bindings(top_);
}

void RowBinding::set(ValueHandle row) {
    Binding& b = g_bindings.items[index_];
    ValueHandle old = b.value;
    b.value = retain(row);
    release(old);
}

HashTemplate::HashTemplate(ValueHandle text) {
    std::string rewritten = rewrite_placeholders(string_text(text), string_length(text), bind_index_);
    size_t first = 0, last = rewritten.size();
    while (first < last && is_blank(rewritten[first])) ++first;
    while (last > first && is_blank(rewritten[last - 1])) --last;
    if (first == last || rewritten[first] != '{' || rewritten[last - 1] != '}')
        raise(Error::BAD_TEMPLATE_HASH);
    // In parentheses the braces are an object literal, not a block.
    std::string expression;
    expression.reserve(last - first + 2);
    expression += '(';
    expression.append(rewritten, first, last - first);
    expression += ')';
    settle_error_position();
    parse_statements(expression.c_str(), expression.size(), statements_.items);
    if (statements_.items.size() != 1) raise(Error::BAD_TEMPLATE_HASH);
}

ValueHandle HashTemplate::evaluate_row() const {
    ValueHandle value = evaluate(statements_.items[0]);
    if (!is_hash(value)) {
        dispose(value);
        raise(Error::BAD_TEMPLATE_HASH);
    }
    return value;
}

}  // namespace tolv
