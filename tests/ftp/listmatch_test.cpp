#include "ftp/listmatch.h"

#include "ftp/ftplist.h"

#include <gtest/gtest.h>

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

TEST(ParseListingDate, AtMostTenTokensAreRead) {
    // The time is the eleventh token: not read.
    EXPECT_EQ(Show(ParseListingDate("Jan 5 a b c d e f g h 12:34", kJune)), "2026-01-05 00:00:00");
    EXPECT_EQ(Show(ParseListingDate("Jan 5 a b c d e f g 12:34", kJune)), "2026-01-05 12:34:00");
}

} // namespace
