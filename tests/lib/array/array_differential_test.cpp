// The Array methods against node on generated arrays (fixed seeds): join,
// slice, concat, indexOf, lastIndexOf, reverse and sort, by text and with a
// comparator. Input classes where the language differs from ECMAScript on
// purpose are left out where they are generated, each with its reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/node_peer.h"
#include "support/seeded_random.h"

namespace tolv::tests {
namespace {

std::string integer(int64_t n) { return n < 0 ? "(" + std::to_string(n) + ")" : std::to_string(n); }

// Texts made of ASCII and a few characters of the Basic Multilingual Plane.
std::string random_text(Random& rng) {
    static const char* const CHARS[] = {"a", "b", "Z", "0", "9", " ", ",", "-", "'", "\xC3\xA9", "\xE3\x81\x82",
                                        "\xE6\x97\xA5"};
    std::string s;
    for (uint32_t i = 0, n = rng.below(5); i < n; ++i) s += CHARS[rng.below(12)];
    return s;
}

// One element: an Integer, a String or a Float.
// Left out: Floats with an integral value (printed as 2.0 here, 2 in
// ECMAScript), undefined and null (joined as their names here, as "" in
// ECMAScript) and nested arrays (written in brackets here).
std::string random_element(Random& rng, uint32_t number_percent = 60) {
    if (rng.chance(number_percent)) {
        int32_t whole = rng.between(-20, 120);
        if (rng.chance(20)) {
            static const char* const FRACTIONS[] = {".5", ".25", ".125", ".75"};
            return whole < 0 ? "(" + std::to_string(whole) + FRACTIONS[rng.below(4)] + ")"
                             : std::to_string(whole) + FRACTIONS[rng.below(4)];
        }
        return integer(whole);
    }
    return js_literal(random_text(rng));
}

std::string random_array(Random& rng, uint32_t max_length, uint32_t number_percent = 60) {
    std::string out = "[";
    for (uint32_t i = 0, n = rng.below(max_length + 1); i < n; ++i) {
        if (i) out += ", ";
        out += random_element(rng, number_percent);
    }
    return out + "]";
}

uint32_t length_of(const std::string& array) {
    if (array == "[]") return 0;
    uint32_t commas = 0;
    bool quoted = false;
    for (size_t i = 0; i < array.size(); ++i) {
        if (array[i] == '\\') {
            ++i;
        } else if (array[i] == '"') {
            quoted = !quoted;
        } else if (array[i] == ',' && !quoted) {
            ++commas;
        }
    }
    return commas + 1;
}

void expect_same_as_node(const PeerScript& script) {
    if (node_program().empty()) GTEST_SKIP() << "node is not installed (tools/setup.sh installs it)";
    PeerComparison c = compare_with_node(script);
    EXPECT_EQ(c.mismatched, 0u) << c.mismatched << " of " << c.cases << " cases differ\n" << c.report;
    EXPECT_EQ(c.both_threw, 0u) << c.report;
    ::testing::Test::RecordProperty("cases", int(c.cases));
}

TEST(NodeDifferential, ArrayJoinSliceConcatReverse) {
    Random rng(0x4152520001ull);
    PeerScript script;
    static const char* const SEPARATORS[] = {"", ",", " ", " - ", "\xE3\x80\x81", "ab"};
    for (int i = 0; i < 80; ++i) {
        std::string a = random_array(rng, 7);
        script.add("join", rng.chance(25) ? a + ".join()" : a + ".join(" + js_literal(SEPARATORS[rng.below(6)]) + ")");
    }
    for (int i = 0; i < 70; ++i) {
        std::string a = random_array(rng, 7);
        int32_t n = int32_t(length_of(a));
        switch (rng.below(3)) {
        case 0: script.add("slice", a + ".slice()"); break;
        case 1: script.add("slice", a + ".slice(" + integer(rng.between(-n - 3, n + 3)) + ")"); break;
        default:
            script.add("slice", a + ".slice(" + integer(rng.between(-n - 3, n + 3)) + ", " +
                                    integer(rng.between(-n - 3, n + 3)) + ")");
        }
    }
    // Arguments that are no arrays are refused here, appended in ECMAScript.
    for (int i = 0; i < 40; ++i) {
        std::string call = random_array(rng, 4) + ".concat(";
        for (uint32_t k = 0, n = 1 + rng.below(3); k < n; ++k) call += (k ? ", " : "") + random_array(rng, 3);
        script.add("concat", call + ")");
    }
    for (int i = 0; i < 30; ++i) script.add("reverse", random_array(rng, 8) + ".reverse()");
    expect_same_as_node(script);
}

TEST(NodeDifferential, ArraySearches) {
    Random rng(0x4152520002ull);
    PeerScript script;
    for (int i = 0; i < 140; ++i) {
        // Small numbers and short texts so that searches find something.
        std::string a = "[";
        uint32_t n = rng.below(8);
        for (uint32_t k = 0; k < n; ++k) {
            a += k ? ", " : "";
            a += rng.chance(60) ? integer(rng.between(-2, 4)) : js_literal(std::string(1 + rng.below(2), char('a' + rng.below(3))));
        }
        a += "]";
        std::string wanted = rng.chance(60) ? integer(rng.between(-2, 4)) : js_literal(std::string(1 + rng.below(2), char('a' + rng.below(3))));
        if (rng.chance(10)) wanted = rng.chance(50) ? "2.0" : "1.5";
        bool last = rng.chance(40);
        std::string call = a + (last ? ".lastIndexOf(" : ".indexOf(") + wanted;
        if (rng.chance(50)) {
            // lastIndexOf from before the first element: position 0 is still
            // searched here, nothing in ECMAScript.
            int32_t low = last ? -int32_t(n) : -int32_t(n) - 3;
            call += ", " + integer(rng.between(low, int32_t(n) + 3));
        }
        script.add(last ? "lastIndexOf" : "indexOf", call + ")");
    }
    expect_same_as_node(script);
}

TEST(NodeDifferential, ArraySort) {
    Random rng(0x4152520003ull);
    PeerScript script;
    // Comparators answer numbers: here any other answer counts as "equal".
    script.prelude("function ascending(a, b) { return a - b; }");
    script.prelude("function descending(a, b) { return b - a; }");
    script.prelude("function byFirst(a, b) { return a[0] - b[0]; }");
    script.prelude("function byText(a, b) { if (a < b) return -1; if (a > b) return 1; return 0; }");
    for (int i = 0; i < 60; ++i) {
        std::string a = "[";
        for (uint32_t k = 0, n = rng.below(12); k < n; ++k) a += (k ? ", " : "") + integer(rng.between(-50, 50));
        a += "]";
        script.add("sort numbers", a + ".sort(" + (rng.chance(50) ? "ascending" : "descending") + ")");
    }
    for (int i = 0; i < 30; ++i) {
        // Pairs with repeated keys: the sort must keep equal ones in order.
        std::string a = "[";
        for (uint32_t k = 0, n = rng.below(10); k < n; ++k)
            a += (k ? ", " : "") + std::string("[") + integer(rng.between(0, 3)) + ", " + integer(int32_t(k)) + "]";
        script.add("sort stable", a + "].sort(byFirst)");
    }
    for (int i = 0; i < 30; ++i) {
        std::string a = "[";
        for (uint32_t k = 0, n = rng.below(8); k < n; ++k) a += (k ? ", " : "") + js_literal(random_text(rng));
        script.add("sort texts", a + "].sort(byText)");
    }
    // Without a comparator elements are ordered by their texts. Floats are
    // left out (their texts differ, as for join).
    for (int i = 0; i < 40; ++i) {
        std::string a = "[";
        for (uint32_t k = 0, n = rng.below(9); k < n; ++k) {
            a += k ? ", " : "";
            a += rng.chance(50) ? integer(rng.between(-30, 300)) : js_literal(random_text(rng));
        }
        script.add("sort", a + "].sort()");
    }
    expect_same_as_node(script);
}

}  // namespace
}  // namespace tolv::tests
