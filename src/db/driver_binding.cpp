// Binding the driver's two libraries by name at the first openDb of a run.
#include <cstddef>
#include <cstring>

#include "db/driver_api.h"
#include "platform/shared_library.h"
#include "runtime/errors.h"

namespace tolv {

ClientFunctions g_mongoc = {};
BsonFunctions g_bson = {};

namespace {

struct BindingEntry {
    const char* name;
    size_t offset;  // of the slot in its function table
};

#define TOLV_CLIENT_ENTRY(name) {#name, offsetof(ClientFunctions, name)},
#define TOLV_BSON_ENTRY(name) {#name, offsetof(BsonFunctions, name)},

// In the driver's documented binding order; the last three pairs bind slots
// that are already bound once more, which costs nothing and keeps the order.
// mongoc_read_prefs_destroy (after mongoc_read_concern_append) frees the read
// preference the read command makes.
const BindingEntry CLIENT_TABLE[] = {
    TOLV_CLIENT_FUNCTIONS(TOLV_CLIENT_ENTRY)
    {"mongoc_read_concern_set_level", offsetof(ClientFunctions, mongoc_read_concern_set_level)},
    {"mongoc_read_concern_new", offsetof(ClientFunctions, mongoc_read_concern_new)},
    {"mongoc_write_concern_set_wmajority", offsetof(ClientFunctions, mongoc_write_concern_set_wmajority)},
};
const BindingEntry BSON_TABLE[] = {TOLV_BSON_FUNCTIONS(TOLV_BSON_ENTRY)};

#undef TOLV_CLIENT_ENTRY
#undef TOLV_BSON_ENTRY

// The 59 of the documented order and mongoc_log_set_handler, which keeps the
// driver's own log lines out of the answer.
static_assert(sizeof(CLIENT_TABLE) / sizeof(CLIENT_TABLE[0]) == 60);
// The 30 of the documented order and bson_append_bool, which writes a
// script's true and false.
static_assert(sizeof(BSON_TABLE) / sizeof(BSON_TABLE[0]) == 31);
static_assert(sizeof(void*) == sizeof(&::mongoc_init));

bool g_bound = false;

constexpr size_t FILE_NAME_SIZE = 256;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

template <size_t N>
void bind_library(const char* part, size_t length, const BindingEntry (&table)[N], void* slots) {
    while (length > 0 && is_blank(part[length - 1])) --length;
    while (length > 0 && is_blank(*part)) ++part, --length;
    if (length == 0) raise(Error::NO_DRIVER_LIBRARY);
    char file_name[FILE_NAME_SIZE];
    if (length >= FILE_NAME_SIZE) length = FILE_NAME_SIZE - 1;
    std::memcpy(file_name, part, length);
    file_name[length] = '\0';
    void* library = load_shared_library(file_name);
    if (!library) library = load_shared_library(file_name);
    if (!library) raise(Error::DRIVER_LIBRARY_LOAD, file_name);
    for (const BindingEntry& entry : table) {
        void* address = shared_library_symbol(library, entry.name);
        if (!address) raise(Error::DRIVER_FUNCTION_LINK, entry.name);
        std::memcpy(static_cast<char*>(slots) + entry.offset, &address, sizeof address);
    }
}

}  // namespace

bool driver_bound() { return g_bound; }

void bind_driver(const char* library_names, size_t length) {
    if (g_bound) return;
    char buffer[512];
    if (length >= sizeof buffer) length = sizeof buffer - 1;
    std::memcpy(buffer, library_names, length);
    buffer[length] = '\0';
    const char* separator = static_cast<const char*>(std::memchr(buffer, ';', length));
    // Without a BSON library nothing could be converted: refuse before any
    // driver function runs.
    if (!separator) raise(Error::NO_DRIVER_LIBRARY);
    try {
        bind_library(buffer, size_t(separator - buffer), CLIENT_TABLE, &g_mongoc);
        bind_library(separator + 1, length - size_t(separator - buffer) - 1, BSON_TABLE, &g_bson);
    } catch (...) {
        g_mongoc = {};
        g_bson = {};
        throw;
    }
    g_bound = true;
}

}  // namespace tolv
