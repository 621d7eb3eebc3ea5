// Open connections and the handles each one has asked the driver for.
//
// A driver database or collection handle belongs to the client it came from,
// so the caches are kept per connection: closing a connection destroys its
// handles, and database and collection references that named them stop
// resolving (the operation that meets one raises its connection error).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "db/driver_api.h"
#include "runtime/error_table.h"
#include "runtime/value.h"

namespace tolv {

constexpr int MAX_CONNECTIONS = 16;

struct DbConnection {
    uint32_t serial = 0;  // also in the script's connection value
    mongoc_uri_t* uri = nullptr;
    mongoc_client_t* client = nullptr;
    mongoc_database_t* database = nullptr;  // the current database
    std::string database_name;
    mongoc_client_session_t* session = nullptr;  // present while a transaction is open
    mongoc_session_opt_t* session_options = nullptr;
    mongoc_transaction_opt_t* default_transaction_options = nullptr;
    bson_t* session_document = nullptr;
    mongoc_write_concern_t* write_concern = nullptr;
    mongoc_read_concern_t* read_concern = nullptr;
    mongoc_transaction_opt_t* transaction_options = nullptr;
};

// Takes the first free slot for a connection made by the caller (its driver
// handles already created); returns the script's KIND_DB_CONNECTION value.
// False... the caller checks open_connection_count() first.
ValueHandle add_connection(DbConnection* connection);
int open_connection_count();
// The open connection a value names, or nullptr (not a connection, or closed).
DbConnection* connection_of(ValueHandle value);
// Destroys the connection's handles and its cache entries and frees its slot.
void remove_connection(DbConnection* connection);
// The end of a run: closes every connection still open (an open transaction
// is dropped with its session) and cleans up the driver.
void close_all_connections();
// Destroys, each only when present: write concern, read concern,
// transaction options, default transaction options, session, session options.
void drop_session(DbConnection& connection);

struct DatabaseLookup {
    mongoc_database_t* handle;
    uint32_t index;  // of the cache entry
    uint64_t serial;
};
DatabaseLookup lookup_database(DbConnection& connection, const char* name, size_t length);

// The collection a String or collection reference names, through the cache.
// A reference whose connection has closed raises `connection_error` (a
// BAD_CONNECTION row).
mongoc_collection_t* resolve_collection(DbConnection& connection, ValueHandle value, ErrorForm<> connection_error);
// The same, also giving the cache entry's serial for a new reference.
mongoc_collection_t* resolve_collection(DbConnection& connection, ValueHandle value, ErrorForm<> connection_error,
                                        uint64_t& serial);

bool is_database_reference(ValueHandle value);
bool is_collection_reference(ValueHandle value);
ValueHandle new_database_reference(const DatabaseLookup& entry);
ValueHandle new_collection_reference(uint64_t serial);
// The cached database a reference names: its name, the connection that owns
// it; false when that connection has closed.
bool database_of_reference(ValueHandle reference, std::string& name, uint32_t& connection_serial,
                           mongoc_database_t*& handle, uint32_t& index);

[[noreturn]] void connection_invalid(ErrorForm<> error);

}  // namespace tolv

namespace tolv {

// Destroys a cached database handle of the connection and forgets it; a
// reference to it stops resolving, and it is no longer current.
void forget_database(DbConnection& connection, mongoc_database_t* handle);
// Enters a handle the driver gave for `full_name` in the connection's cache
// (or destroys it when the name is cached already); returns the entry's serial.
uint64_t cache_collection(DbConnection& connection, const std::string& full_name, mongoc_collection_t* handle);

}  // namespace tolv
