// The character model and the UTF-8 / UTF-16 conversions.
#include "regexp/utf16_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/utf8_text.h"
#include "runtime/heap_fixture.h"

namespace tolv::tests {
namespace {

class Utf16TextTest : public HeapTest {};

TEST(Utf8Text, CountsAndStepsByLeadByte) {
    struct Case {
        std::string text;
        size_t chars;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"a\xE3\x81\x82" "b", 3},                 // a, あ, b
        {"\xF0\x9F\x98\x80x", 2},                 // an emoji is one character
        {std::string("a\0b", 3), 3},              // NUL is a character
        {"\x80" "abcde", 6},                      // a stray continuation byte stands alone
        {"x\xE3\x81", 2},                         // a sequence cut short ends with the text
        {"\xF8\x80\x80\x80\x80z", 2},             // 5-byte lead
        {"\xFF\xFE", 2},
        {"0123456789abcdef\xC3\xA9", 17},         // the eight-byte ASCII steps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(utf8_char_count(c.text.data(), c.text.size()), c.chars);
        EXPECT_EQ(utf8_skip(c.text.data(), c.text.size(), 0, c.chars), c.text.size());
        EXPECT_EQ(utf8_skip(c.text.data(), c.text.size(), 0, c.chars + 5), c.text.size());
    }
    std::string mixed = "ab\xE3\x81\x82\xC3\xA9" "cdefghijkl";
    EXPECT_EQ(utf8_skip(mixed.data(), mixed.size(), 0, 3), 5u);
    EXPECT_EQ(utf8_skip(mixed.data(), mixed.size(), 5, 1), 7u);
    EXPECT_EQ(utf8_skip(mixed.data(), mixed.size(), 0, 12), 15u);
}

TEST_F(Utf16TextTest, DecodesOneUnitPerCharacterWithItsByteOffset) {
    std::string text = std::string("a\xE3\x81\x82\xC3\xA9\x80", 7) + std::string("\0z\xE3\x81", 4);
    Utf16Text t(text.data(), text.size());
    std::vector<uint16_t> units(t.units(), t.units() + t.size());
    EXPECT_EQ(units, (std::vector<uint16_t>{'a', 0x3042, 0xE9, 0xFFFD, 0, 'z', 0xFFFD}));
    std::vector<uint32_t> offsets;
    for (size_t i = 0; i <= t.size(); ++i) offsets.push_back(t.byte_offset(i));
    EXPECT_EQ(offsets, (std::vector<uint32_t>{0, 1, 4, 6, 7, 8, 9, 11}));
    EXPECT_EQ(t.units()[-1], 0);
    EXPECT_EQ(t.units()[t.size()], 0);
}

TEST_F(Utf16TextTest, CharactersAboveTheBasicPlaneAreSurrogatePairsCountedAsOneCharacter) {
    // "ok 😀z": the pair's second unit leads to the byte and the character after it.
    Utf16Text t("ok \xF0\x9F\x98\x80z", 8);
    std::vector<uint16_t> units(t.units(), t.units() + t.size());
    EXPECT_EQ(units, (std::vector<uint16_t>{'o', 'k', ' ', 0xD83D, 0xDE00, 'z'}));
    std::vector<uint32_t> offsets, characters;
    for (size_t i = 0; i <= t.size(); ++i) {
        offsets.push_back(t.byte_offset(i));
        characters.push_back(uint32_t(t.character_of(i)));
    }
    EXPECT_EQ(offsets, (std::vector<uint32_t>{0, 1, 2, 3, 7, 7, 8}));
    EXPECT_EQ(characters, (std::vector<uint32_t>{0, 1, 2, 3, 4, 4, 5}));
    EXPECT_EQ(t.unit_of(3), 3u);
    EXPECT_EQ(t.unit_of(4), 5u);
    EXPECT_EQ(t.unit_of(5), 6u);
    EXPECT_EQ(t.unit_of(7), 8u);  // past the end stays as far past it

    // Beyond U+10FFFF, or cut short, it is no character, just a broken one.
    Utf16Text big("\xF7\xBF\xBF\xBF", 4), cut("\xF0\x9F\x98", 3);
    ASSERT_EQ(big.size(), 1u);
    EXPECT_EQ(big.units()[0], 0xFFFD);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut.units()[0], 0xFFFD);

    // A bounded area never takes half a pair.
    uint16_t out[3];
    EXPECT_EQ(utf8_to_utf16_pairs("a\xF0\x9F\x98\x80", 5, out, 3), 1u);

    // charCodeAt's conversion still refuses such a character.
    RaisedError e = raised_by([] {
        uint16_t unit[2];
        utf8_to_utf16("\xF0\x9F\x98\x80", 4, unit, 2);
    });
    EXPECT_EQ(e.code, "1595");
    EXPECT_NE(e.message.find("MultiToWide 文字の変換エラー(サロゲート文字)"), std::string::npos);
}

TEST_F(Utf16TextTest, LongTextsLeaveTheInlineArea) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += (i % 7 == 0) ? "\xE6\x97\xA5" : "x";
    Utf16Text t(text.data(), text.size());
    ASSERT_EQ(t.size(), 3000u);
    EXPECT_EQ(t.units()[0], 0x65E5);
    EXPECT_EQ(t.units()[1], 'x');
    EXPECT_EQ(t.byte_offset(3000), text.size());
    EXPECT_EQ(t.units()[-1], 0);
    // Reusing the object for a short text goes back to the inline area.
    t.assign("hi", 2);
    EXPECT_EQ(t.size(), 2u);
    EXPECT_EQ(t.byte_offset(2), 2u);
}

TEST_F(Utf16TextTest, RoundTripsTheBasicPlaneSurrogatesIncluded) {
    std::vector<uint16_t> units = {'A', 0x7F, 0x80, 0x7FF, 0x800, 0x3042, 0xD800, 0xDFFF, 0xFFFF, 0};
    ValueHandle s = string_from_utf16(units.data(), units.size());
    EXPECT_EQ(std::string(string_text(s), string_length(s)),
              std::string("A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xE3\x81\x82\xED\xA0\x80\xED\xBF\xBF\xEF\xBF\xBF", 21) +
                  std::string(1, '\0'));
    Utf16Text back(string_text(s), string_length(s));
    EXPECT_EQ(std::vector<uint16_t>(back.units(), back.units() + back.size()), units);
}

TEST_F(Utf16TextTest, BoundedAreasStopAtAWholeCharacter) {
    uint16_t out[3];
    uint32_t offsets[3];
    EXPECT_EQ(utf8_to_utf16("a\xE3\x81\x82z", 5, out, 3, offsets), 2u);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(offsets[2], 4u);

    const uint16_t units[] = {'a', 0x3042};
    char bytes[4];
    EXPECT_EQ(utf16_to_utf8(units, 2, bytes, sizeof bytes), 1u);  // あ needs 3 bytes + NUL
    EXPECT_STREQ(bytes, "a");
    EXPECT_EQ(utf8_size_of(units, 2), 4u);
}

}  // namespace
}  // namespace tolv::tests
