#include "kanji/jconvert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kEsc2 = "\x1B$B"; // into two-byte mode
const std::string kEsc1 = "\x1B(J"; // back to Roman

struct Case {
    const char* what;
    std::string sjis;
    std::string jis;
    std::string euc;
};

// Texts that convert both ways: Shift_JIS -> JIS/EUC and back again.
const Case kRoundTrips[] = {
    {"hiragana and katakana", "\x82\xA0\x83\x41", kEsc2 + "\x24\x22\x25\x22" + kEsc1, "\xA4\xA2\xA5\xA2"},
    {"ASCII line unchanged", "abc\r\n", "abc\r\n", "abc\r\n"},
    {"shift back before CR LF", "\x8A\xBF\x8E\x9A\r\n", kEsc2 + "\x34\x41\x3B\x7A" + kEsc1 + "\r\n",
     "\xB4\xC1\xBB\xFA\r\n"},
    {"text ending in a kanji", "a\x8A\xBF", "a" + kEsc2 + "\x34\x41" + kEsc1, "a\xB4\xC1"},
    {"mode changes on every switch", "\x82\xA0x\x82\xA0", kEsc2 + "\x24\x22" + kEsc1 + "x" + kEsc2 + "\x24\x22" + kEsc1,
     "\xA4\xA2x\xA4\xA2"},
    {"empty", "", "", ""},
    {"last JIS row and column", "\xEA\xA4\x81\x40\x9F\xFC", kEsc2 + "\x74\x26\x21\x21\x5E\x7E" + kEsc1,
     "\xF4\xA6\xA1\xA1\xDE\xFE"},
};

TEST(KanjiConvert, RoundTrips) {
    for (const Case& c : kRoundTrips) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SjisToJis(c.sjis), c.jis);
        EXPECT_EQ(SjisToEuc(c.sjis), c.euc);
        EXPECT_EQ(JisToSjis(c.jis), c.sjis);
        EXPECT_EQ(EucToSjis(c.euc), c.sjis);
    }
}

// Half-width katakana become full-width JIS X 0208 characters, merging sound marks where a
// full-width form exists.
TEST(KanjiConvert, HalfWidthKatakanaInJis) {
    const struct {
        std::string sjis, jisChars;
    } cases[] = {
        {"\xB6\xDE", "\x25\x2C"},                 // ｶﾞ -> ガ
        {"\xC4\xDE", "\x25\x49"},                 // ﾄﾞ -> ド
        {"\xCA\xDF", "\x25\x51"},                 // ﾊﾟ -> パ
        {"\xCE\xDE", "\x25\x5C"},                 // ﾎﾞ -> ボ
        {"\xB3\xDE", "\x25\x74"},                 // ｳﾞ -> ヴ
        {"\xB1\xDE", "\x25\x22\x21\x2B"},         // ｱﾞ -> ア゛, no merged form
        {"\xB6\xDF", "\x25\x2B\x21\x2C"},         // ｶﾟ -> カ゜
        {"\xDE", "\x21\x2B"},                     // a lone ﾞ
        {"\xDF", "\x21\x2C"},                     // a lone ﾟ
        {"\xB6", "\x25\x2B"},                     // ｶ at the end: its mark would be in the next piece
        {"\xA1\xA2\xA3\xA4\xA5\xB0", "\x21\x23\x21\x56\x21\x57\x21\x22\x21\x26\x21\x3C"},
        {"\xA6\xDD", "\x25\x72\x25\x73"},         // ｦﾝ
        {"\xB6\xDE\xDE", "\x25\x2C\x21\x2B"},     // one mark merges, the second stands alone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.sjis));
        EXPECT_EQ(SjisToJis(c.sjis), kEsc2 + c.jisChars + kEsc1);
    }
    // Katakana next to kanji share the one two-byte run.
    EXPECT_EQ(SjisToJis("\xB1\x82\xA0"), kEsc2 + "\x25\x22\x24\x22" + kEsc1);
}

TEST(KanjiConvert, HalfWidthKatakanaStayHalfWidthInEuc) {
    EXPECT_EQ(SjisToEuc("\xB1"), "\x8E\xB1");
    EXPECT_EQ(SjisToEuc("\xB6\xDE"), "\x8E\xB6\x8E\xDE");
    EXPECT_EQ(EucToSjis("\x8E\xB1"), "\xB1");
    EXPECT_EQ(EucToSjis("\x8E\xB6\x8E\xDE" "a"), "\xB6\xDE" "a");
}

TEST(KanjiConvert, HalfKanaToJisAdvancesPastWhatItUsed) {
    const std::string text = "\xCA\xDF\xB1x";
    std::size_t p = 1;
    EXPECT_EQ(HalfKanaToJis(text, p), (CharBytes{0x25, 0x51}));
    EXPECT_EQ(p, 3u);
    EXPECT_EQ(HalfKanaToJis(text, p), (CharBytes{0x25, 0x22}));
    EXPECT_EQ(p, 4u);
}

TEST(KanjiConvert, HalfKanaTableRows) {
    EXPECT_EQ(HalfKanaTable[0xA1 & 0x7F], 0x23);
    EXPECT_EQ(HalfKanaTable[0xDD & 0x7F], 0x73);
    EXPECT_EQ(HalfKanaTable[0xDF & 0x7F], 0x2C);
    EXPECT_EQ(HalfKanaTable[0x20], 0);
    EXPECT_EQ(HalfKanaTable[0x60], 0);
}

TEST(KanjiConvert, JisEscapeSequences) {
    const struct {
        const char* what;
        std::string jis, sjis;
    } cases[] = {
        {"two escapes in a row", "\x1B(B\x1B$B\x24\x22", "\x82\xA0"},
        {"ESC $ @ is two-byte too", "\x1B$@\x24\x22\x1B(B!", "\x82\xA0!"},
        {"ESC ( I is single-byte, no katakana", "\x1B$B\x24\x22\x1B(I\x31", "\x82\xA0\x31"},
        {"other escapes are dropped, mode kept", "\x1B$B\x1B&@\x24\x22", "\x82\xA0"},
        {"CR LF inside two-byte mode pair up", "\x1B$B\r\n", "\x77\x29"},
        {"no escapes: copied", "plain\r\n", "plain\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(JisToSjis(c.jis), c.sjis);
    }
}

TEST(KanjiConvert, EucBytesWithoutSpecialMeaning) {
    EXPECT_EQ(EucToSjis("\x80\xFF" "a"), "\x80\xFF" "a");
    // 0x8F (single shift 3) is just a first byte here.
    EXPECT_EQ(EucToSjis("\x8F\xA2"), "\x78\x41");
}

// Malformed Shift_JIS is converted by the same arithmetic: 0x80, 0xA0 and 0xFD-0xFF are lead bytes.
TEST(KanjiConvert, OddLeadBytesConvertArithmetically) {
    for (unsigned char lead : {0x80, 0xA0, 0xFD, 0xFF}) {
        const std::string sjis = {char(lead), '\x40'};
        const CharBytes j = SjisCharToJis(lead, 0x40);
        EXPECT_EQ(SjisToEuc(sjis), std::string({char(j.first | 0x80), char(j.second | 0x80)}));
        EXPECT_EQ(SjisToJis(sjis), kEsc2 + std::string({char(j.first), char(j.second)}) + kEsc1);
    }
}

// A unit cut off by the end of the input writes nothing, and nothing past the end is read
// (the sanitizer build checks the second half).
TEST(KanjiConvert, UnitsCutOffByTheEndAreDropped) {
    EXPECT_EQ(SjisToJis("a\x82"), "a");
    EXPECT_EQ(SjisToJis("\x82\xA0\x82"), kEsc2 + "\x24\x22" + kEsc1);
    EXPECT_EQ(SjisToEuc("a\x82"), "a");
    EXPECT_EQ(EucToSjis("a\xA4"), "a");
    EXPECT_EQ(EucToSjis("a\x8E"), "a");
    EXPECT_EQ(JisToSjis("a\x1B"), "a");
    EXPECT_EQ(JisToSjis("a\x1B$"), "a");
    EXPECT_EQ(JisToSjis("\x1B$B\x24\x22\x24"), "\x82\xA0");
    // Inputs are copied into exact-size buffers so that a read past the end is a sanitizer error.
    for (const char* s : {"\x82", "\xE0", "\x8E", "\xA4", "\x1B", "\x1B$", "\xB6"}) {
        const std::string exact(s);
        (void)SjisToJis(exact);
        (void)SjisToEuc(exact);
        (void)JisToSjis(exact);
        (void)EucToSjis(exact);
    }
}

TEST(KanjiConvert, CharacterArithmetic) {
    EXPECT_EQ(SjisCharToJis(0x82, 0xA0), (CharBytes{0x24, 0x22}));
    EXPECT_EQ(SjisCharToJis(0x81, 0x40), (CharBytes{0x21, 0x21}));
    EXPECT_EQ(SjisCharToJis(0x81, 0x80), (CharBytes{0x21, 0x60}));
    EXPECT_EQ(SjisCharToJis(0x81, 0x9F), (CharBytes{0x22, 0x21}));
    EXPECT_EQ(SjisCharToJis(0xE0, 0x40), (CharBytes{0x5F, 0x21}));
    EXPECT_EQ(JisCharToSjis(0x24, 0x22), (CharBytes{0x82, 0xA0}));
    EXPECT_EQ(JisCharToSjis(0x21, 0x60), (CharBytes{0x81, 0x80}));
    EXPECT_EQ(JisCharToSjis(0x5F, 0x21), (CharBytes{0xE0, 0x40}));
    // Every valid JIS code goes there and back.
    for (int j1 = 0x21; j1 <= 0x7E; ++j1)
        for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
            const CharBytes s = JisCharToSjis(j1, j2);
            ASSERT_EQ(SjisCharToJis(s.first, s.second), (CharBytes{(unsigned char)j1, (unsigned char)j2}));
        }
}

} // namespace
