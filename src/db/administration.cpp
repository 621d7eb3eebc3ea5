#include "db/administration.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "db/bson_values.h"
#include "db/operands.h"
#include "eval/library_hooks.h"
#include "lang/parser.h"
#include "runtime/errors.h"

namespace tolv {

namespace {

// What split_name raises for each fault of the name.
struct NameFaults {
    ErrorForm<> not_string;
    ErrorForm<> empty_database;
    ErrorForm<> empty_collection;
    ErrorForm<> no_current;  // a plain name without a current database
    ErrorForm<> empty_plain;
};

struct SplitName {
    std::string database;
    std::string collection;
};

// "database.collection", or a plain name in the current database (cut at
// 1023 bytes).
SplitName split_name(const DbConnection& c, ValueHandle value, const NameFaults& faults) {
    if (!is_string(value)) raise(faults.not_string);
    std::string text(string_text(value), std::min<size_t>(string_length(value), 1023));
    SplitName name;
    size_t dot = text.find('.');
    if (dot != std::string::npos) {
        name.database = text.substr(0, dot);
        name.collection = text.substr(dot + 1);
        if (name.database.empty()) raise(faults.empty_database);
        if (name.collection.empty()) raise(faults.empty_collection);
        return name;
    }
    if (!c.database) raise(faults.no_current);
    if (text.empty()) raise(faults.empty_plain);
    name.database = c.database_name;
    name.collection = text;
    return name;
}

// A database named by a reference or a non-empty String, as this
// connection's own handle.
mongoc_database_t* database_operand(DbConnection& c, ValueHandle value, ErrorForm<> connection_error,
                                    ErrorForm<> bad_name) {
    if (is_database_reference(value)) {
        std::string name;
        uint32_t owner, index;
        mongoc_database_t* handle;
        if (!database_of_reference(value, name, owner, handle, index)) connection_invalid(connection_error);
        if (owner == c.serial) return handle;
        return lookup_database(c, name.data(), name.size()).handle;
    }
    if (!is_string(value) || string_length(value) == 0) raise(bad_name);
    return lookup_database(c, string_text(value), string_length(value)).handle;
}

// The name of a database given by a reference or a non-empty String.
std::string database_name_operand(ValueHandle value, ErrorForm<> connection_error, ErrorForm<> bad_name) {
    if (is_database_reference(value)) {
        std::string name;
        uint32_t owner, index;
        mongoc_database_t* handle;
        if (!database_of_reference(value, name, owner, handle, index)) connection_invalid(connection_error);
        return name;
    }
    if (!is_string(value) || string_length(value) == 0) raise(bad_name);
    return std::string(string_text(value), string_length(value));
}

ValueHandle drop_collection(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6540);
    HeldOperand name(op, 1);
    mongoc_collection_t* collection = resolve_collection(c, name.get(), Error::BAD_CONNECTION_6540);
    bson_error_t error;
    if (g_mongoc.mongoc_collection_drop_with_opts(collection, c.session_document, &error)) return VALUE_UNDEFINED;
    std::string text = std::string("mongo_drop_collectionの失敗(") + error.message + ")";
    return new_string(text.data(), text.size());
}

ValueHandle rename_collection(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6630);
    HeldOperand name(op, 1);
    mongoc_collection_t* collection = resolve_collection(c, name.get(), Error::BAD_CONNECTION_6630);
    HeldOperand new_name(op, 2);
    SplitName to = split_name(c, new_name.get(), {Error::BAD_COLLECTION_NAME_6635, Error::BAD_DATABASE_NAME_6640,
                                                   Error::BAD_COLLECTION_NAME_6645, Error::NO_DATABASE_GIVEN,
                                                   Error::BAD_COLLECTION_NAME_6655});
    bson_error_t error;
    if (!g_mongoc.mongoc_collection_rename(collection, to.database.c_str(), to.collection.c_str(), true, &error))
        raise(Error::RENAME_COLLECTION_FAILED, error.message);
    return VALUE_UNDEFINED;
}

ValueHandle drop_db(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6670);
    HeldOperand name(op, 1);
    mongoc_database_t* database =
        database_operand(c, name.get(), Error::BAD_CONNECTION_6670, Error::BAD_DATABASE_NAME_6675);
    bson_error_t error;
    if (!g_mongoc.mongoc_database_drop_with_opts(database, nullptr, &error))
        raise(Error::DROP_DATABASE_FAILED, error.message);
    forget_database(c, database);
    return VALUE_UNDEFINED;
}

ValueHandle collection_names(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6695);
    mongoc_database_t* database;
    if (operand_count(op) > 1) {
        HeldOperand name(op, 1);
        database = database_operand(c, name.get(), Error::BAD_CONNECTION_6695, Error::BAD_DATABASE_NAME_6700);
    } else {
        if (!c.database) raise(Error::BAD_DATABASE_NAME_6705);
        database = c.database;
    }
    bson_error_t error;
    char** names = g_mongoc.mongoc_database_get_collection_names_with_opts(database, nullptr, &error);
    if (!names) raise(Error::COLLECTION_NAMES_FAILED, error.message);
    uint32_t count = 0;
    while (names[count]) ++count;
    ValueHandle result = new_array(count);
    for (uint32_t i = 0; i < count; ++i) array_elements(result)[i] = retain(new_string(names[i]));
    g_bson.bson_strfreev(names);
    return result;
}

ValueHandle create_collection(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6715);
    HeldOperand name(op, 1);
    SplitName to = split_name(c, name.get(), {Error::BAD_COLLECTION_NAME_6720, Error::BAD_DATABASE_NAME_6725,
                                               Error::BAD_COLLECTION_NAME_6730, Error::NO_DATABASE_6735,
                                               Error::BAD_COLLECTION_NAME_6740});
    mongoc_database_t* database = lookup_database(c, to.database.data(), to.database.size()).handle;
    bson_error_t error;
    mongoc_collection_t* collection =
        g_mongoc.mongoc_database_create_collection(database, to.collection.c_str(), nullptr, &error);
    if (!collection && error.code == 48)
        collection = g_mongoc.mongoc_database_get_collection(database, to.collection.c_str());
    if (!collection) raise(Error::CREATE_COLLECTION_FAILED);
    return new_collection_reference(cache_collection(c, to.database + "." + to.collection, collection));
}

ValueHandle exists_collection(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6820);
    HeldOperand name(op, 1);
    SplitName to = split_name(c, name.get(), {Error::BAD_COLLECTION_NAME_6825, Error::BAD_DATABASE_NAME_6830,
                                               Error::BAD_COLLECTION_NAME_6835, Error::NO_DATABASE_6840,
                                               Error::BAD_COLLECTION_NAME_6845});
    mongoc_database_t* database = lookup_database(c, to.database.data(), to.database.size()).handle;
    bson_error_t error;
    error.code = 0;
    if (g_mongoc.mongoc_database_has_collection(database, to.collection.c_str(), &error)) return new_integer(1);
    if (error.code != 0) raise(Error::COLLECTION_CHECK_FAILED);
    return new_integer(0);
}

// The reply as the driver's JSON text, read back as an object or array literal.
ValueHandle value_of_reply(const bson_t* reply, ErrorForm<const char*> not_an_object) {
    size_t length = 0;
    char* json = g_bson.bson_as_json(reply, &length);
    std::string text(json ? json : "", json ? length : 0);
    std::free(json);
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || (text[first] != '{' && text[first] != '['))
        raise(not_an_object, text.c_str());
    std::string expression = "(";
    expression.append(text, first, std::string::npos);
    expression += ')';
    std::vector<ValueHandle> statements;
    settle_error_position();
    parse_statements(expression.c_str(), expression.size(), statements);
    ValueHandle result = VALUE_UNDEFINED;
    try {
        if (statements.size() == 1) result = retain(evaluate(statements[0]));
    } catch (...) {
        settle_error_position();
        for (ValueHandle s : statements) release(s);
        throw;
    }
    settle_error_position();
    for (ValueHandle s : statements) release(s);
    release_keep(result);
    return result;
}

// The errors of mongoc_read_command and mongoc_write_command.
struct CommandFaults {
    ErrorForm<> connection;
    ErrorForm<> not_hash;
    ErrorForm<> bad_database;
    ErrorForm<> no_database;
    ErrorForm<const char*> failed;
    ErrorForm<const char*> bad_reply;
};
constexpr CommandFaults READ_COMMAND_FAULTS{Error::BAD_CONNECTION_6750,       Error::READ_COMMAND_NOT_HASH,
                                           Error::READ_COMMAND_BAD_DATABASE, Error::NO_DATABASE_6765,
                                           Error::READ_COMMAND_FAILED,       Error::READ_COMMAND_BAD_REPLY};
constexpr CommandFaults WRITE_COMMAND_FAULTS{Error::BAD_CONNECTION_6780,    Error::WRITE_COMMAND_NOT_HASH,
                                            Error::BAD_DATABASE_NAME_6790, Error::NO_DATABASE_6795,
                                            Error::WRITE_COMMAND_FAILED,   Error::WRITE_COMMAND_BAD_REPLY};

ValueHandle run_command(ValueHandle cell, bool write) {
    const CommandFaults& faults = write ? WRITE_COMMAND_FAULTS : READ_COMMAND_FAULTS;
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, faults.connection);
    HeldOperand command_value(op, 1);
    if (!is_hash(command_value.get())) raise(faults.not_hash);
    OwnedDocument command;
    append_hash(command.get(), command_value.get());
    std::string database;
    if (operand_count(op) > 2) {
        HeldOperand name(op, 2);
        database = database_name_operand(name.get(), faults.connection, faults.bad_database);
    } else {
        if (!c.database) raise(faults.no_database);
        database = c.database_name;
    }
    OwnedDocument options;
    bson_t reply;
    bson_error_t error;
    bool done;
    if (write) {
        mongoc_write_concern_t* concern = g_mongoc.mongoc_write_concern_new();
        g_mongoc.mongoc_write_concern_set_wmajority(concern, 30000);
        g_mongoc.mongoc_write_concern_append(concern, options.get());
        g_mongoc.mongoc_write_concern_destroy(concern);
        done = g_mongoc.mongoc_client_write_command_with_opts(c.client, database.c_str(), command.get(),
                                                              options.get(), &reply, &error);
    } else {
        mongoc_read_prefs_t* preference = g_mongoc.mongoc_read_prefs_new(MONGOC_READ_SECONDARY);
        mongoc_read_concern_t* concern = g_mongoc.mongoc_read_concern_new();
        g_mongoc.mongoc_read_concern_set_level(concern, "majority");
        g_mongoc.mongoc_read_concern_append(concern, options.get());
        g_mongoc.mongoc_read_concern_destroy(concern);
        done = g_mongoc.mongoc_client_read_command_with_opts(c.client, database.c_str(), command.get(), preference,
                                                             options.get(), &reply, &error);
        g_mongoc.mongoc_read_prefs_destroy(preference);
    }
    struct ReplyGuard {
        bson_t* reply;
        ~ReplyGuard() { g_bson.bson_destroy(reply); }
    } guard{&reply};
    if (!done) raise(faults.failed, static_cast<const char*>(error.message));
    return value_of_reply(&reply, faults.bad_reply);
}

ValueHandle read_command(ValueHandle cell) { return run_command(cell, false); }
ValueHandle write_command(ValueHandle cell) { return run_command(cell, true); }

}  // namespace

void install_administration_statements() {
    g_keyword_hooks[OP_MONGO_DROP_COLLECTION - OP_FIRST] = drop_collection;
    g_keyword_hooks[OP_MONGO_RENAME_COLLECTION - OP_FIRST] = rename_collection;
    g_keyword_hooks[OP_MONGO_DROP_DB - OP_FIRST] = drop_db;
    g_keyword_hooks[OP_MONGO_COLLECTION_NAMES - OP_FIRST] = collection_names;
    g_keyword_hooks[OP_MONGO_CREATE_COLLECTION - OP_FIRST] = create_collection;
    g_keyword_hooks[OP_MONGO_EXISTS_COLLECTION - OP_FIRST] = exists_collection;
    g_keyword_hooks[OP_MONGOC_READ_COMMAND - OP_FIRST] = read_command;
    g_keyword_hooks[OP_MONGOC_WRITE_COMMAND - OP_FIRST] = write_command;
}

}  // namespace tolv
