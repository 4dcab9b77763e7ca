// The session's picture of its folder, from real listing lines and after stores.
#include "app/remotefolder.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <cstdlib>
#include <ctime>

namespace {

const std::vector<std::string> UnixLines = {
    "total 12",
    "drwxr-xr-x   2 ftp  ftp      4096 Jan 05 12:34 pub",
    "-rw-r--r--   1 ftp  ftp      1234 Dec 24  2019 index.html",
    "-rw-r--r--   1 ftp  ftp        10 Mar 01 09:05 read me.txt",
};

TEST(RemoteFolder, ListLinesByName) {
    TRemoteFolder folder;
    folder.Take(ftpstUNIX, false, UnixLines);
    EXPECT_EQ(folder.Find("total"), nullptr); // the summary line is no entry
    const TRemoteEntry* pub = folder.Find("pub");
    ASSERT_NE(pub, nullptr);
    EXPECT_TRUE(pub->Directory);
    const TRemoteEntry* index = folder.Find("index.html");
    ASSERT_NE(index, nullptr);
    EXPECT_FALSE(index->Directory);
    EXPECT_EQ(index->Size, "1234");
    EXPECT_EQ(index->Date, "Dec 24 2019");
    EXPECT_FALSE(index->Utc);
    EXPECT_EQ(folder.Find("Index.html"), nullptr); // exact names on a UNIX server
}

// VMS lists names in capitals and one entry per version: the last one listed decides.
TEST(RemoteFolder, LastEntryOfANameDecides) {
    TRemoteFolder folder;
    folder.Take(ftpstVmsMultinet, false,
                {"INDEX.HTML;1      2  5-JAN-2000 12:34 [GROUP,OWNER] (RWED,RWED,RE,)",
                 "INDEX.HTML;2      7  6-JAN-2000 08:00 [GROUP,OWNER] (RWED,RWED,RE,)"});
    const TRemoteEntry* index = folder.Find("index.html");
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->Size, "7");
    EXPECT_EQ(index->Date, "6-JAN-2000 08:00");
}

TEST(RemoteFolder, MlsdLinesCarryUtcTimes) {
    TRemoteFolder folder;
    folder.Take(ftpstUNIX, true,
                {"type=cdir;modify=20000101000000; .",
                 "type=file;size=25730;modify=19940728095854; capmux.tar.z",
                 "type=dir;modify=19940728095854; pub"});
    EXPECT_EQ(folder.Find("."), nullptr);
    const TRemoteEntry* file = folder.Find("capmux.tar.z");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Size, "25730");
    EXPECT_EQ(file->Utc, 775389534); // date -u -d '1994-07-28 09:58:54' +%s
    ASSERT_NE(folder.Find("pub"), nullptr);
    EXPECT_TRUE(folder.Find("pub")->Directory);
}

// A stored file replaces the listed one. Its date is what the next
// listing would show: the exact time with MLSD, the local time to the minute with LIST.
TEST(RemoteFolder, StoredFilesAsTheNextListingWouldShowThem) {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    const std::int64_t when = 1765103440; // date -u -d '2025-12-07 10:30:40' +%s
    TRemoteFolder mlsd;
    mlsd.Take(ftpstUNIX, true, {"type=file;size=1;modify=20000101000000; a.txt"});
    mlsd.Stored("a.txt", 4096, when);
    mlsd.Stored("new.txt", 3, when);
    ASSERT_NE(mlsd.Find("a.txt"), nullptr);
    EXPECT_EQ(mlsd.Find("a.txt")->Size, "4096");
    EXPECT_EQ(mlsd.Find("a.txt")->Utc, when);
    ASSERT_NE(mlsd.Find("new.txt"), nullptr);
    EXPECT_EQ(mlsd.Find("new.txt")->Size, "3");

    TRemoteFolder list;
    list.Take(ftpstUNIX, false, UnixLines);
    list.Stored("index.html", 5, when);
    ASSERT_NE(list.Find("index.html"), nullptr);
    EXPECT_EQ(list.Find("index.html")->Size, "5");
    // 10:30 UTC is 19:30 in Tokyo (TZ=Asia/Tokyo date -d @1765103440).
    EXPECT_EQ(list.Find("index.html")->Date, "2025/12/07 19:30");
    EXPECT_FALSE(list.Find("index.html")->Utc);
    // Stores of the same second, and of a later minute and day.
    list.Stored("read me.txt", 6, when);
    list.Stored("later.txt", 7, when + 120);
    list.Stored("next day.txt", 8, when + 5 * 3600);
    EXPECT_EQ(list.Find("read me.txt")->Date, "2025/12/07 19:30");
    EXPECT_EQ(list.Find("later.txt")->Date, "2025/12/07 19:32");
    EXPECT_EQ(list.Find("next day.txt")->Date, "2025/12/08 00:30");
    ASSERT_NE(list.Find("pub"), nullptr);
    EXPECT_TRUE(list.Find("pub")->Directory);
    unsetenv("TZ");
    tzset();
}

// A time kept by the store is the exact time on any server; without one the listing's kind decides.
TEST(RemoteFolder, StoredFilesKeepTheTimeTheStoreGaveThem) {
    const std::int64_t when = 1765103440; // date -u -d '2025-12-07 10:30:40' +%s
    const std::int64_t kept = 1704164645; // date -u -d '2024-01-02 03:04:05' +%s
    for (const bool mlsd : {true, false}) {
        TRemoteFolder folder;
        folder.Take(ftpstUNIX, mlsd, {});
        folder.Stored("a.txt", 4, when, kept);
        ASSERT_NE(folder.Find("a.txt"), nullptr);
        EXPECT_EQ(folder.Find("a.txt")->Utc, kept) << mlsd;
        EXPECT_EQ(folder.Find("a.txt")->Date, "") << mlsd;
    }
}

// The server's answer about a listed file's time is kept by the entry, and so is its refusal.
TEST(RemoteFolder, AnsweredTimesAreAskedOnce) {
    TRemoteFolder folder;
    folder.Take(ftpstUNIX, false, UnixLines);
    const TRemoteEntry* index = folder.Find("index.html");
    ASSERT_NE(index, nullptr);
    EXPECT_FALSE(index->TimeAsked);
    folder.TimeAnswered("index.html", 1704164645);
    EXPECT_TRUE(folder.Find("index.html")->TimeAsked);
    EXPECT_EQ(folder.Find("index.html")->Utc, 1704164645);
    EXPECT_EQ(folder.Find("index.html")->Date, "Dec 24 2019"); // still shown in the questions

    folder.TimeAnswered("read me.txt", std::nullopt);
    EXPECT_TRUE(folder.Find("read me.txt")->TimeAsked);
    EXPECT_FALSE(folder.Find("read me.txt")->Utc);
    // The name as listed, exactly.
    folder.TimeAnswered("PUB", 1);
    EXPECT_FALSE(folder.Find("pub")->TimeAsked);
}

// Which entry a name finds after stores, by each server's rule for names: exact on UNIX and by
// default; either letter case on VM; on VMS either case, and a listed ";version" counts for
// nothing.
struct NameCase {
    const char* what;
    TFTPServerType type;
    std::vector<std::pair<std::string, std::int64_t>> stored; // in order: name and size
    std::string sought;
    const char* size; // of the entry found; null for none
};

const NameCase NameCases[] = {
    {"exact on UNIX", ftpstUNIX, {{"Index.html", 1}, {"index.html", 2}}, "index.html", "2"},
    {"the other case is another file on UNIX",
     ftpstUNIX,
     {{"Index.html", 1}},
     "index.html",
     nullptr},
    {"a semicolon is part of a UNIX name", ftpstUNIX, {{"a;1", 1}, {"a;2", 2}}, "a;1", "1"},
    {"no version on UNIX", ftpstUNIX, {{"a;1", 1}}, "a", nullptr},
    {"case on VM", ftpstVM, {{"INDEX.HTML", 3}}, "index.html", "3"},
    {"no version on VM", ftpstVM, {{"INDEX.HTML;1", 3}}, "index.html", nullptr},
    {"versions on VMS: the last one",
     ftpstVmsMultinet,
     {{"INDEX.HTML;1", 1}, {"INDEX.HTML;2", 2}},
     "index.html",
     "2"},
    {"a semicolon before the version", ftpstVmsUcx, {{"A;B;7", 4}}, "a;b", "4"},
    {"a version of letters is part of the name", ftpstVmsUcx, {{"A;B", 5}}, "a", nullptr},
    {"a later store of another case replaces it on VMS",
     ftpstVmsMultinet,
     {{"INDEX.HTML;1", 1}, {"index.html", 9}},
     "INDEX.HTML",
     "9"},
    // "ア" (0x83 0x41) ends in the byte of "A"; "ヂ" (0x83 0x61) in that of "a" (iconv).
    {"kanji compare exactly on VM", ftpstVM, {{"\x83\x41.TXT", 6}}, "\x83\x61.txt", nullptr},
    {"kanji and letters on VM", ftpstVM, {{"\x83\x41.TXT", 6}}, "\x83\x41.txt", "6"},
};

TEST(RemoteFolder, NamesFoundByEachServersRule) {
    for (const NameCase& c : NameCases) {
        SCOPED_TRACE(c.what);
        TRemoteFolder folder;
        // A big folder around them, as the entries of a real one.
        std::vector<std::string> lines;
        for (int i = 0; i < 3000; ++i)
            lines.push_back("type=file;size=7;modify=20000101000000; entry" + std::to_string(i));
        folder.Take(c.type, true, lines);
        for (const auto& [name, size] : c.stored)
            folder.Stored(name, size, 1765103440);
        const TRemoteEntry* found = folder.Find(c.sought);
        if (!c.size) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->Size, c.size);
        ASSERT_NE(folder.Find("entry2999"), nullptr);
        EXPECT_EQ(folder.Find("entry2999")->Size, "7");
    }
}

// A store replaces every file that names it, but not a folder of that name; the folder stays.
TEST(RemoteFolder, StoreReplacesFilesNotFolders) {
    TRemoteFolder folder;
    folder.Take(ftpstVmsMultinet, false,
                {"INDEX.HTML;1      2  5-JAN-2000 12:34 [GROUP,OWNER] (RWED,RWED,RE,)",
                 "INDEX.HTML;2      7  6-JAN-2000 08:00 [GROUP,OWNER] (RWED,RWED,RE,)"});
    folder.Stored("index.html", 11, 1765103440);
    EXPECT_EQ(folder.Find("INDEX.HTML")->Size, "11");
    // Neither listed version is left to be asked about.
    folder.TimeAnswered("INDEX.HTML;2", 5);
    EXPECT_FALSE(folder.Find("index.html")->TimeAsked);
    folder.TimeAnswered("index.html", 5);
    EXPECT_TRUE(folder.Find("index.html")->TimeAsked);

    TRemoteFolder unix;
    unix.Take(ftpstUNIX, false, UnixLines);
    unix.Made("site");
    unix.Stored("site", 3, 1765103440);
    // The folder made first, then the file: the last one listed decides, as in a listing.
    ASSERT_NE(unix.Find("site"), nullptr);
    EXPECT_FALSE(unix.Find("site")->Directory);
    unix.Made("site");
    EXPECT_TRUE(unix.Find("site")->Directory);
    unix.Stored("pub", 3, 1765103440);
    EXPECT_FALSE(unix.Find("pub")->Directory);
    unix.Stored("pub", 4, 1765103440);
    EXPECT_EQ(unix.Find("pub")->Size, "4");
}

} // namespace
