// Variables: the binding stack (call frames and block-scoped bindings), the
// global table, and the last location that assignment operators write through.
#pragma once

#include <cstdint>

#include "runtime/value.h"

namespace tolv {

constexpr uint32_t CONSTANT_BINDING = 0x80000000u;
// A binding not (yet) reachable by name: a call's argument before it becomes
// a parameter, and the unused index 0.
constexpr uint32_t UNNAMED_BINDING = 0x7FFFFFFFu;

struct Binding {
    uint32_t name_word;  // name index, CONSTANT_BINDING for const
    ValueHandle value;   // holds one reference
    uint32_t shadowed;   // the name's innermost binding before this one
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

// Where each name's innermost binding is, so that a variable read is one
// indexed load instead of a scan of the frame: `innermost[n]` is the index of
// the binding of name n nearest the top, BINDING_NOWHERE when none. Each
// binding keeps the index it shadows, and popping it puts that back. A
// binding that gets its name after it was pushed (a call's arguments become
// its parameters) is linked by name_binding; it must then be the topmost
// named binding. Code that moves the top without pushing or popping (the
// debugger's evaluations) calls relink_bindings afterwards; until then a
// lookup whose link is stale falls back to a scan.
constexpr uint32_t BINDING_NOWHERE = 0;  // index 0 is never a binding
struct InnermostBindings {
    uint32_t* innermost;
    uint32_t capacity;  // names covered; bindings of other words (unnamed) are never linked
};
extern InnermostBindings g_innermost;
// Covers every name of the name table; false for a word that is not a name.
bool cover_binding_name(uint32_t name);
void relink_bindings();
inline void link_binding(uint32_t index) {
    Binding& b = g_bindings.items[index];
    uint32_t name = b.name_word & ~CONSTANT_BINDING;
    if (name >= g_innermost.capacity) [[unlikely]]
        if (name >= UNNAMED_BINDING || !cover_binding_name(name)) return;
    b.shadowed = g_innermost.innermost[name];
    g_innermost.innermost[name] = index;
}
inline void name_binding(uint32_t index, uint32_t name_word) {
    g_bindings.items[index].name_word = name_word;
    link_binding(index);
}

void grow_bindings(uint32_t needed);
inline void push_binding(uint32_t name_word, ValueHandle value) {
    if (g_bindings.top + 1 >= g_bindings.capacity) grow_bindings(1);
    Binding& b = g_bindings.items[++g_bindings.top];
    b.name_word = name_word;
    b.value = value;
    link_binding(g_bindings.top);
    retain(value);
}
// A call's `this` or argument, named (and linked) only when its frame starts.
inline void push_unnamed_binding(ValueHandle value) {
    if (g_bindings.top + 1 >= g_bindings.capacity) grow_bindings(1);
    Binding& b = g_bindings.items[++g_bindings.top];
    b.name_word = UNNAMED_BINDING;
    b.value = value;
    retain(value);
}
// Pops and releases every binding above `top`.
void pop_bindings(uint32_t top);

// Finds the variable's value and records its location; an unknown name
// becomes a global holding undefined. The frame's case is inline: nearly
// every name an expression reads is a parameter or local of the innermost call.
ValueHandle lookup_global(uint32_t name);
// A global, or a binding the links lost sight of.
ValueHandle lookup_variable_elsewhere(uint32_t name);
// Records binding `index` of `name` as the last location and gives its value.
inline ValueHandle binding_found(uint32_t index, uint32_t name) {
    const Binding& b = g_bindings.items[index];
    g_location.kind = LOCATION_BINDING;
    g_location.constant = (b.name_word & CONSTANT_BINDING) != 0;
    g_location.index = index;
    g_location.name = name;
    g_location.name_valid = true;
    return b.value;
}
// Binding `index` takes `value` (retained), releasing what it held.
inline void store_in_binding(uint32_t index, ValueHandle value) {
    Binding& b = g_bindings.items[index];
    ValueHandle replaced = b.value;
    b.value = retain(value);
    release(replaced);
}
[[gnu::always_inline]] inline ValueHandle lookup_variable(uint32_t name) {
    if (name < g_innermost.capacity) [[likely]] {
        uint32_t i = g_innermost.innermost[name];
        if (i == BINDING_NOWHERE) return lookup_global(name);
        const Binding& b = g_bindings.items[i];
        // Below the frame a binding belongs to a caller. At top level every
        // binding is visible.
        if (i >= g_scope.frame_base && i <= g_bindings.top && (b.name_word & ~CONSTANT_BINDING) == name) [[likely]] {
            return binding_found(i, name);
        }
    }
    return lookup_variable_elsewhere(name);
}

// A variable's value for an operand that is only read (arithmetic,
// comparisons, indexes): the frame's case records no location, since no
// store follows. Any other case is lookup_variable's.
// The binding of `name` in the current frame as its link gives it, or
// BINDING_NOWHERE (a global, a caller's name, or a link to check by a scan).
[[gnu::always_inline]] inline uint32_t frame_binding(uint32_t name) {
    if (name < g_innermost.capacity) [[likely]] {
        uint32_t i = g_innermost.innermost[name];
        if (i != BINDING_NOWHERE && i >= g_scope.frame_base && i <= g_bindings.top &&
            (g_bindings.items[i].name_word & ~CONSTANT_BINDING) == name) [[likely]]
            return i;
    }
    return BINDING_NOWHERE;
}

[[gnu::always_inline]] inline ValueHandle read_variable(uint32_t name) {
    uint32_t i = frame_binding(name);
    return i != BINDING_NOWHERE ? g_bindings.items[i].value : lookup_variable(name);
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
