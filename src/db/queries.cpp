#include "db/queries.h"

#include <cstdio>
#include <cstring>

#include "db/bson_values.h"
#include "db/operands.h"
#include "db/templates.h"
#include "eval/control.h"
#include "eval/library_hooks.h"
#include "lang/parser.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {

enum class Shape { ROWS, HASHES, ONE_HASH };


// The projection of the requested keys: each key: 1, then "_id": 0 unless
// "_id" is among them.
void append_projection(bson_t* options, const std::vector<ValueHandle>& keys) {
    bson_t projection;
    g_bson.bson_init(&projection);
    bool has_id = false;
    for (ValueHandle key : keys) {
        g_bson.bson_append_int32(&projection, string_text(key), int(string_length(key)), 1);
        if (string_length(key) == 3 && std::memcmp(string_text(key), "_id", 3) == 0) has_id = true;
    }
    if (!has_id) g_bson.bson_append_int32(&projection, "_id", 3, 0);
    g_bson.bson_append_document(options, "projection", 10, &projection);
    g_bson.bson_destroy(&projection);
}

struct Query {
    mongoc_collection_t* collection = nullptr;
    OwnedDocument options;
    OwnedDocument filter;
    KeyList keys;
    bool has_keys = false;
};

// The shared reading of the query argument: a collection, or
// [collection, filter, keys, options].
void read_query(DbConnection& c, ValueHandle argument, Shape shape, ErrorForm<> connection_error, Query& q) {
    if (is_string(argument) || is_collection_reference(argument)) {
        q.collection = resolve_collection(c, argument, connection_error);
        return;
    }
    if (!is_array(argument)) raise(Error::BAD_QUERY_ARGUMENTS_6145);
    uint32_t length = array_length(argument);
    const Word32* items = array_elements(argument);
    if (length == 0 || !(is_string(items[0]) || is_collection_reference(items[0])))
        raise(Error::BAD_QUERY_ARGUMENTS_6115);
    q.collection = resolve_collection(c, items[0], connection_error);
    if (length > 1) {
        if (!is_hash(items[1])) raise(Error::BAD_FIND_FILTER);
        append_hash(q.filter.get(), items[1]);
    }
    if (length > 2) {
        ValueHandle keys = items[2];
        std::vector<ValueHandle> names;
        if (is_array(keys)) {
            uint32_t n = array_length(keys);
            if (shape == Shape::ONE_HASH && n != 2) raise(Error::BAD_QUERY_KEY_6125);
            for (uint32_t i = 0; i < n; ++i) {
                ValueHandle key = array_elements(keys)[i];
                if (!is_string(key)) raise(Error::BAD_QUERY_KEY_6130);
                names.push_back(key);
            }
        } else if (is_string(keys) && shape != Shape::ONE_HASH) {
            names.push_back(keys);
        } else {
            raise(Error::BAD_QUERY_KEY_6140);
        }
        if (shape != Shape::HASHES)
            for (ValueHandle key : names) q.keys.add(string_text(key), string_length(key));
        append_projection(q.options.get(), names);
        q.has_keys = true;
    }
    if (length > 3) {
        ValueHandle options = items[3];
        if (!is_hash(options)) raise(Error::BAD_QUERY_OPTION, options, int(length));
        append_hash(q.options.get(), options);
    }
}

[[noreturn]] void cursor_failed(ErrorForm<const char*> failed, mongoc_cursor_t* cursor) {
    bson_error_t error;
    g_mongoc.mongoc_cursor_error(cursor, &error);
    raise(failed, static_cast<const char*>(error.message));
}

uint32_t record_key(const bson_iter_t* it) {
    char text[400];  // room for any double in "%f"
    const char* key = text;
    size_t length;
    switch (g_bson.bson_iter_type(it)) {
    case BSON_TYPE_DOUBLE:
        length = size_t(std::snprintf(text, sizeof text, "%f", g_bson.bson_iter_double(it)));
        break;
    case BSON_TYPE_UTF8: {
        uint32_t n = 0;
        key = g_bson.bson_iter_utf8(it, &n);
        length = n;
        break;
    }
    case BSON_TYPE_OID:
        g_bson.bson_oid_to_string(g_bson.bson_iter_oid(it), text);
        length = 24;
        break;
    case BSON_TYPE_INT32:
        length = size_t(std::snprintf(text, sizeof text, "%d", g_bson.bson_iter_int32(it)));
        break;
    case BSON_TYPE_INT64:
        raise(Error::INT64_UNSUPPORTED_6070);
    default:
        raise(Error::BAD_KEY_TYPE);
    }
    // A name is 1-255 bytes long.
    if (length == 0 || length > 255) raise(Error::BAD_KEY_TYPE);
    return intern_name(key, length);
}

ValueHandle run_query(ValueHandle cell, Shape shape) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6105);
    HeldOperand argument(op, 1);
    Query q;
    read_query(c, argument.get(), shape, Error::BAD_CONNECTION_6105, q);
    if (shape == Shape::ROWS && !q.has_keys) raise(Error::BAD_QUERY_ARGUMENTS_6150);
    OwnedCursor cursor(g_mongoc.mongoc_collection_find_with_opts(q.collection, q.filter.get(), q.options.get(), nullptr));
    BuiltValue result(shape == Shape::ONE_HASH ? new_hash(0) : new_array(0));
    const bson_t* document;
    while (g_mongoc.mongoc_cursor_next(cursor.get(), &document)) {
        if (shape == Shape::ONE_HASH) {
            bson_iter_t it;
            if (!g_bson.bson_iter_init(&it, document) || !g_bson.bson_iter_next(&it))
                raise(Error::BAD_BSON_TYPE);
            uint32_t key = record_key(&it);
            if (!g_bson.bson_iter_next(&it)) raise(Error::BAD_BSON_TYPE);
            BuiltValue value(value_from_bson(&it));
            hash_set(result.get(), key, value.get());
            continue;
        }
        BuiltValue item(shape == Shape::ROWS ? row_from_document(document, q.keys) : hash_from_document(document));
        array_push(result.get(), item.get());
    }
    if (g_mongoc.mongoc_cursor_error(cursor.get(), nullptr)) cursor_failed(Error::FIND_SEARCH_FAILED, cursor.get());
    return result.give();
}

ValueHandle mongo_find(ValueHandle cell) { return run_query(cell, Shape::ROWS); }
ValueHandle mongo_find_hash(ValueHandle cell) { return run_query(cell, Shape::HASHES); }
ValueHandle record_hash(ValueHandle cell) { return run_query(cell, Shape::ONE_HASH); }

ValueHandle record_map(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6165);
    HeldOperand statement_text(op, 2);
    if (statement_text.kind() != KIND_STRING)
        raise(Error::BAD_MAP_EXPRESSION);
    StatementList statements;
    {
        uint32_t highest = 0;
        std::string text =
            rewrite_placeholders(string_text(statement_text.get()), string_length(statement_text.get()), highest);
        settle_error_position();
        parse_statements(text.c_str(), text.size(), statements.items);
    }
    HeldOperand query(op, 1);
    ValueHandle q = query.get();
    if (!is_array(q) || array_length(q) < 3) raise(Error::BAD_MAP_SECOND);
    const Word32* items = array_elements(q);
    mongoc_collection_t* collection = resolve_collection(c, items[0], Error::BAD_CONNECTION_6165);
    if (!is_hash(items[1])) raise(Error::BAD_MAP_FILTER);
    ValueHandle columns = items[2];
    if (!is_array(columns) || array_length(columns) == 0) raise(Error::BAD_MAP_COLUMN);
    OwnedDocument options;
    OwnedDocument filter;
    append_hash(filter.get(), items[1]);
    KeyList keys;
    std::vector<ValueHandle> names;
    for (uint32_t i = 0; i < array_length(columns); ++i) {
        ValueHandle key = array_elements(columns)[i];
        if (!is_string(key)) raise(Error::MAP_COLUMN_NOT_STRING);
        keys.add(string_text(key), string_length(key));
        names.push_back(key);
    }
    append_projection(options.get(), names);
    if (array_length(q) > 3) {
        if (!is_hash(items[3])) raise(Error::BAD_MAP_OPTION);
        append_hash(options.get(), items[3]);
    }
    OwnedCursor cursor(g_mongoc.mongoc_collection_find_with_opts(collection, filter.get(), options.get(), nullptr));
    {
        RowBinding binding;
        const bson_t* document;
        while (g_mongoc.mongoc_cursor_next(cursor.get(), &document)) {
            BuiltValue row(row_from_document(document, keys));
            binding.set(row.get());
            for (ValueHandle s : statements.items) {
                dispose(evaluate(s));
                if (g_completion != COMPLETION_NORMAL) break;
            }
            if (g_completion != COMPLETION_NORMAL) break;
        }
    }
    note_position(op);
    if (g_mongoc.mongoc_cursor_error(cursor.get(), nullptr)) cursor_failed(Error::MAP_SEARCH_FAILED, cursor.get());
    return VALUE_UNDEFINED;
}

ValueHandle mongo_count(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6325);
    HeldOperand name(op, 1);
    mongoc_collection_t* collection = resolve_collection(c, name.get(), Error::BAD_CONNECTION_6325);
    OwnedDocument filter;
    if (operand_count(op) > 2) {
        HeldOperand condition(op, 2);
        if (!is_hash(condition.get())) raise(Error::BAD_COUNT_FILTER);
        append_hash(filter.get(), condition.get());
    }
    bson_error_t error;
    int64_t count = g_mongoc.mongoc_collection_count_documents(collection, filter.get(), nullptr, nullptr, nullptr, &error);
    if (count < 0) raise(Error::COUNT_FAILED, error.message);
    if (count > int64_t(UINT32_MAX)) raise(Error::COUNT_OVERFLOW);
    return new_integer(int32_t(uint32_t(count)));
}

}  // namespace

ValueHandle row_from_document(const bson_t* document, const KeyList& keys) {
    BuiltValue row(new_array(uint32_t(keys.size())));
    bson_iter_t it;
    if (!g_bson.bson_iter_init(&it, document)) return row.give();
    while (g_bson.bson_iter_next(&it)) {
        int column = keys.column_of(g_bson.bson_iter_key(&it), g_bson.bson_iter_key_len(&it));
        if (column < 0) continue;  // not asked for: skipped whatever its type
        ValueHandle value = retain(value_from_bson(&it));
        Word32* elements = array_elements(row.get());
        ValueHandle old = elements[column];
        elements[column] = value;
        release(old);
    }
    return row.give();
}

void install_query_statements() {
    g_keyword_hooks[OP_MONGO_FIND - OP_FIRST] = mongo_find;
    g_keyword_hooks[OP_MONGO_FIND_HASH - OP_FIRST] = mongo_find_hash;
    g_keyword_hooks[OP_RECORD_HASH - OP_FIRST] = record_hash;
    g_keyword_hooks[OP_RECORD_MAP - OP_FIRST] = record_map;
    g_keyword_hooks[OP_MONGO_COUNT - OP_FIRST] = mongo_count;
}

}  // namespace tolv
