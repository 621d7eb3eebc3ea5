// openDb, closeDb and the statements that steer a connection.
#include <cstring>
#include <memory>
#include <string>

#include "db/connection_statements.h"
#include "db/driver_log.h"
#include "db/operands.h"
#include "db/transactions.h"
#include "eval/library_hooks.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

// The text after "://" up to the next '/' names the server; after it, up to
// '?', the default database (cut at 255 bytes).
std::string default_database(const std::string& uri) {
    size_t scheme = uri.find("://");
    size_t slash = uri.find('/', scheme + 3);
    if (slash == std::string::npos) return "";
    size_t end = uri.find('?', slash + 1);
    std::string name = uri.substr(slash + 1, end == std::string::npos ? std::string::npos : end - slash - 1);
    if (name.size() > 255) name.resize(255);
    return name;
}

void make_current(DbConnection& c, const char* name, size_t length) {
    DatabaseLookup entry = lookup_database(c, name, length);
    c.database = entry.handle;
    c.database_name.assign(name, length);
}

// The connection string as messages show it: user and password replaced, so
// that neither reaches the journal or a client ("mongodb://***@host/db").
std::string uri_for_messages(const std::string& uri) {
    size_t scheme = uri.find("://");
    if (scheme == std::string::npos) return uri;
    size_t start = scheme + 3;
    size_t options = uri.find('?', start);
    size_t at = uri.rfind('@', options == std::string::npos ? std::string::npos : options);
    if (at == std::string::npos || at < start) return uri;
    return uri.substr(0, start) + "***" + uri.substr(at);
}

// The driver's own text with the credentials taken out, should it quote them.
std::string without_credentials(std::string text, const std::string& uri) {
    size_t scheme = uri.find("://");
    std::string shown = uri_for_messages(uri);
    if (scheme == std::string::npos || shown == uri) return text;
    std::string secret = uri.substr(scheme + 3, uri.size() - shown.size() + 3);
    for (size_t at; !secret.empty() && (at = text.find(secret)) != std::string::npos;) text.replace(at, secret.size(), "***");
    return text;
}

ValueHandle open_db(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    if (open_connection_count() >= MAX_CONNECTIONS) raise(Error::TOO_MANY_DATABASES);
    HeldOperand library(op, 1);
    if (library.kind() != KIND_STRING) raise(Error::BAD_DRIVER_LIBRARY);
    HeldOperand uri_text(op, 2);
    if (uri_text.kind() != KIND_STRING) raise(Error::BAD_CONNECTION_TEXT_6020);
    std::string uri(string_text(uri_text.get()), string_length(uri_text.get()));
    if (uri.find("://") == std::string::npos) raise(Error::BAD_CONNECTION_TEXT_6025);
    std::string database = default_database(uri);

    bind_driver(string_text(library.get()), string_length(library.get()));
    install_driver_log_handler();
    g_mongoc.mongoc_init();
    // A connection that fails to open takes no slot.
    auto c = std::unique_ptr<DbConnection, void (*)(DbConnection*)>(new DbConnection, [](DbConnection* p) {
        if (p->uri) g_mongoc.mongoc_uri_destroy(p->uri);
        if (p->session_document) g_bson.bson_destroy(p->session_document);
        delete p;
    });
    c->session_document = g_bson.bson_new();
    bson_error_t error;
    c->uri = g_mongoc.mongoc_uri_new_with_error(uri.c_str(), &error);
    if (!c->uri) {
        raise(Error::MONGO_URI, uri_for_messages(uri).c_str(),
                  without_credentials(error.message, uri).c_str());
    }
    c->client = g_mongoc.mongoc_client_new_from_uri(c->uri);
    if (!c->client) raise(Error::MONGO_CONNECT, uri_for_messages(uri).c_str());
    g_mongoc.mongoc_client_set_error_api(c->client, 2);
    DbConnection* connection = c.release();
    ValueHandle value = add_connection(connection);
    if (!database.empty()) make_current(*connection, database.data(), database.size());
    return value;
}

// "commit" or "rollback", or a leading part of either, in any case.
bool is_ending(const char* text, size_t length) {
    auto leads = [&](const char* word) {
        if (length > std::strlen(word)) return false;
        for (size_t i = 0; i < length; ++i) {
            char c = text[i];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c != word[i]) return false;
        }
        return true;
    };
    return leads("commit") || leads("rollback");
}

ValueHandle close_db(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection* c = connection_of(target.get());
    if (!c) raise(Error::BAD_DATABASE_ARGUMENT);
    bool commit = false;
    if (operand_count(op) > 1) {
        HeldOperand ending(op, 1);
        if (ending.kind() != KIND_STRING) raise(Error::BAD_CLOSE_ACTION_6045);
        const char* text = string_text(ending.get());
        if (!is_ending(text, string_length(ending.get())))
            raise(Error::BAD_CLOSE_ACTION_6050);
        commit = text[0] == 'c' || text[0] == 'C';
    }
    bool committed = false;
    if (c->session) {
        bson_error_t error;
        if (commit)
            committed = commit_with_retries(*c, error);
        else
            g_mongoc.mongoc_client_session_abort_transaction(c->session, nullptr);
    }
    remove_connection(c);
    if (commit && !committed) raise(Error::CLOSE_COMMIT_FAILED);
    return VALUE_UNDEFINED;
}

ValueHandle use_db(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6545);
    HeldOperand name(op, 1);
    if (is_database_reference(name.get())) {
        std::string text;
        uint32_t owner, index;
        mongoc_database_t* handle;
        if (!database_of_reference(name.get(), text, owner, handle, index))
            connection_invalid(Error::BAD_CONNECTION_6545);
        if (owner == c.serial) {
            c.database = handle;
            c.database_name = text;
        } else {
            // A database of another connection: this connection's own handle for it.
            make_current(c, text.data(), text.size());
        }
        return VALUE_UNDEFINED;
    }
    if (name.kind() != KIND_STRING || string_length(name.get()) == 0) raise(Error::BAD_DATABASE_NAME_6550);
    make_current(c, string_text(name.get()), string_length(name.get()));
    return VALUE_UNDEFINED;
}

ValueHandle current_db(ValueHandle cell) {
    HeldOperand target(operation_cell(cell), 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6665);
    if (!c.database) return VALUE_UNDEFINED;
    return new_string(c.database_name.data(), c.database_name.size());
}

ValueHandle get_database(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6685);
    HeldOperand name(op, 1);
    if (name.kind() != KIND_STRING || string_length(name.get()) == 0) raise(Error::BAD_DATABASE_NAME_6690);
    return new_database_reference(lookup_database(c, string_text(name.get()), string_length(name.get())));
}

ValueHandle get_collection(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6625);
    HeldOperand name(op, 1);
    uint64_t serial;
    resolve_collection(c, name.get(), Error::BAD_CONNECTION_6625, serial);
    return new_collection_reference(serial);
}

ValueHandle collection_name(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6615);
    HeldOperand reference(op, 1);
    if (!is_collection_reference(reference.get())) raise(Error::BAD_COLLECTION_6620);
    mongoc_collection_t* collection = resolve_collection(c, reference.get(), Error::BAD_CONNECTION_6615);
    return new_string(g_mongoc.mongoc_collection_get_name(collection));
}

}  // namespace

void install_connection_statements() {
    g_keyword_hooks[OP_OPEN_DB - OP_FIRST] = open_db;
    g_keyword_hooks[OP_CLOSE_DB - OP_FIRST] = close_db;
    g_keyword_hooks[OP_MONGO_USE_DB - OP_FIRST] = use_db;
    g_keyword_hooks[OP_MONGO_CURRENT_DB - OP_FIRST] = current_db;
    g_keyword_hooks[OP_MONGO_GET_DATABASE - OP_FIRST] = get_database;
    g_keyword_hooks[OP_MONGO_GET_COLLECTION - OP_FIRST] = get_collection;
    g_keyword_hooks[OP_MONGO_COLLECTION_NAME - OP_FIRST] = collection_name;
}

}  // namespace tolv
