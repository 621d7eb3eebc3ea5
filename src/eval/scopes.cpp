// Variable lookup and storage: the binding stack, the globals and the last
// location recorded for assignments.
#include "eval/scopes.h"

#include <cstdlib>
#include <cstring>

#include "eval/evaluate.h"
#include "runtime/errors.h"
#include "runtime/globals.h"
#include "runtime/name_table.h"
#include "runtime/regexp_record.h"

namespace tolv {

namespace {
constexpr uint32_t FIRST_BINDINGS = 512;
Binding g_first_bindings[FIRST_BINDINGS] = {{UNNAMED_BINDING, VALUE_UNDEFINED, BINDING_NOWHERE}};
}  // namespace

BindingStack g_bindings = {g_first_bindings, 0, FIRST_BINDINGS};
ScopeState g_scope = {0, 0, 0, 0};
LastLocation g_location = {LOCATION_NONE, false, 0, 0, 0, false};
bool g_create_mode = false;
InnermostBindings g_innermost = {nullptr, 0};

bool cover_binding_name(uint32_t name) {
    if (name >= name_count()) return false;
    uint32_t capacity = name_count() + 256;
    auto* innermost = static_cast<uint32_t*>(std::realloc(g_innermost.innermost, sizeof(uint32_t) * capacity));
    if (!innermost) raise(Error::NO_MEMORY);
    // Every binding of a name is linked when it is made, so a name not yet
    // covered is bound nowhere.
    for (uint32_t i = g_innermost.capacity; i < capacity; ++i) innermost[i] = BINDING_NOWHERE;
    g_innermost = {innermost, capacity};
    return true;
}

void relink_bindings() {
    for (uint32_t i = 0; i < g_innermost.capacity; ++i) g_innermost.innermost[i] = BINDING_NOWHERE;
    for (uint32_t i = 1; i <= g_bindings.top; ++i) link_binding(i);
}

void grow_bindings(uint32_t needed) {
    uint32_t capacity = g_bindings.capacity + needed + 512;
    auto* items = static_cast<Binding*>(std::malloc(sizeof(Binding) * capacity));
    if (!items) raise(Error::NO_MEMORY);
    std::memcpy(items, g_bindings.items, sizeof(Binding) * (g_bindings.top + 1));
    if (g_bindings.items != g_first_bindings) std::free(g_bindings.items);
    g_bindings.items = items;
    g_bindings.capacity = capacity;
}

void pop_bindings(uint32_t top) {
    while (g_bindings.top > top) {
        const Binding& b = g_bindings.items[g_bindings.top];
        uint32_t name = b.name_word & ~CONSTANT_BINDING;
        if (name < g_innermost.capacity) g_innermost.innermost[name] = b.shadowed;
        ValueHandle v = b.value;
        --g_bindings.top;
        release(v);
    }
}

ValueHandle lookup_global(uint32_t name) {
    g_location.kind = LOCATION_GLOBAL;
    g_location.constant = false;
    g_location.name = name;
    g_location.name_valid = true;
    ValueHandle v = global_value(name);
    if (v == VALUE_UNDEFINED && !global_declared(name)) declare_global(name);
    return v;
}

ValueHandle lookup_variable_elsewhere(uint32_t name) {
    const Binding* items = g_bindings.items;
    uint32_t i = name < g_innermost.capacity ? g_innermost.innermost[name] : BINDING_NOWHERE;
    // A link past the top or at another name: the debugger moved the top,
    // and a scan finds the innermost binding.
    if (i != BINDING_NOWHERE && (i > g_bindings.top || (items[i].name_word & ~CONSTANT_BINDING) != name)) {
        i = g_bindings.top;
        while (i > 0 && (items[i].name_word & ~CONSTANT_BINDING) != name) --i;
    }
    if (i == BINDING_NOWHERE || i < g_scope.frame_base) return lookup_global(name);
    return binding_found(i, name);
}

void store_at_location(const LastLocation& at, ValueHandle value) {
    switch (at.kind) {
    case LOCATION_BINDING:
        if (at.index <= g_bindings.top) store_in_binding(at.index, value);
        return;
    case LOCATION_GLOBAL:
        define_global(at.name, value);
        return;
    case LOCATION_ARRAY:
        if (kind_of(at.container) == KIND_ARRAY && at.index < array_length(at.container)) {
            Word32* e = array_words(at.container);
            ValueHandle old = e[at.index];
            retain(value);
            array_words(at.container)[at.index] = value;
            release(old);
        }
        return;
    case LOCATION_HASH:
        if (kind_of(at.container) == KIND_HASH && at.index < hash_count(at.container)) {
            ValueHandle old = hash_words(at.container)[2 * at.index + 1];
            retain(value);
            hash_words(at.container)[2 * at.index + 1] = value;
            release(old);
        }
        return;
    case LOCATION_ASSOC:
        if (kind_of(at.container) == KIND_ASSOC_ARRAY && at.index < assoc_count(at.container)) {
            ValueHandle old = assoc_words(at.container)[2 * at.index + 1];
            retain(value);
            assoc_words(at.container)[2 * at.index + 1] = value;
            release(old);
        }
        return;
    case LOCATION_REGEXP_LAST_INDEX:
        if (kind_of(at.container) != KIND_REGEXP) return;
        if (kind_of(value) == KIND_INTEGER) {
            set_regexp_last_index(value_ptr(at.container), integer_value(value));
        } else if (kind_of(value) == KIND_FLOAT && float_value(value) > -2147483648.0 &&
                   float_value(value) < 2147483648.0) {
            set_regexp_last_index(value_ptr(at.container), int32_t(float_value(value)));
        } else {
            raise(Error::REGEXP_BAD_PROPERTY);
        }
        return;
    case LOCATION_NONE:
        return;
    }
}

ValueHandle value_in_container(const LastLocation& at) {
    switch (at.kind) {
    case LOCATION_BINDING:
        return value_at_location(at);
    case LOCATION_GLOBAL:
        return global_value(at.name);
    case LOCATION_ARRAY:
        if (kind_of(at.container) == KIND_ARRAY && at.index < array_length(at.container))
            return array_words(at.container)[at.index];
        return VALUE_SENTINEL;
    case LOCATION_HASH:
        if (kind_of(at.container) == KIND_HASH && at.index < hash_count(at.container))
            return hash_words(at.container)[2 * at.index + 1];
        return VALUE_SENTINEL;
    case LOCATION_ASSOC:
        if (kind_of(at.container) == KIND_ASSOC_ARRAY && at.index < assoc_count(at.container))
            return assoc_words(at.container)[2 * at.index + 1];
        return VALUE_SENTINEL;
    case LOCATION_REGEXP_LAST_INDEX:
    case LOCATION_NONE:
        break;
    }
    return VALUE_SENTINEL;
}

void assign_var(uint32_t name, ValueHandle value) {
    if (g_scope.frame_base == 0) {
        define_global(name, value);
        return;
    }
    for (uint32_t i = g_bindings.top; i >= g_scope.frame_base; --i) {
        Binding& b = g_bindings.items[i];
        if ((b.name_word & ~CONSTANT_BINDING) == name) {
            ValueHandle old = b.value;
            b.value = retain(value);
            release(old);
            return;
        }
    }
    push_binding(name, value);
}

void scopes_reset() {
    if (g_bindings.items != g_first_bindings) std::free(g_bindings.items);
    g_bindings = {g_first_bindings, 0, FIRST_BINDINGS};
    g_first_bindings[0] = {UNNAMED_BINDING, VALUE_UNDEFINED, BINDING_NOWHERE};
    g_scope = {0, 0, 0, 0};
    g_location = {LOCATION_NONE, false, 0, 0, 0, false};
    g_create_mode = false;
    relink_bindings();
}

}  // namespace tolv
