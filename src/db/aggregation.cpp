// mongo_aggregate: counts, sums, maxima, minima, averages and last values per
// key group and sub-group, computed in one pass over a cursor the server
// sorts by the key fields.
#include "db/aggregation.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "db/bson_values.h"
#include "db/operands.h"
#include "db/queries.h"
#include "eval/library_hooks.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"
#include "runtime/text.h"

namespace tolv {

namespace {

constexpr uint32_t LIST_LIMIT = 511;
constexpr int32_t MAX_START = -2147483632;
constexpr int32_t MIN_START = 2147483632;

enum class Tag : uint8_t { INTEGER, DOUBLE, STRING, NONE };

// A field's value in the current document.
struct ColumnValue {
    Tag tag = Tag::NONE;
    int64_t integer = 0;
    double real = 0;
    std::string text;
};

enum class Operation : uint8_t { COUNT, SUM, MAX, MIN, AVERAGE, VALUE };

struct Computed {
    Operation operation;
    int column;  // -1 for count
};

// Integers are summed in 64 bits: a sum that leaves the 32-bit range comes
// back as a Float instead of wrapping round.
struct Accumulator {
    Tag tag = Tag::INTEGER;
    int64_t integer = 0;
    double real = 0;
    std::string text;
    uint32_t count = 0;
};

struct SubGroup {
    std::string text;
    std::vector<Accumulator> values;
};

struct GroupingPlan {
    std::vector<std::string> fields;  // every field named, once
    std::vector<int> key_columns;
    std::vector<ValueHandle> key_sort;  // sort value of each key field
    std::vector<int> group_columns;
    std::vector<Computed> computed;
    int total_column = -1;
    bool total_count = false;
};


bool name_is(uint32_t name, const char* word) {
    size_t n = std::strlen(word);
    return name_length(name) == n && std::memcmp(name_text(name), word, n) == 0;
}

int register_field(GroupingPlan& s, const char* text, size_t length) {
    for (size_t i = 0; i < s.fields.size(); ++i)
        if (s.fields[i].size() == length && s.fields[i].compare(0, length, text, length) == 0) return int(i);
    s.fields.emplace_back(text, length);
    return int(s.fields.size() - 1);
}

int register_string(GroupingPlan& s, ValueHandle v) {
    if (!is_string(v)) raise(Error::COLUMN_NOT_STRING);
    return register_field(s, string_text(v), string_length(v));
}

// The fields of a String or an Array of Strings.
template <class Add>
bool for_each_field(ValueHandle v, Add add) {
    if (is_string(v)) {
        add(v);
        return true;
    }
    if (!is_array(v)) return false;
    uint32_t n = array_length(v);
    for (uint32_t i = 0; i < n; ++i) add(array_elements(v)[i]);
    return true;
}

void add_computed(GroupingPlan& s, Operation operation, int column) {
    if (s.computed.size() >= LIST_LIMIT) raise(Error::TOO_MANY_AGGREGATE_COLUMNS);
    s.computed.push_back({operation, column});
}

void read_grouping(ValueHandle grouping, GroupingPlan& s) {
    if (!is_hash(grouping)) raise(Error::BAD_AGGREGATE_KEY_6845);
    uint32_t n = hash_count(grouping);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t name = hash_pairs(grouping)[2 * i];
        ValueHandle value = hash_pairs(grouping)[2 * i + 1];
        if (name_is(name, "key")) {
            if (is_hash(value)) {
                uint32_t keys = hash_count(value);
                if (keys > LIST_LIMIT) raise(Error::TOO_MANY_AGGREGATE_KEYS, int(LIST_LIMIT));
                for (uint32_t k = 0; k < keys; ++k) {
                    uint32_t field = hash_pairs(value)[2 * k];
                    s.key_columns.push_back(register_field(s, name_text(field), name_length(field)));
                    ValueHandle sort = hash_pairs(value)[2 * k + 1];  // a copy: the pair words are unaligned
                    s.key_sort.push_back(sort);
                }
            } else if (is_array(value) && array_length(value) > LIST_LIMIT) {
                raise(Error::BAD_AGGREGATE_KEY_6855);
            } else if (!for_each_field(value, [&](ValueHandle f) {
                           s.key_columns.push_back(register_string(s, f));
                           s.key_sort.push_back(VALUE_SENTINEL);
                       })) {
                raise(Error::BAD_AGGREGATE_KEY_6865);
            }
        } else if (name_is(name, "group")) {
            if (is_array(value) && array_length(value) > LIST_LIMIT)
                raise(Error::TOO_MANY_GROUP_FIELDS, int(LIST_LIMIT));
            if (!for_each_field(value, [&](ValueHandle f) { s.group_columns.push_back(register_string(s, f)); }))
                raise(Error::BAD_AGGREGATE_KEY_6875);
        } else if (name_is(name, "count")) {
            add_computed(s, Operation::COUNT, -1);
        } else if (name_is(name, "total")) {
            s.total_column = register_string(s, value);
        } else if (name_is(name, "total_count")) {
            s.total_count = true;
        } else {
            Operation operation;
            if (name_is(name, "sum")) operation = Operation::SUM;
            else if (name_is(name, "max")) operation = Operation::MAX;
            else if (name_is(name, "min")) operation = Operation::MIN;
            else if (name_is(name, "average")) operation = Operation::AVERAGE;
            else if (name_is(name, "value")) operation = Operation::VALUE;
            else raise(Error::AGGREGATE_COLUMN_NOT_STRING);
            if (!for_each_field(value, [&](ValueHandle f) { add_computed(s, operation, register_string(s, f)); }))
                raise(Error::BAD_AGGREGATE_KEY_6885);
        }
    }
}

void append_group_value(ValueHandle v, std::string& out) {
    TextBuffer text;
    switch (kind_or_reserved(v)) {
    case KIND_NAME:
        if (v <= VALUE_NAN) raise(Error::BAD_SQL_GROUP);
        out.append(name_text(v), name_length(v));
        return;
    case KIND_INTEGER:
        out += std::to_string(integer_value(v));
        return;
    case KIND_FLOAT:
        float_text(float_value(v), text);
        out.append(text.data(), text.size());
        return;
    case KIND_STRING:
        out.append(string_text(v), string_length(v));
        return;
    default:
        raise(Error::BAD_SQL_GROUP);
    }
}

std::vector<std::string> read_group_order(ValueHandle order) {
    if (!is_array(order) || array_length(order) == 0)
        raise(Error::BAD_AGGREGATE_ORDER);
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < array_length(order); ++i) {
        ValueHandle element = array_elements(order)[i];
        std::string text = "(";
        if (is_array(element)) {
            for (uint32_t k = 0; k < array_length(element); ++k) {
                if (k) text += ':';
                append_group_value(array_elements(element)[k], text);
            }
        } else {
            append_group_value(element, text);
        }
        texts.push_back(text + ")");
    }
    return texts;
}

// A group field's text: strings as they are, numbers as the group order
// writes them, null as nothing.
void append_column_text(const ColumnValue& v, std::string& out) {
    if (v.tag == Tag::STRING) {
        out += v.text;
    } else if (v.tag == Tag::INTEGER) {
        out += std::to_string(v.integer);
    } else if (v.tag == Tag::DOUBLE) {
        TextBuffer text;
        float_text(v.real, text);
        out.append(text.data(), text.size());
    }
}

void read_column(const bson_iter_t* it, ColumnValue& v) {
    switch (g_bson.bson_iter_type(it)) {
    case BSON_TYPE_INT32:
        v.tag = Tag::INTEGER;
        v.integer = g_bson.bson_iter_int32(it);
        return;
    case BSON_TYPE_INT64:
        v.tag = Tag::INTEGER;
        v.integer = int32_t(uint32_t(uint64_t(g_bson.bson_iter_int64(it))));
        return;
    case BSON_TYPE_BOOL:
        v.tag = Tag::INTEGER;
        v.integer = g_bson.bson_iter_bool(it) ? 1 : 0;
        return;
    case BSON_TYPE_DOUBLE:
        v.tag = Tag::DOUBLE;
        v.real = g_bson.bson_iter_double(it);
        return;
    case BSON_TYPE_UTF8: {
        uint32_t n = 0;
        const char* text = g_bson.bson_iter_utf8(it, &n);
        v.tag = Tag::STRING;
        v.text.assign(text, n);
        return;
    }
    case BSON_TYPE_NULL:
    case BSON_TYPE_UNDEFINED:
    case BSON_TYPE_OID:
        v.tag = Tag::NONE;
        return;
    default:
        raise(Error::BAD_AGGREGATE_TYPE);
    }
}

// A value as a number for sums, maxima and minima; false for null. A string
// counts when its whole text is a number.
bool as_number(const ColumnValue& v, ErrorForm<> not_number, bool& is_integer, int64_t& integer, double& real) {
    switch (v.tag) {
    case Tag::NONE:
        return false;
    case Tag::INTEGER:
        is_integer = true;
        integer = v.integer;
        return true;
    case Tag::DOUBLE:
        is_integer = false;
        real = v.real;
        return true;
    case Tag::STRING:
        break;
    }
    const char* text = v.text.c_str();
    char* end = nullptr;
    double d = v.text.empty() ? 0 : std::strtod(text, &end);
    if (v.text.empty() || end != text + v.text.size()) raise(not_number);
    double whole = std::round(d);
    if (std::fabs(d - whole) < 0.000001 && std::fabs(whole) < 9.0e15) {
        is_integer = true;
        integer = int64_t(whole);
    } else {
        is_integer = false;
        real = d;
    }
    return true;
}

void add_value(Accumulator& a, const ColumnValue& v) {
    bool is_integer;
    int64_t integer = 0;
    double real = 0;
    if (!as_number(v, Error::AGGREGATE_NOT_NUMBER_6355, is_integer, integer, real)) return;
    if (a.tag == Tag::DOUBLE) {
        a.real += is_integer ? double(integer) : real;
    } else if (is_integer) {
        a.integer += integer;
    } else {
        a.tag = Tag::DOUBLE;
        a.real = double(a.integer) + real;
    }
}

void keep_extreme(Accumulator& a, const ColumnValue& v, bool larger) {
    bool is_integer;
    int64_t integer = 0;
    double real = 0;
    bool present = larger ? as_number(v, Error::SQL_AGGREGATE_NOT_NUMBER, is_integer, integer, real)
                          : as_number(v, Error::AGGREGATE_NOT_NUMBER_6365, is_integer, integer, real);
    if (!present) return;
    double candidate = is_integer ? double(integer) : real;
    double current = a.tag == Tag::DOUBLE ? a.real : double(a.integer);
    if (larger ? !(candidate > current) : !(candidate < current)) return;
    if (is_integer && a.tag != Tag::DOUBLE) {
        a.integer = integer;
    } else if (is_integer) {
        a.real = double(integer);
    } else {
        a.tag = Tag::DOUBLE;
        a.real = real;
    }
}

std::vector<Accumulator> start_values(const GroupingPlan& s) {
    std::vector<Accumulator> values(s.computed.size());
    for (size_t i = 0; i < values.size(); ++i) {
        if (s.computed[i].operation == Operation::MAX) values[i].integer = MAX_START;
        if (s.computed[i].operation == Operation::MIN) values[i].integer = MIN_START;
    }
    return values;
}

void accumulate(const GroupingPlan& s, std::vector<Accumulator>& values, const std::vector<ColumnValue>& columns) {
    for (size_t i = 0; i < s.computed.size(); ++i) {
        Accumulator& a = values[i];
        const Computed& c = s.computed[i];
        switch (c.operation) {
        case Operation::COUNT:
            ++a.integer;
            break;
        case Operation::VALUE: {
            const ColumnValue& v = columns[size_t(c.column)];
            if (v.tag == Tag::NONE) break;
            a.tag = v.tag;
            a.integer = v.integer;
            a.real = v.real;
            a.text = v.text;
            break;
        }
        case Operation::SUM:
            add_value(a, columns[size_t(c.column)]);
            break;
        case Operation::AVERAGE:
            ++a.count;
            add_value(a, columns[size_t(c.column)]);
            break;
        case Operation::MAX:
            keep_extreme(a, columns[size_t(c.column)], true);
            break;
        case Operation::MIN:
            keep_extreme(a, columns[size_t(c.column)], false);
            break;
        }
    }
}

ValueHandle integer_or_float(int64_t n) {
    if (n >= INT32_MIN && n <= INT32_MAX) return new_integer(int32_t(n));
    return new_float(double(n));
}

ValueHandle result_of(const Computed& c, const Accumulator& a) {
    if (c.operation == Operation::AVERAGE) {
        if (a.tag == Tag::STRING) return new_float(0.0);
        double sum = a.tag == Tag::DOUBLE ? a.real : double(a.integer);
        return new_float(sum / double(a.count ? a.count : 1));
    }
    if (a.tag == Tag::STRING) return new_string(a.text.data(), a.text.size());
    if (a.tag == Tag::DOUBLE) return new_float(a.real);
    return integer_or_float(a.integer);
}

// A list of one element is that element; otherwise an Array.
ValueHandle list_value(std::vector<ValueHandle>& items) {
    if (items.size() == 1) {
        ValueHandle only = items[0];
        items.clear();
        return only;
    }
    ValueHandle array = new_array(uint32_t(items.size()));
    for (size_t i = 0; i < items.size(); ++i) array_elements(array)[i] = retain(items[i]);
    items.clear();
    return array;
}

class Aggregation {
public:
    Aggregation(const GroupingPlan& s, std::vector<std::string> fixed, ValueHandle result)
        : s_(s), fixed_(std::move(fixed)), result_(result), columns_(s.fields.size()) {
        reset_group();
    }

    void document(const bson_t* doc) {
        for (ColumnValue& v : columns_) v.tag = Tag::NONE;
        bson_iter_t it;
        if (g_bson.bson_iter_init(&it, doc)) {
            while (g_bson.bson_iter_next(&it)) {
                // A field the grouping does not name is skipped whatever its
                // type (a Date, an embedded document, an array).
                int column = column_of(g_bson.bson_iter_key(&it), g_bson.bson_iter_key_len(&it));
                if (column >= 0) read_column(&it, columns_[size_t(column)]);
            }
        }
        if (!s_.key_columns.empty() && key_changed()) {
            if (have_group_) emit();
            reset_group();
            for (size_t k = 0; k < s_.key_columns.size(); ++k) keys_[k] = columns_[size_t(s_.key_columns[k])];
        }
        have_group_ = true;
        if (s_.total_column >= 0) add_value(total_, columns_[size_t(s_.total_column)]);
        ++total_count_;
        std::vector<Accumulator>* values = sub_group();
        if (values) accumulate(s_, *values, columns_);
    }

    void finish() {
        if (have_group_ || s_.key_columns.empty()) emit();
    }

private:
    int column_of(const char* name, size_t length) const {
        for (size_t i = 0; i < s_.fields.size(); ++i)
            if (s_.fields[i].size() == length && std::memcmp(s_.fields[i].data(), name, length) == 0) return int(i);
        return -1;
    }

    bool key_changed() const {
        if (!have_group_) return true;
        for (size_t k = 0; k < s_.key_columns.size(); ++k) {
            const ColumnValue& now = columns_[size_t(s_.key_columns[k])];
            const ColumnValue& was = keys_[k];
            if (now.tag != was.tag) return true;
            if (now.tag == Tag::INTEGER && now.integer != was.integer) return true;
            if (now.tag == Tag::DOUBLE && !(now.real == was.real)) return true;
            if (now.tag == Tag::STRING && now.text != was.text) return true;
        }
        return false;
    }

    void reset_group() {
        keys_.assign(s_.key_columns.size(), ColumnValue{});
        total_ = Accumulator{};
        total_count_ = 0;
        groups_.clear();
        if (s_.group_columns.empty()) {
            groups_.push_back({"", start_values(s_)});
        } else {
            for (const std::string& text : fixed_) groups_.push_back({text, start_values(s_)});
        }
    }

    std::vector<Accumulator>* sub_group() {
        if (s_.group_columns.empty()) return &groups_[0].values;
        std::string text = "(";
        for (size_t g = 0; g < s_.group_columns.size(); ++g) {
            if (g) text += ':';
            append_column_text(columns_[size_t(s_.group_columns[g])], text);
        }
        text += ')';
        for (SubGroup& group : groups_)
            if (group.text == text) return &group.values;
        if (!fixed_.empty()) return nullptr;
        groups_.push_back({std::move(text), start_values(s_)});
        return &groups_.back().values;
    }

    void emit() {
        std::string key_text;
        for (const ColumnValue& v : keys_) {
            if (v.tag == Tag::STRING) {
                key_text += v.text;
            } else if (v.tag == Tag::INTEGER) {
                key_text += std::to_string(v.integer);
            } else if (v.tag == Tag::DOUBLE) {
                char text[64];
                std::snprintf(text, sizeof text, "%g", v.real);
                key_text += text;
            }
        }
        std::string group_text;
        if (!s_.group_columns.empty())
            for (const SubGroup& g : groups_) group_text += g.text;

        BuiltValue row(new_array(3));
        array_elements(row.get())[0] = retain(new_string(key_text.data(), key_text.size()));
        array_elements(row.get())[1] = retain(new_string(group_text.data(), group_text.size()));
        // Values are held by `held` until the list owns them.
        BuiltValue held(new_array(0));
        std::vector<ValueHandle> list;
        auto keep = [&](ValueHandle v) {
            array_push(held.get(), v);
            list.push_back(v);
        };
        if (s_.group_columns.empty()) {
            for (size_t i = 0; i < s_.computed.size(); ++i) keep(result_of(s_.computed[i], groups_[0].values[i]));
        } else {
            for (const SubGroup& g : groups_) {
                if (s_.computed.size() == 1) {
                    keep(result_of(s_.computed[0], g.values[0]));
                    continue;
                }
                BuiltValue entry(new_array(uint32_t(s_.computed.size())));
                for (size_t i = 0; i < s_.computed.size(); ++i)
                    array_elements(entry.get())[i] = retain(result_of(s_.computed[i], g.values[i]));
                keep(entry.get());
            }
        }
        if (s_.total_count) keep(new_integer(int32_t(total_count_)));
        if (s_.total_column >= 0)
            keep(total_.tag == Tag::DOUBLE ? new_float(total_.real) : integer_or_float(total_.integer));
        ValueHandle values = list_value(list);
        array_elements(row.get())[2] = retain(values);
        array_push(result_, row.get());
    }

    const GroupingPlan& s_;
    std::vector<std::string> fixed_;
    ValueHandle result_;
    std::vector<ColumnValue> columns_;
    std::vector<ColumnValue> keys_;
    std::vector<SubGroup> groups_;
    Accumulator total_;
    uint32_t total_count_ = 0;
    bool have_group_ = false;
};

ValueHandle mongo_aggregate(ValueHandle cell) {
    const OperationCell* op = operation_cell(cell);
    HeldOperand target(op, 0);
    DbConnection& c = connection_operand(target, Error::BAD_CONNECTION_6810);
    HeldOperand query(op, 1);
    ValueHandle q = query.get();
    mongoc_collection_t* collection;
    OwnedDocument filter;
    if (is_string(q) || is_collection_reference(q)) {
        collection = resolve_collection(c, q, Error::BAD_CONNECTION_6810);
    } else if (is_array(q)) {
        if (array_length(q) == 0) raise(Error::BAD_AGGREGATE_COLLECTION);
        collection = resolve_collection(c, array_elements(q)[0], Error::BAD_CONNECTION_6810);
        if (array_length(q) > 1) {
            ValueHandle condition = array_elements(q)[1];
            if (!is_hash(condition)) raise(Error::BAD_AGGREGATE_FILTER);
            append_hash(filter.get(), condition);
        }
    } else {
        raise(Error::BAD_AGGREGATE_ARGUMENTS);
    }
    std::vector<std::string> fixed;
    if (operand_count(op) > 3) {
        HeldOperand order(op, 3);
        fixed = read_group_order(order.get());
    }
    HeldOperand grouping_value(op, 2);
    GroupingPlan s;
    read_grouping(grouping_value.get(), s);
    OwnedDocument options;
    if (!s.key_columns.empty()) {
        bson_t sort;
        g_bson.bson_init(&sort);
        try {
            for (size_t k = 0; k < s.key_columns.size(); ++k) {
                const std::string& field = s.fields[size_t(s.key_columns[k])];
                if (s.key_sort[k] == VALUE_SENTINEL)
                    g_bson.bson_append_int32(&sort, field.data(), int(field.size()), 1);
                else
                    append_value(s.key_sort[k], &sort, field.data(), field.size());
            }
        } catch (...) {
            g_bson.bson_destroy(&sort);
            throw;
        }
        g_bson.bson_append_document(options.get(), "sort", 4, &sort);
        g_bson.bson_destroy(&sort);
        bson_t projection;
        g_bson.bson_init(&projection);
        g_bson.bson_append_int32(&projection, "_id", 3, 0);
        g_bson.bson_append_document(options.get(), "projection", 10, &projection);
        g_bson.bson_destroy(&projection);
    }
    if (s.fields.empty()) raise(Error::NO_COLUMN);
    if (s.computed.empty() && s.total_column < 0 && !s.total_count)
        raise(Error::BAD_AGGREGATE_ARGUMENT);
    if (!fixed.empty() && s.group_columns.empty()) raise(Error::BAD_SQL_AGGREGATE_ARGUMENT);

    BuiltValue result(new_array(0));
    Aggregation aggregation(s, std::move(fixed), result.get());
    OwnedCursor cursor(g_mongoc.mongoc_collection_find_with_opts(collection, filter.get(), options.get(), nullptr));
    const bson_t* document;
    while (g_mongoc.mongoc_cursor_next(cursor.get(), &document)) aggregation.document(document);
    bson_error_t error;
    if (g_mongoc.mongoc_cursor_error(cursor.get(), &error)) raise(Error::AGGREGATE_FAILED, error.message);
    aggregation.finish();
    return result.give();
}

}  // namespace

void install_aggregation() { g_keyword_hooks[OP_MONGO_AGGREGATE - OP_FIRST] = mongo_aggregate; }

}  // namespace tolv
