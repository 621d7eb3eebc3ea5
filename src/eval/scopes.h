// Variables: the binding stack (call frames and block-scoped bindings), the
// global table, and the last location that assignment operators write through.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

constexpr uint32_t CONSTANT_BINDING = 0x80000000u;

struct Binding {
    uint32_t name_word;  // name index, CONSTANT_BINDING for const
    ValueHandle value;   // holds one reference
};

// Index 0 is never used, so a frame base of 0 means "top level".
struct BindingStack {
    Binding* items;
    uint32_t top;        // index of the last binding in use
    uint32_t capacity;
};
extern BindingStack g_bindings;

struct ScopeState {
    uint32_t frame_base;   // first binding of the innermost call; 0 at top level
    uint32_t block_base;   // bindings above this belong to the innermost block
    uint32_t block_depth;  // blocks being evaluated, loops included
    uint32_t call_depth;   // script function calls being evaluated
};
extern ScopeState g_scope;

enum LocationKind : uint8_t {
    LOCATION_NONE = 0,
    LOCATION_BINDING,
    LOCATION_GLOBAL,
    LOCATION_ARRAY,
    LOCATION_HASH,
    LOCATION_ASSOC,
    LOCATION_REGEXP_LAST_INDEX,  // `lastIndex` of the RegExp in `container`
};

// How an assignment finds where to write, without a second lookup:
// - The evaluator's lookups (lookup_variable, op_member, op_index) return a
//   value and, as a side effect, record in `g_location` where it lives. A
//   caller that wants the place reads `g_location` right after the lookup,
//   before anything else is evaluated: every later lookup overwrites it, and
//   a lookup whose value has no place to write to sets LOCATION_NONE.
// - `g_create_mode` is the request in the other direction: an assignment sets
//   it just before it evaluates a member or index target, so that a missing
//   entry is made (and its location recorded) in place of reading undefined.
//   op_member and op_index take it and clear it at once, before they evaluate
//   their own operands, so it reaches only the outermost lookup of the
//   target; whoever sets it clears it after the call, and an abandoned
//   evaluation (a throw) clears it too.
// Code that evaluates in between (the debugger's expressions) saves and
// restores both.
struct LastLocation {
    LocationKind kind;
    bool constant;
    uint32_t index;          // binding index, element index or pair index
    ValueHandle container;   // array, hash or assoc array
    uint32_t name;           // global name; name of the last variable looked up
    bool name_valid;
};
extern LastLocation g_location;  // where the last lookup's value lives
extern bool g_create_mode;        // the next member or index lookup creates what is missing

void grow_bindings(uint32_t needed);
inline void push_binding(uint32_t name_word, ValueHandle value) {
    if (g_bindings.top + 1 >= g_bindings.capacity) grow_bindings(1);
    Binding& b = g_bindings.items[++g_bindings.top];
    b.name_word = name_word;
    b.value = value;
    retain(value);
}
// Pops and releases every binding above `top`.
void pop_bindings(uint32_t top);

// Finds the variable's value and records its location; an unknown name
// becomes a global holding undefined. The binding scan is inline: nearly
// every name an expression reads is a parameter or local of the innermost call.
ValueHandle lookup_global(uint32_t name);
inline ValueHandle lookup_variable(uint32_t name) {
    // At top level the stack holds only block bindings, all visible.
    uint32_t low = g_scope.frame_base ? g_scope.frame_base : 1;
    const Binding* items = g_bindings.items;
    for (uint32_t i = g_bindings.top; i >= low; --i) {
        uint32_t word = items[i].name_word;
        if ((word & ~CONSTANT_BINDING) == name) {
            g_location.kind = LOCATION_BINDING;
            g_location.constant = (word & CONSTANT_BINDING) != 0;
            g_location.index = i;
            g_location.name = name;
            g_location.name_valid = true;
            return items[i].value;
        }
    }
    return lookup_global(name);
}

// Writes through the last location: the new value is retained, the old one
// released. Nothing happens when there is no location.
void store_at_location(const LastLocation& location, ValueHandle value);
// The value the location holds now; VALUE_SENTINEL when it no longer exists.
ValueHandle value_in_container(const LastLocation& location);
inline ValueHandle value_at_location(const LastLocation& location) {
    if (location.kind == LOCATION_BINDING)
        return location.index <= g_bindings.top ? g_bindings.items[location.index].value : VALUE_SENTINEL;
    return value_in_container(location);
}

// Binds `name` in the current function frame (or as a global at top level),
// replacing an existing binding: var semantics.
void assign_var(uint32_t name, ValueHandle value);

void scopes_reset();

}  // namespace tolv
