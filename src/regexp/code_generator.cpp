// The code generator: instructions for the backtracking matcher, the class
// sets they test, the units that can begin a match, and the program image
// laid out as program.h describes it.
#include "regexp/code_generator.h"

#include <cstring>

#include "runtime/value.h"

namespace tolv::regexp {

namespace {

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

void generate_program(const ParsedPattern& pattern, uint8_t flags, const std::string& source, CompiledPattern& out) {
    const Node& root = pattern.root;
    ProgramBuilder builder(pattern.classes, flags);
    builder.emit(root);
    builder.code_.push_back({OP_MATCH, 0, 0, 0, 0, 0});

    Program head{};
    head.inst_count = uint32_t(builder.code_.size());
    head.class_count = uint32_t(builder.sets_.size());
    head.range_count = uint32_t(builder.ranges_.size() / 2);
    head.unit_count = uint32_t(builder.pool_.size());
    head.source_bytes = uint32_t(source.size());
    head.group_count = uint16_t(pattern.groups);
    head.register_count = builder.registers_;
    for (uint32_t name : pattern.group_names) head.has_names |= name != 0;
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
    put_array(bytes, pattern.group_names);
    bytes.insert(bytes.end(), source.begin(), source.end());
    bytes.push_back(0);
    head.total_bytes = uint32_t(bytes.size());
    std::memcpy(bytes.data(), &head, sizeof head);

    out.storage.assign((bytes.size() + 7) / 8, 0);
    std::memcpy(out.storage.data(), bytes.data(), bytes.size());
}

}  // namespace tolv::regexp
