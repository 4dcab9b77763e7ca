// The line splitter, the reply framer and the temporary name, on their own: no socket.
#include "ftp/replyreader.h"
#include "ftp/tempname.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Got = std::vector<std::pair<std::string, bool>>; // line, final

constexpr std::size_t kMax = 16;

// The splitter as the listing reader drives it: after each read the complete lines are taken, and
// an unterminated line past `bound` bytes is skipped up to its LF.
TEST(LineSplitter, SplitsOnLfAndSkipsOverlongLines) {
    constexpr std::size_t kNoBound = std::string::npos;
    const struct {
        const char* what;
        std::vector<std::string> reads;
        std::size_t bound;
        std::vector<std::string> lines;
    } rows[] = {
        {"CR LF and bare LF; no line end, no line", {"a\r\nb\nc"}, kNoBound, {"a", "b"}},
        {"a lone CR stays inside", {"a\rb\r\r\n"}, kNoBound, {"a\rb\r"}},
        {"empty lines are lines", {"\n\r\n"}, kNoBound, {"", ""}},
        {"CR and LF in two reads", {"a\r", "\nb", "\n"}, kNoBound, {"a", "b"}},
        {"NUL is a byte", {std::string("a\0b\n", 4)}, kNoBound, {std::string("a\0b", 3)}},
        {"an overlong line is skipped to its LF", {"xxxxxx", "yy\r", "\nok\n"}, 4, {"ok"}},
        {"the skip lasts over several reads", {"xxxxx", "xxxxx", "x\nA\n"}, 4, {"A"}},
        {"only an unterminated line is bounded", {"xxxxxxxx\nz"}, 4, {"xxxxxxxx"}},
        {"the bound itself fits", {"xxxx", "\nB\n"}, 4, {"xxxx", "B"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TLineSplitter splitter;
        std::vector<std::string> got;
        for (const std::string& read : row.reads) {
            splitter.Feed(read);
            for (std::string line; splitter.Next(line);)
                got.push_back(line);
            if (splitter.Partial() > row.bound) splitter.SkipPartial();
        }
        EXPECT_EQ(got, row.lines);
    }
}

TEST(LineSplitter, ResetForgetsTheLineAndTheSkip) {
    TLineSplitter splitter;
    splitter.Feed("half");
    splitter.SkipPartial();
    splitter.Reset();
    splitter.Feed("new\n");
    std::string line;
    ASSERT_TRUE(splitter.Next(line));
    EXPECT_EQ(line, "new");
    EXPECT_EQ(splitter.Partial(), 0u);
}

TEST(ReplyReader, FramesLinesAndMultiLineReplies) {
    const struct {
        const char* what;
        std::vector<std::string> reads;
        Got lines;
        bool fits; // no line outgrew kMax
    } rows[] = {
        {"one line", {"220 ready\r\n"}, {{"220 ready", true}}, true},
        {"bare LF", {"220 ready\n331 pw\n"}, {{"220 ready", true}, {"331 pw", true}}, true},
        {"split anywhere, CR and LF apart",
         {"22", "0 re", "ady\r", "\n"},
         {{"220 ready", true}},
         true},
        {"no line end yet", {"220 ready"}, {}, true},
        {"a lone CR stays inside", {"220 a\rb\r\n"}, {{"220 a\rb", true}}, true},
        {"NUL is a byte like any other",
         {std::string("220 a\0b\r\n", 9)},
         {{std::string("220 a\0b", 7), true}},
         true},
        {"features",
         {"211-Features:\r\n SIZE\r\n MDTM\r\n211 End\r\n"},
         {{"211-Features:", false}, {" SIZE", false}, {" MDTM", false}, {"211 End", true}},
         true},
        {"another code inside does not close it",
         {"220-a\r\n230-b\r\n230 c\r\n220\r\n 220 d\r\n220 e\r\n"},
         {{"220-a", false},
          {"230-b", false},
          {"230 c", false},
          {"220", false},
          {" 220 d", false},
          {"220 e", true}},
         true},
        {"empty lines: skipped outside, text inside",
         {"\r\n220-a\r\n\r\n220 b\r\n\n"},
         {{"220-a", false}, {"", false}, {"220 b", true}},
         true},
        {"a short line is final", {"22\r\n"}, {{"22", true}}, true},
        {"a line of kMax bytes fits",
         {std::string(kMax, 'x') + "\n"},
         {{std::string(kMax, 'x'), true}},
         true},
        {"kMax bytes over two reads fit",
         {std::string(10, 'x'), std::string(6, 'x') + "\r\n"},
         {{std::string(kMax, 'x'), true}},
         true},
        {"past kMax without LF", {std::string(10, 'x'), std::string(7, 'x')}, {}, false},
        {"past kMax with its LF in the same read",
         {"220 ok\r\n" + std::string(kMax + 1, 'x') + "\n"},
         {},
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TReplyReader reader(kMax);
        Got got;
        bool fits = true;
        for (const std::string& read : row.reads) {
            fits = reader.Feed(read) && fits;
            for (TReplyLine line; reader.Next(line);)
                got.emplace_back(line.text, line.final);
        }
        EXPECT_EQ(got, row.lines);
        EXPECT_EQ(fits, row.fits);
    }
}

TEST(ReplyReader, StaysSpentAfterAnOverflowUntilReset) {
    TReplyReader reader(kMax);
    EXPECT_FALSE(reader.Feed(std::string(kMax + 1, 'x')));
    EXPECT_FALSE(reader.Feed("220 ok\r\n"));
    TReplyLine line;
    EXPECT_FALSE(reader.Next(line));
    reader.Reset();
    ASSERT_TRUE(reader.Feed("220-open\r\n"));
    ASSERT_TRUE(reader.Next(line));
    EXPECT_TRUE(reader.InMultiLine());
    // A new session starts outside any reply.
    reader.Reset();
    ASSERT_TRUE(reader.Feed("230 in\r\n"));
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line.text, "230 in");
    EXPECT_TRUE(line.final);
}

TEST(TemporaryName, SameFolderDotAndPrefix) {
    const struct {
        std::string remote, temporary;
    } rows[] = {
        {"/up/a.txt", "/up/.wendup-a.txt"},
        {"a.txt", ".wendup-a.txt"},
        {"/a.txt", "/.wendup-a.txt"},
        {"dir/sub/b c.bin", "dir/sub/.wendup-b c.bin"},
        // 表 in Shift_JIS ends in 0x5C: only '/' separates folders.
        {"/up/\x95\x5c.txt", "/up/.wendup-\x95\x5c.txt"},
        {"/up/.hidden", "/up/.wendup-.hidden"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(TemporaryName(row.remote), row.temporary) << row.remote;
}

} // namespace
