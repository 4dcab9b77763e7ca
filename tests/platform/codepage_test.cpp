#include "platform/codepage.h"

#include <QString>
#include <gtest/gtest.h>

#include <iconv.h>

TEST(CodePage, JapaneseNamesRoundTrip) {
    // 日本語.txt in UTF-8 and in CP932.
    const std::string utf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt";
    const std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA.txt";
    EXPECT_EQ(Utf8ToSystem(utf8), sjis);
    EXPECT_EQ(SystemToUtf8(sjis), utf8);
    EXPECT_EQ(QStringToSystem(QString::fromUtf8(utf8.c_str())), sjis);
    EXPECT_EQ(SystemToQString(sjis), QString::fromUtf8(utf8.c_str()));
}

TEST(CodePage, RefusesNamesWithoutAnExactCp932Form) {
    EXPECT_EQ(Utf8ToSystem("caf\xC3\xA9"), std::nullopt); // é is not in CP932
    EXPECT_EQ(Utf8ToSystem("a\xE3\x80\x9C"
                           "b"),
              std::nullopt); // U+301C comes back as U+FF5E
    EXPECT_EQ(Utf8ToSystem("a\xEF\xBD\x9E"
                           "b"),
              "a\x81\x60"
              "b");                                   // U+FF5E itself is fine
    EXPECT_EQ(Utf8ToSystem("bad\xFF"), std::nullopt); // not UTF-8 at all
    EXPECT_EQ(Utf8ToSystem(""), "");
}

TEST(CodePage, InvalidSystemBytesShowAsReplacementCharacters) {
    EXPECT_EQ(SystemToUtf8("a\x82"), std::nullopt); // a lead byte cut off
    EXPECT_EQ(SystemToQString("a\x82"), QString::fromUtf8("a\xEF\xBF\xBD"));
    EXPECT_EQ(SystemToQString("\xFF\xFFz\x82\xA0"),
              QString::fromUtf8("\xEF\xBF\xBD\xEF\xBF\xBDz\xE3\x81\x82"));
}

TEST(CodePage, LocaleComparisonOrdersNames) {
    EXPECT_EQ(SystemCompareLocale("abc", "abc"), 0);
    EXPECT_LT(SystemCompareLocale("abc", "abd"), 0);
    EXPECT_GT(SystemCompareLocale("b", "a"), 0);
}

// A local name goes to the server as it is when the server keeps UTF-8 names, else in CP932 or not
// at all; what the server's texts say comes back as the user reads it.
TEST(CodePage, NamesInTheServersCode) {
    const struct {
        std::string host;
        bool utf8;
        std::optional<std::string> remote;
    } cases[] = {
        {"表.txt", false, "\x95\x5C.txt"}, // the second byte is a backslash
        {"表.txt", true, "表.txt"},          {"写真😀.txt", false, std::nullopt},
        {"写真😀.txt", true, "写真😀.txt"},    {"résumé.txt", false, std::nullopt},
        {"メモ〜.txt", false, std::nullopt}, // CP932 would give U+FF5E back
        {"メモ〜.txt", true, "メモ〜.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HostToServerText(c.host, c.utf8), c.remote) << c.host << " " << c.utf8;
        if (!c.remote) continue;
        EXPECT_EQ(ServerTextToHost(*c.remote, c.utf8), c.host);
        EXPECT_EQ(ServerTextToQString(*c.remote, c.utf8), QString::fromStdString(c.host));
        EXPECT_EQ(QStringToServerText(QString::fromStdString(c.host), c.utf8), c.remote);
    }
}

namespace {

// What iconv itself makes of `text`; nullopt when it refuses it.
std::optional<std::string> ByIconv(const char* to, const char* from, const std::string& text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size(), outLeft = out.size();
    char* at = out.data();
    const bool ok = iconv(cd, &in, &inLeft, &at, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

// Bytes below 0x80 are the same characters in CP932 and UTF-8: each of them, alone and all in one
// text, comes out as iconv itself makes it, which is the byte itself.
TEST(CodePage, AsciiTextsAsIconvGivesThem) {
    std::string all;
    for (int byte = 0; byte < 0x80; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        all += one;
        SCOPED_TRACE(byte);
        ASSERT_EQ(ByIconv("CP932", "UTF-8", one), one);
        ASSERT_EQ(ByIconv("UTF-8", "CP932", one), one);
        EXPECT_EQ(IconvConvert("CP932", "UTF-8", one), one);
        EXPECT_EQ(IconvConvert("UTF-8", "CP932", one), one);
        EXPECT_EQ(Utf8ToSystem(one), one);
        EXPECT_EQ(SystemToUtf8(one), one);
        EXPECT_EQ(SystemToQString(one), QString(QChar(byte)));
    }
    EXPECT_EQ(Utf8ToSystem(all), ByIconv("CP932", "UTF-8", all));
    EXPECT_EQ(SystemToUtf8(all), ByIconv("UTF-8", "CP932", all));
    EXPECT_EQ(SystemToQString(all), QString::fromUtf8(all.data(), qsizetype(all.size())));
    // Other codes go through iconv: "\" is a yen sign in SHIFT_JIS, and "~" an overline.
    EXPECT_EQ(IconvConvert("UTF-8", "SHIFT_JIS", "a\\~"), ByIconv("UTF-8", "SHIFT_JIS", "a\\~"));
    EXPECT_EQ(IconvConvert("UTF-8", "SHIFT_JIS", "\\"), "\xC2\xA5");
    // One byte above makes it a text for iconv again: a lead byte cut off at the end.
    EXPECT_EQ(SystemToUtf8(all + "\x82"), std::nullopt);
    EXPECT_EQ(Utf8ToSystem(all + "\xC3"), std::nullopt);
}
