#include "lib/regexp_compiler.h"

#include <string>
#include <utility>

#include "runtime/name_table.h"
#include "runtime/value.h"

namespace tolv {

using namespace regexp;

namespace {

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

constexpr int DEPTH_LIMIT = 200;
constexpr size_t GROUP_NAME_LIMIT = 200;
constexpr uint32_t COUNT_LIMIT = 65536;

bool is_digit(uint32_t c) { return c - '0' < 10; }
bool is_letter(uint32_t c) { return c - 'a' < 26 || c - 'A' < 26; }
int hex_value(uint32_t c) {
    if (c - '0' < 10) return int(c - '0');
    if (c - 'a' < 6) return int(c - 'a' + 10);
    if (c - 'A' < 6) return int(c - 'A' + 10);
    return -1;
}
bool is_quantifier(uint32_t c) { return c == '*' || c == '+' || c == '?' || c == '{'; }
// Escaped characters that stand for themselves everywhere.
bool is_syntax_character(uint32_t c) {
    switch (c) {
    case '$': case '(': case ')': case '.': case '/': case '?': case '[': case '\\':
    case ']': case '^': case '{': case '|': case '}': case '*': case '+':
        return true;
    default:
        return false;
    }
}
// Other ASCII punctuation, which ECMAScript also takes for itself when escaped.
bool is_identity_escape(uint32_t c) { return c < '~' && c > ' ' && !is_letter(c) && !is_digit(c); }

class PatternParser {
public:
    PatternParser(const uint16_t* units, size_t count, const char* text, RaiseFunction raise)
        : u_(units), n_(count), text_(text), raise_(raise) {}

    Node parse() {
        if (n_ == 0) raise_with(raise_, 4615, "正規表現のフォーマット不正 (空文字列)");
        Node root = disjunction(0, false);
        if (at_ < n_) raise_with(raise_, 4640, "'%s'のフォーマット不正 (、)", text_);
        return root;
    }

    std::vector<ClassDef> classes;
    std::vector<uint32_t> group_names{0};  // 1-based
    uint32_t groups = 0;

private:
    const uint16_t* u_;
    size_t n_;
    size_t at_ = 0;
    const char* text_;
    RaiseFunction raise_;

    uint32_t peek(size_t offset = 0) const { return at_ + offset < n_ ? u_[at_ + offset] : 0x110000; }

    Node disjunction(int depth, bool in_group) {
        if (depth > DEPTH_LIMIT) raise_with(raise_, 4810, "正規表現の入れ子が深すぎます");
        Node alternation{N_ALTERNATION};
        for (;;) {
            Node sequence = alternative(depth, in_group);
            if (sequence.kids.empty()) raise_with(raise_, 4785, "正規表現のフォーマット不正 (パターンなし)");
            alternation.kids.push_back(std::move(sequence));
            if (peek() != '|') break;
            ++at_;
        }
        if (alternation.kids.size() == 1) return std::move(alternation.kids[0]);
        return alternation;
    }

    Node alternative(int depth, bool in_group) {
        Node seq{N_SEQUENCE};
        uint32_t last_quantifier = 0;  // the quantifier character of the last item, 0 when none
        bool lazy_marked = false;
        while (at_ < n_) {
            const uint32_t c = u_[at_];
            if (c == '|') break;
            if (c == ')') {
                if (in_group) break;
                raise_with(raise_, 4640, "'%s'のフォーマット不正 (、)", text_);
            }
            if (is_quantifier(c)) {
                quantify(seq, last_quantifier, lazy_marked);
                continue;
            }
            last_quantifier = 0;
            switch (c) {
            case '^':
                if (!seq.kids.empty()) raise_with(raise_, 4685, "'%s'のォーマット不正 ($)", text_);
                seq.kids.push_back(Node{N_LINE_START});
                ++at_;
                break;
            case '$': {
                const uint32_t next = peek(1);
                if (!(at_ + 1 == n_ || next == '|' || (in_group && next == ')')))
                    raise_with(raise_, 4687, "'%s'のォーマット不正 ($)", text_);
                seq.kids.push_back(Node{N_LINE_END});
                ++at_;
                break;
            }
            case '.':
                seq.kids.push_back(Node{N_ANY});
                ++at_;
                break;
            case '[':
                seq.kids.push_back(character_class());
                break;
            case '(':
                seq.kids.push_back(group(depth));
                break;
            case '\\':
                seq.kids.push_back(escape());
                break;
            default: {
                Node ch{N_CHAR};
                ch.value = c;
                seq.kids.push_back(std::move(ch));
                ++at_;
                break;
            }
            }
        }
        return seq;
    }

    [[noreturn]] void cannot_quantify(uint32_t q) {
        switch (q) {
        case '*': raise_with(raise_, 4660, "'%s'のフォーマット不正 (*)", text_);
        case '+': raise_with(raise_, 4670, "'%s'のォーマット不正 (+)", text_);
        case '?': raise_with(raise_, 4680, "'%s'のォーマット不正 (?)", text_);
        default: raise_with(raise_, 4620, "'%s'のフォーマット不正 ({ })", text_);
        }
    }

    void quantify(Node& seq, uint32_t& last_quantifier, bool& lazy_marked) {
        const uint32_t q = u_[at_];
        const char* shown = q == '*' ? "*" : q == '+' ? "+" : q == '?' ? "?" : "{ }";
        if (seq.kids.empty()) raise_with(raise_, 4605, "正規表現のフォーマット不正 (%s)", shown);
        if (last_quantifier) {
            if (!lazy_marked && (q == '*' || q == '+')) {
                if (last_quantifier == '*') raise_with(raise_, 4655, "'%s'のフォーマット不正 (*)", text_);
                if (last_quantifier == '+') raise_with(raise_, 4665, "'%s'のフーマット不正 (*+)", text_);
                if (last_quantifier == '?') raise_with(raise_, 4675, "'%s'のォーマット不正 (*)", text_);
            }
            raise_with(raise_, 4610, "正規表現のフォーマット不正 (%s)", shown);
        }
        Node& target = seq.kids.back();
        switch (target.type) {
        case N_CHAR: case N_ANY: case N_ANY_ALL: case N_CLASS: case N_BACKREF: case N_NONCAPTURING:
            break;
        default:
            cannot_quantify(q);
        }
        ++at_;
        switch (q) {
        case '*': target.quant = Q_AT_LEAST; target.min = 0; target.max = UNBOUNDED; break;
        case '+': target.quant = Q_AT_LEAST; target.min = 1; target.max = UNBOUNDED; break;
        case '?': target.quant = Q_OPTIONAL; target.min = 0; target.max = 1; break;
        default: counted(target); break;
        }
        lazy_marked = false;
        if (peek() == '?') {
            ++at_;
            lazy_marked = true;
            target.lazy = target.quant != Q_EXACT;
        }
        last_quantifier = q;
    }

    // Digits of a count; `none` when there is no digit. Values past the limit stay past it.
    uint32_t number(bool& none) {
        uint32_t v = 0;
        none = true;
        while (at_ < n_ && is_digit(u_[at_])) {
            none = false;
            if (v < 10 * COUNT_LIMIT) v = v * 10 + (u_[at_] - '0');
            ++at_;
        }
        return v;
    }

    void counted(Node& target) {
        if (at_ >= n_) raise_with(raise_, 4780, "正規表現のフォーマット不正 ([ ])");
        bool none;
        const uint32_t low = number(none);
        if (none) {
            if (at_ >= n_) raise_with(raise_, 4780, "正規表現のフォーマット不正 ([ ])");
            raise_with(raise_, 4760, "正規表現の数字フォーマット不正 { }");
        }
        if (peek() == '}') {
            ++at_;
            if (low < 1 || low >= COUNT_LIMIT) raise_with(raise_, 4750, "正規表現のフォーマット不正 ({ })");
            target.quant = Q_EXACT;
            target.min = target.max = low;
            return;
        }
        if (peek() != ',') {
            if (at_ >= n_) raise_with(raise_, 4780, "正規表現のフォーマット不正 ([ ])");
            raise_with(raise_, 4760, "正規表現の数字フォーマット不正 { }");
        }
        ++at_;
        if (peek() == '}') {
            ++at_;
            if (low < 1 || low >= COUNT_LIMIT) raise_with(raise_, 4755, "正規表現のフォーマット不正 ({ })");
            target.quant = Q_AT_LEAST;
            target.min = low;
            target.max = UNBOUNDED;
            return;
        }
        const uint32_t high = number(none);
        if (none || peek() != '}') {
            if (at_ >= n_) raise_with(raise_, 4780, "正規表現のフォーマット不正 ([ ])");
            raise_with(raise_, 4770, "正規表現の数字フォーマット不正 { }");
        }
        ++at_;
        if (low > high || high >= COUNT_LIMIT) raise_with(raise_, 4765, "正規表現のフォーマット不正");
        target.quant = Q_RANGE;
        target.min = low;
        target.max = high;
    }

    Node shorthand_node(uint32_t letter) {
        ClassDef def;
        def.shorthand = shorthand_bit(letter);
        classes.push_back(std::move(def));
        Node node{N_CLASS};
        node.value = uint32_t(classes.size() - 1);
        node.sub = uint8_t(letter);
        return node;
    }

    static uint8_t shorthand_bit(uint32_t letter) {
        switch (letter) {
        case 'w': return SHORT_WORD;
        case 'W': return SHORT_NOT_WORD;
        case 'd': return SHORT_DIGIT;
        case 'D': return SHORT_NOT_DIGIT;
        case 's': return SHORT_SPACE;
        case 'S': return SHORT_NOT_SPACE;
        default: return 0;
        }
    }

    // \xHH, \uHHHH, \u{HHHH} after the letter; -1 when malformed.
    int32_t hex_escape(uint32_t letter) {
        if (letter == 'x') {
            const int h = hex_value(peek()), l = hex_value(peek(1));
            if (h < 0 || l < 0) return -1;
            at_ += 2;
            return h * 16 + l;
        }
        const bool braced = peek() == '{';
        if (braced) ++at_;
        int32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = hex_value(peek());
            if (d < 0) return -1;
            v = v * 16 + d;
            ++at_;
        }
        if (braced) {
            if (peek() != '}') return -1;
            ++at_;
        }
        return v;
    }

    // One character that an escape stands for, shared by both contexts;
    // -1 when the letter is not such an escape.
    int32_t character_escape(uint32_t c) {
        if (is_syntax_character(c)) return int32_t(c);
        switch (c) {
        case '0': return 0;
        case 'f': return 12;
        case 'n': return 10;
        case 'r': return 13;
        case 't': return 9;
        case 'v': return 11;
        default: return -1;
        }
    }

    Node escape() {
        if (at_ + 1 >= n_) raise_with(raise_, 4710, "正規表現のフォーマット不正");
        const uint32_t c = u_[at_ + 1];
        at_ += 2;
        Node ch{N_CHAR};
        const int32_t single = character_escape(c);
        if (single >= 0) {
            ch.value = uint32_t(single);
            return ch;
        }
        if (c >= '1' && c <= '9') {
            if (c - '0' > groups) raise_with(raise_, 4705, "正規表現のフォーマット不正 (\\0 ... \\9)");
            Node ref{N_BACKREF};
            ref.value = c - '0';
            return ref;
        }
        switch (c) {
        case 'b': return Node{N_WORD_BOUNDARY};
        case 'B': return Node{N_NOT_WORD_BOUNDARY};
        case 'd': case 'D': case 's': case 'S': case 'w': case 'W':
            return shorthand_node(c);
        case 'c': {
            const uint32_t x = peek();
            if (x - 'A' >= 26) raise_with(raise_, 4690, "正規表現の文字不正");
            ++at_;
            ch.value = x - 64;
            return ch;
        }
        case 'x':
        case 'u': {
            const int32_t v = hex_escape(c);
            if (v < 0) {
                if (c == 'x') raise_with(raise_, 4695, "正規表現の文字不正");
                raise_with(raise_, 4700, "正規表現の文字不正");
            }
            ch.value = uint32_t(v);
            return ch;
        }
        default:
            if (is_identity_escape(c)) {
                ch.value = c;
                return ch;
            }
            raise_with(raise_, 4715, "正規表現のフォーマット不正");
        }
    }

    // One class member: a unit (true) or shorthand bits in `bits` (false).
    bool class_atom(uint32_t& unit, uint8_t& bits) {
        if (at_ >= n_) raise_with(raise_, 4775, "正規表現のフォーマット不正 ([ ])");
        const uint32_t c = u_[at_++];
        if (c != '\\') {
            unit = c;
            return true;
        }
        if (at_ >= n_) raise_with(raise_, 4775, "正規表現のフォーマット不正 ([ ])");
        const uint32_t e = u_[at_++];
        const int32_t single = character_escape(e);
        if (single >= 0) {
            unit = uint32_t(single);
            return true;
        }
        switch (e) {
        case 'd': case 'D': case 's': case 'S': case 'w': case 'W':
            bits = shorthand_bit(e);
            return false;
        case 'c': {
            const uint32_t x = peek();
            if (x - 'A' >= 26) raise_with(raise_, 4725, "正規表現の文字不正");
            ++at_;
            unit = x - 64;
            return true;
        }
        case 'x':
        case 'u': {
            const int32_t v = hex_escape(e);
            if (v < 0) {
                if (e == 'x') raise_with(raise_, 4730, "正規表現の文字不正");
                raise_with(raise_, 4735, "正規表現の文字不正");
            }
            unit = uint32_t(v);
            return true;
        }
        default:
            if (is_identity_escape(e)) {
                unit = e;
                return true;
            }
            if (is_letter(e) || is_digit(e)) raise_with(raise_, 4745, "正規表現のエスケープ不正");
            raise_with(raise_, 4740, "正規表現のエスケープ不正");
        }
    }

    Node character_class() {
        ++at_;  // '['
        if (peek() == '^' && peek(1) == ']') {
            at_ += 2;
            return Node{N_ANY_ALL};
        }
        ClassDef def;
        if (peek() == '^') {
            def.negated = true;
            ++at_;
        }
        for (;;) {
            if (at_ >= n_) raise_with(raise_, 4775, "正規表現のフォーマット不正 ([ ])");
            if (u_[at_] == ']') {
                ++at_;
                break;
            }
            uint32_t low = 0;
            uint8_t bits = 0;
            if (!class_atom(low, bits)) {
                def.shorthand |= bits;
                continue;
            }
            if (peek() == '-' && at_ + 1 < n_ && u_[at_ + 1] != ']') {
                ++at_;
                uint32_t high = 0;
                uint8_t high_bits = 0;
                if (!class_atom(high, high_bits)) {
                    // [a-\d]: the "-" is a member of its own.
                    def.members.emplace_back(uint16_t(low), uint16_t(low));
                    def.members.emplace_back(uint16_t('-'), uint16_t('-'));
                    def.shorthand |= high_bits;
                    continue;
                }
                if (low >= high) raise_with(raise_, 4720, "正規表現のフォーマット不正 ([ - ])");
                def.members.emplace_back(uint16_t(low), uint16_t(high));
                continue;
            }
            def.members.emplace_back(uint16_t(low), uint16_t(low));
        }
        if (def.members.empty() && def.shorthand == 0) raise_with(raise_, 4600, "正規表現のフォーマット不正 (%s)", "[ ]");
        classes.push_back(std::move(def));
        Node node{N_CLASS};
        node.value = uint32_t(classes.size() - 1);
        return node;
    }

    uint32_t group_name() {
        const size_t first = at_;
        while (at_ < n_ && u_[at_] != '>') {
            const uint32_t c = u_[at_];
            const bool ok = at_ == first ? (is_letter(c) || c == '_') : (is_letter(c) || is_digit(c) || c == '_');
            if (!ok) raise_with(raise_, 4625, "RegExp グループ不正");
            ++at_;
        }
        if (at_ >= n_) raise_with(raise_, 4635, "'%s'のフォーマット不正 (、)", text_);
        const size_t length = at_ - first;
        if (length > GROUP_NAME_LIMIT) raise_with(raise_, 4630, "RegExp グループ不正");
        if (length == 0) raise_with(raise_, 4625, "RegExp グループ不正");
        char name[GROUP_NAME_LIMIT + 1];
        for (size_t i = 0; i < length; ++i) name[i] = char(u_[first + i]);
        ++at_;  // '>'
        return intern_name(name, length);
    }

    Node group(int depth) {
        ++at_;  // '('
        Node node{N_GROUP};
        if (peek() == '?') {
            const uint32_t k = peek(1);
            if (k == ':') {
                node.type = N_NONCAPTURING;
                at_ += 2;
            } else if (k == '=' || k == '!') {
                node.type = N_LOOK;
                node.sub = k == '=' ? LOOK_AHEAD : LOOK_NOT_AHEAD;
                at_ += 2;
            } else if (k == '<' && (peek(2) == '=' || peek(2) == '!')) {
                node.type = N_LOOK;
                node.sub = peek(2) == '=' ? LOOK_BEHIND : LOOK_NOT_BEHIND;
                at_ += 3;
            } else if (k == '<') {
                at_ += 2;
                node.value = ++groups;
                node.name = group_name();
                group_names.push_back(node.name);
            } else {
                raise_with(raise_, 4640, "'%s'のフォーマット不正 (、)", text_);
            }
        } else {
            node.value = ++groups;
            group_names.push_back(0);
        }
        if (at_ >= n_) raise_with(raise_, 4640, "'%s'のフォーマット不正 (、)", text_);
        if (u_[at_] == ')') raise_with(raise_, 4790, "正規表現のフォーマット不正 (パターンなし)");
        node.kids.push_back(disjunction(depth + 1, true));
        if (peek() != ')') raise_with(raise_, 4640, "'%s'のフォーマット不正 (、)", text_);
        ++at_;
        if (node.type == N_LOOK) {
            if (node.sub < LOOK_BEHIND && is_quantifier(peek()))
                raise_with(raise_, 4645, "'%s'のフォーマット不正 (?<=...)。(?<!...)", text_);
            if (node.sub >= LOOK_BEHIND && (at_ >= n_ || peek() == '|' || peek() == ')'))
                raise_with(raise_, 4650, "'%s'のフォーマット不正 (?=...)、(?!...)", text_);
        }
        return node;
    }
};

// ---- Source text -------------------------------------------------------------

void put_unit(std::string& out, uint32_t u) {
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | (u >> 6));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

// Writes a unit so that it reads back as itself.
void put_escaped(std::string& out, uint32_t u, bool in_class) {
    static const char HEX[] = "0123456789ABCDEF";
    switch (u) {
    case 0: out += "\\0"; return;
    case 9: out += "\\t"; return;
    case 10: out += "\\n"; return;
    case 11: out += "\\v"; return;
    case 12: out += "\\f"; return;
    case 13: out += "\\r"; return;
    default: break;
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
        // Half of a character above U+FFFF: no UTF-8 text of its own.
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += HEX[(u >> shift) & 15];
        return;
    }
    if (u < 0x20 || u == 0x7F) {
        out += "\\x";
        out += HEX[u >> 4];
        out += HEX[u & 15];
        return;
    }
    const bool special = in_class ? (u == '\\' || u == ']' || u == '[' || u == '^' || u == '-')
                                  : is_syntax_character(u);
    if (special) out += '\\';
    put_unit(out, u);
}

class SourceWriter {
public:
    explicit SourceWriter(const std::vector<ClassDef>& classes) : classes_(classes) {}

    void node(const Node& n, std::string& out) const {
        switch (n.type) {
        case N_SEQUENCE:
            for (size_t i = 0; i < n.kids.size(); ++i) {
                if (is_pair(n.kids, i)) {
                    // A character above U+FFFF written in the pattern: its
                    // two units go back as the one character.
                    put_pair(out, n.kids[i].value, n.kids[i + 1].value);
                    quantifier(n.kids[++i], out);
                } else {
                    node(n.kids[i], out);
                }
            }
            return;
        case N_ALTERNATION:
            for (size_t i = 0; i < n.kids.size(); ++i) {
                if (i) out += '|';
                node(n.kids[i], out);
            }
            return;
        case N_CHAR: put_escaped(out, n.value, false); break;
        case N_ANY: out += '.'; break;
        case N_ANY_ALL: out += "[^]"; break;
        case N_CLASS:
            if (n.sub) {
                out += '\\';
                out += char(n.sub);
            } else {
                class_text(classes_[n.value], out);
            }
            break;
        case N_LINE_START: out += '^'; return;
        case N_LINE_END: out += '$'; return;
        case N_WORD_BOUNDARY: out += "\\b"; return;
        case N_NOT_WORD_BOUNDARY: out += "\\B"; return;
        case N_BACKREF:
            out += '\\';
            out += char('0' + n.value);
            break;
        case N_GROUP:
            out += '(';
            node(n.kids[0], out);
            out += ')';
            return;
        case N_NONCAPTURING:
            out += "(?:";
            node(n.kids[0], out);
            out += ')';
            break;
        case N_LOOK: {
            static const char* const OPEN[4] = {"(?=", "(?!", "(?<=", "(?<!"};
            out += OPEN[n.sub];
            node(n.kids[0], out);
            out += ')';
            return;
        }
        }
        quantifier(n, out);
    }

private:
    const std::vector<ClassDef>& classes_;

    static bool is_pair(const std::vector<Node>& kids, size_t i) {
        if (i + 1 >= kids.size()) return false;
        const Node& high = kids[i];
        const Node& low = kids[i + 1];
        return high.type == N_CHAR && low.type == N_CHAR && high.quant == Q_NONE && high.value >= 0xD800 &&
               high.value <= 0xDBFF && low.value >= 0xDC00 && low.value <= 0xDFFF;
    }

    static void put_pair(std::string& out, uint32_t high, uint32_t low) {
        const uint32_t c = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }

    static void quantifier(const Node& n, std::string& out) {
        switch (n.quant) {
        case Q_EXACT:
            out += '{' + std::to_string(n.min) + '}';
            break;
        case Q_OPTIONAL:
            out += n.lazy ? "??" : "?";
            break;
        case Q_RANGE:
            out += '{' + std::to_string(n.min) + ',' + std::to_string(n.max) + '}';
            if (n.lazy) out += '?';
            break;
        case Q_AT_LEAST:
            if (n.lazy) {
                out += '{' + std::to_string(n.min) + ",}?";
            } else if (n.min == 0) {
                out += '*';
            } else if (n.min == 1) {
                out += '+';
            } else {
                out += '{' + std::to_string(n.min) + ",}";
            }
            break;
        default:
            break;
        }
    }

    static void class_text(const ClassDef& def, std::string& out) {
        out += def.negated ? "[^" : "[";
        static const char LETTERS[] = "wWdDsS";
        for (int i = 0; i < 6; ++i) {
            if (def.shorthand & (1 << i)) {
                out += '\\';
                out += LETTERS[i];
            }
        }
        // Consecutive units in the order written: more than four as a range.
        size_t i = 0;
        while (i < def.members.size()) {
            uint32_t low = def.members[i].first, high = def.members[i].second;
            ++i;
            while (i < def.members.size() && def.members[i].first == high + 1) high = def.members[i++].second;
            if (high - low + 1 > 4) {
                put_escaped(out, low, true);
                out += '-';
                put_escaped(out, high, true);
            } else {
                for (uint32_t u = low; u <= high; ++u) put_escaped(out, u, true);
            }
        }
        out += ']';
    }
};

// ---- Program -------------------------------------------------------------------

struct Width {
    uint32_t min, max;
};

uint32_t add_width(uint32_t a, uint32_t b) { return a == UNBOUNDED || b == UNBOUNDED ? UNBOUNDED : a + b; }
uint32_t times_width(uint32_t a, uint32_t n) {
    if (a == 0 || n == 0) return 0;
    if (a == UNBOUNDED || n == UNBOUNDED) return UNBOUNDED;
    const uint64_t v = uint64_t(a) * n;
    return v >= UNBOUNDED ? UNBOUNDED : uint32_t(v);
}

class ProgramBuilder {
public:
    ProgramBuilder(const std::vector<ClassDef>& classes, uint8_t flags)
        : defs_(classes), fold_(flags & REGEXP_FLAG_I), multiline_(flags & REGEXP_FLAG_M), dot_all_(flags & REGEXP_FLAG_S) {
        for (const ClassDef& d : defs_) sets_.push_back(build_set(d));
    }

    void emit(const Node& n) {
        switch (n.type) {
        case N_SEQUENCE:
            sequence(n);
            return;
        case N_ALTERNATION: {
            std::vector<size_t> jumps;
            for (size_t i = 0; i + 1 < n.kids.size(); ++i) {
                const size_t split = code_.size();
                push({OP_SPLIT, 0, 0, uint32_t(split + 1), 0, 0});
                emit(n.kids[i]);
                jumps.push_back(code_.size());
                push({OP_JUMP, 0, 0, 0, 0, 0});
                code_[split].b = uint32_t(code_.size());
            }
            emit(n.kids.back());
            for (size_t j : jumps) code_[j].a = uint32_t(code_.size());
            return;
        }
        case N_LINE_START: push({OP_LINE_START, uint8_t(multiline_), 0, 0, 0, 0}); return;
        case N_LINE_END: push({OP_LINE_END, uint8_t(multiline_), 0, 0, 0, 0}); return;
        case N_WORD_BOUNDARY: push({OP_WORD_BOUNDARY, 0, 0, 0, 0, 0}); return;
        case N_NOT_WORD_BOUNDARY: push({OP_NOT_WORD_BOUNDARY, 0, 0, 0, 0, 0}); return;
        case N_GROUP:
            push({OP_SAVE, 0, 0, 2 * n.value, 0, 0});
            emit(n.kids[0]);
            push({OP_SAVE, 0, 0, 2 * n.value + 1, 0, 0});
            return;
        case N_LOOK: {
            const size_t look = code_.size();
            const Width w = width(n.kids[0]);
            push({OP_LOOK, n.sub, 0, w.max, 0, w.min});
            emit(n.kids[0]);
            push({OP_LOOK_END, 0, 0, 0, 0, 0});
            code_[look].b = uint32_t(code_.size());
            return;
        }
        default:
            break;
        }
        if (is_atom(n) && n.quant == Q_NONE) {
            push(atom(n));
            return;
        }
        if (is_atom(n)) {
            push({OP_REPEAT_ONE, uint8_t(!n.lazy), uint16_t(n.min), n.max, 0, 0});
            push(atom(n));
            return;
        }
        if (n.quant == Q_NONE) {  // unquantified (?:...) or back-reference
            body(n);
            return;
        }
        if (n.type == N_NONCAPTURING && is_atom(n.kids[0]) && n.kids[0].quant == Q_NONE) {
            push({OP_REPEAT_ONE, uint8_t(!n.lazy), uint16_t(n.min), n.max, 0, 0});
            push(atom(n.kids[0]));
            return;
        }
        const uint16_t reg = registers_++;
        push({OP_LOOP_INIT, 0, reg, 0, 0, 0});
        const size_t loop = code_.size();
        push({OP_LOOP, uint8_t(!n.lazy), reg, n.max, 0, n.min});
        uint32_t first = UNBOUNDED, last = 0;
        groups_in(n, first, last);
        if (first != UNBOUNDED) push({OP_RESET, 0, 0, 2 * first, 2 * last + 2, 0});
        body(n);
        push({OP_LOOP_END, 0, reg, uint32_t(loop), 0, n.min});
        code_[loop].b = uint32_t(code_.size());
    }

    Width width(const Node& n) const {
        Width w{0, 0};
        switch (n.type) {
        case N_SEQUENCE:
            for (const Node& k : n.kids) {
                const Width kw = width(k);
                w.min = add_width(w.min, kw.min);
                w.max = add_width(w.max, kw.max);
            }
            return w;
        case N_ALTERNATION:
            w = {UNBOUNDED, 0};
            for (const Node& k : n.kids) {
                const Width kw = width(k);
                if (kw.min < w.min) w.min = kw.min;
                if (kw.max > w.max) w.max = kw.max;
            }
            return w;
        case N_CHAR: case N_ANY: case N_ANY_ALL: case N_CLASS:
            w = {1, 1};
            break;
        case N_BACKREF:
            w = {0, UNBOUNDED};
            break;
        case N_GROUP: case N_NONCAPTURING:
            w = width(n.kids[0]);
            break;
        default:
            return w;
        }
        if (n.quant != Q_NONE) w = {times_width(w.min, n.min), times_width(w.max, n.max)};
        return w;
    }

    // Adds the units that can begin a match of n; true when n cannot match
    // empty. A back-reference among the first items sets `blocked`.
    bool first_units(const Node& n, FirstSet& set, bool& blocked) const {
        switch (n.type) {
        case N_SEQUENCE:
            for (const Node& k : n.kids)
                if (first_units(k, set, blocked)) return true;
            return false;
        case N_ALTERNATION: {
            bool all = true;
            for (const Node& k : n.kids) all = first_units(k, set, blocked) && all;
            return all;
        }
        case N_LINE_START: case N_LINE_END: case N_WORD_BOUNDARY: case N_NOT_WORD_BOUNDARY: case N_LOOK:
            return false;
        case N_BACKREF:
            blocked = true;
            return true;
        default:
            break;
        }
        bool solid = true;
        if (n.type == N_GROUP || n.type == N_NONCAPTURING) {
            solid = first_units(n.kids[0], set, blocked);
        } else {
            add_atom_units(n, set);
        }
        return solid && n.min > 0;
    }

    std::vector<Inst> code_;
    std::vector<ClassSet> sets_;
    std::vector<uint16_t> ranges_;
    std::vector<uint16_t> pool_;
    uint16_t registers_ = 0;

private:
    const std::vector<ClassDef>& defs_;
    bool fold_, multiline_, dot_all_;

    void push(const Inst& in) { code_.push_back(in); }

    // Runs of two or more plain characters become one string comparison.
    void sequence(const Node& n) {
        size_t i = 0;
        while (i < n.kids.size()) {
            size_t j = i;
            while (j < n.kids.size() && n.kids[j].type == N_CHAR && n.kids[j].quant == Q_NONE) ++j;
            if (j - i >= 2) {
                const uint32_t first = uint32_t(pool_.size());
                for (size_t k = i; k < j; ++k)
                    pool_.push_back(uint16_t(fold_ ? fold_unit(n.kids[k].value) : n.kids[k].value));
                push({OP_STRING, uint8_t(fold_), 0, first, uint32_t(j - i), 0});
                i = j;
                continue;
            }
            emit(n.kids[i]);
            ++i;
        }
    }

    static bool is_atom(const Node& n) {
        return n.type == N_CHAR || n.type == N_ANY || n.type == N_ANY_ALL || n.type == N_CLASS;
    }

    void body(const Node& n) {
        if (n.type == N_BACKREF) {
            push({OP_BACKREF, uint8_t(fold_), 0, n.value, 0, 0});
        } else {
            emit(n.kids[0]);
        }
    }

    static void groups_in(const Node& n, uint32_t& first, uint32_t& last) {
        if (n.type == N_GROUP) {
            if (n.value < first) first = n.value;
            if (n.value > last) last = n.value;
        }
        for (const Node& k : n.kids) groups_in(k, first, last);
    }

    Inst atom(const Node& n) const {
        switch (n.type) {
        case N_CHAR:
            if (fold_ && is_letter(n.value)) return {OP_CHAR_FOLD, 0, 0, fold_unit(n.value), 0, 0};
            return {OP_CHAR, 0, 0, n.value, 0, 0};
        case N_ANY:
            return {uint8_t(dot_all_ ? OP_ANY_ALL : OP_ANY), 0, 0, 0, 0, 0};
        case N_ANY_ALL:
            return {OP_ANY_ALL, 0, 0, 0, 0, 0};
        default:
            return {OP_CLASS, 0, 0, n.value, 0, 0};
        }
    }

    static void set_bit(uint32_t* ascii, uint32_t u) { ascii[u >> 5] |= 1u << (u & 31); }

    void add_atom_units(const Node& n, FirstSet& set) const {
        switch (n.type) {
        case N_CHAR:
            if (n.value < 128) {
                set_bit(set.ascii, n.value);
                if (fold_ && is_letter(n.value)) set_bit(set.ascii, n.value ^ 0x20);
            } else {
                set.non_ascii = 1;
            }
            return;
        case N_CLASS: {
            const ClassSet& c = sets_[n.value];
            for (uint32_t u = 0; u < 128; ++u)
                if (class_has(c, nullptr, u)) set_bit(set.ascii, u);
            if (c.negated || c.all_non_ascii || c.range_count) set.non_ascii = 1;
            return;
        }
        default:  // "." and "[^]"
            for (uint32_t u = 0; u < 128; ++u)
                if (n.type == N_ANY_ALL || dot_all_ || (u != 10 && u != 13)) set_bit(set.ascii, u);
            set.non_ascii = 1;
            return;
        }
    }

    ClassSet build_set(const ClassDef& d) {
        ClassSet s{};
        s.negated = d.negated;
        s.range_first = uint32_t(ranges_.size() / 2);
        for (const auto& [low, high] : d.members) {
            for (uint32_t u = low; u <= high && u < 128; ++u) {
                set_bit(s.ascii, u);
                if (fold_ && is_letter(u)) set_bit(s.ascii, u ^ 0x20);
            }
            if (high >= 128) {
                ranges_.push_back(uint16_t(low < 128 ? 128 : low));
                ranges_.push_back(high);
                ++s.range_count;
            }
        }
        for (uint32_t u = 0; u < 128; ++u) {
            const bool word = is_word_unit(u), digit = is_digit(u);
            const bool space = u == 9 || u == 10 || u == 13 || u == 32;
            if (((d.shorthand & SHORT_WORD) && word) || ((d.shorthand & SHORT_NOT_WORD) && !word) ||
                ((d.shorthand & SHORT_DIGIT) && digit) || ((d.shorthand & SHORT_NOT_DIGIT) && !digit) ||
                ((d.shorthand & SHORT_SPACE) && space) || ((d.shorthand & SHORT_NOT_SPACE) && !space))
                set_bit(s.ascii, u);
        }
        if (d.shorthand & (SHORT_NOT_WORD | SHORT_NOT_DIGIT | SHORT_NOT_SPACE)) s.all_non_ascii = 1;
        return s;
    }
};

template <class T>
void put_array(std::vector<uint8_t>& out, const std::vector<T>& v) {
    const size_t at = out.size();
    out.resize(at + v.size() * sizeof(T));
    if (!v.empty()) std::memcpy(out.data() + at, v.data(), v.size() * sizeof(T));
}

}  // namespace

void compile_pattern(const uint16_t* units, size_t count, uint8_t flags, const char* text, RaiseFunction raise,
                     CompiledPattern& out) {
    PatternParser parser(units, count, text, raise);
    const Node root = parser.parse();
    if (parser.groups >= 0xFFFF) raise_with(raise, 4810, "正規表現の入れ子が深すぎます");

    std::string source;
    SourceWriter(parser.classes).node(root, source);

    ProgramBuilder builder(parser.classes, flags);
    builder.emit(root);
    builder.code_.push_back({OP_MATCH, 0, 0, 0, 0, 0});

    Program head{};
    head.inst_count = uint32_t(builder.code_.size());
    head.class_count = uint32_t(builder.sets_.size());
    head.range_count = uint32_t(builder.ranges_.size() / 2);
    head.unit_count = uint32_t(builder.pool_.size());
    head.source_bytes = uint32_t(source.size());
    head.group_count = uint16_t(parser.groups);
    head.register_count = builder.registers_;
    for (uint32_t name : parser.group_names) head.has_names |= name != 0;
    bool blocked = false;
    if (builder.first_units(root, head.first, blocked) && !blocked) head.first.usable = 1;
    else head.first = FirstSet{};
    if (root.type == N_SEQUENCE && !root.kids.empty() && root.kids[0].type == N_LINE_START && !(flags & REGEXP_FLAG_M))
        head.first.anchored = 1;
    else if (root.type == N_LINE_START && !(flags & REGEXP_FLAG_M))
        head.first.anchored = 1;

    std::vector<uint8_t> bytes(sizeof(Program));
    put_array(bytes, builder.code_);
    put_array(bytes, builder.sets_);
    put_array(bytes, builder.ranges_);
    put_array(bytes, builder.pool_);
    while (bytes.size() % 4) bytes.push_back(0);
    put_array(bytes, parser.group_names);
    bytes.insert(bytes.end(), source.begin(), source.end());
    bytes.push_back(0);
    head.total_bytes = uint32_t(bytes.size());
    std::memcpy(bytes.data(), &head, sizeof head);

    out.storage.assign((bytes.size() + 7) / 8, 0);
    std::memcpy(out.storage.data(), bytes.data(), bytes.size());
}

uint8_t parse_regexp_flags(const char* text, size_t length, RaiseFunction raise) {
    uint8_t flags = 0;
    for (size_t i = 0; i < length; ++i) {
        switch (text[i]) {
        case 'g': flags |= REGEXP_FLAG_G; break;
        case 'i': flags |= REGEXP_FLAG_I; break;
        case 'm': flags |= REGEXP_FLAG_M; break;
        case 's': flags |= REGEXP_FLAG_S; break;
        case 'y': flags |= REGEXP_FLAG_Y; break;
        case 'u': break;
        default: {
            std::string all(text, length);
            raise_with(raise, 4795, "正規表現のオプション不正(%s)", all.c_str());
        }
        }
    }
    return flags;
}

size_t regexp_flag_letters(uint8_t flags, char* out) {
    size_t n = 0;
    if (flags & REGEXP_FLAG_I) out[n++] = 'i';
    if (flags & REGEXP_FLAG_M) out[n++] = 'm';
    if (flags & REGEXP_FLAG_G) out[n++] = 'g';
    if (flags & REGEXP_FLAG_Y) out[n++] = 'y';
    if (flags & REGEXP_FLAG_S) out[n++] = 's';
    out[n] = '\0';
    return n;
}

}  // namespace tolv
