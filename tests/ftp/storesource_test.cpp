// The store's byte source on its own: a file in, converted batches and per-block file counts out.
// The text modes are checked against iconv, not against our own converters; a text file is read as
// UTF-8 or Shift_JIS after the check that runs before its store.
#include "ftp/storesource.h"
#include "ftp/textcheck.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBlock = TStoreSource::BlockSize;

// A file holding `bytes`, read from its start; closed with the object.
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

struct Drained {
    std::string out;
    std::vector<std::size_t> blocks; // file bytes of each block, in order
    bool failed = false;
};

// Sends everything at once, batch after batch, as the send loop would with a fast socket.
Drained Drain(TStoreSource& source) {
    Drained d;
    for (int batch = 0; batch < 1000; ++batch) {
        if (!source.Refill()) {
            d.failed = true;
            return d;
        }
        const std::string_view pending = source.Pending();
        if (pending.empty()) return d;
        d.out.append(pending);
        source.Sent(pending.size());
        std::size_t bytes = 0;
        while (source.TakeSentBlock(bytes))
            d.blocks.push_back(bytes);
    }
    ADD_FAILURE() << "no end after 1000 batches";
    return d;
}

Drained Store(const std::string& file, TTransferType mode) {
    TempFile f(file);
    EXPECT_GE(f.fd(), 0);
    TStoreSource source;
    source.Begin(f.fd(), mode);
    return Drain(source);
}

std::string Utf8(const char* charset, const std::string& bytes) {
    const auto text = IconvConvert("UTF-8", charset, bytes);
    EXPECT_TRUE(text.has_value()) << charset << " refused the bytes";
    return text.value_or("<refused>");
}

std::size_t Sum(const std::vector<std::size_t>& v) {
    std::size_t s = 0;
    for (std::size_t n : v)
        s += n;
    return s;
}

// Shift_JIS text with kanji and kana at odd offsets, so that characters straddle block cuts.
// No backslash or tilde: JIS Roman gives them other meanings.
std::string JapaneseText(std::size_t minSize) {
    const std::string pieces[] = {
        "abc ",  "\x93\xfa\x96\x7b\x8c\xea", "\r\n", "x", "\x82\xa0\x82\xa2",
        "12345", "\x8a\xbf\x8e\x9a"};
    std::string text;
    for (std::size_t i = 0; text.size() < minSize; ++i)
        text += pieces[(i * 5) % std::size(pieces)];
    return text;
}

std::string CrLfToLf(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.erase(at, 1);
    return text;
}

TEST(StoreSource, CutsBlocksAndHoldsBackTheLastCharacter) {
    const std::string a2046(2046, 'a');
    const struct {
        const char* what;
        TTransferType mode;
        std::string file;
        std::vector<std::size_t> blocks;
    } rows[] = {
        {"binary: whole blocks", BinaryTransfer, std::string(5000, '\0'), {2048, 2048, 904}},
        {"binary: exactly one block", BinaryTransfer, std::string(kBlock, 'x'), {2048}},
        {"empty file", BinaryTransfer, "", {}},
        // A full text block leaves its last character to the next one.
        {"text: one byte held back", textSJIS, std::string(5000, 'a'), {2047, 2047, 906}},
        {"text: a double-byte character at the cut goes whole to the next block",
         textSJIS,
         a2046 + "\x82\xa0" + "b",
         {2046, 3}},
        {"text: half-width katakana at the cut is one byte",
         textSJIS,
         std::string(2047, 'a') + "\xb1" + "b",
         {2047, 2}},
        {"EUC: CR LF at the cut stays together", textEUC, a2046 + "\r\nb", {2046, 3}},
        {"JIS: CR LF at the cut may part", textJIS, a2046 + "\r\nb", {2047, 2}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Drained d = Store(row.file, row.mode);
        EXPECT_FALSE(d.failed);
        EXPECT_EQ(d.blocks, row.blocks);
        EXPECT_EQ(Sum(d.blocks), row.file.size());
        if (row.mode == BinaryTransfer || row.mode == textSJIS) {
            EXPECT_EQ(d.out, row.file);
        }
    }
}

TEST(StoreSource, TextModesMatchIconv) {
    // Over several blocks and batches, with characters and CR LF pairs across the cuts.
    const std::string text = JapaneseText(3 * TStoreSource::OutputBatch / 2);
    const std::string expected = Utf8("SHIFT_JIS", text);

    const Drained jis = Store(text, textJIS);
    EXPECT_FALSE(jis.failed);
    EXPECT_EQ(Sum(jis.blocks), text.size());
    EXPECT_EQ(jis.out.find('\x82'), std::string::npos) << "a Shift_JIS byte left in JIS output";
    EXPECT_EQ(Utf8("ISO-2022-JP", jis.out), expected);

    const Drained euc = Store(text, textEUC);
    EXPECT_FALSE(euc.failed);
    EXPECT_EQ(Sum(euc.blocks), text.size());
    EXPECT_EQ(euc.out.find('\r'), std::string::npos);
    EXPECT_EQ(Utf8("EUC-JP", euc.out), CrLfToLf(expected));

    const Drained sjis = Store(text, textSJIS);
    EXPECT_EQ(sjis.out, text);
}

TEST(StoreSource, WorkedExamples) {
    // One short block each, converted whole.
    const struct {
        TTransferType mode;
        std::string file;
        std::string out;
    } rows[] = {
        {textJIS,
         "a\x82\xa0"
         "b",
         "a\x1b$B\x24\x22\x1b(Jb"},
        {textEUC, "a\x82\xa0\r\nb", "a\xa4\xa2\nb"},
        {textEUC, "\xb1", "\x8e\xb1"},
        {AsciiTransfer, "a\r\nb", "a\r\nb"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.file));
        const Drained d = Store(row.file, row.mode);
        EXPECT_EQ(d.out, row.out);
        EXPECT_EQ(d.blocks, std::vector<std::size_t>{row.file.size()});
    }
}

TEST(StoreSource, BatchesAndCountsOnlyWholeBlocks) {
    const std::string file(TStoreSource::OutputBatch + 100, 'z');
    TempFile f(file);
    TStoreSource source;
    source.Begin(f.fd(), BinaryTransfer);
    ASSERT_TRUE(source.Refill());
    EXPECT_EQ(source.Pending().size(), TStoreSource::OutputBatch);
    std::size_t bytes = 0;
    source.Sent(kBlock - 1);
    EXPECT_FALSE(source.TakeSentBlock(bytes)) << "a block counted before its last byte went";
    source.Sent(1);
    ASSERT_TRUE(source.TakeSentBlock(bytes));
    EXPECT_EQ(bytes, kBlock);
    EXPECT_FALSE(source.TakeSentBlock(bytes)) << "a block counted twice";
    EXPECT_EQ(source.Pending().size(), TStoreSource::OutputBatch - kBlock);
    source.Sent(source.Pending().size());
    while (source.TakeSentBlock(bytes)) {
    }
    const Drained rest = Drain(source);
    EXPECT_EQ(rest.blocks, std::vector<std::size_t>{100});
}

TEST(StoreSource, FailuresComeAfterWhatWasGood) {
    // Text with a NUL is not text: the blocks before it go, then the store fails.
    const Drained nulFirst = Store(std::string("ab\0c", 4), textJIS);
    EXPECT_TRUE(nulFirst.failed);
    EXPECT_TRUE(nulFirst.out.empty());

    const Drained nulLater = Store(std::string(3000, 'a') + '\0', textEUC);
    EXPECT_TRUE(nulLater.failed);
    EXPECT_EQ(nulLater.blocks, std::vector<std::size_t>{2047});
    EXPECT_EQ(nulLater.out, std::string(2047, 'a'));

    // Binary takes any byte.
    EXPECT_FALSE(Store(std::string("ab\0c", 4), BinaryTransfer).failed);

    // A descriptor that cannot be read (a folder) fails at once, in every mode.
    const int folder = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    for (const TTransferType mode : {BinaryTransfer, textJIS}) {
        TStoreSource source;
        source.Begin(folder, mode);
        EXPECT_FALSE(source.Refill());
        EXPECT_TRUE(source.Pending().empty());
    }
    ::close(folder);
}

// ---- Texts read as UTF-8 or Shift_JIS ------------------------------------------------------

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
    const Drained d = Drain(source);
    r.out = d.out;
    r.fileBytes = Sum(d.blocks);
    r.failed = d.failed;
    return r;
}

std::string Iconv(const char* to, const char* from, const std::string& bytes) {
    const auto text = IconvConvert(to, from, bytes);
    EXPECT_TRUE(text.has_value()) << from << " -> " << to << " refused the bytes";
    return text.value_or("<refused>");
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
