// The server's copy keeps the local file's modification time (MFMT with each store, "KeepTime"),
// against pyftpdlib through the program: the time the server holds afterwards is read from its
// file, and the MFMT argument is compared with the C library's own UTC form of the local time.
#include "uploadtest.h"

#include <sys/stat.h>

#include <ctime>

namespace {

std::time_t ServerTime(const PyFtpServer& server, const std::string& name) {
    struct stat info {};
    EXPECT_EQ(::stat((server.Root().toStdString() + "/" + name).c_str(), &info), 0) << name;
    return info.st_mtime;
}

std::string UtcStamp(std::time_t t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &utc);
    return text;
}

class KeepTime : public TUploadTest, public testing::WithParamInterface<bool> {};

} // namespace

TEST_P(KeepTime, TheServersCopyHasTheLocalTime) {
    const bool tempName = GetParam();
    WriteProfile(TProfile().TempName(tempName));
    // Odd seconds, hours ago: the time of the store could not pass for it.
    const std::time_t t = now - 5 * 3600 - 17;
    const std::string a = Local("a.txt", "aaa", t), b = Local("b b.bin", "bb", t - 86400 + 3);
    // In the server's name code (UTF-8 on pyftpdlib), as STOR names it.
    const std::string j = Local("写真 メモ.txt", "j", t + 1);
    const TRunResult run = Run({"/NOMSG", a, b, j});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(Arrived("a.txt"), "aaa");
    EXPECT_EQ(Arrived("b_b.bin"), "bb");
    EXPECT_EQ(ServerTime(server, "a.txt"), t);
    EXPECT_EQ(ServerTime(server, "b_b.bin"), t - 86400 + 3);
    EXPECT_EQ(Arrived("写真_メモ.txt"), "j");
    EXPECT_EQ(ServerTime(server, "写真_メモ.txt"), t + 1);
    // A temporary file takes its time before the rename, in the round trip of its size check.
    const std::string prefix = tempName ? "/.wendup-" : "/";
    EXPECT_EQ(CommandsInLog(run.log, "MFMT " + UtcStamp(t) + " " + prefix + "a.txt"), 1) << run.log;
    EXPECT_EQ(CommandsInLog(run.log, "MFMT " + UtcStamp(t - 86400 + 3) + " " + prefix + "b_b.bin"),
              1)
        << run.log;
    EXPECT_EQ(CommandsStartingWith(run.log, "MFMT "), 3) << run.log;
    if (tempName) {
        EXPECT_LT(run.log.find("MFMT " + UtcStamp(t) + " /.wendup-a.txt"),
                  run.log.find("RNFR /.wendup-a.txt"));
    }
}

INSTANTIATE_TEST_SUITE_P(TempName, KeepTime, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Temporary" : "Direct");
                         });

// "KeepTime=0": no MFMT, and the server keeps the time of the store.
TEST_F(TUploadTest, WithoutKeepTimeNoMfmtGoesOut) {
    WriteProfile(TProfile().KeepTime(false));
    const std::time_t t = now - 5 * 3600 - 17;
    const TRunResult run = Run({"/NOMSG", Local("a.txt", "aaa", t)});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("a.txt"), "aaa");
    EXPECT_EQ(CommandsStartingWith(run.log, "MFMT"), 0) << run.log;
    EXPECT_GE(ServerTime(server, "a.txt"), now);
}

// Two files of one name from two folders, the second changed 10 s after the first: with the first
// one's time kept on the server, the second is newer and goes, on every kind of server. (The time
// of the first store, now, would have made it older.)
class KeptTimeInSession : public TUploadTest, public testing::WithParamInterface<TListingKind> {
  protected:
    KeptTimeInSession() { ServeListingKind(GetParam()); }
};

TEST_P(KeptTimeInSession, DecidesTheNextFileOfTheName) {
    WriteProfile(TProfile().Policy(0));
    const std::time_t t = now - now % 60 - 7200 + 20;
    const std::string first = Local("one/e.txt", "first", t);
    const std::string second = Local("two/e.txt", "second", t + 10);
    const std::string third = Local("three/e.txt", "third", t + 5);
    const TRunResult run = Run({"/NOMSG", first, second, third});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("e.txt"), "second");
    EXPECT_EQ(ServerTime(server, "e.txt"), t + 10);
    EXPECT_EQ(run.results, (std::vector<TFileResult>{TFileResult::Stored, TFileResult::Stored,
                                                     TFileResult::SkippedByPolicy}));
    // The kept times are exact: the server is never asked.
    EXPECT_EQ(CommandsStartingWith(run.log, "MDTM "), 0) << run.log;
}

INSTANTIATE_TEST_SUITE_P(Kinds, KeptTimeInSession, testing::ValuesIn(AllListingKinds),
                         [](const testing::TestParamInfo<TListingKind>& info) {
                             return std::string(KindName(info.param));
                         });
