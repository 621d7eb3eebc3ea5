// String methods and the UTF-16 conversion on random bytes, NUL and broken
// sequences included: every result is made of the receiver's own bytes where
// it must be, and nothing reads outside a text (the asan build checks that).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/string/string_method_handlers.h"
#include "lib/string/string_methods.h"
#include "regexp/utf16_text.h"
#include "runtime/utf8_text.h"
#include "runtime/heap_fixture.h"

namespace tolv::tests {
namespace {

class BrokenText : public HeapTest {
protected:
    uint32_t next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(state_ >> 33);
    }
    // Mostly bytes that begin, continue or break sequences.
    std::string random_bytes(size_t max) {
        static const unsigned char BYTES[] = {'a', 'b', ',', ' ', '\t', 0, 0x80, 0xBF, 0xC3, 0xA9, 0xE3,
                                              0x81, 0x82, 0xF0, 0x9F, 0xF8, 0xFC, 0xFE, 0xFF, 0xED};
        std::string s;
        for (size_t n = next() % (max + 1); n > 0; --n) s += char(BYTES[next() % sizeof BYTES]);
        return s;
    }
    // A String held as a variable would hold it (so no method changes it in place).
    static ValueHandle held(const std::string& s) { return retain(retain(new_string(s.data(), s.size()))); }
    static std::string text(ValueHandle v) {
        EXPECT_EQ(kind_of(v), KIND_STRING);
        return std::string(string_text(v), string_length(v));
    }
    static bool inside(const std::string& piece, const std::string& whole) {
        return whole.find(piece) != std::string::npos;
    }

private:
    uint64_t state_ = 0x42524B4E;
};

TEST_F(BrokenText, MethodsKeepWithinTheText) {
    for (int round = 0; round < 2000; ++round) {
        std::string raw = random_bytes(14);
        SCOPED_TRACE(::testing::PrintToString(raw));
        ValueHandle s = held(raw);
        size_t chars = utf8_char_count(raw.data(), raw.size());
        ValueHandle a = new_integer(int32_t(next() % 20) - 5), b = new_integer(int32_t(next() % 20) - 5);
        ValueHandle two[] = {a, b};

        std::string c = text(string_char_at(s, two, 1));
        EXPECT_LE(c.size(), 6u);
        EXPECT_TRUE(inside(c, raw));
        for (auto method : {string_slice, string_substring, string_substr}) {
            std::string piece = text(method(s, two, 2));
            EXPECT_TRUE(inside(piece, raw));
            EXPECT_LE(utf8_char_count(piece.data(), piece.size()), chars);
        }
        EXPECT_TRUE(inside(text(string_trim(s, nullptr, 0)), raw));
        EXPECT_EQ(text(s), raw);  // a held receiver is never trimmed in place

        // Pieces of the text are found where they are.
        ValueHandle needle = held(text(string_slice(s, two, 2)));
        ValueHandle found = string_index_of(s, &needle, 1);
        EXPECT_GE(integer_value(found), 0);
        EXPECT_EQ(string_includes(s, &needle, 1), VALUE_TRUE);
        ValueHandle same[] = {needle, needle};
        EXPECT_EQ(text(string_replace_all(s, same, 2)), raw);

        // Split into characters or at a separator, the pieces rebuild the text.
        for (const std::string& separator : {std::string(), std::string(","), std::string("\xE3"), std::string(1, '\0')}) {
            ValueHandle sep_value = held(separator);
            ValueHandle pieces = string_split(s, &sep_value, 1);
            std::string joined;
            for (uint32_t i = 0; i < array_length(pieces); ++i) {
                if (i > 0) joined += separator;
                joined += text(array_elements(pieces)[i]);
            }
            EXPECT_EQ(joined, raw);
            if (separator.empty()) {
                EXPECT_EQ(array_length(pieces), chars);
            }
        }
        ValueHandle width = new_integer(int32_t(chars + next() % 4));
        EXPECT_EQ(text(string_pad_end(s, &width, 1)).compare(0, raw.size(), raw), 0);

        // The UTF-16 form has one unit per character, two for a 4-byte one
        // (a surrogate pair), and counts its characters as the String does.
        Utf16Text t(raw.data(), raw.size());
        EXPECT_GE(t.size(), chars);
        EXPECT_LE(t.size(), 2 * chars);
        EXPECT_EQ(t.character_of(t.size()), chars);
        EXPECT_EQ(t.byte_offset(t.size()), raw.size());
        for (size_t u = 0; u < t.size(); ++u) EXPECT_LE(t.byte_offset(u), raw.size());
    }
}

TEST_F(BrokenText, ATemporaryIsTrimmedWhereItLies) {
    // The call holds its receiver once: a count of 1 means nobody else does.
    ValueHandle temporary = retain(new_string(" \t x y \r\n", 9));
    EXPECT_EQ(string_trim(temporary, nullptr, 0), temporary);
    EXPECT_EQ(text(temporary), "x y");
    ValueHandle kept = held("  z ");
    ValueHandle trimmed = string_trim_start(kept, nullptr, 0);
    EXPECT_NE(trimmed, kept);
    EXPECT_EQ(text(trimmed), "z ");
    EXPECT_EQ(text(kept), "  z ");
}

}  // namespace
}  // namespace tolv::tests
