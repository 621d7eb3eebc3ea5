// mongo_find, mongo_find_hash, record_hash, record_map and mongo_count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/driver_api.h"
#include "runtime/value.h"

namespace tolv {

// The fields a query asked for, in order: a returned field's column is the
// position of the first key equal to its name.
class KeyList {
public:
    void add(const char* name, size_t length) { keys_.emplace_back(name, length); }
    size_t size() const { return keys_.size(); }
    const std::string& at(size_t i) const { return keys_[i]; }
    int column_of(const char* name, size_t length) const {
        for (size_t i = 0; i < keys_.size(); ++i)
            if (keys_[i].size() == length && keys_[i].compare(0, length, name, length) == 0) return int(i);
        return -1;
    }

private:
    std::vector<std::string> keys_;
};

// A row of the document's fields in the key list's columns (undefined where
// a field is missing); another field of a non-scalar type raises 6210.
ValueHandle row_from_document(const bson_t* document, const KeyList& keys);

void install_query_statements();

}  // namespace tolv
