// Text files read as UTF-8 or Shift_JIS: the check before a store and the bytes the store sends,
// against glibc iconv.
#include "ftp/storesource.h"
#include "ftp/textcheck.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class TempFile {
  public:
    explicit TempFile(const std::string& bytes) : file_(std::tmpfile()) {
        if (!file_) return;
        std::fwrite(bytes.data(), 1, bytes.size(), file_);
        std::fflush(file_);
        ::lseek(fileno(file_), 0, SEEK_SET);
    }
    ~TempFile() {
        if (file_) std::fclose(file_);
    }
    int fd() const { return file_ ? fileno(file_) : -1; }

  private:
    std::FILE* file_;
};

struct TRead {
    TTextCheck check;
    std::string out;
    std::size_t fileBytes = 0;
    bool failed = false;
};

// The check, then the store as the component runs them.
TRead Read(const std::string& file, TTransferType mode) {
    TempFile f(file);
    TRead r;
    r.check = CheckTextFile(f.fd(), mode);
    if (!r.check.Ok) return r;
    TStoreSource source;
    source.Begin(f.fd(), mode, r.check);
    for (int batch = 0; batch < 1000; ++batch) {
        if (!source.Refill()) {
            r.failed = true;
            return r;
        }
        const std::string_view pending = source.Pending();
        if (pending.empty()) return r;
        r.out.append(pending);
        source.Sent(pending.size());
        for (std::size_t bytes = 0; source.TakeSentBlock(bytes);)
            r.fileBytes += bytes;
    }
    ADD_FAILURE() << "no end after 1000 batches";
    return r;
}

std::string Iconv(const char* to, const char* from, const std::string& bytes) {
    const auto text = IconvConvert(to, from, bytes);
    EXPECT_TRUE(text.has_value()) << from << " -> " << to << " refused the bytes";
    return text.value_or("<refused>");
}

std::string CrLfToLf(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.erase(at, 1);
    return text;
}

// UTF-8 Japanese of JIS X 0208, with two-, three-byte characters and CR LF pairs at odd offsets, so
// that characters and line ends straddle the block cuts. No backslash or tilde: JIS Roman gives
// them other meanings.
std::string Utf8Japanese(std::size_t minSize) {
    const std::string pieces[] = {"abc ", "日本語", "\r\n", "x",  "あい", "12345",
                                  "漢字", "メモ〜", "ー",   "§±", "Ｘ"};
    std::string text;
    for (std::size_t i = 0; text.size() < minSize; ++i)
        text += pieces[(i * 7) % std::size(pieces)];
    return text;
}

TEST(TextRead, Utf8TextInEveryTextModeMatchesIconv) {
    // Over several blocks and batches.
    const std::string text = Utf8Japanese(3 * TStoreSource::OutputBatch / 2);
    const struct {
        TTransferType mode;
        const char* charset; // how iconv reads what we send; null: sent as UTF-8
        bool lf;             // CR LF sent as LF
    } modes[] = {
        {textJIS, "ISO-2022-JP", false},
        {textSJIS, "SHIFT_JIS", false},
        {textEUC, "EUC-JP", true},
        {textUTF8, nullptr, true},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        const TRead r = Read(text, m.mode);
        ASSERT_TRUE(r.check.Ok);
        EXPECT_EQ(r.check.Source, TTextSource::Utf8);
        EXPECT_FALSE(r.failed);
        EXPECT_EQ(r.fileBytes, text.size());
        const std::string arrived = m.charset ? Iconv("UTF-8", m.charset, r.out) : r.out;
        EXPECT_EQ(arrived, m.lf ? CrLfToLf(text) : text);
    }
}

TEST(TextRead, ShiftJisTextInTheUtf8ModeMatchesIconv) {
    const std::string text = Iconv("SHIFT_JIS", "UTF-8", Utf8Japanese(5 * TStoreSource::BlockSize));
    const TRead r = Read(text, textUTF8);
    ASSERT_TRUE(r.check.Ok);
    EXPECT_EQ(r.check.Source, TTextSource::Sjis);
    EXPECT_EQ(r.fileBytes, text.size());
    EXPECT_EQ(r.out, CrLfToLf(Iconv("UTF-8", "SHIFT_JIS", text)));
    // The other text modes read it as they always did.
    EXPECT_EQ(Read(text, textSJIS).out, text);
}

TEST(TextRead, ByteOrderMarkIsDropped) {
    const std::string text = Utf8Japanese(3 * TStoreSource::BlockSize);
    const std::string file = "\xEF\xBB\xBF" + text;
    const TRead euc = Read(file, textEUC);
    EXPECT_TRUE(euc.check.Bom);
    EXPECT_EQ(euc.fileBytes, file.size());
    EXPECT_EQ(Iconv("UTF-8", "EUC-JP", euc.out), CrLfToLf(text));
    EXPECT_EQ(Read(file, textUTF8).out, CrLfToLf(text));
    // Only a mark at the start: ASCII after it still reads as UTF-8.
    const TRead plain = Read("\xEF\xBB\xBFplain\r\n", textJIS);
    EXPECT_EQ(plain.check.Source, TTextSource::Utf8);
    EXPECT_EQ(plain.out, "plain\r\n");
}

TEST(TextRead, CharactersWithoutAFormFailBeforeAnythingIsSent) {
    const std::string far(3 * TStoreSource::BlockSize, 'a'); // past the first block
    const struct {
        const char* what;
        std::string file;
        TTransferType mode;
        std::size_t line;      // 0: the file goes
        std::string character; // the one named
    } cases[] = {
        {"an emoji in EUC", "a\r\nb\r\n日本😀\r\n", textEUC, 3, "😀"},
        {"an emoji in JIS, far into the file", far + "\n\n😀", textJIS, 3, "😀"},
        {"an emoji in Shift_JIS", "日本\n😀", textSJIS, 2, "😀"},
        {"lone CRs end lines too", "日\r本\r😀", textEUC, 3, "😀"},
        {"an accent outside JIS X 0208", "café 日本", textJIS, 1, "é"},
        {"a NEC circled digit in EUC", "日本\n①", textEUC, 2, "①"},
        {"a NEC circled digit in Shift_JIS", "日本\n①", textSJIS, 0, ""},
        {"a full-width tilde in EUC", "～", textEUC, 1, "～"},
        {"a full-width tilde in Shift_JIS", "～", textSJIS, 0, ""},
        {"a wave dash in EUC", "〜", textEUC, 0, ""},
        {"Shift_JIS bytes no code has, in the UTF-8 mode", "ok\r\n\x85\x40", textUTF8, 2,
         "\x85\x40"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TRead r = Read(c.file, c.mode);
        EXPECT_EQ(r.check.Ok, c.line == 0);
        EXPECT_EQ(r.check.Line, c.line);
        EXPECT_EQ(r.check.Character, c.character);
        if (c.line != 0) {
            EXPECT_TRUE(r.out.empty());
        }
    }
    // CP932's own characters go as Windows writes them.
    EXPECT_EQ(Iconv("UTF-8", "CP932", Read("日本\n①～", textSJIS).out), "日本\n①～");
}

TEST(TextRead, HalfWidthKatakanaTurnFullWidthInJis) {
    // As from Shift_JIS: ｶﾞ merges into ガ, and EUC keeps them half-width.
    const std::string text = "ｶﾞｷ ﾊﾟ";
    EXPECT_EQ(Iconv("UTF-8", "ISO-2022-JP", Read(text, textJIS).out), "ガキ パ");
    EXPECT_EQ(Iconv("UTF-8", "EUC-JP", Read(text, textEUC).out), text);
}

} // namespace
