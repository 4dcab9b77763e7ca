// Our conversions against glibc iconv as an independent oracle, over many generated Shift_JIS texts.
#include "kanji/jconvert.h"
#include "platform/codepage.h"

#include <QString>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Decode(const char* charset, const std::string& bytes) {
    auto utf8 = IconvConvert("UTF-8", charset, bytes);
    EXPECT_TRUE(utf8.has_value()) << charset << " refused " << testing::PrintToString(bytes);
    return utf8.value_or("");
}

// Every JIS X 0208 character (rows 0x21-0x74) that iconv's SHIFT_JIS knows. Found by asking iconv,
// not by our arithmetic, so the generator does not share a mistake with the converters.
const std::vector<std::string>& AssignedKanji() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> found;
        auto scan = [&](int first, int last) {
            for (int s1 = first; s1 <= last; ++s1)
                for (int s2 = 0x40; s2 <= 0xFC; ++s2) {
                    if (s2 == 0x7F) continue;
                    const std::string c = {char(s1), char(s2)};
                    if (IconvConvert("UTF-8", "SHIFT_JIS", c)) found.push_back(c);
                }
        };
        scan(0x81, 0x9F);
        scan(0xE0, 0xEA);
        return found;
    }();
    return all;
}

// One generated text: the Shift_JIS input and what its characters must read as after JIS, where
// half-width katakana turn full-width.
struct Sample {
    std::string sjis;
    std::string jisExpectedUtf8;
};

// The full-width reading of a run of half-width katakana, by Unicode's compatibility mapping: NFKC
// merges ｶﾞ into ガ and ﾊﾟ into パ just as the converter does. JIS X 0208 has no ヷ or ヺ, so those two
// stay apart, and a sound mark that merges with nothing is the spacing ゛ or ゜ of JIS X 0208.
std::string FullWidth(const std::string& halfKanaRun) {
    QString text = QString::fromUtf8(Decode("SHIFT_JIS", halfKanaRun).c_str()).normalized(QString::NormalizationForm_KC);
    text.replace(QChar(0x30F7), QString::fromUtf8("ワ\u3099"));
    text.replace(QChar(0x30FA), QString::fromUtf8("ヲ\u3099"));
    text.replace(QChar(0x3099), QChar(0x309B));
    text.replace(QChar(0x309A), QChar(0x309C));
    return text.toStdString();
}

Sample Generate(std::mt19937& rng) {
    const auto& kanji = AssignedKanji();
    std::uniform_int_distribution<int> kind(0, 9), length(0, 400), ascii(0x20, 0x7D), kana(0xA1, 0xDF);
    std::uniform_int_distribution<size_t> pick(0, kanji.size() - 1);
    Sample s;
    std::string kanaRun;
    auto flushKana = [&] {
        s.jisExpectedUtf8 += FullWidth(kanaRun);
        kanaRun.clear();
    };
    for (int n = length(rng); n > 0; --n) {
        const int k = kind(rng);
        if (k < 4) {
            const std::string& c = kanji[pick(rng)];
            flushKana();
            s.sjis += c;
            s.jisExpectedUtf8 += Decode("SHIFT_JIS", c);
        } else if (k < 7) {
            const char c = char(kana(rng));
            s.sjis += c;
            kanaRun += c;
        } else if (k < 9) {
            // 0x5C and 0x7E differ between ASCII and JIS-Roman (¥ and ‾), so they are left out.
            char c = char(ascii(rng));
            if (c == '\\') c = '/';
            flushKana();
            s.sjis += c;
            s.jisExpectedUtf8 += c;
        } else {
            flushKana();
            s.sjis += "\r\n";
            s.jisExpectedUtf8 += "\r\n";
        }
    }
    flushKana();
    return s;
}

TEST(KanjiOracle, GeneratorCoversJisX0208) {
    // Rows 0x21-0x74 hold 6,879 assigned characters.
    EXPECT_EQ(AssignedKanji().size(), 6879u);
}

TEST(KanjiOracle, AgreesWithIconvOnGeneratedTexts) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 600; ++round) {
        const Sample s = Generate(rng);
        SCOPED_TRACE("round " + std::to_string(round) + ": " + testing::PrintToString(s.sjis));

        const std::string jis = SjisToJis(s.sjis);
        const std::string euc = SjisToEuc(s.sjis);
        ASSERT_EQ(Decode("ISO-2022-JP", jis), s.jisExpectedUtf8);
        ASSERT_EQ(Decode("EUC-JP", euc), Decode("SHIFT_JIS", s.sjis));

        // Back again: EUC gives the input; JIS gives it with the katakana full-width.
        ASSERT_EQ(EucToSjis(euc), s.sjis);
        ASSERT_EQ(JisToSjis(jis), IconvConvert("SHIFT_JIS", "UTF-8", s.jisExpectedUtf8).value_or("?"));
    }
}

TEST(KanjiOracle, EveryCharacterAlone) {
    // Each character of the two sets once, so none is left to chance.
    std::string all;
    for (const std::string& c : AssignedKanji()) all += c;
    for (int k = 0xA1; k <= 0xDF; ++k) all += char(k);
    all += "\r\n";
    EXPECT_EQ(Decode("EUC-JP", SjisToEuc(all)), Decode("SHIFT_JIS", all));
    EXPECT_EQ(EucToSjis(SjisToEuc(all)), all);
    std::string kanjiOnly(all.begin(), all.end() - 63 - 2);
    EXPECT_EQ(Decode("ISO-2022-JP", SjisToJis(kanjiOnly)), Decode("SHIFT_JIS", kanjiOnly));
    EXPECT_EQ(JisToSjis(SjisToJis(kanjiOnly)), kanjiOnly);
}

} // namespace
