// The driver functions the bridge calls, bound by name at run time from the
// library files a script names. Their types come from the driver's own
// headers, so a call that does not fit a function is a compile error; the
// runner itself links nothing of the driver.
#pragma once

#include <mongoc/mongoc.h>

namespace tolv {

#define TOLV_CLIENT_FUNCTIONS(X)                                                                   \
    X(mongoc_init) X(mongoc_client_get_collection) X(mongoc_collection_find_with_opts)              \
    X(mongoc_collection_destroy) X(mongoc_client_destroy) X(mongoc_cleanup) X(mongoc_cursor_next)  \
    X(mongoc_cursor_error) X(mongoc_cursor_destroy) X(mongoc_client_new_from_uri)                   \
    X(mongoc_uri_destroy) X(mongoc_client_set_error_api) X(mongoc_uri_new_with_error)               \
    X(mongoc_collection_count_documents) X(mongoc_collection_insert_many)                           \
    X(mongoc_transaction_opts_new) X(mongoc_transaction_opts_set_read_concern)                      \
    X(mongoc_transaction_opts_set_write_concern) X(mongoc_transaction_opts_destroy)                 \
    X(mongoc_write_concern_set_wmajority) X(mongoc_read_concern_new) X(mongoc_read_concern_set_level) \
    X(mongoc_read_concern_destroy) X(mongoc_write_concern_destroy) X(mongoc_client_session_destroy) \
    X(mongoc_client_start_session) X(mongoc_collection_update_one) X(mongoc_collection_update_many) \
    X(mongoc_collection_delete_one) X(mongoc_collection_delete_many)                                \
    X(mongoc_collection_drop_with_opts) X(mongoc_database_get_collection)                           \
    X(mongoc_collection_get_name) X(mongoc_collection_rename) X(mongoc_client_get_database)         \
    X(mongoc_database_get_collection_names_with_opts) X(mongoc_database_drop_with_opts)             \
    X(mongoc_database_destroy) X(mongoc_session_opts_destroy) X(mongoc_session_opts_new)            \
    X(mongoc_session_opts_set_default_transaction_opts) X(mongoc_client_session_append)             \
    X(mongoc_client_session_start_transaction) X(mongoc_client_session_abort_transaction)           \
    X(mongoc_client_session_commit_transaction) X(mongoc_error_has_label)                           \
    X(mongoc_database_create_collection) X(mongoc_collection_replace_one)                           \
    X(mongoc_database_has_collection) X(mongoc_client_read_command_with_opts)                       \
    X(mongoc_client_write_command_with_opts) X(mongoc_read_prefs_new) X(mongoc_write_concern_new)   \
    X(mongoc_write_concern_append) X(mongoc_read_concern_append) X(mongoc_read_prefs_destroy)     \
    X(mongoc_log_set_handler)

#define TOLV_BSON_FUNCTIONS(X)                                                                     \
    X(bson_new) X(bson_append_utf8) X(bson_destroy) X(bson_iter_init) X(bson_iter_next)            \
    X(bson_iter_key) X(bson_iter_key_len) X(bson_iter_utf8) X(bson_iter_type) X(bson_iter_double)  \
    X(bson_iter_date_time) X(bson_iter_int32) X(bson_iter_int64) X(bson_iter_recurse)               \
    X(bson_iter_oid) X(bson_oid_to_string) X(bson_iter_bool) X(bson_append_int32)                   \
    X(bson_append_int64) X(bson_append_oid) X(bson_init) X(bson_append_document)                    \
    X(bson_append_array) X(bson_append_double) X(bson_append_date_time) X(bson_strfreev)            \
    X(bson_get_monotonic_time) X(bson_iter_value) X(bson_append_iter) X(bson_as_json)            \
    X(bson_append_bool)

#define TOLV_FUNCTION_SLOT(name) decltype(&::name) name;

struct ClientFunctions {
    TOLV_CLIENT_FUNCTIONS(TOLV_FUNCTION_SLOT)
};
struct BsonFunctions {
    TOLV_BSON_FUNCTIONS(TOLV_FUNCTION_SLOT)
};

#undef TOLV_FUNCTION_SLOT

extern ClientFunctions g_mongoc;
extern BsonFunctions g_bson;

// Binds both tables from a "client library;BSON library" text, once
// per run. Raises 1170 (nothing given, or no BSON library), 1175 (a file does
// not load) or 1180 (a function is missing); after a failure nothing counts
// as bound.
void bind_driver(const char* library_names, size_t length);
bool driver_bound();

}  // namespace tolv
