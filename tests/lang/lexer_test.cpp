#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lang/keywords.h"
#include "lang/lexer.h"
#include "lang/parse_state.h"
#include "lang/parser.h"
#include "lang/tree_text.h"
#include "runtime/errors.h"
#include "runtime/name_table.h"

namespace tolv::tests {
namespace {

class LexerTest : public ::testing::Test {
protected:
    void SetUp() override { reset_front_end(); }
};

// Runs comment removal on a copy; returns the text up to its NUL, or the error code.
std::string without_comments(const std::string& text, int* error = nullptr) {
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    try {
        remove_comments(copy.data());
    } catch (const ScriptThrow& thrown) {
        if (error) *error = thrown_code(thrown.value);
        return "";
    }
    return copy.data();
}

TEST_F(LexerTest, RemovesCommentsKeepingLinesAndLiterals) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"a /* b */ c", "a         c"},
        {"x = \"/* keep */\";", "x = \"/* keep */\";"},
        {"a\n/* 1\n2\n3 */b", "a\n    \n \n    b"},
        {"x = 1; // c\ny", "x = 1;     \ny"},
        {"x = 1; // last", "x = 1; "},
        {"s = 'http://a'; // z\n", "s = 'http://a';     \n"},
        {"s = \"a\\\"/*\"; t", "s = \"a\\\"/*\"; t"},
        {"/* \"*/\" */x", "          x"},
    };
    for (const Case& c : cases) EXPECT_EQ(without_comments(c.text), c.expected) << c.text;

    for (const char* bad : {"/* it's */ x;", "/* open", "a /* \" */"}) {
        int error = 0;
        without_comments(bad, &error);
        EXPECT_EQ(error, 1580) << bad;
    }
}

TEST_F(LexerTest, BlockCommentOverThreeLinesKeepsLaterLineNumbers) {
    EXPECT_EQ(module_error("/* a\nb\nc */\nx = ;"), 1125);
    EXPECT_EQ(g_error_context.parse_line, 4u);
}

TEST_F(LexerTest, RecognisesKeywordsAsWholeWords) {
    struct Case {
        const char* text;
        int code;
        size_t length;
    };
    const Case cases[] = {
        {"break;", 0, 5},           {"if(", 1, 2},
        {"let x", 2, 3},            {"return x", 3, 6},
        {"record_map(", 4, 10},     {"record_hash(", 5, 11},
        {"redis_linsert(", 13, 13}, {"var ", 14, 3},
        {"while(", 15, 5},          {"openDb(", 16, 6},
        {"closeDb(", 17, 7},        {"const ", 18, 5},
        {"continue;", 19, 8},       {"do{", 20, 2},
        {"decodeURI(", 21, 9},      {"decodeURIComponent(", 22, 18},
        {"eval(", 23, 4},           {"execute ", 24, 7},
        {"encodeURIComponent(", 26, 18}, {"for(", 27, 3},
        {"function f", 28, 8},      {"select ", 29, 6},
        {"sendToFront(", 34, 11},   {"switch(", 35, 6},
        {"sql_aggregate(", 37, 13}, {"throw e", 38, 5},
        {"try{", 39, 3},            {"parseInt(", 40, 8},
        {"parseFloat(", 41, 10},    {"alertToFront(", 42, 12},
        {"mongo_find(", 43, 10},    {"mongo_find_hash(", 62, 15},
        {"mongoc_write_command(", 67, 20},
    };
    for (const Case& c : cases) {
        const char* after = nullptr;
        EXPECT_EQ(recognise_keyword(c.text, &after), c.code) << c.text;
        if (c.code >= 0) {
            EXPECT_EQ(size_t(after - c.text), c.length) << c.text;
        }
    }
    for (const char* name : {"do2", "doX", "iffy", "if_", "format", "mongo_findx(", "breaking", "double",
                             "tryst", "x", "selectToFront2", "letter", "var1", "returns", "eval_x"}) {
        const char* after = nullptr;
        EXPECT_EQ(recognise_keyword(name, &after), -1) << name;
    }
}

TEST_F(LexerTest, IdentifierLengthLimitIs200) {
    const std::string ok = std::string(200, 'a') + " = 1;";
    const std::string too_long = std::string(201, 'a') + " = 1;";
    EXPECT_EQ(module_error(ok.c_str()), 0);
    EXPECT_EQ(module_error(too_long.c_str()), 1005);
}

TEST_F(LexerTest, ScriptLengthIsNotThePredefinedLengthName) {
    std::vector<char> text = {'l', 'e', 'n', 'g', 't', 'h', '\0'};
    uint32_t index = 0;
    read_identifier(text.data(), index);
    EXPECT_GE(index, uint32_t(PREDEFINED_NAME_COUNT));
    EXPECT_NE(index, uint32_t(NAME_LENGTH_INTERNAL));
}

TEST_F(LexerTest, ReadsStringLiterals) {
    struct Case {
        const char* text;
        const char* tree;
    };
    const Case cases[] = {
        {"x = 'a\\tb';", "(assign x \"a\tb\")"},
        {"x = `a\\tb`;", "(assign x \"a\\tb\")"},
        {"x = `a\\`b`;", "(assign x \"a`b\")"},
        {"x = \"q\\\"x\\\\\";", "(assign x \"q\"x\\\")"},
        {"x = 'a\r\nb';", "(assign x \"a\nb\")"},
        {"x = `v${a}`;", "(assign x `v${a}`)"},
    };
    for (const Case& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_text(c.text), c.tree) << c.text;
    }
    EXPECT_EQ(module_error("x = 'abc;"), 1010);
    EXPECT_EQ(module_error("x = 'abc\\"), 1010);
}

TEST_F(LexerTest, StringLiteralNewlinesCountAsLines) {
    module_text("x = 'a\nb';\ny = 1;");
    ASSERT_EQ(g_initialisers.size(), 2u);
    EXPECT_EQ(cell_as<OperationCell>(g_initialisers[1])->position & 0xFFFF, 3u);
}

TEST_F(LexerTest, ReadsNumberLiterals) {
    struct Case {
        const char* text;
        const char* tree;
    };
    const Case cases[] = {
        {"x = 0x1F;", "(assign x 31)"},
        {"x = 0xff;", "(assign x 255)"},
        {"x = .5;", "(assign x 0.5f)"},
        {"x = 1e3;", "(assign x 1000f)"},
        {"x = 2.5E-1;", "(assign x 0.25f)"},
        {"x = 1.25;", "(assign x 1.25f)"},
        {"x = 2147483647;", "(assign x 2147483647)"},
        {"x = -2147483648;", "(assign x -2147483648)"},
        // Beyond the Integer range a literal keeps its value as a Float.
        {"x = 2147483648;", "(assign x 2.14748e+09f)"},
        {"x = 0xFFFFFFFF;", "(assign x 4.29497e+09f)"},
        {"x = 99999999999;", "(assign x 1e+11f)"},
    };
    for (const Case& c : cases) {
        reset_front_end();
        EXPECT_EQ(module_text(c.text), c.tree) << c.text;
    }
    for (const char* bad : {"x = .2.3;", "x = 1e;", "x = 1e+;", "x = 0x;"}) {
        reset_front_end();
        EXPECT_EQ(module_error(bad), 1405) << bad;
    }
    // Only the leading-dot form is a number error; 1.2.3 reads .3 as a member.
    EXPECT_EQ(module_error("x = 1.2.3;"), 1015);
}

TEST_F(LexerTest, SearchesSkipLiterals) {
    const char* text = "a(\")\", ')') + `)`) tail";
    const char* closer = find_matching_closer(text + 2, ')', '(');
    ASSERT_NE(closer, nullptr);
    EXPECT_STREQ(closer, ") + `)`) tail");

    const char* nested = "(b)) c";
    EXPECT_STREQ(find_matching_closer(nested, ')', '('), ") c");
    EXPECT_EQ(find_matching_closer("(x", ')', '('), nullptr);
    EXPECT_EQ(find_matching_closer("\")", ')', '('), nullptr);

    EXPECT_STREQ(find_outside_literals("'a:b' \\: c: d", ':'), ": d");
    EXPECT_STREQ(find_outside_literals("\"x\\\":\" :y", ':'), ":y");
}

TEST_F(LexerTest, ExcerptStopsAtLineEndAndCountsCharacters) {
    EXPECT_STREQ(excerpt("abc\r\ndef", 120), "abc");
    EXPECT_STREQ(excerpt("abcdef", 3), "abc");
    // Three Japanese characters, three bytes each.
    EXPECT_STREQ(excerpt("日本語です", 3), "日本語");
    const std::string long_text(2000, 'x');
    EXPECT_EQ(std::strlen(excerpt(long_text.c_str(), 1000)), 510u);
    // A sequence cut short by the end of the text is not read past it.
    EXPECT_STREQ(excerpt("a\xE6", 5), "a\xE6");
}

TEST_F(LexerTest, PositionCodesCarryLineAndColumn) {
    module_text("x = 1;\n  y = 2;\n\tz(3);");
    ASSERT_EQ(g_initialisers.size(), 3u);
    const auto position = [](ValueHandle h) { return cell_as<OperationCell>(h)->position; };
    EXPECT_EQ(position(g_initialisers[0]), 1u | 3u << 16);  // the '=' of line 1
    EXPECT_EQ(position(g_initialisers[1]), 2u | 5u << 16);
    EXPECT_EQ(position(g_initialisers[2]), 3u | 3u << 16);  // the '(' of the call
}

// Looking past a statement for `else`, `catch` or `finally` must not count the
// newlines after it twice.
TEST_F(LexerTest, LinesAfterLookaheadCountOnce) {
    const char* statements[] = {
        "try { a(); } catch (e) { }",
        "try { a(); } finally { }",
        "try { a(); }\ncatch (e) { }\nfinally { }",
        "if (x) { a(); }",
        "if (x) { a(); } else { b(); }",
    };
    for (const char* statement : statements) {
        SCOPED_TRACE(statement);
        reset_front_end();
        const std::string text = std::string(statement) + "\n\n\nz(3);";
        const uint32_t expected_line = 4 + uint32_t(std::count(text.begin(), text.begin() + std::strlen(statement), '\n'));
        module_text(text.c_str());
        ASSERT_EQ(g_initialisers.size(), 2u);
        EXPECT_EQ(cell_as<OperationCell>(g_initialisers[1])->position & 0xFFFF, expected_line);
    }
}

}  // namespace
}  // namespace tolv::tests
