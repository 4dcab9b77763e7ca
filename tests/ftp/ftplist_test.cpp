#include "ftp/ftplist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Entry {
    bool ok = false;
    std::string name, size, date;
    bool isDirectory = false;
};

// Outputs start from marker values so a test sees which ones the parser wrote.
Entry Parse(TFTPServerType type, std::string_view line, TListState& state) {
    Entry e{false, "<name>", "<size>", "<date>", true};
    e.ok = ParseListLine(type, line, e.name, e.size, e.date, e.isDirectory, state);
    return e;
}

Entry Parse(TFTPServerType type, std::string_view line) {
    TListState state;
    return Parse(type, line, state);
}

void ExpectEntry(const Entry& got, const Entry& want) {
    EXPECT_EQ(got.ok, want.ok);
    EXPECT_EQ(got.name, want.name);
    if (!want.ok) return;
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.date, want.date);
    EXPECT_EQ(got.isDirectory, want.isDirectory);
}

const TFTPServerType kAllTypes[] = {
    ftpstDefault,     ftpstAutoDetect, ftpstUNIX, ftpstULTRIX,  ftpstU5000, ftpstSINTFTPD,
    ftpstVmsMultinet, ftpstVmsUcx,     ftpstMVS,  ftpstMacFtpd, ftpstClix,  ftpstQVT,
    ftpstNCSA,        ftpstChameleon,  ftpstVM,   ftpstVMVPS,
};

TEST(ListWord, WordsAreSeparatedByRunsOfSpaces) {
    const struct {
        std::string line;
        std::size_t n;
        std::string word;
    } cases[] = {
        {"a b c", 0, "a"},
        {"a b c", 1, "b"},
        {"a b c", 2, ""}, // the last word has no space after it
        {"a b c ", 2, "c"},
        {"a    b     c ", 2, "c"},
        {" a b", 0, ""}, // a leading space makes an empty word 0
        {"   a b", 1, "a"},
        {"a b ", 2, ""},
        {"a b ", 5, ""},
        {"", 0, ""},
        {"word", 0, ""},
        {"a\tb c", 0, "a\tb"}, // only spaces separate
        {"\x82\xA0\x82\xA2 x", 0, "\x82\xA0\x82\xA2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line) + " word " + std::to_string(c.n));
        EXPECT_EQ(ListWord(c.line, c.n), c.word);
    }
    EXPECT_EQ(ListWord("a b c ", std::size_t(-1)), "");
}

TEST(ListName, TakesTheLastWordBeforeAnArrow) {
    const struct {
        std::string line;
        std::string name;
    } cases[] = {
        {"-rw-r--r-- 1 user group 1234 Jan 5 12:34 index.html", "index.html"},
        {"lrwxrwxrwx 1 user group 7 Jan 5 12:34 latest -> v1/bin", "latest"},
        {"lrwxrwxrwx 1 user group 7 Jan 5 12:34 latest->v1", "latest"},
        {"drwxr-xr-x 2 user group 512 Jan 5 12:34 docs   ", "docs"},
        {"-rw 1 u g 5 Jan 5 12:34 read me.txt", "me.txt"}, // only the last part of a spaced name
        {"single", "single"},
        {"", ""},
        {"     ", ""},
        {"-> target", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ListName(c.line), c.name);
    }
}

TEST(ListName, LongNamesAreCutWithoutSplittingACharacter) {
    EXPECT_EQ(ListName("x " + std::string(1200, 'a')), std::string(999, 'a'));
    EXPECT_EQ(ListName(std::string(999, 'a')), std::string(999, 'a'));

    // A double-byte character at bytes 999-1000 does not fit, so it goes whole.
    const std::string name = std::string(998, 'a') + "\x82\xA0" + "bbb";
    EXPECT_EQ(ListName("x " + name), std::string(998, 'a'));
    const std::string fits = std::string(997, 'a') + "\x82\xA0" + "bbb";
    EXPECT_EQ(ListName(fits), std::string(997, 'a') + "\x82\xA0");
}

TEST(ParseListLine, UnixLines) {
    const struct {
        std::string line;
        Entry want;
    } cases[] = {
        {"-rw-r--r--   1 user     group        1234 Jan  5 12:34 index.html",
         {true, "index.html", "1234", "Jan 5 12:34", false}},
        {"drwxr-xr-x   2 user     group         512 Jan  5 12:34 public_html",
         {true, "public_html", "512", "Jan 5 12:34", true}},
        // A link may lead to a file or a folder: it is listed as a file, and the server decides
        // what a store over it does.
        {"lrwxrwxrwx   1 user     group          11 Jan  5  2019 latest -> release/1.2",
         {true, "latest", "11", "Jan 5 2019", false}},
        {"frw-r--r--   1 user     group           9 Feb 28 23:59 f-kind",
         {true, "f-kind", "9", "Feb 28 23:59", false}},
        // pyftpdlib's form: two-digit day.
        {"-rw-r--r--   1 owner    group        2048 Mar 07 09:05 data.bin",
         {true, "data.bin", "2048", "Mar 07 09:05", false}},
        // Names keep their spaces, and so do links.
        {"-rw-r--r--   1 user     group          10 Jan 05  2020 read me now.txt",
         {true, "read me now.txt", "10", "Jan 05 2020", false}},
        {"lrwxrwxrwx   1 user     group           3 Jan 05 10:00 my link -> some target",
         {true, "my link", "3", "Jan 05 10:00", false}},
        {"drwxr-xr-x   2 user     group        4096 Jan 05 10:00 new  folder  ",
         {true, "new  folder", "4096", "Jan 05 10:00", true}},
        {"-rw-r--r--   1 user     group          10 Jan 05 10:00 a->b",
         {true, "a->b", "10", "Jan 05 10:00", false}},
        {"-rw-r--r--   1 user     group        8473 Apr 18  2003 \x93\xfa\x96\x7b \x8c\xea.txt",
         {true, "\x93\xfa\x96\x7b \x8c\xea.txt", "8473", "Apr 18 2003", false}},
        // Bracketed permissions: no group column.
        {"d [R----F--] supervisor            512       Jan 16 18:53    login",
         {true, "login", "512", "Jan 16 18:53", true}},
        {"- [RWCEAFMS] rhesus             214059       Oct 20 15:27    bound ary.txt",
         {true, "bound ary.txt", "214059", "Oct 20 15:27", false}},
        // Date columns away from their usual place, or in other forms, are found by their look.
        {"drwxr-xr-x   2 root                  512 Apr  8  1994 nogroup",
         {true, "nogroup", "512", "Apr 8 1994", true}},
        {"-rw-r--r--   1 root     other        531 2005-06-07 21:22 iso date",
         {true, "iso date", "531", "2005-06-07 21:22", false}},
        // No date found: the columns by their place, the last word the name.
        {"-rw-r--r--   1 root     other        531 ??? ?? ??:?? odd date",
         {true, "date", "531", "??? ?? ??:??", false}},
        // A day and a time where they belong keep the name whole, whatever the month looks like.
        {"-rw-r--r--   1 root     other        531 Mai  5  12:34 mai file",
         {true, "mai file", "531", "Mai 5 12:34", false}},
        // Missing columns are empty words.
        {"-rw-r--r--", {true, "-rw-r--r--", "", "  ", false}},
        {"d", {true, "d", "", "  ", true}},
    };
    for (const TFTPServerType type :
         {ftpstDefault, ftpstUNIX, ftpstULTRIX, ftpstU5000, ftpstSINTFTPD}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(type) + ": " + c.line);
            ExpectEntry(Parse(type, c.line), c.want);
        }
    }
}

TEST(ParseListLine, UnixRejectsOtherLinesButStillSetsTheName) {
    const struct {
        std::string line;
        std::string name;
    } cases[] = {
        {"total 12", "12"},
        {"", ""},
        {"crw-rw-rw-   1 root     tty        5,   0 Jan  5 12:34 tty", "tty"},
        {"Drwxr-xr-x   2 user     group         512 Jan  5 12:34 upper", "upper"},
        {" -rw-r--r--  1 user     group          10 Jan  5 12:34 indented", "indented"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const Entry e = Parse(ftpstUNIX, c.line);
        EXPECT_FALSE(e.ok);
        EXPECT_EQ(e.name, c.name);
        EXPECT_EQ(e.size, "<size>");
        EXPECT_EQ(e.date, "<date>");
        EXPECT_TRUE(e.isDirectory);
    }
}

// One listing, line by line, with one state: what each line gives.
struct Step {
    std::string line;
    Entry want;
};

void RunListing(TFTPServerType type, const std::vector<Step>& steps) {
    TListState state;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i) + ": " + steps[i].line);
        ExpectEntry(Parse(type, steps[i].line, state), steps[i].want);
    }
}

const Entry kNo{false, "<name>", "<size>", "<date>", true};
const Entry kHeld = kNo; // kept for the next line: the line after it shows it

TEST(ParseListLine, VmsListing) {
    const std::vector<Step> listing = {
        {"", kNo},
        {"Directory DISK$USER:[ANONYMOUS]", kNo},
        {"", kNo},
        {"LOGIN.COM;3          2/3       5-JAN-2000 12:34:56  [GROUP,OWNER]  (RWED,RWED,RE,)",
         {true, "LOGIN.COM", "2/3", "5-JAN-2000 12:34:56", false}},
        {"MAIL.DIR;1           1/3       1-FEB-1999 09:00:00  [GROUP,OWNER]  (RWE,RWE,,)",
         {true, "MAIL", "1/3", "1-FEB-1999 09:00:00", true}},
        {"NOTES.DIRTY;1        4/6       2-FEB-1999 09:00:00  [GROUP,OWNER]  (RWED,RWED,RE,)",
         {true, "NOTES.DIRTY", "4/6", "2-FEB-1999 09:00:00", false}},
        // A long name on its own line, the columns indented on the next.
        {"A_VERY_LONG_FILE_NAME_INDEED.TXT;12", kHeld},
        {"                    12/14      7-MAR-2001 10:11:12  [X,Y]  (RWED,RWED,,)",
         {true, "A_VERY_LONG_FILE_NAME_INDEED.TXT", "12/14", "7-MAR-2001 10:11:12", false}},
        {"A_LONG_DIRECTORY_NAME_AS_WELL.DIR;1", kHeld},
        {"                     1/3       8-MAR-2001 10:11:12  [X,Y]  (RWE,RWE,,)",
         {true, "A_LONG_DIRECTORY_NAME_AS_WELL", "1/3", "8-MAR-2001 10:11:12", true}},
        // Some servers do not indent the rest.
        {"MULTILINE-FILE.LOG;1", kHeld},
        {"170774/170775     24-APR-2003 08:16:15  [FTP_CLIENT,SCOT]      (RWED,RWED,RE,)",
         {true, "MULTILINE-FILE.LOG", "170774/170775", "24-APR-2003 08:16:15", false}},
        // An empty line between the two halves changes nothing.
        {"SPLIT_BY_A_BLANK.TXT;2", kHeld},
        {"", kNo},
        {"   7/9   9-MAR-2001 00:00:01  [X,Y]  (RWED,RWED,,)",
         {true, "SPLIT_BY_A_BLANK.TXT", "7/9", "9-MAR-2001 00:00:01", false}},
        {"", kNo},
        {"Total of 5 files, 196/205 blocks.", kNo},
    };
    RunListing(ftpstVmsMultinet, listing);
    RunListing(ftpstVmsUcx, listing);
}

TEST(ParseListLine, VmsKeptLineNeverSwallowsTheListing) {
    // A kept line that starts with a space cannot become an entry; the lines after it still count.
    RunListing(ftpstVmsUcx, {
                                {" ORPHAN;1", kHeld},
                                {"NEXT.TXT;1   3  1-JAN-2001 00:00  [X]  (RWED,,,)",
                                 {true, "NEXT.TXT", "3", "1-JAN-2001 00:00", false}},
                                {" ORPHAN;1", kHeld},
                                {"Total of 1 file.", kNo},
                                {"   3  1-JAN-2001 00:00  [X]  (RWED,,,)", kNo},
                            });

    TListState state;
    std::size_t longest = 0;
    for (int i = 0; i < 5000; ++i) {
        const std::string line = " x" + std::to_string(i) + ";1";
        longest = std::max(longest, line.size());
        EXPECT_FALSE(Parse(ftpstVmsMultinet, line, state).ok);
        ASSERT_LE(state.PendingLine.size(), longest);
    }
    EXPECT_TRUE(Parse(ftpstVmsMultinet, "AFTER.TXT;1 1 1-JAN-2001 00:00 ", state).ok);
    EXPECT_TRUE(state.PendingLine.empty());
}

TEST(ParseListLine, OnlyVmsTouchesTheKeptLine) {
    for (const TFTPServerType type : kAllTypes) {
        if (type == ftpstVmsMultinet || type == ftpstVmsUcx) continue;
        TListState state{"HELD.TXT;1"};
        Parse(type, "-rw-r--r-- 1 u g 5 Jan 5 12:34 x", state);
        Parse(type, "", state);
        EXPECT_EQ(state.PendingLine, "HELD.TXT;1") << type;
    }
}

TEST(ParseListLine, VmLines) {
    const struct {
        std::string line;
        Entry want;
    } cases[] = {
        {"PROFILE  EXEC     V         72         11          1 1999-01-27 11:43:09 A1",
         {true, "PROFILE.EXEC", "72", "1999-01-27 11:43:09", false}},
        {"README   FILE     F         80         17          1  2/17/99 16:39:19 FTP191",
         {true, "README.FILE", "80", "2/17/99 16:39:19", false}},
        // Every line is an entry, however little it holds.
        {"", {true, ".", "", " ", false}},
        {"total", {true, ".", "", " ", false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ExpectEntry(Parse(ftpstVM, c.line), c.want);
    }
}

TEST(ParseListLine, VmVpsLines) {
    const struct {
        std::string line;
        Entry want;
    } cases[] = {
        // Lines laid out by the columns the parser takes (no published VM/VPS listing was at
        // hand): file name, file type, size, three more columns, time, date.
        {"INDEX    HTML      1234 F   80 A1 11:43:09 1999-01-27 X",
         {true, "INDEX.HTML", "1234", "1999-01-27 11:43:09", false}},
        {"NOTES    SCRIPT      40 V  132 A1 16:39:19 2/17/99 X",
         {true, "NOTES.SCRIPT", "40", "2/17/99 16:39:19", false}},
        {"Files = 12", kNo},
        {"  totals: 12 files 40 records", kNo},
        {"   3390 rf trks 12", kNo},
        {"   track limit 300", kNo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ExpectEntry(Parse(ftpstVMVPS, c.line), c.want);
    }
}

TEST(ParseListLine, OtherServerTypesRejectEverythingAndTouchNothing) {
    const std::string lines[] = {
        "  WYOSPT 3420   2003/05/21  1  200  FB      80  8053  PS  MVS.FILE",
        "-rw-r--r--   1 user     group        1234 Jan  5 12:34 index.html",
        "LOGIN.COM;3   2/3   5-JAN-2000 12:34:56 [GROUP,OWNER] (RWED,RWED,RE,)",
        "",
    };
    for (const TFTPServerType type : {ftpstAutoDetect, ftpstMVS, ftpstMacFtpd, ftpstClix, ftpstQVT,
                                      ftpstNCSA, ftpstChameleon}) {
        for (const auto& line : lines) {
            SCOPED_TRACE(std::to_string(type) + ": " + line);
            const Entry e = Parse(type, line);
            EXPECT_FALSE(e.ok);
            EXPECT_EQ(e.name, "<name>");
            EXPECT_EQ(e.size, "<size>");
            EXPECT_EQ(e.date, "<date>");
            EXPECT_TRUE(e.isDirectory);
        }
    }
}

// Lines of every format above, mutated: cut at every position, and every byte replaced by bytes
// that mean something to the parser. Only asks for no crash and outputs bounded by the input.
TEST(ParseListLine, MutatedLinesStayBounded) {
    const std::string seeds[] = {
        "-rw-r--r--   1 user     group        1234 Jan  5 12:34 index.html",
        "lrwxrwxrwx   1 user     group           3 Jan 05 10:00 my link -> some target",
        "d [R----F--] supervisor            512       Jan 16 18:53    login",
        "LOGIN.COM;3          2/3       5-JAN-2000 12:34:56  [GROUP,OWNER]  (RWED,RWED,RE,)",
        "A_VERY_LONG_FILE_NAME_INDEED.TXT;12",
        "                    12/14      7-MAR-2001 10:11:12  [X,Y]  (RWED,RWED,,)",
        "MAIL.DIR;1           1/3       1-FEB-1999 09:00:00  [GROUP,OWNER]  (RWE,RWE,,)",
        "PROFILE  EXEC     V         72         11          1 1999-01-27 11:43:09 A1",
        "A1 PROFILE EXEC F 80 12 11:43:09 1999-01-27 X",
        "-rw-r--r--   1 user     group        8473 Apr 18  2003 \x93\xfa\x96\x7b \x8c\xea.txt",
    };
    const char replacements[] = {' ', ';', '-', '>', '[', ':', '=', '\0', '\x82', '\xFF'};

    std::vector<std::string> lines;
    for (const auto& seed : seeds) {
        for (std::size_t cut = 0; cut <= seed.size(); ++cut)
            lines.push_back(seed.substr(0, cut));
        for (std::size_t at = 0; at < seed.size(); ++at) {
            for (const char r : replacements) {
                std::string line = seed;
                line[at] = r;
                lines.push_back(std::move(line));
            }
        }
    }

    std::size_t accepted = 0;
    for (const TFTPServerType type : kAllTypes) {
        TListState state;
        for (const auto& line : lines) {
            const std::size_t held = state.PendingLine.size();
            std::string name, size, date;
            bool dir = false;
            if (ParseListLine(type, line, name, size, date, dir, state)) ++accepted;
            const std::size_t bound = line.size() + held + 1;
            ASSERT_LE(name.size(), bound) << type << ": " << line;
            ASSERT_LE(size.size(), bound) << type << ": " << line;
            ASSERT_LE(date.size(), bound) << type << ": " << line;
            ASSERT_LE(state.PendingLine.size(), std::max(line.size(), held))
                << type << ": " << line;
            for (std::size_t n = 0; n < 10; ++n)
                ASSERT_LE(ListWord(line, n).size(), line.size());
            ASSERT_LE(ListName(line).size(), line.size());
        }
    }
    EXPECT_GT(accepted, 0u);
}

// Collapsing spaces one deletion at a time would take hours on these lines.
TEST(ParseListLine, HugeLinesAreReadInLinearTime) {
    const std::string spaces(4 << 20, ' ');
    const std::string unix = "-rw-r--r--" + spaces + "1 u g 77 Jan 5 12:34" + spaces + "big name";
    const Entry e = Parse(ftpstUNIX, unix);
    ExpectEntry(e, {true, "big name", "77", "Jan 5 12:34", false});
    EXPECT_EQ(ListWord(unix, 4), "77");
    EXPECT_EQ(ListName(unix + spaces), "name");

    TListState state;
    EXPECT_FALSE(Parse(ftpstVmsUcx, std::string(70000, 'N') + ";1", state).ok);
    const Entry vms = Parse(ftpstVmsUcx, spaces + "5 1-JAN-2001 00:00 " + spaces, state);
    ExpectEntry(vms, {true, std::string(70000, 'N'), "5", "1-JAN-2001 00:00", false});
}

} // namespace
