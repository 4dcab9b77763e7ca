// Telling UTF-8 texts from Shift_JIS ones: whole texts from a table, and the same answers when a
// text comes in pieces cut anywhere.
#include "kanji/utf8text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const struct {
    const char* what;
    std::string text;
    bool utf8;
    bool bom;
} kTexts[] = {
    {"empty", "", false, false},
    {"ASCII only reads the same either way", "plain text\r\n", false, false},
    {"Japanese in UTF-8", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\r\n", true, false},
    {"Japanese in Shift_JIS", "\x93\xFA\x96\x7B\x8C\xEA\r\n", false, false},
    {"Japanese in EUC-JP", "\xC6\xFC\xCB\xDC\xB8\xEC\n", false, false},
    {"half-width katakana in Shift_JIS", "\xB1\xB2\xB3", false, false},
    {"a byte-order mark before ASCII", "\xEF\xBB\xBFplain", true, true},
    {"a byte-order mark before bad bytes", "\xEF\xBB\xBF\x93\xFA", true, true},
    {"an emoji, four bytes", "a\xF0\x9F\x98\x80", true, false},
    {"U+10FFFF, the last character", "\xF4\x8F\xBF\xBF", true, false},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, false},
    {"an overlong slash", "\xC0\xAF", false, false},
    {"an overlong three-byte form", "\xE0\x80\xAF", false, false},
    {"a surrogate", "\xED\xA0\x80", false, false},
    {"a character cut off at the end", "abc\xE6\x97", false, false},
    {"a stray continuation byte", "\xE6\x97\xA5\x80", false, false},
    {"UTF-8 text with one Shift_JIS character", "\xE6\x97\xA5\x93\xFA", false, false},
    {"a mark that is not at the start", "a\xEF\xBB\xBF", true, false},
};

TEST(Utf8Text, WholeTexts) {
    for (const auto& c : kTexts) {
        EXPECT_EQ(IsUtf8Text(c.text), c.utf8) << c.what;
        TUtf8Scan scan;
        scan.Feed(c.text);
        EXPECT_EQ(scan.HasBom(), c.bom) << c.what;
    }
}

TEST(Utf8Text, PiecesCutAnywhereGiveTheSameAnswer) {
    for (const auto& c : kTexts) {
        for (std::size_t cut1 = 0; cut1 <= c.text.size(); ++cut1) {
            for (std::size_t cut2 = cut1; cut2 <= c.text.size(); ++cut2) {
                TUtf8Scan scan;
                scan.Feed(std::string_view(c.text).substr(0, cut1));
                scan.Feed(std::string_view(c.text).substr(cut1, cut2 - cut1));
                scan.Feed(std::string_view(c.text).substr(cut2));
                EXPECT_EQ(scan.IsUtf8(), c.utf8) << c.what << " cut at " << cut1 << ", " << cut2;
                EXPECT_EQ(scan.HasBom(), c.bom) << c.what << " cut at " << cut1 << ", " << cut2;
            }
        }
    }
}

TEST(Utf8Text, LastCharacterOfAPiece) {
    const struct {
        std::string text;
        std::size_t size;
    } cases[] = {
        {"", 0},
        {"ab", 1},
        {"a\xE6\x97\xA5", 3},        // whole
        {"a\xE6\x97", 2},            // cut after two of three bytes
        {"a\xF0\x9F\x98\x80", 4},    // whole emoji
        {"\xF0\x9F\x98", 3},         // emoji cut short
        {"\xC3\xA9\xC3", 1},         // a lead byte alone
        {"\x80\x80\x80\x80\x80", 4}, // no lead byte within reach
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8LastCharSize(c.text), c.size) << testing::PrintToString(c.text);
}

} // namespace
