#include "ftp/ftplist.h"

#include "platform/codepage.h"

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

// A listing line from a real server and what its source says the line means. Japanese text is
// written here in UTF-8; servers send it in Shift_JIS, EUC-JP or UTF-8, and iconv makes each.
struct RealLine {
    const char* line;
    const char* name;
    const char* size;
    bool folder;
};

// Symbolic links are listed as files whatever the source calls them ("link", "symlink"): they may
// lead to a file or a folder, and the server decides what a store over one does.
const RealLine kRealUnixLines[] = {
    // FileZilla, tests/dirparsertest.cpp (basvodde/filezilla)
    {"dr-xr-xr-x   2 root     other        512 Apr  8  1994 01-unix-std dir", "01-unix-std dir",
     "512", true},
    {"-rw-r--r--   1 root     other        531 3 29 03:26 02-unix-std file", "02-unix-std file",
     "531", false},
    {"dr-xr-xr-x   2 root                  512 Apr  8  1994 03-unix-nogroup dir",
     "03-unix-nogroup dir", "512", true},
    {"lrwxrwxrwx   1 root     other          7 Jan 25 00:17 04-unix-std link -> usr/bin",
     "04-unix-std link", "7", false},
    {"-rw-r--r--   1 root     other        531 09-26 2000 05-unix-date file", "05-unix-date file",
     "531", false},
    {"-rw-r--r--   1 root     other        531 09-26 13:45 06-unix-date file", "06-unix-date file",
     "531", false},
    {"-rw-r--r--   1 root     other        531 2005-06-07 21:22 07-unix-date file",
     "07-unix-date file", "531", false},
    {"d [R----F--] supervisor            512       Jan 16 18:53    09-netware dir",
     "09-netware dir", "512", true},
    {"- [R----F--] rhesus             214059       Oct 20 15:27    10-netware file",
     "10-netware file", "214059", false},
    {"-------r--         326  1391972  1392298 Nov 22  1995 11-netpresenz file",
     "11-netpresenz file", "1392298", false},
    {"drwxrwxr-x               folder        2 May 10  1996 12-netpresenz dir", "12-netpresenz dir",
     "2", true},
    {"-rw-r--r--   1 group domain user 531 Jan 29 03:26 13-unix-domain file", "13-unix-domain file",
     "531", false},
    {"-r-xr-xr-x   2 root     other      2235 1999/10/12 17:12 30-datetest file",
     "30-datetest file", "2235", false},
    {"-r-xr-xr-x   2 root     other      2235 24-04-2003 17:12 31-datetest file",
     "31-datetest file", "2235", false},
    {"-rw-r--r--   1 root       sys           8473  4月 18日 2003年 32-datatest-japanese file",
     "32-datatest-japanese file", "8473", false},
    {"-r--r--r-- 0125039 12 Nov 11 2005 53-noownergroup file", "53-noownergroup file", "12", false},
    // Apache Commons Net,
    // src/test/java/org/apache/commons/net/ftp/parser/UnixFTPEntryParserTest.java
    {"-rw-r--r--   1 ftp      group with spaces in it as allowed in cygwin see bug 38634   83853 "
     "Jan 22  2001 zxJDBC-1.2.4.tar.gz",
     "zxJDBC-1.2.4.tar.gz", "83853", false},
    {"-rwxrwx---   1 ftp      ftp-admin 816026400 Oct  5  2008 bloplab 7 cd1.img",
     "bloplab 7 cd1.img", "816026400", false},
    {"-rw-r--r--   1 ftpuser  ftpusers 12414535 Mar 17 11:07 test 1999 abc.pdf",
     "test 1999 abc.pdf", "12414535", false},
    {"-rw-rw-rw-   1 user group 5840 Mar 19 09:34 123 456 abc.csv", "123 456 abc.csv", "5840",
     false},
    {"-rw-r-----   1 neeme neeme   346 2005-04-08 11:22 services.vsp", "services.vsp", "346",
     false},
    {"lrwxrwxrwx   1 neeme neeme    23 2005-03-02 18:06 macros -> ./../../global/macros/.",
     "macros", "23", false},
    {"-rwxr-xr-x   2 user     my group 500        5000000000 Mar  2 15:13 zxbox", "zxbox",
     "5000000000", false},
    {"-rwxr-xr-x 2 user group 4096 3月 2日 15:13 zxbox", "zxbox", "4096", false},
    {"-rwxr-xr-x 2 user group 4096 3月 2日 2003年 試験ファイル.csv", "試験ファイル.csv", "4096",
     false},
    {"-rw-rw---- 1 ep1adm sapsys 0 6月 3日 2003年 試験ファイル.csv", "試験ファイル.csv", "0",
     false},
    {"-rw-rw---- 1 ep1adm sapsys 0 8月 17日 20:10 caerrinf", "caerrinf", "0", false},
    {"drwxr-xr-x 1 usernameftp 512 Jan 29 23:32 prog", "prog", "512", true},
    {"-rw-r--r--   1 1        3518644 May 25 12:12 std", "std", "3518644", false},
    {"drwxrwx---+ 23 500     500    0 Jan 10 13:09 testACL", "testACL", "0", true},
    {"drwxr-x---+1464 chrism   chrism     41472 Feb 25 13:17 20090225", "20090225", "41472", true},
    {"drwxr-xr-x   2 john smith     group         4096 Mar  2 15:13 zxbox", "zxbox", "4096", true},
    {"drwx------ 4 maxm Domain Users 512 Oct 2 10:59 abc(test)123.pdf", "abc(test)123.pdf", "512",
     true},
    // Chromium, net/ftp/ftp_directory_listing_parser_ls_unittest.cc (chromium/chromium)
    {"-rw-r--r--    1 ftp      ftp           528 Nov 01  2007 README", "README", "528", false},
    {"lrwxrwxrwx 1 0  0 26 Sep 18 2008 pub -> vol/1/.CLUSTER/var_ftp/pub", "pub", "26", false},
    {"drwxr-xr-x   2 sys          512 Mar 27  2009 pub", "pub", "512", true},
    {"-rw-r--r-- 2 3 3447432 May 18  2009 Foo - Manual.pdf", "Foo - Manual.pdf", "3447432", false},
    {"drwxrwxrwx 2 root root  4096 2012-02-07 00:31 notas_servico", "notas_servico", "4096", true},
    {"drwxrwx   2       10     4096 Jul 28 02:41 tmp", "tmp", "4096", true},
    {"drwxr-xr-x1732 266      111        90112 Jun 21  2001 .rda_2", ".rda_2", "90112", true},
    {"drwx--l---   2 0        10           512 Dec 22  1994 swetzel", "swetzel", "512", true},
    {"drwxrwxr-x   3 %%%%     Domain Users     4096 Dec  9  2009 %%%%%", "%%%%%", "4096", true},
    // FFFTP, filelist.txt (ffftp/ffftp): Japanese dates, missing columns, "ls -F" folders
    {"drwxr-xr-x 15  owner group  1024 Nov  6   14:21     Linux/", "Linux", "1024", true},
    {"drwxr-xr-x 15  owner group  1024 11月 6日 14:21     Linux/", "Linux", "1024", true},
    {"drwxr-xr-x 15  owner group  1024 11月 6日 14時21分  Linux/", "Linux", "1024", true},
    {"-rwxrwx---  5  owner group    12 11月 6日 1996年    test.txt", "test.txt", "12", false},
    {"drwxrwxr-x 6   root  sys     512  1月 26  03:10     adm", "adm", "512", true},
    {"drwxr-xr-x 15  owner group  1024 11月12日 14時21分  Linux/", "Linux", "1024", true},
    {"-rwxrwx---  5  owner group    12 11月12日 1996年    test.txt", "test.txt", "12", false},
    {"drwxr-xr-x123  owner group  1024 11月 6日 14:21     Linux/", "Linux", "1024", true},
    {"-rwxrwx---  5  owner          12 11月 6日 1996年    test.txt", "test.txt", "12", false},
    {"drwxr-xr-x     owner        1024 11月 6日 14:21     Linux/", "Linux", "1024", true},
    {"-rwxrwx---     owner          12 11月12日 1996年    test.txt", "test.txt", "12", false},
    {"drwxr-xr-x 123  owner m group g 1024 Nov  6  14:21 Linux/", "Linux", "1024", true},
    {"drwxr-xr-x 123  owner m group g 1024 11月12日  14:21 Linux/", "Linux", "1024", true},
    {"-rw-r--r-- 1 syouwaky 10014 5472 Nov 24 2018 access_20181124.html", "access_20181124.html",
     "5472", false},
    {"-rw-r-----. 1 grp 36 Apr 20 19:13 newfile.txt", "newfile.txt", "36", false},
    {"-rw-r----- 1 root root       251 2011-12-06 23:39 .hoge", ".hoge", "251", false},
    {"-rw-r--r-- 1 0 0 100 services", "services", "100", false},
    {"lrwxrwxrwx 1 0 0 20 resolv.conf -> /var/run/resolv.conf", "resolv.conf", "20", false},
};

// Windows servers (SYST "Windows_NT", the default server type) in the MS-DOS style.
const RealLine kRealDosLines[] = {
    // FileZilla, tests/dirparsertest.cpp (basvodde/filezilla)
    {"04-27-00  12:09PM       <DIR>          16-dos-dateambiguous dir", "16-dos-dateambiguous dir",
     "", true},
    {"04-06-00  03:47PM                  589 17-dos-dateambiguous file",
     "17-dos-dateambiguous file", "589", false},
    {"2002-09-02  18:48       <DIR>          18-dos-longyear dir", "18-dos-longyear dir", "", true},
    {"2002-09-02  19:06                9,730 19-dos-longyear file", "19-dos-longyear file", "9730",
     false},
    // Apache Commons Net, src/test/java/org/apache/commons/net/ftp/parser/NTFTPEntryParserTest.java
    {"05-26-95  10:57AM               143712 $LDR$", "$LDR$", "143712", false},
    {"12-05-96  05:03PM       <DIR>          absoft2", "absoft2", "", true},
    {"12-03-96  06:38AM       <DIR>          123xyz", "123xyz", "", true},
    {"05-26-1995  10:57AM               143712 $LDR$", "$LDR$", "143712", false},
    {"12-05-96  17:03         <DIR>          absoft2", "absoft2", "", true},
    {"09-13-10  13:08                   23 Control Panel.lnk", "Control Panel.lnk", "23", false},
    {"09-13-10  13:08       <DIR>          My Documents", "My Documents", "", true},
    {"05-22-97  12:08AM                  5000000000 10 years and under", "10 years and under",
     "5000000000", false},
    {"12-03-96  06:38PM       <DIR>           10 years and under", "10 years and under", "", true},
    {"12-03-96  06:38AM       <DIR>          123 abc xyz", "123 abc xyz", "", true},
    // Chromium, net/ftp/ftp_directory_listing_parser_windows_unittest.cc (chromium/chromium)
    {"11-02-09  05:32PM       <DIR>          NT", "NT", "", true},
    {"01-06-09  02:42PM                  458 Readme.txt", "Readme.txt", "458", false},
    {"01-06-1979  02:42AM                458 Readme.txt", "Readme.txt", "458", false},
    {"11-02-09  05:32PM       <DIR>          My Directory", "My Directory", "", true},
    // FFFTP, filelist.txt (ffftp/ffftp), "Windows Server 2008 R2"
    {"02-05-2013 09:45AM <DIR> TEST", "TEST", "", true},
    {"01-28-2013 03:54PM 2847 DATA.TXT", "DATA.TXT", "2847", false},
};

std::string InCode(const char* code, const char* utf8) {
    return IconvConvert(code, "UTF-8", utf8).value_or("<no " + std::string(code) + " form>");
}

void ExpectRealLine(TFTPServerType type, const char* code, const RealLine& real) {
    const std::string line = InCode(code, real.line);
    SCOPED_TRACE(std::string(code) + " " + std::to_string(type) + ": " + real.line);
    const Entry got = Parse(type, line);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.name, InCode(code, real.name));
    EXPECT_EQ(got.size, real.size);
    EXPECT_EQ(got.isDirectory, real.folder);
}

TEST(ParseListLine, RealUnixLinesInEveryCode) {
    for (const char* code : {"CP932", "EUC-JP", "UTF-8"})
        for (const TFTPServerType type : {ftpstDefault, ftpstUNIX})
            for (const RealLine& real : kRealUnixLines)
                ExpectRealLine(type, code, real);
    // The Japanese line as its source has it, in Shift_JIS: the table's line made by iconv.
    EXPECT_EQ(InCode("CP932", kRealUnixLines[14].line),
              "-rw-r--r--   1 root       sys           8473  4\x8c\x8e 18\x93\xfa 2003\x94\x4e "
              "32-datatest-japanese file");
}

TEST(ParseListLine, RealMsDosLinesUnderTheDefaultTypeOnly) {
    for (const RealLine& real : kRealDosLines) {
        ExpectRealLine(ftpstDefault, "CP932", real);
        EXPECT_FALSE(Parse(ftpstUNIX, real.line).ok) << real.line;
    }
}

// Apache Commons Net, NTFTPEntryParserTest.java: a Windows server's listing in Shift_JIS, as the
// bytes of its listFilesByteTrace.
TEST(ParseListLine, ShiftJisNamesOfAWindowsServer) {
    const struct {
        const char* line;
        const char* name;
        const char* size;
    } cases[] = {
        {"07-17-13  02:17PM                    3 x\x81\x85y", "x\x81\x85y", "3"},
        {"07-17-13  01:49PM                    4 \x82\xe4\x82\xad\x89\xcd\x82\xcc\x97\xac\x82\xea"
         "\x82\xcd\x90\xe2\x82\xa6\x82\xb8\x82\xb5\x82\xc4\x81\x41\x82\xb5\x82\xa9\x82\xe0\x82\xe0"
         "\x82\xc6\x82\xcc\x90\x85\x82\xc9\x82\xa0\x82\xe7\x82\xb8.txt",
         "\x82\xe4\x82\xad\x89\xcd\x82\xcc\x97\xac\x82\xea\x82\xcd\x90\xe2\x82\xa6\x82\xb8\x82\xb5"
         "\x82\xc4\x81\x41\x82\xb5\x82\xa9\x82\xe0\x82\xe0\x82\xc6\x82\xcc\x90\x85\x82\xc9\x82\xa0"
         "\x82\xe7\x82\xb8.txt",
         "4"},
        {"07-17-13  01:49PM                    7 \x8e\x4f\x8c\xda\x82\xcc\x97\xe7.txt",
         "\x8e\x4f\x8c\xda\x82\xcc\x97\xe7.txt", "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ExpectEntry(Parse(ftpstDefault, c.line),
                    {true, c.name, c.size, "07-17-13 " + std::string(c.line).substr(10, 7), false});
    }
}

TEST(ParseListLine, MsDosLinesWithoutANameAreNoEntries) {
    // Chromium, ftp_directory_listing_parser_windows_unittest.cc: lines it ignores or refuses.
    for (const char* line :
         {"12-07-10  12:05AM       <DIR>    ", "12-07-10  12:05AM       1234    ",
          "11-02-09  05:32PM       <DIR>", "11-02-09  05:32PM       <GARBAGE>      NT",
          "11-FEB-09 05:32PM       <DIR>          NT", "11-02     05:32PM       <DIR>          NT",
          "11-02-09  05:32PM                 -1   NT"}) {
        const Entry e = Parse(ftpstDefault, line);
        EXPECT_FALSE(e.ok) << line;
        EXPECT_EQ(e.size, "<size>") << line;
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
        "-rw-r--r--   1 root       sys           8473  4\x8c\x8e 18\x93\xfa 2003\x94\x4e j file",
        "drwxr-xr-x 1 o g 1 11\xe6\x9c\x88"
        "12\xe6\x97\xa5 14\xe6\x99\x82"
        "21\xe5\x88\x86 L/",
        "-rw-r--r-- 1 root 531 2005-06-07 21:22 iso date",
        "04-27-00  12:09PM       <DIR>          old dir",
        "2002-09-02  19:06                9,730 long year file",
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
