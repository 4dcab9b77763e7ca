// One listing of the folder per session, against pyftpdlib with MLSD, with LIST and MDTM, and with
// LIST alone: the same files are stored for every same-file policy, the files stored in the session
// count as the server's, and the UTC times of MLSD and MDTM are compared to the second.
#include "uploadtest.h"

#include "dialogs/ovrwtfrm.h"
#include "dialogs/savasfrm.h"

#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace {

struct TOneListingRow {
    int policy;
    // What the server holds afterwards for a.txt (not there before), b.txt (newer there), c.txt
    // (older there) and e.txt (sent twice: first from one/, then the older one from two/);
    // "renamed" when the file went to the name the rename dialog was given.
    const char *a, *b, *c, *e;
    int questions; // overwrite questions and rename dialogs shown
    std::vector<TFileResult> results;
};

constexpr TFileResult Stored = TFileResult::Stored, Renamed = TFileResult::Renamed,
                      Kept = TFileResult::SkippedByPolicy, Failed = TFileResult::Failed;

// One row per policy; the expected files follow from the policy table of the program's manual,
// and from the server's state after each store: the second e.txt meets the first one, just stored.
const TOneListingRow Rows[] = {
    {0, "new a", "old b", "new c", "first e", 0, {Stored, Kept, Stored, Failed, Stored, Kept}},
    {1,
     "new a",
     "renamed",
     "renamed",
     "renamed",
     3,
     {Stored, Renamed, Renamed, Failed, Stored, Renamed}},
    {2, "new a", "old b", "old c", "first e", 0, {Stored, Kept, Kept, Failed, Stored, Kept}},
    {3, "new a", "new b", "new c", "second e", 0, {Stored, Stored, Stored, Failed, Stored, Stored}},
    {4, "new a", "new b", "new c", "second e", 3, {Stored, Stored, Stored, Failed, Stored, Stored}},
};

struct TOneListingCase {
    TOneListingRow row;
    TListingKind kind;
};

void PrintTo(const TOneListingCase& c, std::ostream* os) {
    *os << "policy " << c.row.policy << " " << KindName(c.kind);
}

class OneListing : public TUploadTest, public testing::WithParamInterface<TOneListingCase> {
  protected:
    OneListing() { ServeListingKind(GetParam().kind); }
};

} // namespace

TEST_P(OneListing, SameFilesStoredWithMlsdAndWithList) {
    const TOneListingRow& r = GetParam().row;
    WriteProfile(TProfile().Policy(r.policy));
    // Hours apart: a comparison to the minute and one to the second agree.
    const std::time_t t = now - 3 * 3600;
    const std::string a = Local("a.txt", "new a", t), b = Local("b.txt", "new b", t),
                      c = Local("c.txt", "new c", t), d = Local("d.txt", "new d", t),
                      e1 = Local("one/e.txt", "first e", t),
                      e2 = Local("two/e.txt", "second e", t - 3600);
    Remote("b.txt", "old b", t + 3600);
    Remote("c.txt", "old c", t - 3600);
    RemoteFolder("d.txt");

    int shown = 0;
    bool renameListedFirstE = true;
    const TRunResult run = Run({"/NOMSG", a, b, c, d, e1, e2}, [&](QWidget* w) {
        ++shown;
        if (auto* rename = qobject_cast<TForm4*>(w)) {
            // The dialog lists the folder as it is now: the first e.txt is there.
            if (rename->Edit2->text() == "e.txt") {
                bool listed = false;
                for (int row = 0; row < rename->RowCount(); ++row)
                    listed = listed || rename->RowText(row, 0) == "e.txt";
                renameListedFirstE = listed;
            }
            rename->Edit2->setText("renamed-" + rename->Edit2->text());
            rename->Button2->click();
        } else if (auto* form2 = qobject_cast<TForm2*>(w)) {
            form2->Button1->click();
        }
    });
    ASSERT_TRUE(run.ended);
    const auto kept = [](const char* expected, const char* before) {
        return std::string(expected) == "renamed" ? std::string(before) : std::string(expected);
    };
    EXPECT_EQ(Arrived("a.txt"), r.a);
    EXPECT_EQ(Arrived("b.txt"), kept(r.b, "old b"));
    EXPECT_EQ(Arrived("c.txt"), kept(r.c, "old c"));
    EXPECT_EQ(Arrived("e.txt"), kept(r.e, "first e"));
    if (std::string(r.b) == "renamed") {
        EXPECT_EQ(Arrived("renamed-b.txt"), "new b");
        EXPECT_EQ(Arrived("renamed-c.txt"), "new c");
        EXPECT_EQ(Arrived("renamed-e.txt"), "second e");
    }
    EXPECT_TRUE(renameListedFirstE);
    EXPECT_EQ(shown, r.questions);
    EXPECT_EQ(run.results, r.results);
    EXPECT_EQ(run.exitStatus, 1); // d.txt, a folder on the server

    // One listing of the folder, and one LIST more for each rename dialog.
    const bool mlsd = GetParam().kind == TListingKind::Mlsd;
    const int renames = r.policy == 1 ? r.questions : 0;
    EXPECT_EQ(CommandsInLog(run.log, "MLSD"), mlsd ? 1 : 0) << run.log;
    EXPECT_EQ(CommandsInLog(run.log, "LIST"), renames + (mlsd ? 0 : 1)) << run.log;
    EXPECT_EQ(CommandsInLog(run.log, "PWD"), 1 + renames) << run.log;
    // MDTM only where the listing has no exact times and only for the files whose date decides:
    // b.txt and c.txt under "新しい日付のときは転送"; the second e.txt meets the first one's kept
    // time.
    const int asked = GetParam().kind == TListingKind::MdtmOnly && r.policy == 0 ? 1 : 0;
    EXPECT_EQ(CommandsInLog(run.log, "MDTM /b.txt"), asked) << run.log;
    EXPECT_EQ(CommandsInLog(run.log, "MDTM /c.txt"), asked) << run.log;
    EXPECT_EQ(CommandsStartingWith(run.log, "MDTM "), 2 * asked) << run.log;
    // Every file that went keeps its time, in one MFMT each.
    const auto sent = std::count_if(r.results.begin(), r.results.end(),
                                    [](TFileResult f) { return f == Stored || f == Renamed; });
    EXPECT_EQ(CommandsStartingWith(run.log, "MFMT "), sent) << run.log;
}

INSTANTIATE_TEST_SUITE_P(Rows, OneListing, testing::ValuesIn([] {
                             std::vector<TOneListingCase> cases;
                             for (const TOneListingRow& row : Rows)
                                 for (const TListingKind kind : AllListingKinds)
                                     cases.push_back({row, kind});
                             return cases;
                         }()));

// MLSD's times are UTC to the second: within one minute, a file changed 10 s after the server's
// copy is newer, 10 s before or at the same second it is not.
TEST_F(TUploadTest, MlsdTimesAreComparedToTheSecond) {
    WriteProfile(TProfile().Policy(0));
    const std::time_t minute = now - now % 60 - 7200;
    const std::time_t remote = minute + 40;
    Remote("later.txt", "old", remote);
    Remote("earlier.txt", "old", remote);
    Remote("same.txt", "old", remote);
    const TRunResult run =
        Run({"/NOMSG", Local("later.txt", "new", remote + 10),
             Local("earlier.txt", "new", remote - 10), Local("same.txt", "new", remote)});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("later.txt"), "new");
    EXPECT_EQ(Arrived("earlier.txt"), "old");
    EXPECT_EQ(Arrived("same.txt"), "old");
    EXPECT_EQ(CommandsInLog(run.log, "MLSD"), 1) << run.log;
    EXPECT_EQ(run.exitStatus, 0);
}

// A file uploaded, then changed 10 s after that upload, goes again on the next run; one changed 10
// s before its upload does not. Both changes fall in the minute of the upload, so a listing's text
// date alone could not tell them apart: the time comes from MLSD, or from MDTM.
class ExactDates : public TUploadTest, public testing::WithParamInterface<TListingKind> {
  protected:
    ExactDates() { ServeListingKind(GetParam()); }
};

TEST_P(ExactDates, FileChangedTenSecondsAfterTheLastUploadIsNewer) {
    WriteProfile(TProfile().Policy(0));
    const std::time_t first = now - now % 60 - 3600 + 25;
    const std::string changed = Local("changed.txt", "v1", first);
    const std::string unchanged = Local("unchanged.txt", "v1", first);
    const std::string japanese = Local("変更 済み.txt", "v1", first);
    const TRunResult run1 = Run({"/NOMSG", changed, unchanged, japanese});
    ASSERT_TRUE(run1.ended);
    ASSERT_EQ(Arrived("changed.txt"), "v1");
    ASSERT_EQ(Arrived("unchanged.txt"), "v1");

    // The times of the uploads, as the server keeps them.
    const auto uploaded = [this](const char* name) {
        struct stat info {};
        EXPECT_EQ(::stat((server.Root().toStdString() + "/" + name).c_str(), &info), 0);
        return info.st_mtime;
    };
    ASSERT_EQ(uploaded("changed.txt"), first) << "the upload's time was not kept";
    Local("changed.txt", "v2", uploaded("changed.txt") + 10);
    Local("unchanged.txt", "v2", uploaded("unchanged.txt") - 10);
    Local("変更 済み.txt", "v2", uploaded("変更_済み.txt") + 10);
    const TRunResult run2 = Run({"/NOMSG", changed, unchanged, japanese});
    ASSERT_TRUE(run2.ended);
    EXPECT_EQ(Arrived("changed.txt"), "v2");
    EXPECT_EQ(Arrived("unchanged.txt"), "v1");
    EXPECT_EQ(Arrived("変更_済み.txt"), "v2"); // MDTM names it in the server's code
    EXPECT_EQ(run2.results, (std::vector<TFileResult>{Stored, Kept, Stored}));
    EXPECT_EQ(run2.exitStatus, 0);
    EXPECT_EQ(CommandsStartingWith(run2.log, "MDTM "), GetParam() == TListingKind::MdtmOnly ? 3 : 0)
        << run2.log;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ExactDates,
                         testing::Values(TListingKind::Mlsd, TListingKind::MdtmOnly),
                         [](const testing::TestParamInfo<TListingKind>& info) {
                             return std::string(KindName(info.param));
                         });
