// The store's byte source on its own: a file in, converted batches and per-block file counts out.
// The text modes are checked against iconv, not against our own converters.
#include "ftp/storesource.h"
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

} // namespace
