// Fresh load-mode heap and seeded name table for every test, plus helpers to
// look at raised errors and value texts.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/heap_check.h"
#include "runtime/name_table.h"
#include "runtime/text.h"
#include "runtime/value.h"

namespace tolv::tests {

class HeapTest : public ::testing::Test {
protected:
    void SetUp() override {
        heap_reset();
        seed_name_table();
    }
    void TearDown() override {
        EXPECT_EQ(heap_bookkeeping_fault(), "");
        heap_reset();
    }
};

struct RaisedError {
    std::string code;     // empty when nothing was raised
    std::string message;  // the full message, prefix included
};

template <class F>
RaisedError raised_by(F&& f) {
    try {
        f();
    } catch (const ScriptThrow& thrown) {
        const uint8_t* rec = value_ptr(thrown.value);
        return {error_code_text(rec), std::string(error_message(rec), error_message_length(rec))};
    }
    return {};
}

inline bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

inline std::string plain(ValueHandle v) {
    TextBuffer out;
    text_of(v, out);
    return std::string(out.data(), out.size());
}

inline std::string display(ValueHandle v, bool quote) {
    TextBuffer out;
    display_of(v, quote, out);
    return std::string(out.data(), out.size());
}

}  // namespace tolv::tests
