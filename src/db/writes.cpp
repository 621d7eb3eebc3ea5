// Writes. Every write passes the connection's session document as its
// options, so it joins an open transaction. A write the driver reports as
// failed raises; the writes made before it stay.
#include "db/writes.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "db/bson_values.h"
#include "db/operands.h"
#include "db/templates.h"
#include "eval/library_hooks.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"

namespace tolv {

namespace {

// The int32 under `field` in a driver reply; an int64 raises 6355; anything
// else counts 0.
int64_t reply_count(const bson_t* reply, const char* field) {
    bson_iter_t it;
    if (!g_bson.bson_iter_init(&it, reply)) return 0;
    while (g_bson.bson_iter_next(&it)) {
        if (std::strcmp(g_bson.bson_iter_key(&it), field) != 0) continue;
        bson_type_t type = g_bson.bson_iter_type(&it);
        if (type == BSON_TYPE_INT32) return g_bson.bson_iter_int32(&it);
        if (type == BSON_TYPE_INT64) raise(Error::INT64_UNSUPPORTED_6355);
        return 0;
    }
    return 0;
}

// A reply document the driver fills, destroyed at the end of the scope.
struct Reply {
    bson_t doc;
    bool filled = false;
    bson_t* get() {
        filled = true;
        return &doc;
    }
    ~Reply() {
        if (filled) g_bson.bson_destroy(&doc);
    }
};

ValueHandle count_result(int64_t n) {
    if (n >= INT32_MIN && n <= INT32_MAX) return new_integer(int32_t(n));
    return new_float(double(n));
}

// Checks the bind rows before anything is written: each an Array with at
// least `bind_index` elements.
void check_rows(ValueHandle rows, uint32_t bind_index, ErrorForm<> not_array, ErrorForm<> too_short) {
    for (uint32_t i = 0; i < array_length(rows); ++i) {
        ValueHandle row = array_elements(rows)[i];
        if (!is_array(row)) raise(not_array);
        if (array_length(row) < bind_index) raise(too_short);
    }
}

// ---- mongo_insert ------------------------------------------------------------

ValueHandle mongo_insert(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6360);
    HeldOperand name(op, 1);
    mongoc_collection_t* collection = resolve_collection(c, name.get(), Error::BAD_CONNECTION_6360);
    HeldOperand documents(op, 2);
    bool has_binds = operand_count(op) > 3;
    std::vector<std::unique_ptr<OwnedDocument>> built;
    auto add = [&](ValueHandle hash) {
        built.push_back(std::make_unique<OwnedDocument>());
        append_hash(built.back()->get(), hash);
    };
    ValueHandle docs = documents.get();
    if (is_array(docs)) {
        if (has_binds) raise(Error::INSERT_OPTION_6365);
        for (uint32_t i = 0; i < array_length(docs); ++i)
            if (!is_hash(array_elements(docs)[i])) raise(Error::BAD_INSERT_COLUMN);
        for (uint32_t i = 0; i < array_length(docs); ++i) add(array_elements(docs)[i]);
    } else if (is_hash(docs)) {
        if (has_binds) raise(Error::INSERT_OPTION_6375);
        add(docs);
    } else if (is_string(docs)) {
        if (!has_binds) raise(Error::WRONG_ARGUMENTS);
        HashTemplate pattern(docs);
        HeldOperand binds(op, 3);
        ValueHandle rows = binds.get();
        if (!is_array(rows)) raise(Error::BAD_BIND_VALUES_6385);
        if (array_length(rows) == 0) raise(Error::BAD_BIND_VALUES_6390);
        if (!is_array(array_elements(rows)[0])) raise(Error::BAD_BIND_VALUES_6395);
        check_rows(rows, pattern.bind_index(), Error::BAD_BIND_VALUES_6400, Error::BAD_BIND_INDEX_6405);
        RowBinding binding;
        for (uint32_t i = 0; i < array_length(rows); ++i) {
            binding.set(array_elements(rows)[i]);
            BuiltValue hash(pattern.evaluate_row());
            add(hash.get());
        }
        note_position(op);
    } else {
        raise(Error::BAD_INSERT_THIRD);
    }
    // The driver takes a plain array of document pointers.
    void* block = std::calloc(built.size() + 1, sizeof(void*));
    std::unique_ptr<void, void (*)(void*)> pointers(block, std::free);
    const bson_t** list = static_cast<const bson_t**>(block);
    for (size_t i = 0; i < built.size(); ++i) list[i] = built[i]->get();
    Reply reply;
    bson_error_t error;
    if (!g_mongoc.mongoc_collection_insert_many(collection, list, built.size(), c.session_document,
                                                reply.get(), &error))
        raise(Error::INSERT_FAILED, error.message);
    return count_result(reply_count(&reply.doc, "insertedCount"));
}

// ---- updates -------------------------------------------------------------------

enum class Operator : uint8_t { SET, INC, MIN, MAX, MUL, RENAME, UNSET };

struct Operation {
    std::string field;
    ValueHandle operand;  // held by the update Hash
    Operator op;
    bool applied;
};

enum class UpdateClass { SERVER, COMPUTED_SET, COMPUTED_REPLACE };

bool name_is(uint32_t name, const char* word) {
    size_t n = std::strlen(word);
    return name_length(name) == n && std::memcmp(name_text(name), word, n) == 0;
}

UpdateClass read_operations(ValueHandle update, std::vector<Operation>& list) {
    bool computed = false, replace = false;
    for (uint32_t i = 0; i < hash_count(update); ++i) {
        uint32_t name = hash_pairs(update)[2 * i];
        ValueHandle fields = hash_pairs(update)[2 * i + 1];
        if (!is_hash(fields)) raise(Error::BAD_UPDATE_6285);
        Operator op;
        if (name_is(name, "$set")) op = Operator::SET;
        else if (name_is(name, "$inc")) op = Operator::INC;
        else if (name_is(name, "$min")) op = Operator::MIN;
        else if (name_is(name, "$max")) op = Operator::MAX;
        else if (name_is(name, "$mul")) op = Operator::MUL;
        else if (name_is(name, "$rename")) op = Operator::RENAME;
        else if (name_is(name, "$unset")) op = Operator::UNSET;
        else raise(Error::BAD_UPDATE_6290);
        for (uint32_t k = 0; k < hash_count(fields); ++k) {
            uint32_t field = hash_pairs(fields)[2 * k];
            ValueHandle operand = hash_pairs(fields)[2 * k + 1];
            if (op != Operator::SET && op != Operator::UNSET && op != Operator::RENAME && !is_plain_number(operand))
                raise(Error::BAD_UPDATE_PARAMETERS);
            if (op == Operator::RENAME && !is_string(operand)) raise(Error::BAD_UPDATE_PARAMETERS);
            list.push_back({std::string(name_text(field), name_length(field)), operand, op, false});
        }
        if (op == Operator::RENAME || op == Operator::UNSET) replace = true;
        else if (op != Operator::SET) computed = true;
    }
    return replace ? UpdateClass::COMPUTED_REPLACE : computed ? UpdateClass::COMPUTED_SET : UpdateClass::SERVER;
}

double operand_double(ValueHandle v) {
    return kind_of(v) == KIND_INTEGER ? double(integer_value(v)) : float_value(v);
}

// Appends `value` under the field as an int32 while it fits, else as a double.
void append_integer_result(bson_t* doc, const std::string& field, int64_t value) {
    if (value >= INT32_MIN && value <= INT32_MAX)
        g_bson.bson_append_int32(doc, field.data(), int(field.size()), int32_t(value));
    else
        g_bson.bson_append_double(doc, field.data(), int(field.size()), double(value));
}

// What an arithmetic operator raises for a field it cannot work on.
struct OperatorFaults {
    ErrorForm<> int64;       // a 64-bit integer
    ErrorForm<> not_number;  // neither a double nor a 32-bit integer
};

const OperatorFaults& operator_faults(Operator op) {
    static constexpr OperatorFaults INC_FAULTS{Error::INT64_UNSUPPORTED_6240, Error::BAD_BSON_VALUE_TYPE_6245};
    static constexpr OperatorFaults MIN_FAULTS{Error::INT64_UNSUPPORTED_6250, Error::BAD_BSON_VALUE_TYPE_6255};
    static constexpr OperatorFaults MAX_FAULTS{Error::INT64_UNSUPPORTED_6260, Error::BAD_BSON_VALUE_TYPE_6265};
    static constexpr OperatorFaults MUL_FAULTS{Error::INT64_UNSUPPORTED_6270, Error::BAD_BSON_VALUE_TYPE_6275};
    switch (op) {
    case Operator::INC: return INC_FAULTS;
    case Operator::MIN: return MIN_FAULTS;
    case Operator::MAX: return MAX_FAULTS;
    default: return MUL_FAULTS;
    }
}

// Applies an arithmetic operator to the field's current value; false when
// $min or $max leaves the value as it is.
bool apply(const Operation& o, const bson_iter_t* current, bson_t* doc) {
    const char* key = o.field.data();
    int key_length = int(o.field.size());
    if (o.op == Operator::SET) {
        append_value(o.operand, doc, o.field.data(), o.field.size());
        return true;
    }
    bson_type_t type = g_bson.bson_iter_type(current);
    if (type == BSON_TYPE_INT64 || (type != BSON_TYPE_DOUBLE && type != BSON_TYPE_INT32)) {
        const OperatorFaults& faults = operator_faults(o.op);
        raise(type == BSON_TYPE_INT64 ? faults.int64 : faults.not_number);
    }
    bool operand_integer = kind_of(o.operand) == KIND_INTEGER;
    double now = type == BSON_TYPE_DOUBLE ? g_bson.bson_iter_double(current) : double(g_bson.bson_iter_int32(current));
    double operand = operand_double(o.operand);
    if (o.op == Operator::MIN || o.op == Operator::MAX) {
        if (o.op == Operator::MIN ? !(operand < now) : !(operand > now)) return false;
        append_value(o.operand, doc, o.field.data(), o.field.size());
        return true;
    }
    if (type == BSON_TYPE_INT32 && operand_integer) {
        int64_t a = g_bson.bson_iter_int32(current), b = integer_value(o.operand);
        append_integer_result(doc, o.field, o.op == Operator::INC ? a + b : a * b);
        return true;
    }
    g_bson.bson_append_double(doc, key, key_length, o.op == Operator::INC ? now + operand : now * operand);
    return true;
}

// Appends the document's _id to the filter; types that cannot be matched by
// value raise 6300.
void append_id(const bson_iter_t* it, bson_t* filter) {
    switch (g_bson.bson_iter_type(it)) {
    case BSON_TYPE_DOUBLE:
    case BSON_TYPE_UTF8:
    case BSON_TYPE_OID:
    case BSON_TYPE_INT32:
    case BSON_TYPE_INT64:
        g_bson.bson_append_iter(filter, "_id", 3, it);
        return;
    default:
        raise(Error::BAD_ID_TYPE);
    }
}

Operation* entry_for(std::vector<Operation>& list, const char* name, size_t length) {
    for (Operation& o : list)
        if (o.field.size() == length && std::memcmp(o.field.data(), name, length) == 0) return &o;
    return nullptr;
}

// Appends the operand of every entry the document did not have. A $rename
// or $unset of a missing field changes nothing.
void append_unapplied(const std::vector<Operation>& list, bson_t* doc, bool& changed) {
    for (const Operation& o : list) {
        if (o.applied || o.op == Operator::RENAME || o.op == Operator::UNSET) continue;
        append_value(o.operand, doc, o.field.data(), o.field.size());
        changed = true;
    }
}

int64_t computed_update(DbConnection& c, mongoc_collection_t* collection, const bson_t* filter,
                        std::vector<Operation>& list, bool replace, bool many) {
    OwnedCursor cursor(g_mongoc.mongoc_collection_find_with_opts(collection, filter, nullptr, nullptr));
    int64_t written = 0;
    const bson_t* document;
    while (g_mongoc.mongoc_cursor_next(cursor.get(), &document)) {
        for (Operation& o : list) o.applied = false;
        OwnedDocument changes;
        OwnedDocument id_filter;
        bool has_id = false, changed = false;
        bson_iter_t it;
        g_bson.bson_iter_init(&it, document);
        while (g_bson.bson_iter_next(&it)) {
            const char* key = g_bson.bson_iter_key(&it);
            uint32_t key_length = g_bson.bson_iter_key_len(&it);
            if (key_length == 3 && std::memcmp(key, "_id", 3) == 0) {
                append_id(&it, id_filter.get());
                has_id = true;
                if (replace && !g_bson.bson_append_iter(changes.get(), key, int(key_length), &it))
                    raise(Error::UPDATE_BIND_FAILED_6320);
            }
            Operation* o = entry_for(list, key, key_length);
            if (!o) {
                if (replace && !(key_length == 3 && std::memcmp(key, "_id", 3) == 0) &&
                    !g_bson.bson_append_iter(changes.get(), key, int(key_length), &it))
                    raise(Error::UPDATE_BIND_FAILED_6320);
                continue;
            }
            o->applied = true;
            if (o->op == Operator::RENAME) {
                if (!g_bson.bson_append_iter(changes.get(), string_text(o->operand), int(string_length(o->operand)), &it))
                    raise(Error::UPDATE_BIND_FAILED_6325);
                changed = true;
            } else if (o->op == Operator::UNSET) {
                changed = true;
            } else if (apply(*o, &it, changes.get())) {
                changed = true;
            } else if (replace && !g_bson.bson_append_iter(changes.get(), key, int(key_length), &it)) {
                raise(Error::UPDATE_BIND_FAILED_6320);
            }
        }
        append_unapplied(list, changes.get(), changed);
        bson_error_t error;
        if (replace && has_id) {
            if (!g_mongoc.mongoc_collection_replace_one(collection, id_filter.get(), changes.get(), c.session_document,
                                                        nullptr, &error))
                raise(Error::UPDATE_FAILED_6330, error.message);
            ++written;
        } else if (!replace && has_id && changed) {
            bson_t update;
            g_bson.bson_init(&update);
            g_bson.bson_append_document(&update, "$set", 4, changes.get());
            bool done = g_mongoc.mongoc_collection_update_one(collection, id_filter.get(), &update, c.session_document,
                                                              nullptr, &error);
            g_bson.bson_destroy(&update);
            if (!done) raise(Error::UPDATE_FAILED_6310, error.message);
            ++written;
        }
        if (!many) break;
    }
    bson_error_t error;
    if (g_mongoc.mongoc_cursor_error(cursor.get(), &error)) {
        if (replace) raise(Error::UPDATE_SEARCH_FAILED_6335, error.message);
        raise(Error::UPDATE_SEARCH_FAILED_6315, error.message);
    }
    return written;
}

int64_t one_update(DbConnection& c, mongoc_collection_t* collection, ValueHandle filter_hash, ValueHandle update,
                   bool many) {
    std::vector<Operation> list;
    UpdateClass kind = read_operations(update, list);
    OwnedDocument filter;
    append_hash(filter.get(), filter_hash);
    if (kind != UpdateClass::SERVER)
        return computed_update(c, collection, filter.get(), list, kind == UpdateClass::COMPUTED_REPLACE, many);
    OwnedDocument document;
    bson_t set;
    g_bson.bson_init(&set);
    try {
        for (const Operation& o : list) append_value(o.operand, &set, o.field.data(), o.field.size());
    } catch (...) {
        g_bson.bson_destroy(&set);
        throw;
    }
    g_bson.bson_append_document(document.get(), "$set", 4, &set);
    g_bson.bson_destroy(&set);
    Reply reply;
    bson_error_t error;
    bool done = many ? g_mongoc.mongoc_collection_update_many(collection, filter.get(), document.get(),
                                                              c.session_document, reply.get(), &error)
                     : g_mongoc.mongoc_collection_update_one(collection, filter.get(), document.get(),
                                                             c.session_document, reply.get(), &error);
    if (!done) raise(Error::UPDATE_FAILED_6305, error.message);
    return reply_count(&reply.doc, "modifiedCount");
}

ValueHandle run_update(ValueHandle cell, bool many) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6420);
    HeldOperand name(op, 1);
    mongoc_collection_t* collection = resolve_collection(c, name.get(), Error::BAD_CONNECTION_6420);
    HeldOperand filter(op, 2);
    HeldOperand update(op, 3);
    if (is_hash(filter.get())) {
        if (!is_hash(update.get())) raise(Error::BAD_UPDATE_6470);
        return count_result(one_update(c, collection, filter.get(), update.get(), many));
    }
    if (!is_string(filter.get())) raise(Error::BAD_UPDATE_FILTER);
    if (operand_count(op) < 5) raise(Error::BAD_BIND_VALUES_6425);
    if (!is_string(update.get())) raise(Error::BAD_UPDATE_OPERATORS);
    HashTemplate filter_pattern(filter.get());
    HashTemplate update_pattern(update.get());
    uint32_t bind_index = std::max(filter_pattern.bind_index(), update_pattern.bind_index());
    HeldOperand binds(op, 4);
    ValueHandle rows = binds.get();
    if (!is_array(rows)) raise(Error::BAD_BIND_VALUES_6435);
    check_rows(rows, bind_index, Error::BAD_BIND_VALUES_6455, Error::BAD_BIND_INDEX_6460);
    RowBinding binding;
    int64_t total = 0;
    for (uint32_t i = 0; i < array_length(rows); ++i) {
        binding.set(array_elements(rows)[i]);
        BuiltValue row_filter(filter_pattern.evaluate_row());
        BuiltValue row_update(update_pattern.evaluate_row());
        note_position(op);
        total += one_update(c, collection, row_filter.get(), row_update.get(), many);
    }
    return count_result(total);
}

ValueHandle mongo_update_one(ValueHandle cell) { return run_update(cell, false); }
ValueHandle mongo_update_many(ValueHandle cell) { return run_update(cell, true); }

// ---- deletes ---------------------------------------------------------------------

int64_t one_delete(DbConnection& c, mongoc_collection_t* collection, ValueHandle filter_hash, bool many,
                   ErrorForm<const char*> failed) {
    OwnedDocument filter;
    append_hash(filter.get(), filter_hash);
    Reply reply;
    bson_error_t error;
    bool done = many ? g_mongoc.mongoc_collection_delete_many(collection, filter.get(), c.session_document, reply.get(), &error)
                     : g_mongoc.mongoc_collection_delete_one(collection, filter.get(), c.session_document, reply.get(), &error);
    if (!done) raise(failed, static_cast<const char*>(error.message));
    return reply_count(&reply.doc, "deletedCount");
}

ValueHandle run_delete(ValueHandle cell, bool many) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6485);
    HeldOperand name(op, 1);
    mongoc_collection_t* collection = resolve_collection(c, name.get(), Error::BAD_CONNECTION_6485);
    HeldOperand filter(op, 2);
    if (is_hash(filter.get()))
        return count_result(one_delete(c, collection, filter.get(), many, Error::DELETE_FAILED_6490));
    if (!is_string(filter.get())) raise(Error::BAD_DELETE_FILTER);
    if (operand_count(op) < 4) raise(Error::NO_BIND_VALUES);
    HashTemplate pattern(filter.get());
    HeldOperand binds(op, 3);
    ValueHandle rows = binds.get();
    if (!is_array(rows)) raise(Error::BAD_BIND_VALUE_6500);
    if (array_length(rows) == 0) raise(Error::BAD_BIND_VALUE_6505);
    if (!is_array(array_elements(rows)[0])) raise(Error::BAD_BIND_VALUE_6510);
    check_rows(rows, pattern.bind_index(), Error::BAD_BIND_VALUE_6520, Error::BAD_BIND_INDEX_6525);
    RowBinding binding;
    int64_t total = 0;
    for (uint32_t i = 0; i < array_length(rows); ++i) {
        binding.set(array_elements(rows)[i]);
        BuiltValue row_filter(pattern.evaluate_row());
        note_position(op);
        total += one_delete(c, collection, row_filter.get(), many, Error::DELETE_FAILED_6530);
    }
    return count_result(total);
}

ValueHandle mongo_delete_one(ValueHandle cell) { return run_delete(cell, false); }
ValueHandle mongo_delete_many(ValueHandle cell) { return run_delete(cell, true); }

}  // namespace

void install_write_statements() {
    g_keyword_hooks[OP_MONGO_INSERT - OP_FIRST] = mongo_insert;
    g_keyword_hooks[OP_MONGO_UPDATE_ONE - OP_FIRST] = mongo_update_one;
    g_keyword_hooks[OP_MONGO_UPDATE_MANY - OP_FIRST] = mongo_update_many;
    g_keyword_hooks[OP_MONGO_DELETE_ONE - OP_FIRST] = mongo_delete_one;
    g_keyword_hooks[OP_MONGO_DELETE_MANY - OP_FIRST] = mongo_delete_many;
}

}  // namespace tolv
