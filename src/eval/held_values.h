// Values the evaluator keeps in its own variables while script code runs:
// an index's container while the index is evaluated, a loop's iterable, the
// left operand of an operator, the elements a sort holds. An Array written
// past its end becomes an assoc array where it stands, and every word that
// holds it must get the new handle; these are the words no container,
// binding or global accounts for. Also the holders that own a value for the
// length of one operation, so an error raised half-way frees it.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/evaluate.h"
#include "eval/scopes.h"

namespace tolv {

struct HeldRange {
    ValueHandle* first;
    uint32_t count;
};

struct HeldValues {
    std::vector<HeldRange> ranges;
    std::vector<LastLocation*> locations;  // write positions kept across an evaluation
};
extern HeldValues g_held;

// Registers `count` words from `first` for as long as it lives.
class HeldWords {
public:
    HeldWords(ValueHandle* first, uint32_t count) { g_held.ranges.push_back({first, count}); }
    explicit HeldWords(ValueHandle& word) : HeldWords(&word, 1) {}
    ~HeldWords() { g_held.ranges.pop_back(); }
    HeldWords(const HeldWords&) = delete;
    HeldWords& operator=(const HeldWords&) = delete;
};

// Registers a location whose container may be an Array that changes form.
class HeldLocation {
public:
    explicit HeldLocation(LastLocation& at) { g_held.locations.push_back(&at); }
    ~HeldLocation() { g_held.locations.pop_back(); }
    HeldLocation(const HeldLocation&) = delete;
    HeldLocation& operator=(const HeldLocation&) = delete;
};

// A handle kept in an unregistered word across script code, while the value
// is alive: an Array may since have become an assoc array where it stands.
inline ValueHandle current_form(ValueHandle h) {
    if (kind_of(h) == KIND_ARRAY && kind_in(cell_of(h)[0]) == KIND_ASSOC_ARRAY)
        return make_handle(KIND_ASSOC_ARRAY, payload_of(h));
    return h;
}

// An operand that evaluates without running script code: a name or an Integer.
inline bool is_inert(ValueHandle operand) {
    unsigned kind = operand >> 24;
    return kind == KIND_NAME || kind == KIND_INTEGER;
}

// Holds a value already evaluated (one reference, and its word in view)
// while later operands run: they may reassign or release the variable it
// came from, or turn it from an Array into an assoc array. On a throw the
// hold is given back without freeing.
class HeldValue {
public:
    explicit HeldValue(ValueHandle& value) : value_(value) {
        retain(value);
        g_held.ranges.push_back({&value, 1});
    }
    ~HeldValue() {
        g_held.ranges.pop_back();
        release_keep(value_);
    }
    HeldValue(const HeldValue&) = delete;
    HeldValue& operator=(const HeldValue&) = delete;

private:
    ValueHandle& value_;
};

// An operand's value, held until the operation returns. Errors raised after
// it is evaluated point at the operation again, not into the operand.
class HeldOperand {
public:
    HeldOperand(const OperationCell* op, uint32_t index) : value_(retain(evaluate(operand(op, index)))) {
        note_position(op);
    }
    ~HeldOperand() { release(value_); }
    HeldOperand(const HeldOperand&) = delete;
    HeldOperand& operator=(const HeldOperand&) = delete;
    ValueHandle get() const { return value_; }
    Kind kind() const { return kind_or_reserved(value_); }

private:
    ValueHandle value_;
};

// A value being built, held so that an error frees it; give() hands it to
// the caller as a new unowned value.
class BuiltValue {
public:
    explicit BuiltValue(ValueHandle value) : value_(retain(value)) {}
    ~BuiltValue() { release(value_); }
    BuiltValue(const BuiltValue&) = delete;
    BuiltValue& operator=(const BuiltValue&) = delete;
    ValueHandle get() const { return value_; }
    ValueHandle give() {
        ValueHandle v = value_;
        release_keep(v);
        value_ = VALUE_UNDEFINED;
        return v;
    }

private:
    ValueHandle value_;
};

[[gnu::noinline]] ValueHandle evaluate_holding(ValueHandle& held, ValueHandle operand);

// Evaluates `operand` after `held`, which the caller still needs afterwards.
// Only an Array needs its word in view; anything else is just held (and on
// a throw stays held: a leak, never a fault).
[[gnu::always_inline]] inline ValueHandle evaluate_after(ValueHandle& held, ValueHandle operand) {
    uint8_t* header = nullptr;
    if (!is_inert(operand) && has_storage(held)) [[unlikely]] {
        unsigned kind = kind_of(held);
        if (kind == KIND_ARRAY || is_area_kind(kind)) return evaluate_holding(held, operand);
        header = cell_of(held);
        add_reference(*header);
    }
    ValueHandle value = evaluate(operand);
    // The held value may have become permanent meanwhile.
    if (header) [[unlikely]]
        take_reference(*header);
    return value;
}

}  // namespace tolv
