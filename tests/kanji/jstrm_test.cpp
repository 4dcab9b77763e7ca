#include "kanji/jstrm.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

TEST(LineEnd, DetectFindsTheFirstLineEnd) {
    const struct {
        std::string text;
        LineEndKind kind;
    } cases[] = {
        {"", leNone},           {"abc", leNone},     {"a\r\nb\n", leCRLF}, {"a\nb\r\n", leLF},
        {"a\rb\r\n", leCR},     {"abc\r", leCR},     {"\n", leLF},         {"\r\n", leCRLF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(DetectLineEnd(c.text), c.kind);
    }
}

TEST(LineEnd, ConvertReplacesOnlyTheFirstKind) {
    const struct {
        std::string text;
        LineEndKind wanted;
        std::string result;
    } cases[] = {
        {"a\r\nb\r\n", leLF, "a\nb\n"},
        {"a\nb\r\n", leCRLF, "a\r\nb\r\r\n"},  // LF-first: the LF of the CR LF is an LF too
        {"a\nb\r\n", leLF, "a\nb\r\n"},        // already LF-first: unchanged
        {"a\r\nb\rc", leLF, "a\nb\rc"},         // the lone CR is another kind and stays
        {"a\rb\r\nc", leLF, "a\nb\n\nc"},      // CR-first: the CR of a CR LF is a CR too
        {"a\rb", leCRLF, "a\r\nb"},            // what is inserted is not scanned again
        {"a\nb\n", leCR, "a\rb\r"},
        {"no line end", leLF, "no line end"},
        {"a\r\n", leNone, "a\r\n"},
        {"", leLF, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(ConvertLineEnd(c.text, c.wanted), c.result);
    }
}

TEST(TrailByte, CountsTheLeadBytesBeforeThePosition) {
    const std::string kana = "\x82\xA0\x41";
    EXPECT_FALSE(IsTrailByte(kana, 1));
    EXPECT_TRUE(IsTrailByte(kana, 2));
    EXPECT_FALSE(IsTrailByte(kana, 3));

    const std::string leads = "\x83\x83\x83\x41";
    EXPECT_FALSE(IsTrailByte(leads, 3));
    EXPECT_TRUE(IsTrailByte(leads, 4));

    // Half-width katakana and 0x80, 0xA0, 0xFD-0xFF are not lead bytes for this test.
    EXPECT_FALSE(IsTrailByte("\xB1\x41", 2));
    EXPECT_FALSE(IsTrailByte("\x80\x41", 2));
    EXPECT_FALSE(IsTrailByte("\xFD\x41", 2));
    EXPECT_TRUE(IsTrailByte("\xFC\x41", 2));
    EXPECT_TRUE(IsTrailByte("\xE0\x41", 2));
}

TEST(TrailByte, PositionsOutsideTheTextRaiseIllegalIndex) {
    const std::string text = "\x82\xA0";
    for (std::ptrdiff_t i : {std::ptrdiff_t(0), std::ptrdiff_t(-1), std::ptrdiff_t(3)}) {
        try {
            IsTrailByte(text, i);
            ADD_FAILURE() << "no error at " << i;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "Illegal Index");
        }
    }
    EXPECT_THROW(IsTrailByte("", 1), std::out_of_range);
}

} // namespace
