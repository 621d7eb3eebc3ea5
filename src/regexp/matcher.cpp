// The backtracking matcher: runs a program image over UTF-16 units or ASCII
// bytes with an explicit backtrack stack and a fixed work budget.
#include "regexp/regexp.h"

#include <vector>

#include "runtime/errors.h"

namespace tolv {

using namespace regexp;

namespace {

// Kinds of backtrack entries (top byte of `tag`; the low 24 bits hold a pc,
// a capture slot or a register).
enum Entry : uint8_t {
    BT_BRANCH,     // resume at pc with pos
    BT_CAPTURE,    // restore capture slot to `pos`
    BT_REGISTER,   // restore register to `pos`
    BT_GREEDY,     // one-unit repeat: give back one unit (pos = current end, extra = shortest end)
    BT_LAZY,       // one-unit repeat: take one more (pc = the repeat, extra = count)
    BT_LAZY_LOOP,  // enter the loop body once more (pc = the loop)
    BT_LOOK,       // a look-around's body failed (pc = the look, pos where it began)
    BT_BEHIND,     // lookbehind: try the next start (pos) up to `extra`
};

struct Backtrack {
    uint32_t tag;
    int32_t pos;
    int32_t extra;
};

constexpr size_t STACK_LIMIT = 4'000'000;
// Units a tight scanning loop passes in the time of one step of the machine.
constexpr uint32_t UNITS_PER_STEP = 8;
// Comparing two units case-blind folds both: it counts as this many units.
constexpr uint32_t FOLDED_COST = 3;

uint64_t s_last_steps = 0;

[[noreturn]] void over_budget() { raise(Error::REGEXP_MATCH_LIMIT); }

template <class Unit>
class Machine {
public:
    Machine(const Program& program, const Unit* text, int32_t length, int32_t search_start, int32_t* caps)
        : code_(program.insts()),
          sets_(program.classes()),
          ranges_(program.ranges()),
          pool_(program.units()),
          s_(text),
          len_(length),
          search_start_(search_start),
          caps_(caps),
          cap_count_(2 * (program.group_count + 1)),
          regs_(2 * size_t(program.register_count), 0) {}

    uint64_t steps() const { return REGEXP_WORK_BUDGET - fuel_; }

    bool attempt(int32_t start) {
        for (uint32_t i = 0; i < cap_count_; ++i) caps_[i] = -1;
        stack_.clear();
        looks_.clear();
        const int32_t end = run(start);
        if (end < 0) return false;
        caps_[0] = start;
        caps_[1] = end;
        return true;
    }

private:
    const Inst* code_;
    const ClassSet* sets_;
    const uint16_t* ranges_;
    const uint16_t* pool_;
    const Unit* s_;
    int32_t len_;
    int32_t search_start_;
    int32_t* caps_;
    uint32_t cap_count_;
    std::vector<int32_t> regs_;
    std::vector<Backtrack> stack_;
    std::vector<uint32_t> looks_;  // stack indexes of the open look-arounds' entries
    uint64_t fuel_ = REGEXP_WORK_BUDGET;

    void push(Entry kind, uint32_t low, int32_t pos, int32_t extra = 0) {
        if (stack_.size() >= STACK_LIMIT) over_budget();
        stack_.push_back(Backtrack{uint32_t(kind) << 24 | low, pos, extra});
    }

    // Scanning `units` text units in one instruction costs about one step per
    // UNITS_PER_STEP units.
    void charge_units(uint32_t units) {
        const uint64_t scanned = units / UNITS_PER_STEP;
        if (scanned >= fuel_) over_budget();
        fuel_ -= scanned;
    }

    void set_capture(uint32_t slot, int32_t value) {
        push(BT_CAPTURE, slot, caps_[slot]);
        caps_[slot] = value;
    }

    void set_register(uint32_t reg, int32_t value) {
        push(BT_REGISTER, reg, regs_[reg]);
        regs_[reg] = value;
    }

    bool atom_matches(const Inst& in, uint32_t u) const {
        switch (in.op) {
        case OP_CHAR: return u == in.a;
        case OP_CHAR_FOLD: return fold_unit(u) == in.a;
        case OP_ANY: return u != 10 && u != 13;
        case OP_ANY_ALL: return true;
        default: return class_has(sets_[in.a], ranges_, u);
        }
    }

    bool word_at(int32_t pos) const { return pos >= 0 && pos < len_ && is_word_unit(s_[pos]); }

    // Runs the program from `pos`; the end of the match, or -1.
    int32_t run(int32_t pos) {
        uint32_t pc = 0;
        for (;;) {
            if (--fuel_ == 0) over_budget();
            const Inst& in = code_[pc];
            switch (in.op) {
            case OP_CHAR:
                if (pos < len_ && s_[pos] == in.a) {
                    ++pos;
                    ++pc;
                    continue;
                }
                break;
            case OP_CHAR_FOLD:
                if (pos < len_ && fold_unit(s_[pos]) == in.a) {
                    ++pos;
                    ++pc;
                    continue;
                }
                break;
            case OP_STRING: {
                if (uint32_t(len_ - pos) < in.b) break;
                const uint16_t* p = pool_ + in.a;
                uint32_t i = 0;
                if (in.flag) {
                    while (i < in.b && fold_unit(s_[pos + i]) == p[i]) ++i;
                } else {
                    while (i < in.b && s_[pos + i] == p[i]) ++i;
                }
                if (i < in.b) break;
                pos += int32_t(in.b);
                ++pc;
                continue;
            }
            case OP_ANY:
            case OP_ANY_ALL:
            case OP_CLASS:
                if (pos < len_ && atom_matches(in, s_[pos])) {
                    ++pos;
                    ++pc;
                    continue;
                }
                break;
            case OP_LINE_START:
                if (pos == 0 || (in.flag && s_[pos - 1] == 10)) {
                    ++pc;
                    continue;
                }
                break;
            case OP_LINE_END:
                if (pos == len_ || (in.flag && s_[pos] == 10)) {
                    ++pc;
                    continue;
                }
                break;
            case OP_WORD_BOUNDARY:
            case OP_NOT_WORD_BOUNDARY:
                if ((word_at(pos - 1) != word_at(pos)) == (in.op == OP_WORD_BOUNDARY)) {
                    ++pc;
                    continue;
                }
                break;
            case OP_SPLIT:
                push(BT_BRANCH, in.b, pos);
                pc = in.a;
                continue;
            case OP_JUMP:
                pc = in.a;
                continue;
            case OP_SAVE:
                set_capture(in.a, pos);
                ++pc;
                continue;
            case OP_RESET:
                for (uint32_t slot = in.a; slot < in.b; ++slot)
                    if (caps_[slot] != -1) set_capture(slot, -1);
                ++pc;
                continue;
            case OP_BACKREF: {
                const int32_t from = caps_[2 * in.a], to = caps_[2 * in.a + 1];
                if (from >= 0 && to >= from) {
                    const int32_t n = to - from;
                    if (len_ - pos < n) break;
                    int32_t i = 0;
                    if (in.flag) {
                        while (i < n && fold_unit(s_[pos + i]) == fold_unit(s_[from + i])) ++i;
                    } else {
                        while (i < n && s_[pos + i] == s_[from + i]) ++i;
                    }
                    // A backreference compares as many units as its group
                    // holds: one step for it alone would let (\w+)\1+x run
                    // for seconds on a long text within the budget.
                    charge_units(in.flag ? FOLDED_COST * uint32_t(i) : uint32_t(i));
                    if (i < n) break;
                    pos += n;
                }
                ++pc;
                continue;
            }
            case OP_REPEAT_ONE: {
                const Inst& atom = code_[pc + 1];
                const uint32_t min = in.c, max = in.a;
                if (in.flag) {
                    int32_t end = pos;
                    while (end < len_ && uint32_t(end - pos) < max && atom_matches(atom, s_[end])) ++end;
                    charge_units(uint32_t(end - pos));
                    if (uint32_t(end - pos) < min) break;
                    const int32_t shortest = pos + int32_t(min);
                    if (end > shortest) push(BT_GREEDY, pc + 2, end, shortest);
                    pos = end;
                } else {
                    int32_t end = pos;
                    while (uint32_t(end - pos) < min && end < len_ && atom_matches(atom, s_[end])) ++end;
                    if (uint32_t(end - pos) < min) break;
                    pos = end;
                    if (min < max) push(BT_LAZY, pc, pos, int32_t(min));
                }
                pc += 2;
                continue;
            }
            case OP_LOOP_INIT:
                set_register(2 * in.c, 0);
                ++pc;
                continue;
            case OP_LOOP: {
                const uint32_t count = uint32_t(regs_[2 * in.c]);
                if (count < in.d) {
                    set_register(2 * in.c + 1, pos);
                    ++pc;
                } else if (count >= in.a) {
                    pc = in.b;
                } else if (in.flag) {
                    push(BT_BRANCH, in.b, pos);
                    set_register(2 * in.c + 1, pos);
                    ++pc;
                } else {
                    push(BT_LAZY_LOOP, pc, pos);
                    pc = in.b;
                }
                continue;
            }
            case OP_LOOP_END: {
                const uint32_t count = uint32_t(regs_[2 * in.c]);
                // An optional repetition that matched nothing ends the loop (it is not repeated).
                if (pos == regs_[2 * in.c + 1] && count >= in.d) break;
                set_register(2 * in.c, int32_t(count + 1));
                pc = in.a;
                continue;
            }
            case OP_LOOK: {
                looks_.push_back(uint32_t(stack_.size()));
                push(BT_LOOK, pc, pos);
                if (in.flag < LOOK_BEHIND) {
                    ++pc;
                    continue;
                }
                // The body must end here; its start lies between where this
                // search began and here, as far back as its width allows.
                int32_t low = search_start_, high = pos - int32_t(in.d);
                if (in.d > uint32_t(pos)) high = -1;
                if (in.a != UNBOUNDED && pos - int64_t(in.a) > low) low = pos - int32_t(in.a);
                if (low > high) break;
                if (low < high) push(BT_BEHIND, pc, low + 1, high);
                pos = low;
                ++pc;
                continue;
            }
            case OP_LOOK_END: {
                const uint32_t at = looks_.back();
                const Backtrack sentinel = stack_[at];
                const Inst& look = code_[sentinel.tag & 0xFFFFFF];
                if (look.flag >= LOOK_BEHIND && pos != sentinel.pos) break;
                looks_.pop_back();
                if (look.flag == LOOK_AHEAD || look.flag == LOOK_BEHIND) {
                    // Keep what the body captured, but never backtrack into it.
                    size_t kept = at;
                    for (size_t i = at + 1; i < stack_.size(); ++i) {
                        const uint8_t kind = uint8_t(stack_[i].tag >> 24);
                        if (kind == BT_CAPTURE || kind == BT_REGISTER) stack_[kept++] = stack_[i];
                    }
                    stack_.resize(kept);
                    pos = sentinel.pos;
                    pc = look.b;
                    continue;
                }
                // A negative look-around whose body matched: undo the body, then fail.
                unwind_to(at);
                stack_.pop_back();
                break;
            }
            case OP_MATCH:
                return pos;
            }
            // Failure: take the latest alternative.
            if (!backtrack(pc, pos)) return -1;
        }
    }

    void unwind_to(size_t height) {
        while (stack_.size() > height + 1) {
            const Backtrack e = stack_.back();
            stack_.pop_back();
            const uint8_t kind = uint8_t(e.tag >> 24);
            if (kind == BT_CAPTURE) caps_[e.tag & 0xFFFFFF] = e.pos;
            else if (kind == BT_REGISTER) regs_[e.tag & 0xFFFFFF] = e.pos;
        }
    }

    bool backtrack(uint32_t& pc, int32_t& pos) {
        while (!stack_.empty()) {
            if (--fuel_ == 0) over_budget();
            const Backtrack e = stack_.back();
            stack_.pop_back();
            const uint32_t low = e.tag & 0xFFFFFF;
            switch (Entry(e.tag >> 24)) {
            case BT_CAPTURE:
                caps_[low] = e.pos;
                continue;
            case BT_REGISTER:
                regs_[low] = e.pos;
                continue;
            case BT_BRANCH:
                pc = low;
                pos = e.pos;
                return true;
            case BT_GREEDY:
                pos = e.pos - 1;
                if (pos > e.extra) push(BT_GREEDY, low, pos, e.extra);
                pc = low;
                return true;
            case BT_LAZY: {
                const Inst& repeat = code_[low];
                if (uint32_t(e.extra) < repeat.a && e.pos < len_ && atom_matches(code_[low + 1], s_[e.pos])) {
                    pos = e.pos + 1;
                    if (uint32_t(e.extra) + 1 < repeat.a) push(BT_LAZY, low, pos, e.extra + 1);
                    pc = low + 2;
                    return true;
                }
                continue;
            }
            case BT_LAZY_LOOP:
                pos = e.pos;
                set_register(2 * code_[low].c + 1, pos);
                pc = low + 1;
                return true;
            case BT_LOOK:
                looks_.pop_back();
                if (code_[low].flag == LOOK_NOT_AHEAD || code_[low].flag == LOOK_NOT_BEHIND) {
                    pos = e.pos;
                    pc = code_[low].b;
                    return true;
                }
                continue;
            case BT_BEHIND:
                if (e.pos < e.extra) push(BT_BEHIND, low, e.pos + 1, e.extra);
                pos = e.pos;
                pc = low + 1;
                return true;
            }
        }
        return false;
    }
};

template <class Unit>
bool search(const MatchRequest& r, const Unit* text, size_t length) {
    const Program& p = *r.program;
    s_last_steps = 0;
    // No match begins at the end of a text, but the empty text is matched
    // as a whole.
    if (length > 0x7FFFFFF0u || r.start > length || (r.start == length && length > 0)) return false;
    Machine<Unit> machine(p, text, int32_t(length), int32_t(r.start), r.captures);
    const FirstSet& first = p.first;
    bool found = false;
    if (length == 0) {
        found = machine.attempt(0);
    } else if (first.anchored) {
        found = r.start == 0 && machine.attempt(0);
    } else {
        for (size_t at = r.start; at < length; ++at) {
            if (first.usable && !r.sticky) {
                while (at < length) {
                    const uint32_t u = text[at];
                    if (u < 128 ? (first.ascii[u >> 5] >> (u & 31)) & 1 : first.non_ascii) break;
                    ++at;
                }
                if (at >= length) break;
            }
            if (machine.attempt(int32_t(at))) {
                found = true;
                break;
            }
            if (r.sticky) break;
        }
    }
    s_last_steps = machine.steps();
    return found;
}

}  // namespace

bool regexp_search(const MatchRequest& request, const uint16_t* text, size_t length) {
    return search(request, text, length);
}

bool regexp_search(const MatchRequest& request, const uint8_t* text, size_t length) {
    return search(request, text, length);
}

uint64_t regexp_last_steps() { return s_last_steps; }

}  // namespace tolv
