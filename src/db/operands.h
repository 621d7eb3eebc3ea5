// Holding evaluated operands and driver objects for the length of one
// database operation, so an error raised half-way frees them all.
#pragma once

#include "db/connections.h"
#include "db/driver_api.h"
#include "eval/evaluate.h"

namespace tolv {

// An operand's value, held until the operation returns. Errors raised after
// it is evaluated point at the operation again, not into the operand.
class HeldOperand {
public:
    HeldOperand(const OperationCell* op, uint32_t index) : value_(hold(evaluate(operand(op, index)))) {
        note_position(op);
    }
    ~HeldOperand() { release(value_); }
    HeldOperand(const HeldOperand&) = delete;
    HeldOperand& operator=(const HeldOperand&) = delete;
    ValueHandle get() const { return value_; }
    Kind kind() const { return is_sentinel(value_) ? Kind(15) : kind_of(value_); }

private:
    ValueHandle value_;
};

// A document from bson_new, destroyed at the end of the scope.
class OwnedDocument {
public:
    OwnedDocument() : doc_(g_bson.bson_new()) {}
    ~OwnedDocument() { g_bson.bson_destroy(doc_); }
    OwnedDocument(const OwnedDocument&) = delete;
    OwnedDocument& operator=(const OwnedDocument&) = delete;
    bson_t* get() const { return doc_; }

private:
    bson_t* doc_;
};

class OwnedCursor {
public:
    explicit OwnedCursor(mongoc_cursor_t* cursor) : cursor_(cursor) {}
    ~OwnedCursor() { if (cursor_) g_mongoc.mongoc_cursor_destroy(cursor_); }
    OwnedCursor(const OwnedCursor&) = delete;
    OwnedCursor& operator=(const OwnedCursor&) = delete;
    mongoc_cursor_t* get() const { return cursor_; }

private:
    mongoc_cursor_t* cursor_;
};

// A value being built, held so that an error frees it; give() hands it to
// the caller as a new unowned value.
class BuiltValue {
public:
    explicit BuiltValue(ValueHandle value) : value_(hold(value)) {}
    ~BuiltValue() { release(value_); }
    BuiltValue(const BuiltValue&) = delete;
    BuiltValue& operator=(const BuiltValue&) = delete;
    ValueHandle get() const { return value_; }
    ValueHandle give() {
        ValueHandle v = value_;
        release_keep(v);
        value_ = VALUE_UNDEFINED;
        return v;
    }

private:
    ValueHandle value_;
};

// The open connection an operand names; anything else raises `code`
// "データベース接続不正".
inline DbConnection& connection_operand(const HeldOperand& operand, int code) {
    DbConnection* c = connection_of(operand.get());
    if (!c) connection_invalid(code);
    return *c;
}

}  // namespace tolv
