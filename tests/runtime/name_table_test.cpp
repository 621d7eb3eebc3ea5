#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/name_table.h"
#include "runtime/value.h"

namespace tolv {
namespace {

class NameTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        heap_reset();
        seed_name_table();
    }
};

uint32_t intern(const std::string& s) { return intern_name(s.data(), s.size()); }
uint32_t find(const std::string& s) { return find_name(s.data(), s.size()); }

TEST(NameKeyTest, LengthAboveWeightedByteSum) {
    struct Case {
        std::string text;
        uint32_t key;
    };
    const Case cases[] = {
        {"a", 1u << 24 | 97},
        {"ab", 2u << 24 | (97 + 2 * 98)},
        // Weights run 1-16, then 0 for the 17th byte, then start again.
        {std::string(18, 'a'), 18u << 24 | (136 * 97 + 1 * 97)},
        {"length ", 7u << 24 | (108 + 2 * 101 + 3 * 110 + 4 * 103 + 5 * 116 + 6 * 104 + 7 * 32)},
    };
    for (const Case& c : cases) EXPECT_EQ(name_key(c.text.data(), c.text.size()), c.key) << c.text;
    std::string high(255, '\xFF');
    EXPECT_EQ(name_key(high.data(), high.size()) >> 24, 255u);
}

TEST_F(NameTableTest, PredefinedNamesSitAtTheirIndexes) {
    struct Case {
        uint32_t index;
        const char* text;
    };
    const Case cases[] = {
        {NAME_UNDEFINED, "undefined"}, {NAME_NAN, "NaN"},           {NAME_THIS, "this"},
        {NAME_MATH, "Math"},           {NAME_CONNECTION, "Connection"}, {NAME_EXCEPTION, "Exception"},
        {NAME_GROUPS, "groups"},       {NAME_LENGTH_INTERNAL, "length "}, {NAME_NO_AUTHORIZATION, "no_authorization"},
        {NAME_TOTAL_COUNT, "total_count"}, {NAME_SET_OP, "$set"},    {NAME_UNSET_OP, "$unset"},
        {NAME_COLM, "_c__o__l__m_"},   {NAME_KEY_INTERNAL, "_k__e__y_"}, {NAME_NEW, "new"},
    };
    EXPECT_EQ(name_count(), 53u);
    for (const Case& c : cases) {
        EXPECT_STREQ(name_text(c.index), c.text) << c.index;
        EXPECT_EQ(name_length(c.index), std::strlen(c.text));
        EXPECT_EQ(intern(c.text), c.index);
        EXPECT_EQ(g_names.entries[c.index].key, name_key(c.text, std::strlen(c.text)));
    }
    // A script's `length` is a name of its own.
    EXPECT_EQ(find("length"), UINT32_MAX);
    EXPECT_EQ(intern("length"), 53u);
}

TEST_F(NameTableTest, InterningAddsOnceInOrderOfFirstAppearance) {
    uint32_t a = intern("alpha");
    uint32_t b = intern("beta");
    EXPECT_EQ(a, 53u);
    EXPECT_EQ(b, 54u);
    EXPECT_EQ(intern("alpha"), a);
    EXPECT_EQ(find("beta"), b);
    EXPECT_EQ(find("gamma"), UINT32_MAX);
    EXPECT_EQ(name_count(), 55u);

    const NameEntry& e = g_names.entries[b];
    EXPECT_EQ(e.length, 4);
    EXPECT_EQ(e.key, name_key("beta", 4));
    EXPECT_STREQ(g_names.pool + e.pool_offset, "beta");

    seed_name_table();
    EXPECT_EQ(name_count(), 53u);
    EXPECT_EQ(find("alpha"), UINT32_MAX);
}

TEST_F(NameTableTest, NamesWithEqualKeysStayApart) {
    // 97 + 2*98 == 99 + 2*97 == 101 + 2*96 == 93 + 2*100
    const std::string same_key[] = {"ab", "ca", "e`", "]d"};
    for (const std::string& s : same_key) ASSERT_EQ(name_key(s.data(), 2), name_key("ab", 2));
    std::vector<uint32_t> indexes;
    for (const std::string& s : same_key) indexes.push_back(intern(s));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(find(same_key[i]), indexes[i]);
        EXPECT_EQ(intern(same_key[i]), indexes[i]);
        EXPECT_EQ(name_text(indexes[i]), same_key[i]);
    }
    EXPECT_EQ(find("ba"), UINT32_MAX);
}

TEST_F(NameTableTest, GrowsPastItsFirstEntriesAndPool) {
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) names.push_back("name_" + std::to_string(i * 7919));
    for (size_t i = 0; i < names.size(); ++i) ASSERT_EQ(intern(names[i]), 53 + i);
    EXPECT_GE(g_names.capacity, 5053u);
    EXPECT_EQ(g_names.capacity % 2048, 0u);
    EXPECT_EQ(g_names.pool_capacity % 2048, 0u);
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_EQ(find(names[i]), 53 + i);
        ASSERT_EQ(name_text(uint32_t(53 + i)), names[i]);
    }
    const std::vector<NameKeyPair> sorted = sorted_name_keys();
    ASSERT_EQ(sorted.size(), size_t(g_names.count));
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(),
                               [](const NameKeyPair& x, const NameKeyPair& y) { return x.key < y.key; }));
    EXPECT_EQ(find("Math"), NAME_MATH);
}

TEST_F(NameTableTest, NameLongerThan255BytesIsRefused) {
    std::string longest(255, 'n');
    EXPECT_EQ(name_length(intern(longest)), 255u);
    std::string too_long(256, 'n');
    try {
        intern(too_long);
        FAIL() << "no error raised";
    } catch (const ScriptThrow& thrown) {
        EXPECT_STREQ(error_code_text(value_ptr(thrown.value)), "1005");
    }
}

}  // namespace
}  // namespace tolv
