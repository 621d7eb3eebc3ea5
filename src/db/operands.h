// Driver objects owned for the length of one database operation, so an
// error raised half-way frees them all, and the connection an operand names.
#pragma once

#include "db/connections.h"
#include "db/driver_api.h"
#include "eval/held_values.h"

namespace tolv {

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

// The open connection an operand names; anything else raises `error` (a
// BAD_CONNECTION row).
inline DbConnection& connection_operand(const HeldOperand& operand, ErrorForm<> error) {
    DbConnection* c = connection_of(operand.get());
    if (!c) connection_invalid(error);
    return *c;
}

}  // namespace tolv
