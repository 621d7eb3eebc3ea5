// Script values to BSON elements and back.
#pragma once

#include <cstddef>

#include "db/driver_api.h"
#include "runtime/value.h"

namespace tolv {

// Appends one value under `key`: true and false as booleans, a Hash
// {$oid: "<24 hex digits>"} as an ObjectId (reads give the 24-digit text, so
// a document read can be addressed again); a value with no BSON form raises
// 6055 naming the member ("a.b.0").
void append_value(ValueHandle value, bson_t* document, const char* key, size_t key_length);
// Appends every pair of a Hash, in its order, keyed by the pair's name.
void append_hash(bson_t* document, ValueHandle hash);
// A new unowned value for the element under the iterator.
ValueHandle value_from_bson(const bson_iter_t* iterator);
// A Hash of every field of a document, in document order.
ValueHandle hash_from_document(const bson_t* document);

}  // namespace tolv
