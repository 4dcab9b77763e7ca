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

} // namespace
