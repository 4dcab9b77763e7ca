#include "ftp/listmatch.h"

#include "ftp/ftplist.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>

namespace {

std::string Show(const std::optional<TDateTime>& t) {
    if (!t) return "unknown";
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t->Year, t->Month, t->Day,
                  t->Hour, t->Minute, t->Second);
    return text;
}

TEST(MonthFromName, ExactThreeLetterEnglishNames) {
    const struct {
        const char* text;
        int month;
    } cases[] = {
        {"Jan", 1}, {"Feb", 2},  {"Mar", 3},  {"Apr", 4},  {"May", 5},  {"Jun", 6},
        {"Jul", 7}, {"Aug", 8},  {"Sep", 9},  {"Oct", 10}, {"Nov", 11}, {"Dec", 12},
        {"jan", 0}, {"JAN", 0},  {"Janu", 0}, {"Ja", 0},   {" Jan", 0}, {"", 0},
        {"1", 0},   {"Sept", 0}, {"Mai", 0},  {"Dec.", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MonthFromName(c.text), c.month) << '"' << c.text << '"';
}

// Real listing lines, read by the parser as the same-file check reads them, against local names.
TEST(SameRemoteName, VmsAndVmListNamesInCapitals) {
    const struct {
        TFTPServerType type;
        const char* line;
        const char* local;
        bool same;
    } cases[] = {
        {ftpstVmsUcx,
         "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)",
         "cii-manual.tex", true},
        {ftpstVmsUcx,
         "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)",
         "CII-MANUAL.TEX", true},
        {ftpstVmsUcx,
         "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)",
         "cii-manual.te", false},
        {ftpstVmsMultinet, "00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)",
         "00ReadMe.txt", true},
        {ftpstVmsMultinet, "00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)",
         "00readme.txt;1", false},
        // A folder: its name without ".DIR".
        {ftpstVmsMultinet, "CORE.DIR;1          1  8-SEP-1996 16:09 [SYSTEM] (RWE,RWE,RE,RE)",
         "core", true},
        {ftpstVM, "$README  $FIRST   F         80          7          1 11/21/97 23:26:08 FTP301",
         "$readme.$first", true},
        {ftpstVM, "$README  $FIRST   F         80          7          1 11/21/97 23:26:08 FTP301",
         "$readme.first", false},
        {ftpstVMVPS, "INDEX    HTML      1234 F   80 A1 11:43:09 1999-01-27 X", "index.html", true},
        {ftpstVMVPS, "INDEX    HTML      1234 F   80 A1 11:43:09 1999-01-27 X", ".html", false},
        // UNIX servers tell case apart: README and readme are two files.
        {ftpstUNIX, "-rw-r--r--   1 root     other        531 Jan 29 03:26 README", "README", true},
        {ftpstUNIX, "-rw-r--r--   1 root     other        531 Jan 29 03:26 README", "readme",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " / " + c.local);
        std::string name, size, date;
        bool isDirectory = false;
        TListState state;
        ASSERT_TRUE(ParseListLine(c.type, c.line, name, size, date, isDirectory, state));
        EXPECT_EQ(SameRemoteName(c.type, name, c.local), c.same) << name;
    }
}

TEST(SameRemoteName, CaseIsIgnoredOnlyForVmsAndVmAndNeverInsideADoubleByteCharacter) {
    for (int t = ftpstDefault; t <= ftpstVMVPS; ++t) {
        const auto type = static_cast<TFTPServerType>(t);
        const bool caseless = type == ftpstVmsMultinet || type == ftpstVmsUcx || type == ftpstVM ||
                              type == ftpstVMVPS;
        SCOPED_TRACE(t);
        EXPECT_EQ(SameRemoteName(type, "INDEX.HTML", "index.html"), caseless);
        EXPECT_TRUE(SameRemoteName(type, "index.html", "index.html"));
        EXPECT_FALSE(SameRemoteName(type, "INDEX.HTML", "index.htm"));
        // "ア" (83 41) and "ャ" (83 61): their second bytes are "A" and "a".
        EXPECT_FALSE(SameRemoteName(type, "\x83\x41.TXT", "\x83\x61.txt"));
        EXPECT_EQ(SameRemoteName(type, "\x83\x41.TXT", "\x83\x41.txt"), caseless);
        EXPECT_FALSE(SameRemoteName(type, "", "a"));
    }
    // A VMS name that still carries its version.
    EXPECT_TRUE(SameRemoteName(ftpstVmsUcx, "INDEX.HTML;12", "index.html"));
    EXPECT_FALSE(SameRemoteName(ftpstVmsUcx, "INDEX.HTML;", "index.html"));
    EXPECT_FALSE(SameRemoteName(ftpstVM, "INDEX.HTML;12", "index.html"));
}

TEST(SpacesToUnderscores, OnlyTheSpaceByteChanges) {
    const struct {
        std::string text, want;
    } cases[] = {
        {"read me.txt", "read_me.txt"},
        {"  a  ", "__a__"},
        {"tab\there", "tab\there"},
        {"no_space", "no_space"},
        {"", ""},
        // Shift_JIS "表 示.txt": 0x95 0x5C is one character; only the 0x20 between changes.
        {"\x95\x5C \x8E\xA6.txt", "\x95\x5C_\x8E\xA6.txt"},
        // A full-width space (0x81 0x40) is not a space byte.
        {"a\x81\x40"
         "b",
         "a\x81\x40"
         "b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpacesToUnderscores(c.text), c.want) << c.text;
}

// "Now" of the table: 15 June 2026, 10:00.
const TDateTime kJune{2026, 6, 15, 10, 0, 0};
// "Now" on a new year's day: 2 January 2027, 09:30.
const TDateTime kJanuary{2027, 1, 2, 9, 30, 0};

TEST(ParseListingDate, DateTextsOfRealListings) {
    const struct {
        const char* text;
        TDateTime now;
        const char* want;
    } cases[] = {
        // UNIX "ls -l": month day time (this half-year) or month day year.
        {"Jan 5 12:34", kJune, "2026-01-05 12:34:00"},
        {"Jun 15 10:00", kJune, "2026-06-15 10:00:00"},
        {"Jan 5 1999", kJune, "1999-01-05 00:00:00"},
        {"Feb 29 2024", kJune, "2024-02-29 00:00:00"},
        {"Feb 29 2026", kJune, "unknown"}, // not a leap year
        {"Dec 31 2025", kJune, "2025-12-31 00:00:00"},
        // Columns the parser kept empty leave empty tokens, which change nothing.
        {"Jan 5 ", kJune, "2026-01-05 00:00:00"},
        {"Jan  5 12:34", kJune, "2026-01-05 12:34:00"},
        // Slash dates: year, month, day.
        {"99/01/05 12:34", kJune, "1999-01-05 12:34:00"},
        {"05/01/31 00:00", kJune, "2005-01-31 00:00:00"},
        {"80/12/01", kJune, "1980-12-01 00:00:00"},
        {"79/12/01", kJune, "2079-12-01 00:00:00"},
        {"2001/2/3 4:05", kJune, "2001-02-03 04:05:00"},
        {"Mar 2001/2/3", kJune, "2001-03-03 00:00:00"}, // a month name wins over the slash month
        // VMS and VM listings write dates the parser does not read.
        {"5-JAN-2000 12:34:56", kJune, "unknown"},
        {"1999-01-27 11:43:09", kJune, "unknown"},
        // Not dates.
        {"", kJune, "unknown"},
        {"Foo 5 12:34", kJune, "unknown"},
        {"Jan 0 12:34", kJune, "unknown"},
        {"Jan 32 12:34", kJune, "unknown"},
        {"Apr 31 12:34", kJune, "unknown"},
        {"Jan 5 24:00", kJune, "unknown"},
        {"Jan 5 12:60", kJune, "unknown"},
        {"Jan 5 12:34:56", kJune, "unknown"},           // seconds leave "34:56" as the minute
        {"Jan 5 1:02PM", kJune, "2026-01-05 13:02:00"}, // the 12-hour time of MS-DOS listings
        {"Jan 5 x:02", kJune, "unknown"},
        {"99/01", kJune, "unknown"},       // one slash only
        {"5 Jan 12:34", kJune, "unknown"}, // only the first token can name the month
        // Other tokens are passed over.
        {"Jan 5 12:34 UTC", kJune, "2026-01-05 12:34:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Show(ParseListingDate(c.text, c.now)), c.want) << '"' << c.text << '"';
}

TEST(ParseListingDate, ADateWithoutYearNeverLiesAheadOfNowByMoreThanADay) {
    const struct {
        const char* text;
        TDateTime now;
        const char* want;
    } cases[] = {
        // Seen on 2 January: a time shown for December belongs to the year before.
        {"Dec 31 23:59", kJanuary, "2026-12-31 23:59:00"},
        {"Dec 20 08:00", kJanuary, "2026-12-20 08:00:00"},
        {"Jan 2 09:30", kJanuary, "2027-01-02 09:30:00"},
        // Up to a day ahead stays in this year (clocks and time zones differ a little).
        {"Jan 3 09:30", kJanuary, "2027-01-03 09:30:00"},
        {"Jan 3 09:31", kJanuary, "2026-01-03 09:31:00"},
        {"Jun 16 09:59", kJune, "2026-06-16 09:59:00"},
        {"Jun 16 10:01", kJune, "2025-06-16 10:01:00"},
        {"Dec 31 23:59", kJune, "2025-12-31 23:59:00"},
        // A year in the text is never moved.
        {"Dec 31 2027", kJanuary, "2027-12-31 00:00:00"},
        {"27/12/31 10:00", kJanuary, "2027-12-31 10:00:00"},
        // 29 February ahead in a leap year has no day in the year before: unknown.
        {"Feb 29 12:00", TDateTime{2028, 1, 10, 0, 0, 0}, "unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Show(ParseListingDate(c.text, c.now)), c.want) << '"' << c.text << '"';
}

// The dates of real listing lines, as the same-file check reads them: the line through the parser
// of the default server type, its date text through ParseListingDate, on 15 June 2026 at 10:00.
// Expected: the dates the sources give for these lines (a date without a year is in the last
// half-year, as "ls" shows it). Japanese lines are written in UTF-8 and sent in every code.
TEST(ParseListingDate, DatesOfRealListingLines) {
    const struct {
        const char* line;
        const char* want;
    } cases[] = {
        // FileZilla, tests/dirparsertest.cpp (basvodde/filezilla)
        {"dr-xr-xr-x   2 root     other        512 Apr  8  1994 01-unix-std dir",
         "1994-04-08 00:00:00"},
        {"lrwxrwxrwx   1 root     other          7 Jan 25 00:17 04-unix-std link -> usr/bin",
         "2026-01-25 00:17:00"},
        {"-rw-r--r--   1 root     other        531 09-26 2000 05-unix-date file",
         "2000-09-26 00:00:00"},
        {"-rw-r--r--   1 root     other        531 09-26 13:45 06-unix-date file",
         "2025-09-26 13:45:00"},
        {"-rw-r--r--   1 root     other        531 2005-06-07 21:22 07-unix-date file",
         "2005-06-07 21:22:00"},
        {"d [R----F--] supervisor            512       Jan 16 18:53    09-netware dir",
         "2026-01-16 18:53:00"},
        {"04-27-00  12:09PM       <DIR>          16-dos-dateambiguous dir", "2000-04-27 12:09:00"},
        {"04-06-00  03:47PM                  589 17-dos-dateambiguous file", "2000-04-06 15:47:00"},
        {"2002-09-02  18:48       <DIR>          18-dos-longyear dir", "2002-09-02 18:48:00"},
        {"2002-09-02  19:06                9,730 19-dos-longyear file", "2002-09-02 19:06:00"},
        {"-r-xr-xr-x   2 root     other      2235 1999/10/12 17:12 30-datetest file",
         "1999-10-12 17:12:00"},
        {"-r-xr-xr-x   2 root     other      2235 24-04-2003 17:12 31-datetest file",
         "2003-04-24 17:12:00"},
        {"-rw-r--r--   1 root       sys           8473  4月 18日 2003年 32-datatest-japanese file",
         "2003-04-18 00:00:00"},
        // Apache Commons Net, UnixFTPEntryParserTest.java and NTFTPEntryParserTest.java
        {"-rwxrwx---   1 ftp      ftp-admin 816026400 Oct  5  2008 bloplab 7 cd1.img",
         "2008-10-05 00:00:00"},
        {"-rw-r-----   1 neeme neeme   346 2005-04-08 11:22 services.vsp", "2005-04-08 11:22:00"},
        {"-rwxr-xr-x 2 user group 4096 3月 2日 15:13 zxbox", "2026-03-02 15:13:00"},
        {"-rwxr-xr-x 2 user group 4096 3月 2日 2003年 試験ファイル.csv", "2003-03-02 00:00:00"},
        {"12-05-96  05:03PM       <DIR>          absoft2", "1996-12-05 17:03:00"},
        {"05-22-97  12:08AM                  5000000000 AUTOEXEC.BAK", "1997-05-22 00:08:00"},
        {"12-03-96  06:38PM       <DIR>           10 years and under", "1996-12-03 18:38:00"},
        {"05-22-97  12:08                  5000000000 10 years and under", "1997-05-22 12:08:00"},
        {"12-03-96  06:38       <DIR>           10 years and under", "1996-12-03 06:38:00"},
        // Chromium, ftp_directory_listing_parser_windows_unittest.cc and ..._ls_unittest.cc
        {"11-02-09  05:32PM       <DIR>          NT", "2009-11-02 17:32:00"},
        {"01-06-09  02:42PM                  458 Readme.txt", "2009-01-06 14:42:00"},
        {"01-06-09  02:42AM                  1 Readme.txt", "2009-01-06 02:42:00"},
        {"01-06-01  02:42AM                  458 Readme.txt", "2001-01-06 02:42:00"},
        {"01-06-00  02:42AM                  458 Corner1.txt", "2000-01-06 02:42:00"},
        {"01-06-99  02:42AM                  458 Corner2.txt", "1999-01-06 02:42:00"},
        {"01-06-80  02:42AM                  458 Corner3.txt", "1980-01-06 02:42:00"},
        {"01-06-79  02:42AM                  458 Corner4", "2079-01-06 02:42:00"},
        {"01-06-1979  02:42AM                458 Readme.txt", "1979-01-06 02:42:00"},
        {"12-25-10  12:00AM       <DIR>          Christmas Midnight", "2010-12-25 00:00:00"},
        {"12-25-10  12:00PM       <DIR>          Christmas Midday", "2010-12-25 12:00:00"},
        {"-rw-r--r--    1 ftp      ftp           528 Nov 01  2007 README", "2007-11-01 00:00:00"},
        {"drwxrwxrwx 2 root root  4096 2012-02-07 00:31 notas_servico", "2012-02-07 00:31:00"},
        // FFFTP, filelist.txt (ffftp/ffftp): the dates as the lines write them
        {"-rwxrwx---  5  owner group    12 11月 6日 1996年    test.txt", "1996-11-06 00:00:00"},
        {"drwxr-xr-x 15  owner group  1024 11月 6日 14時21分  Linux/", "2025-11-06 14:21:00"},
        {"-rwxrwx---     owner          12 11月12日 1996年    test.txt", "1996-11-12 00:00:00"},
        {"drwxrwxr-x 6   root  sys     512  1月 26  03:10     adm", "2026-01-26 03:10:00"},
        {"-rw-r----- 1 root root       251 2011-12-06 23:39 .hoge", "2011-12-06 23:39:00"},
        {"01-28-2013 03:54PM 2847 DATA.TXT", "2013-01-28 15:54:00"},
    };
    for (const char* code : {"CP932", "EUC-JP", "UTF-8"}) {
        for (const auto& c : cases) {
            const std::string line = IconvConvert(code, "UTF-8", c.line).value_or("");
            SCOPED_TRACE(std::string(code) + ": " + c.line);
            std::string name, size, date;
            bool isDirectory = false;
            TListState state;
            ASSERT_TRUE(ParseListLine(ftpstDefault, line, name, size, date, isDirectory, state));
            EXPECT_EQ(Show(ParseListingDate(date, kJune)), c.want) << date;
        }
    }
}

// Worked examples of the date texts the parser now hands over.
TEST(ParseListingDate, NumericMsDosAndJapaneseDates) {
    const struct {
        const char* text;
        const char* want;
    } cases[] = {
        {"09-26 13:45", "2025-09-26 13:45:00"},
        {"2024-09-26 13:45", "2024-09-26 13:45:00"},
        {"12-07-2026 10:30", "2026-12-07 10:30:00"},
        {"24-04-2003 17:12", "2003-04-24 17:12:00"},
        {"97-10-14 03:34PM", "1997-10-14 15:34:00"},
        {"10-14-100 03:34", "2000-10-14 03:34:00"}, // years since 1900
        {"04-27-00 12:09PM", "2000-04-27 12:09:00"},
        {"04-27-00 12:09AM", "2000-04-27 00:09:00"},
        {"04-27-00 12:09pm", "2000-04-27 12:09:00"},
        {"04-27-00 13:09PM", "unknown"},
        {"04-27-00 0:09AM", "unknown"},
        {"13-13-2000 10:00", "unknown"},
        {"02-30-2024 10:00", "unknown"},
        {"1-2-3-4 10:00", "unknown"},
        {"12-07-x 10:30", "unknown"},
        {"-07-26 10:30", "unknown"},
        // 月 日 年 時 分 in Shift_JIS, EUC-JP and UTF-8.
        {"4\x8C\x8E 18\x93\xFA 2003\x94\x4E", "2003-04-18 00:00:00"},
        {"4\xB7\xEE 18\xC6\xFC 2003\xC7\xAF", "2003-04-18 00:00:00"},
        {"4\xE6\x9C\x88 18\xE6\x97\xA5 2003\xE5\xB9\xB4", "2003-04-18 00:00:00"},
        {"12\x8C\x8E 7\x93\xFA 10:30", "2025-12-07 10:30:00"},
        {"6\xB7\xEE 7\xC6\xFC 10:30", "2026-06-07 10:30:00"},
        {"11\xE6\x9C\x88"
         "12\xE6\x97\xA5 14\xE6\x99\x82"
         "21\xE5\x88\x86",
         "2025-11-12 14:21:00"},
        {"11\x8C\x8E"
         "12\x93\xFA 14\x8E\x9E"
         "21\x95\xAA",
         "2025-11-12 14:21:00"},
        {"1\xB7\xEE 26 03:10", "2026-01-26 03:10:00"},
        // A unit without its number, or other kanji, is no date.
        {"\x8C\x8E 18\x93\xFA 2003\x94\x4E", "unknown"},
        {"4\x8C\x8F 18\x93\xFA 2003\x94\x4E", "unknown"},
        {"4\x8C 18 2003", "unknown"},
        {"13\x8C\x8E 1\x93\xFA 2003\x94\x4E", "unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Show(ParseListingDate(c.text, kJune)), c.want) << '"' << c.text << '"';
}

TEST(ParseListingDate, AtMostTenTokensAreRead) {
    // The time is the eleventh token: not read.
    EXPECT_EQ(Show(ParseListingDate("Jan 5 a b c d e f g h 12:34", kJune)), "2026-01-05 00:00:00");
    EXPECT_EQ(Show(ParseListingDate("Jan 5 a b c d e f g 12:34", kJune)), "2026-01-05 12:34:00");
}

} // namespace

// The local file changed at 10:00:00 UTC on 15 June 2026 ("now" is kJune). Time zones run from
// UTC-12 to UTC+14: a clock time 12 h and a minute before the local change is older in every
// zone, one 14 h after it newer in every zone; a date without a time may be any moment of its day.
TEST(ListingDateLeavesNoDoubt, OnlyOutsideEveryTimeZonesReach) {
    std::tm change{};
    change.tm_year = 2026 - 1900;
    change.tm_mon = 5;
    change.tm_mday = 15;
    change.tm_hour = 10;
    const std::int64_t local = timegm(&change);
    const struct {
        const char* text;
        bool clear;
    } cases[] = {
        {"Jun 14 21:59", true},  // 09:59 UTC at the latest (UTC-12, to the end of its minute)
        {"Jun 14 22:00", false}, // up to 10:00:59 UTC
        {"Jun 15 10:00", false}, {"Jun 15 23:59", false}, // 09:59 UTC in UTC+14
        {"Jun 16 00:00", true},                           // 10:00 UTC at the earliest: not older
        {"Jun 13 2026", true}, // the whole day, even in UTC-12, ends before
        {"Jun 14 2026", false},  {"Dec 31 2025", true},   {"not a date", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListingDateLeavesNoDoubt(c.text, kJune, local), c.clear) << c.text;
}
