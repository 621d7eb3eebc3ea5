// The source writer: every node written so that it reads back as itself.
#include "regexp/source_writer.h"

namespace tolv::regexp {

namespace {

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

}  // namespace

void write_source(const ParsedPattern& pattern, std::string& out) { SourceWriter(pattern.classes).node(pattern.root, out); }

}  // namespace tolv::regexp
