// Global variables: one slot per name index, grown on demand.
#include "runtime/globals.h"

#include <vector>

namespace tolv {

namespace {

struct GlobalTable {
    std::vector<ValueHandle> values;
    std::vector<uint8_t> declared;
};

GlobalTable g_globals;

void ensure_slot(uint32_t name) {
    if (name < g_globals.values.size()) return;
    // Grow in steps so a run of new names does not reallocate each time.
    size_t size = (size_t(name) + 256) & ~size_t(255);
    g_globals.values.resize(size, VALUE_UNDEFINED);
    g_globals.declared.resize(size, 0);
}

}  // namespace

void declare_global(uint32_t name) {
    ensure_slot(name);
    g_globals.declared[name] = 1;
}

void define_global(uint32_t name, ValueHandle value) {
    ensure_slot(name);
    g_globals.declared[name] = 1;
    ValueHandle old = g_globals.values[name];
    // Retain first: storing the value a variable already holds must not free it.
    retain(value);
    g_globals.values[name] = value;
    release(old);
}

bool global_declared(uint32_t name) {
    return name < g_globals.declared.size() && g_globals.declared[name] != 0;
}

ValueHandle global_value(uint32_t name) {
    return name < g_globals.values.size() ? g_globals.values[name] : VALUE_UNDEFINED;
}

ValueHandle* global_slots(size_t& count) {
    count = g_globals.values.size();
    return g_globals.values.data();
}

// The values are not released: the heap is reset together with the table.
void globals_reset() {
    g_globals.values.clear();
    g_globals.declared.clear();
}

}  // namespace tolv
