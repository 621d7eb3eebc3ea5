// The pattern parser: a recursive descent over the units, one method per
// construct, that checks the pattern as it builds the tree.
#include "regexp/pattern_parser.h"

#include <utility>

#include "runtime/name_table.h"

namespace tolv::regexp {

namespace {

constexpr int DEPTH_LIMIT = 200;
constexpr size_t GROUP_NAME_LIMIT = 200;
constexpr uint32_t COUNT_LIMIT = 65536;

int hex_value(uint32_t c) {
    if (c - '0' < 10) return int(c - '0');
    if (c - 'a' < 6) return int(c - 'a' + 10);
    if (c - 'A' < 6) return int(c - 'A' + 10);
    return -1;
}
bool is_quantifier(uint32_t c) { return c == '*' || c == '+' || c == '?' || c == '{'; }
// Other ASCII punctuation, which ECMAScript also takes for itself when escaped.
bool is_identity_escape(uint32_t c) { return c < '~' && c > ' ' && !is_letter(c) && !is_digit(c); }

class PatternParser {
public:
    PatternParser(const uint16_t* units, size_t count, const char* text, RaiseFunction raise)
        : u_(units), n_(count), text_(text), raise_(raise) {}

    Node parse() {
        if (n_ == 0) raise_with(raise_, Error::REGEXP_EMPTY);
        Node root = disjunction(0, false);
        if (at_ < n_) raise_with(raise_, Error::REGEXP_BAD_ALTERNATIVE_4640, text_);
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
        if (depth > DEPTH_LIMIT) raise_with(raise_, Error::REGEXP_TOO_DEEP);
        Node alternation{N_ALTERNATION};
        for (;;) {
            Node sequence = alternative(depth, in_group);
            if (sequence.kids.empty()) raise_with(raise_, Error::REGEXP_NO_PATTERN_4785);
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
                raise_with(raise_, Error::REGEXP_BAD_ALTERNATIVE_4640, text_);
            }
            if (is_quantifier(c)) {
                quantify(seq, last_quantifier, lazy_marked);
                continue;
            }
            last_quantifier = 0;
            switch (c) {
            case '^':
                if (!seq.kids.empty()) raise_with(raise_, Error::REGEXP_BAD_DOLLAR_4685, text_);
                seq.kids.push_back(Node{N_LINE_START});
                ++at_;
                break;
            case '$': {
                const uint32_t next = peek(1);
                if (!(at_ + 1 == n_ || next == '|' || (in_group && next == ')')))
                    raise_with(raise_, Error::REGEXP_BAD_DOLLAR_4687, text_);
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
        case '*': raise_with(raise_, Error::REGEXP_BAD_STAR_4660, text_);
        case '+': raise_with(raise_, Error::REGEXP_BAD_PLUS, text_);
        case '?': raise_with(raise_, Error::REGEXP_BAD_QUESTION, text_);
        default: raise_with(raise_, Error::REGEXP_BAD_BRACES_IN, text_);
        }
    }

    void quantify(Node& seq, uint32_t& last_quantifier, bool& lazy_marked) {
        const uint32_t q = u_[at_];
        const char* shown = q == '*' ? "*" : q == '+' ? "+" : q == '?' ? "?" : "{ }";
        if (seq.kids.empty()) raise_with(raise_, Error::REGEXP_BAD_FORMAT_AT_4605, shown);
        if (last_quantifier) {
            if (!lazy_marked && (q == '*' || q == '+')) {
                if (last_quantifier == '*') raise_with(raise_, Error::REGEXP_BAD_STAR_4655, text_);
                if (last_quantifier == '+') raise_with(raise_, Error::REGEXP_BAD_PLUS_AFTER, text_);
                if (last_quantifier == '?') raise_with(raise_, Error::REGEXP_BAD_QUESTION_AFTER, text_);
            }
            raise_with(raise_, Error::REGEXP_BAD_FORMAT_AT_4610, shown);
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
        if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_CLASS_4780);
        bool none;
        const uint32_t low = number(none);
        if (none) {
            if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_CLASS_4780);
            raise_with(raise_, Error::REGEXP_BAD_COUNT_NUMBER_4760);
        }
        if (peek() == '}') {
            ++at_;
            if (low < 1 || low >= COUNT_LIMIT) raise_with(raise_, Error::REGEXP_BAD_COUNT_4750);
            target.quant = Q_EXACT;
            target.min = target.max = low;
            return;
        }
        if (peek() != ',') {
            if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_CLASS_4780);
            raise_with(raise_, Error::REGEXP_BAD_COUNT_NUMBER_4760);
        }
        ++at_;
        if (peek() == '}') {
            ++at_;
            if (low < 1 || low >= COUNT_LIMIT) raise_with(raise_, Error::REGEXP_BAD_COUNT_4755);
            target.quant = Q_AT_LEAST;
            target.min = low;
            target.max = UNBOUNDED;
            return;
        }
        const uint32_t high = number(none);
        if (none || peek() != '}') {
            if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_CLASS_4780);
            raise_with(raise_, Error::REGEXP_BAD_COUNT_NUMBER_4770);
        }
        ++at_;
        if (low > high || high >= COUNT_LIMIT) raise_with(raise_, Error::REGEXP_BAD_FORMAT_4765);
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
        if (at_ + 1 >= n_) raise_with(raise_, Error::REGEXP_BAD_FORMAT_4710);
        const uint32_t c = u_[at_ + 1];
        at_ += 2;
        Node ch{N_CHAR};
        const int32_t single = character_escape(c);
        if (single >= 0) {
            ch.value = uint32_t(single);
            return ch;
        }
        if (c >= '1' && c <= '9') {
            if (c - '0' > groups) raise_with(raise_, Error::REGEXP_BAD_BACKREFERENCE);
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
            if (x - 'A' >= 26) raise_with(raise_, Error::REGEXP_BAD_CHARACTER_4690);
            ++at_;
            ch.value = x - 64;
            return ch;
        }
        case 'x':
        case 'u': {
            const int32_t v = hex_escape(c);
            if (v < 0) {
                if (c == 'x') raise_with(raise_, Error::REGEXP_BAD_CHARACTER_4695);
                raise_with(raise_, Error::REGEXP_BAD_CHARACTER_4700);
            }
            ch.value = uint32_t(v);
            return ch;
        }
        default:
            if (is_identity_escape(c)) {
                ch.value = c;
                return ch;
            }
            raise_with(raise_, Error::REGEXP_BAD_FORMAT_4715);
        }
    }

    // One class member: a unit (true) or shorthand bits in `bits` (false).
    bool class_atom(uint32_t& unit, uint8_t& bits) {
        if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_CLASS_4775);
        const uint32_t c = u_[at_++];
        if (c != '\\') {
            unit = c;
            return true;
        }
        if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_CLASS_4775);
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
            if (x - 'A' >= 26) raise_with(raise_, Error::REGEXP_BAD_CHARACTER_4725);
            ++at_;
            unit = x - 64;
            return true;
        }
        case 'x':
        case 'u': {
            const int32_t v = hex_escape(e);
            if (v < 0) {
                if (e == 'x') raise_with(raise_, Error::REGEXP_BAD_CHARACTER_4730);
                raise_with(raise_, Error::REGEXP_BAD_CHARACTER_4735);
            }
            unit = uint32_t(v);
            return true;
        }
        default:
            if (is_identity_escape(e)) {
                unit = e;
                return true;
            }
            if (is_letter(e) || is_digit(e)) raise_with(raise_, Error::REGEXP_BAD_ESCAPE_4745);
            raise_with(raise_, Error::REGEXP_BAD_ESCAPE_4740);
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
            if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_CLASS_4775);
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
                if (low >= high) raise_with(raise_, Error::REGEXP_BAD_RANGE);
                def.members.emplace_back(uint16_t(low), uint16_t(high));
                continue;
            }
            def.members.emplace_back(uint16_t(low), uint16_t(low));
        }
        if (def.members.empty() && def.shorthand == 0) raise_with(raise_, Error::REGEXP_BAD_FORMAT_AT_4600, "[ ]");
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
            if (!ok) raise_with(raise_, Error::REGEXP_BAD_GROUP_4625);
            ++at_;
        }
        if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_ALTERNATIVE_4635, text_);
        const size_t length = at_ - first;
        if (length > GROUP_NAME_LIMIT) raise_with(raise_, Error::REGEXP_BAD_GROUP_4630);
        if (length == 0) raise_with(raise_, Error::REGEXP_BAD_GROUP_4625);
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
                raise_with(raise_, Error::REGEXP_BAD_ALTERNATIVE_4640, text_);
            }
        } else {
            node.value = ++groups;
            group_names.push_back(0);
        }
        if (at_ >= n_) raise_with(raise_, Error::REGEXP_BAD_ALTERNATIVE_4640, text_);
        if (u_[at_] == ')') raise_with(raise_, Error::REGEXP_NO_PATTERN_4790);
        node.kids.push_back(disjunction(depth + 1, true));
        if (peek() != ')') raise_with(raise_, Error::REGEXP_BAD_ALTERNATIVE_4640, text_);
        ++at_;
        if (node.type == N_LOOK) {
            if (node.sub < LOOK_BEHIND && is_quantifier(peek()))
                raise_with(raise_, Error::REGEXP_BAD_LOOKBEHIND, text_);
            if (node.sub >= LOOK_BEHIND && (at_ >= n_ || peek() == '|' || peek() == ')'))
                raise_with(raise_, Error::REGEXP_BAD_LOOKAHEAD, text_);
        }
        return node;
    }
};

}  // namespace

ParsedPattern parse_pattern(const uint16_t* units, size_t count, const char* text, RaiseFunction raise) {
    PatternParser parser(units, count, text, raise);
    ParsedPattern pattern;
    pattern.root = parser.parse();
    pattern.classes = std::move(parser.classes);
    pattern.group_names = std::move(parser.group_names);
    pattern.groups = parser.groups;
    return pattern;
}

}  // namespace tolv::regexp
