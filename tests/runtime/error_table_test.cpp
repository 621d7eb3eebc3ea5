// The error table and raising by name: the compile-time check of arguments
// against a row's format, the rows themselves, and what a raise by name
// produces.
#include <set>
#include <string>
#include <utility>

#include "runtime/error_table.h"
#include "runtime/heap_fixture.h"

namespace tolv::tests {
namespace {

using error_format::accepts;

// What the checker lets through is what printf reads; a slip here lets a
// raise pass a wrong argument unnoticed.
static_assert(accepts<>("no conversion, 100%% sure"));
static_assert(accepts<const char*>("'%s'"));
static_assert(accepts<char*>("'%s'"));
static_assert(!accepts<int>("'%s'"));
static_assert(!accepts<>("'%s'"));
static_assert(!accepts<const char*, const char*>("'%s'"));
static_assert(accepts<int, const char*>("'%.*s'"));
static_assert(!accepts<const char*>("'%.*s'"));
static_assert(!accepts<size_t, const char*>("'%.*s'"));
static_assert(accepts<int, const char*, const char*>("('%.1s'なし) %.1s%s") == false);
static_assert(accepts<const char*, const char*, const char*>("('%.1s'なし) %.1s%s"));
static_assert(accepts<int>("%d") && accepts<unsigned>("%u") && accepts<uint16_t>("%x") && accepts<bool>("%d"));
static_assert(!accepts<size_t>("%d") && !accepts<int64_t>("%u") && !accepts<double>("%d"));
static_assert(accepts<size_t>("%zu") && !accepts<int>("%zu"));
static_assert(accepts<long>("%ld") && accepts<long long>("%lld") && !accepts<int>("%ld"));
static_assert(accepts<double>("%.2f") && accepts<float>("%g") && !accepts<int>("%f"));
static_assert(accepts<int, int>("%-*d") && accepts<const void*>("%p"));
static_assert(!accepts<int*>("%n") && !accepts<const char*>("%ls") && !accepts<>("cut short %"));

TEST(ErrorTableTest, EveryRowHasACodeAndAFormatTheCheckerReads) {
    for (size_t i = 0; i < ERROR_ROW_COUNT; ++i) {
        const ErrorRow& row = error_text::ROWS[i];
        SCOPED_TRACE(row.format);
        EXPECT_GE(row.code, 1000);
        EXPECT_LE(row.code, 9999);
        EXPECT_FALSE(error_format::slots_of(row.format).unsupported);
    }
}

TEST(ErrorTableTest, NoTwoRowsAreTheSameError) {
    std::set<std::pair<int, std::string>> seen;
    for (size_t i = 0; i < ERROR_ROW_COUNT; ++i) {
        const ErrorRow& row = error_text::ROWS[i];
        EXPECT_TRUE(seen.insert({row.code, row.format}).second) << row.code << " " << row.format;
    }
}

TEST(ErrorTableTest, SharedTextsAreTheRowsFormats) {
    EXPECT_EQ(error_row(Error::NOT_STRING_ARGUMENT_2720).format, error_text::NOT_STRING_ARGUMENT);
    EXPECT_EQ(error_row(Error::NOT_STRING_ARGUMENT_2815).format, error_text::NOT_STRING_ARGUMENT);
    EXPECT_EQ(error_row(Error::NOT_STRING_ARGUMENT_2720).code, 2720);
    EXPECT_STREQ(error_text::NOT_STRING_ARGUMENT, "引数不正(非文字列)");
}

using RaiseByNameTest = HeapTest;

TEST_F(RaiseByNameTest, EvalErrorCarriesTheRowsCodeAndFormattedMessage) {
    const RaisedError plain_row = raised_by([] { raise(Error::DIVISION_BY_ZERO); });
    EXPECT_EQ(plain_row.code, "2330");
    EXPECT_TRUE(plain_row.message.starts_with("EVAL ERROR 2330 ("));
    EXPECT_TRUE(ends_with(plain_row.message, ") : オペレーション不正(０割)"));

    const RaisedError with_arguments = raised_by([] { raise(Error::BAD_FUNCTION_CALL, "f", 3); });
    EXPECT_EQ(with_arguments.code, "2155");
    EXPECT_TRUE(ends_with(with_arguments.message, ") : 関数不正(f), 3"));

    // A percent sign in an argument is text, not a conversion.
    const RaisedError percent = raised_by([] { raise(Error::MODULE_OPEN, "100%s.js"); });
    EXPECT_TRUE(ends_with(percent.message, ") : ファイルオープン不正 '100%s.js'"));
}

TEST_F(RaiseByNameTest, ParseErrorAndRaiseWithUseTheirOwnPrefix) {
    const RaisedError parse = raised_by([] { raise_parse(Error::BAD_FORMAT_1025, "x"); });
    EXPECT_EQ(parse.code, "1025");
    EXPECT_TRUE(parse.message.starts_with("PARSE ERROR 1025 ("));
    EXPECT_TRUE(ends_with(parse.message, ") : フォーマット不正 'x'"));

    const RaisedError through = raised_by([] { raise_with(parse_fail, Error::REGEXP_BAD_STAR_4655, "a**"); });
    EXPECT_EQ(through.code, "4655");
    EXPECT_TRUE(through.message.starts_with("PARSE ERROR 4655 ("));
    EXPECT_TRUE(ends_with(through.message, ") : 'a**'のフォーマット不正 (*)"));
}

TEST_F(RaiseByNameTest, AStoredFormRaisesLater) {
    // Tables of errors hold forms checked when the table is built.
    static constexpr ErrorForm<> CHOICES[] = {Error::BAD_INDEX_2025, Error::BAD_INDEX_2032};
    const RaisedError second = raised_by([] { raise(CHOICES[1]); });
    EXPECT_EQ(second.code, "2032");
    EXPECT_TRUE(ends_with(second.message, ") : インデックス不正"));
}

}  // namespace
}  // namespace tolv::tests
