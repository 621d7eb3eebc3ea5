#include "db/connections.h"

#include <cstring>
#include <vector>

#include "runtime/errors.h"

namespace tolv {

namespace {

// The script's connection value: an area record whose bytes 4-7 hold the
// connection's serial, so a value kept after closeDb no longer matches.
constexpr size_t CONNECTION_RECORD_SIZE = 96;

struct DatabaseEntry {
    uint64_t serial;
    uint32_t connection;
    std::string name;
    mongoc_database_t* handle;
};
struct CollectionEntry {
    uint64_t serial;
    uint32_t connection;
    std::string full_name;  // database, '.', collection
    mongoc_collection_t* handle;
};

DbConnection* g_slots[MAX_CONNECTIONS] = {};
int g_open_count = 0;
uint32_t g_last_connection_serial = 0;
uint64_t g_last_entry_serial = 0;
bool g_driver_started = false;
std::vector<DatabaseEntry> g_databases;
std::vector<CollectionEntry> g_collections;

uint32_t record_serial(ValueHandle value) {
    uint32_t serial;
    std::memcpy(&serial, value_ptr(value) + 4, 4);
    return serial;
}

uint64_t reference_serial(ValueHandle value) {
    uint64_t serial;
    std::memcpy(&serial, &cell_as<FloatCell>(value)->value, 8);
    return serial;
}

ValueHandle new_reference(uint8_t subtype, uint16_t index, uint64_t serial) {
    ValueHandle h = new_float(0);
    FloatCell* cell = cell_as<FloatCell>(h);
    cell->subtype = subtype;
    cell->cache_index = index;
    std::memcpy(&cell->value, &serial, 8);
    return h;
}

bool is_open(uint32_t connection_serial) {
    for (DbConnection* c : g_slots)
        if (c && c->serial == connection_serial) return true;
    return false;
}

// Destroys the driver handles and cache entries of one connection.
void tear_down(DbConnection* c) {
    for (auto it = g_collections.begin(); it != g_collections.end();) {
        if (it->connection == c->serial) {
            g_mongoc.mongoc_collection_destroy(it->handle);
            it = g_collections.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = g_databases.begin(); it != g_databases.end();) {
        if (it->connection == c->serial) {
            g_mongoc.mongoc_database_destroy(it->handle);
            it = g_databases.erase(it);
        } else {
            ++it;
        }
    }
    c->database = nullptr;
    drop_session(*c);
    if (c->session_document) g_bson.bson_destroy(c->session_document);
    c->session_document = nullptr;
    if (c->client) g_mongoc.mongoc_client_destroy(c->client);
    c->client = nullptr;
    if (c->uri) g_mongoc.mongoc_uri_destroy(c->uri);
    c->uri = nullptr;
}

}  // namespace

void connection_invalid(ErrorForm<> error) { raise(error); }

ValueHandle add_connection(DbConnection* connection) {
    int slot = 0;
    while (g_slots[slot]) ++slot;
    connection->serial = ++g_last_connection_serial;
    g_slots[slot] = connection;
    ++g_open_count;
    g_driver_started = true;
    uint8_t* record;
    AreaRef ref = area_alloc(CONNECTION_RECORD_SIZE, &record);
    std::memset(record, 0, CONNECTION_RECORD_SIZE);
    record[0] = KIND_DB_CONNECTION;
    record[1] = uint8_t(slot);
    std::memcpy(record + 4, &connection->serial, 4);
    return make_handle(KIND_DB_CONNECTION, ref);
}

int open_connection_count() { return g_open_count; }

DbConnection* connection_of(ValueHandle value) {
    if (kind_of(value) != KIND_DB_CONNECTION || is_sentinel(value)) return nullptr;
    uint8_t slot = value_ptr(value)[1];
    if (slot >= MAX_CONNECTIONS) return nullptr;
    DbConnection* c = g_slots[slot];
    return c && c->serial == record_serial(value) ? c : nullptr;
}

void drop_session(DbConnection& c) {
    if (c.write_concern) g_mongoc.mongoc_write_concern_destroy(c.write_concern);
    c.write_concern = nullptr;
    if (c.read_concern) g_mongoc.mongoc_read_concern_destroy(c.read_concern);
    c.read_concern = nullptr;
    if (c.transaction_options) g_mongoc.mongoc_transaction_opts_destroy(c.transaction_options);
    c.transaction_options = nullptr;
    if (c.default_transaction_options) g_mongoc.mongoc_transaction_opts_destroy(c.default_transaction_options);
    c.default_transaction_options = nullptr;
    if (c.session) g_mongoc.mongoc_client_session_destroy(c.session);
    c.session = nullptr;
    if (c.session_options) g_mongoc.mongoc_session_opts_destroy(c.session_options);
    c.session_options = nullptr;
}

void remove_connection(DbConnection* connection) {
    tear_down(connection);
    for (DbConnection*& slot : g_slots) {
        if (slot == connection) {
            slot = nullptr;
            --g_open_count;
        }
    }
    delete connection;
}

void close_all_connections() {
    for (DbConnection* c : g_slots)
        if (c) remove_connection(c);
    // Handles are per connection, so none are left; the driver is cleaned up
    // once, after its last client is gone.
    if (g_driver_started) g_mongoc.mongoc_cleanup();
    g_driver_started = false;
}

DatabaseLookup lookup_database(DbConnection& c, const char* name, size_t length) {
    for (size_t i = 0; i < g_databases.size(); ++i) {
        const DatabaseEntry& e = g_databases[i];
        if (e.connection == c.serial && e.name.size() == length && std::memcmp(e.name.data(), name, length) == 0)
            return {e.handle, uint32_t(i), e.serial};
    }
    std::string text(name, length);
    mongoc_database_t* handle = g_mongoc.mongoc_client_get_database(c.client, text.c_str());
    g_databases.push_back({++g_last_entry_serial, c.serial, std::move(text), handle});
    return {handle, uint32_t(g_databases.size() - 1), g_last_entry_serial};
}

mongoc_collection_t* resolve_collection(DbConnection& c, ValueHandle value, ErrorForm<> connection_error) {
    uint64_t serial;
    return resolve_collection(c, value, connection_error, serial);
}

mongoc_collection_t* resolve_collection(DbConnection& c, ValueHandle value, ErrorForm<> connection_error,
                                        uint64_t& serial) {
    if (is_collection_reference(value)) {
        serial = reference_serial(value);
        for (const CollectionEntry& e : g_collections)
            if (e.serial == serial) return e.handle;
        connection_invalid(connection_error);
    }
    if (kind_of(value) != KIND_STRING || is_sentinel(value)) raise(Error::BAD_COLLECTION_6790);
    // Names are cut at 2047 bytes.
    std::string text(string_text(value), std::min<size_t>(string_length(value), 2047));
    text.resize(std::strlen(text.c_str()));
    std::string database, collection, full_name;
    size_t dot = text.find('.');
    if (dot != std::string::npos) {
        database = text.substr(0, dot);
        collection = text.substr(dot + 1);
        if (database.empty()) raise(Error::BAD_DATABASE_NAME_6770);
        if (collection.empty()) raise(Error::BAD_COLLECTION_NAME_6775);
        full_name = text;
    } else {
        if (!c.database) raise(Error::NO_DATABASE_6780);
        if (text.empty()) raise(Error::BAD_COLLECTION_NAME_6785);
        database = c.database_name;
        collection = text;
        full_name = database + "." + collection;
    }
    for (const CollectionEntry& e : g_collections) {
        if (e.connection == c.serial && e.full_name == full_name) {
            serial = e.serial;
            return e.handle;
        }
    }
    mongoc_collection_t* handle =
        g_mongoc.mongoc_client_get_collection(c.client, database.c_str(), collection.c_str());
    serial = ++g_last_entry_serial;
    g_collections.push_back({serial, c.serial, std::move(full_name), handle});
    return handle;
}

void forget_database(DbConnection& c, mongoc_database_t* handle) {
    for (auto it = g_databases.begin(); it != g_databases.end(); ++it) {
        if (it->connection == c.serial && it->handle == handle) {
            g_mongoc.mongoc_database_destroy(it->handle);
            g_databases.erase(it);
            break;
        }
    }
    if (c.database == handle) {
        c.database = nullptr;
        c.database_name.clear();
    }
}

uint64_t cache_collection(DbConnection& c, const std::string& full_name, mongoc_collection_t* handle) {
    for (const CollectionEntry& e : g_collections) {
        if (e.connection == c.serial && e.full_name == full_name) {
            g_mongoc.mongoc_collection_destroy(handle);
            return e.serial;
        }
    }
    g_collections.push_back({++g_last_entry_serial, c.serial, full_name, handle});
    return g_last_entry_serial;
}

bool is_database_reference(ValueHandle value) {
    return is_kind(value, KIND_FLOAT) &&
           cell_as<FloatCell>(value)->subtype == FLOAT_DB_REFERENCE;
}

bool is_collection_reference(ValueHandle value) {
    return is_kind(value, KIND_FLOAT) &&
           cell_as<FloatCell>(value)->subtype == FLOAT_COLLECTION_REFERENCE;
}

ValueHandle new_database_reference(const DatabaseLookup& entry) {
    return new_reference(FLOAT_DB_REFERENCE, uint16_t(entry.index), entry.serial);
}

ValueHandle new_collection_reference(uint64_t serial) {
    return new_reference(FLOAT_COLLECTION_REFERENCE, 0, serial);
}

bool database_of_reference(ValueHandle reference, std::string& name, uint32_t& connection_serial,
                           mongoc_database_t*& handle, uint32_t& index) {
    uint64_t serial = reference_serial(reference);
    for (size_t i = 0; i < g_databases.size(); ++i) {
        const DatabaseEntry& e = g_databases[i];
        if (e.serial != serial) continue;
        if (!is_open(e.connection)) return false;
        name = e.name;
        connection_serial = e.connection;
        handle = e.handle;
        index = uint32_t(i);
        return true;
    }
    return false;
}

}  // namespace tolv
