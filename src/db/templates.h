// Statement texts and hash templates with numbered placeholders, run once per
// row of values bound to the row variable: record_map's statements and the
// writes' templates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace tolv {

// %0 becomes the row variable, %N (N >= 1) its (N-1)-th element; a '%' after
// a backslash or inside a quoted literal stays. Any other '%' raises 6160.
// `highest` receives the highest N used.
std::string rewrite_placeholders(const char* text, size_t length, uint32_t& highest);

// Parsed statements, released at the end of the scope.
struct StatementList {
    std::vector<ValueHandle> items;
    StatementList() = default;
    StatementList(const StatementList&) = delete;
    StatementList& operator=(const StatementList&) = delete;
    ~StatementList();
};

// The row variable's binding, pushed for the scope and popped however it ends.
class RowBinding {
public:
    RowBinding();
    ~RowBinding();
    RowBinding(const RowBinding&) = delete;
    RowBinding& operator=(const RowBinding&) = delete;
    void set(ValueHandle row);

private:
    uint32_t top_;
    uint32_t index_;
};

// A hash template: a String holding an object literal with placeholders.
// Raises 6350 when the text is not one object literal.
class HashTemplate {
public:
    explicit HashTemplate(ValueHandle text);
    uint32_t bind_index() const { return bind_index_; }
    // The Hash for the row bound now, borrowed or new like any evaluation
    // result: the caller holds it while in use.
    ValueHandle evaluate_row() const;

private:
    StatementList statements_;
    uint32_t bind_index_ = 0;
};

}  // namespace tolv
