// A pattern as parsed: a tree of nodes and its classes as written. The parser
// builds it; the source writer and the code generator read it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "regexp/program.h"

namespace tolv::regexp {

enum NodeType : uint8_t {
    N_CHAR, N_ANY, N_ANY_ALL, N_CLASS, N_LINE_START, N_LINE_END, N_WORD_BOUNDARY, N_NOT_WORD_BOUNDARY,
    N_BACKREF, N_GROUP, N_NONCAPTURING, N_LOOK, N_ALTERNATION, N_SEQUENCE,
};

// Quantifier kinds as written: they decide how the source is written back.
enum QuantKind : uint8_t { Q_NONE = 0, Q_EXACT = 1, Q_OPTIONAL = 2, Q_RANGE = 4, Q_AT_LEAST = 8 };

struct ClassDef {
    std::vector<std::pair<uint16_t, uint16_t>> members;  // in the order written
    uint8_t shorthand = 0;
    bool negated = false;
};

struct Node {
    explicit Node(NodeType t) : type(t) {}
    NodeType type;
    uint8_t quant = Q_NONE;
    bool lazy = false;
    uint8_t sub = 0;        // look kind; shorthand letter of a lone \d, \w, ...
    uint32_t min = 1, max = 1;
    uint32_t value = 0;     // unit, class index, group number, back-reference
    uint32_t name = 0;      // name index of a named group
    std::vector<Node> kids;
};

struct ParsedPattern {
    Node root{N_SEQUENCE};
    std::vector<ClassDef> classes;
    std::vector<uint32_t> group_names{0};  // 1-based; name index, 0 = unnamed
    uint32_t groups = 0;
};

inline bool is_digit(uint32_t c) { return c - '0' < 10; }
inline bool is_letter(uint32_t c) { return c - 'a' < 26 || c - 'A' < 26; }
// Escaped characters that stand for themselves everywhere.
inline bool is_syntax_character(uint32_t c) {
    switch (c) {
    case '$': case '(': case ')': case '.': case '/': case '?': case '[': case '\\':
    case ']': case '^': case '{': case '|': case '}': case '*': case '+':
        return true;
    default:
        return false;
    }
}

}  // namespace tolv::regexp
