// Upload sessions end to end: the program started with a profile and files, against pyftpdlib on
// 127.0.0.1, its dialogs answered by the test; what arrived on the server, the exit status and the
// standard-error lines are checked.
#include "randombytes.h"
#include "uploadtest.h"

#include "app/ftpfrm.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/ovrwtfrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"
#include "dialogs/savasfrm.h"
#include "platform/codepage.h"

#include "loopback.h"
#include "runprocess.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

// Answers the file-overwrite question with its button 1..4 (はい, いいえ, すべて上書き,
// キャンセル).
std::function<void(QWidget*)> AnswerForm2(std::vector<int> buttons, int* asked = nullptr) {
    auto next = std::make_shared<std::size_t>(0);
    return [=](QWidget* w) {
        auto* form2 = qobject_cast<TForm2*>(w);
        ASSERT_NE(form2, nullptr) << w->objectName().toStdString();
        if (asked) ++*asked;
        const int button = *next < buttons.size() ? buttons[(*next)++] : 4;
        QPushButton* b[] = {form2->Button1, form2->Button2, form2->Button3, form2->Button4};
        b[button - 1]->click();
    };
}

struct TPolicyCase {
    int policy;
    // What the server holds afterwards for a.txt (not there before), b.txt (newer there), c.txt
    // (older there); "renamed" when the file went to the name the rename dialog was given.
    const char *a, *b, *c;
    int questions; // overwrite questions and rename dialogs shown
    TFileResult ra, rb, rc;
};

void PrintTo(const TPolicyCase& c, std::ostream* os) {
    *os << "policy " << c.policy;
}

class Policy : public TUploadTest, public testing::WithParamInterface<TPolicyCase> {};

} // namespace

// Each policy against the four results of the comparison: not there (0), there and not older (1),
// there and older (2), a folder of that name (3).
TEST_P(Policy, AgainstEveryComparisonResult) {
    const TPolicyCase& c = GetParam();
    WriteProfile(TProfile().Policy(c.policy));
    const std::time_t t = now - 3600;
    const std::string a = Local("a.txt", "new a", t), b = Local("b.txt", "new b", t),
                      c_ = Local("c.txt", "new c", t), d = Local("d.txt", "new d", t);
    Remote("b.txt", "old b", t + 600);
    Remote("c.txt", "old c", t - 600);
    RemoteFolder("d.txt");

    int shown = 0;
    const TRunResult run = Run({"/NOMSG", a, b, c_, d}, [&](QWidget* w) {
        ++shown;
        if (auto* rename = qobject_cast<TForm4*>(w)) {
            rename->Edit2->setText("renamed-" + rename->Edit2->text());
            rename->Button2->click();
        } else if (auto* form2 = qobject_cast<TForm2*>(w)) {
            form2->Button1->click();
        }
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("a.txt"), c.a);
    EXPECT_EQ(Arrived("b.txt"), std::string(c.b) == "renamed" ? "old b" : c.b);
    EXPECT_EQ(Arrived("c.txt"), std::string(c.c) == "renamed" ? "old c" : c.c);
    if (std::string(c.b) == "renamed") {
        EXPECT_EQ(Arrived("renamed-b.txt"), "new b");
    }
    if (std::string(c.c) == "renamed") {
        EXPECT_EQ(Arrived("renamed-c.txt"), "new c");
    }
    EXPECT_EQ(shown, c.questions);
    EXPECT_EQ(run.results, (std::vector<TFileResult>{c.ra, c.rb, c.rc, TFileResult::Failed}));
    // A file that has the name of a remote folder cannot arrive: that is a failure.
    EXPECT_TRUE(std::filesystem::is_directory(server.Root().toStdString() + "/d.txt"));
    EXPECT_EQ(
        FailureLinesOf(run.errors),
        std::vector<std::string>{"wendup: " + d + ": サーバーに同じ名前のフォルダがあります"});
    EXPECT_EQ(run.exitStatus, 1);
}

constexpr TFileResult Stored = TFileResult::Stored, Renamed = TFileResult::Renamed,
                      Kept = TFileResult::SkippedByPolicy;

INSTANTIATE_TEST_SUITE_P(
    Rows, Policy,
    testing::Values(TPolicyCase{0, "new a", "old b", "new c", 0, Stored, Kept, Stored},
                    TPolicyCase{1, "new a", "renamed", "renamed", 2, Stored, Renamed, Renamed},
                    TPolicyCase{2, "new a", "old b", "old c", 0, Stored, Kept, Kept},
                    TPolicyCase{3, "new a", "new b", "new c", 0, Stored, Stored, Stored},
                    TPolicyCase{4, "new a", "new b", "new c", 2, Stored, Stored, Stored},
                    // A profile saved with no policy selected.
                    TPolicyCase{-1, "new a", "old b", "new c", 0, Stored, Kept, Stored}));

namespace {

// A server that lists with LIST only and has no MDTM: dates are the listing's text.
class ListOnlyServer : public TUploadTest {
  protected:
    ListOnlyServer() { ServeListingKind(TListingKind::List); }
};

} // namespace

TEST_F(ListOnlyServer, DatesAreComparedToTheMinute) {
    WriteProfile(TProfile().Policy(0));
    const std::time_t minute = now - now % 60 - 7200;
    const std::string same = Local("same.txt", "new", minute + 59);
    const std::string older = Local("older.txt", "new", minute + 59);
    Remote("same.txt", "old", minute);      // listed in the local file's minute: not older
    Remote("older.txt", "old", minute - 1); // the minute before: older
    // Listed with a time and no year, a month ahead: taken in the year before, so older.
    const std::string future = Local("future.txt", "new", now);
    Remote("future.txt", "old", now + 30 * 86400);
    const TRunResult run = Run({"/NOMSG", same, older, future});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("same.txt"), "old");
    EXPECT_EQ(Arrived("older.txt"), "new");
    EXPECT_EQ(Arrived("future.txt"), "new");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.errors.find("wendup: "), std::string::npos) << run.errors;
}

TEST_F(TUploadTest, TransferModesByExtension) {
    // Shift_JIS text with half-width katakana, CR LF lines, short enough to go in one block.
    const std::string sjis = *Utf8ToSystem("日本語のテキスト\r\nｶﾀｶﾅ と ASCII\r\n");
    // No NUL byte: a text mode refuses to send a file that holds one.
    const std::string binary("\x01\x02\r\n\xff\x1b$B\x7f", 9);
    const auto lf = [](std::string s) {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i)
            if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
        return out;
    };
    const auto decoded = [](const char* from, const std::string& bytes) {
        return IconvConvert("UTF-8", from, bytes).value_or("(not " + std::string(from) + ")");
    };
    const std::string utf8 = decoded("SHIFT_JIS", sjis);
    const struct {
        int mode;
        std::string text; // UTF-8 of the text file as stored, or its exact bytes
        bool decodeJis, decodeEuc;
        std::string bin;
    } cases[] = {
        {0, lf(utf8), false, false, binary},     // text as ASCII (the server stores LF)
        {1, utf8, false, false, binary},         // everything binary
        {2, lf(utf8), false, false, lf(binary)}, // everything ASCII
        // JIS keeps CR LF and writes half-width katakana full-width.
        {3, "日本語のテキスト\r\nカタカナ と ASCII\r\n", true, false, binary},
        {4, utf8, false, false, binary},    // Shift_JIS as it is
        {5, lf(utf8), false, true, binary}, // EUC-JP with LF
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        WriteProfile(TProfile().Mode(c.mode));
        const std::string text = Local("m" + std::to_string(c.mode) + ".txt", sjis);
        const std::string bin = Local("m" + std::to_string(c.mode) + ".bin", binary);
        const TRunResult run = Run({"/NOMSG", text, bin});
        ASSERT_TRUE(run.ended);
        const auto stored = Arrived("m" + std::to_string(c.mode) + ".txt");
        ASSERT_TRUE(stored);
        const char* code = c.decodeJis ? "ISO-2022-JP" : c.decodeEuc ? "EUC-JP" : "SHIFT_JIS";
        if (c.decodeJis) {
            EXPECT_NE(*stored, sjis); // really converted
        }
        EXPECT_EQ(decoded(code, *stored), c.text);
        EXPECT_EQ(Arrived("m" + std::to_string(c.mode) + ".bin"), c.bin);
        EXPECT_EQ(run.exitStatus, 0);
    }
}

TEST_F(TUploadTest, WithoutPwdEveryFileIsStoredWhateverThePolicy) {
    WriteProfile(TProfile().Policy(2).NoPwd());
    Remote("x.bin", "old");
    Remote("y.bin", "old");
    const TRunResult run = Run({"/NOMSG", Local("x.bin", "new"), Local("y.bin", "new")});
    ASSERT_TRUE(run.ended);
    // No change of directory, and no listing before the first file.
    EXPECT_EQ(Arrived("x.bin"), "new");
    EXPECT_EQ(Arrived("y.bin"), "new");
    EXPECT_EQ(run.log.find("CWD"), std::string::npos) << run.log;
    EXPECT_LT(run.log.find("STOR /.wendup-x.bin"), run.log.find("PWD")) << run.log;
    EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(TUploadTest, PassiveProfileListsAndStoresOverConnectionsItOpens) {
    WriteProfile(TProfile().Policy(0).Passive());
    Remote("p.bin", "old", now - 3600);
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>(i * 7 % 251);
    const TRunResult run = Run({"/NOMSG", Local("p.bin", bytes, now), Local("q.bin", "second")});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("p.bin"), bytes);
    EXPECT_EQ(Arrived("q.bin"), "second");
    EXPECT_NE(run.log.find("EPSV"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("Data connection to 127.0.0.1 port "), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("PORT"), std::string::npos) << run.log;
    EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(TUploadTest, SpacesBecomeUnderscoresInTheFileNameOnly) {
    WriteProfile(TProfile().Dir("/My Site"));
    RemoteFolder("My Site");
    const TRunResult run = Run({"/NOMSG", Local("read me.txt", "hello")});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("My Site/read_me.txt"), "hello");
    EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(TUploadTest, SecondFileOfTheSameNameMeetsTheFirstOnTheServer) {
    WriteProfile(TProfile().Policy(0));
    Local("one/x.txt", "first", now - 60);
    Local("two/x.txt", "second", now - 7200);
    // Relative paths: the program moves from folder to folder while it stores.
    ASSERT_EQ(chdir(local.c_str()), 0);
    const TRunResult run = Run({"/NOMSG", "one/x.txt", "two/x.txt"});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("x.txt"), "first");
    EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(TUploadTest, OverwriteAllOnTheFirstOfThree) {
    WriteProfile(TProfile().Policy(4));
    std::vector<std::string> params = {"/NOMSG"};
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
        Remote(name, "old");
        params.push_back(Local(name, "new"));
    }
    int asked = 0;
    const TRunResult run = Run(params, AnswerForm2({3}, &asked));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(asked, 1);
    for (const char* name : {"1.txt", "2.txt", "3.txt"})
        EXPECT_EQ(Arrived(name), "new") << name;
    // "上書きする" for the rest of the session.
    EXPECT_EQ(run.policyAtEnd, 3);
    EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(TUploadTest, CancelInTheQuestionFailsThatFileAndTheRest) {
    WriteProfile(TProfile().Policy(4));
    Remote("1.txt", "old");
    const std::string one = Local("1.txt", "new"), two = Local("2.txt", "new");
    int asked = 0;
    const TRunResult run = Run({one, two}, AnswerForm2({4}, &asked));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Arrived("1.txt"), "old");
    EXPECT_FALSE(Arrived("2.txt"));
    // Files handed over and not sent are failures, whoever stopped them.
    EXPECT_EQ(FailureLinesOf(run.errors),
              (std::vector<std::string>{"wendup: " + one + ": キャンセルされました",
                                        "wendup: " + two + ": 転送されませんでした"}));
    EXPECT_EQ(run.boxes, QStringList("次のファイルは転送されませんでした。\r\n1.txt: キャンセルされ"
                                     "ました\r\n2.txt: 転送されませんでした"));
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, LastFileQuestionOffersTwoButtonsAndItsFrameCancelsTheFile) {
    WriteProfile(TProfile().Policy(4));
    Remote("1.txt", "old");
    bool twoButtons = false;
    const TRunResult run = Run({"/NOMSG", Local("1.txt", "new")}, [&](QWidget* w) {
        auto* form2 = qobject_cast<TForm2*>(w);
        ASSERT_NE(form2, nullptr);
        twoButtons = form2->Button1->isVisible() && form2->Button2->isVisible() &&
                     !form2->Button3->isVisible() && !form2->Button4->isVisible();
        form2->close();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(twoButtons);
    EXPECT_EQ(Arrived("1.txt"), "old");
    EXPECT_EQ(run.results, std::vector<TFileResult>{TFileResult::Failed});
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, RenameWithANameWithAnEmptyNameAndCancelled) {
    WriteProfile(TProfile().Policy(1));
    std::vector<std::string> params = {"/NOMSG"};
    for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
        Remote(name, "old");
        params.push_back(Local(name, "new"));
    }
    int shown = 0;
    const TRunResult run = Run(params, [&](QWidget* w) {
        auto* rename = qobject_cast<TForm4*>(w);
        ASSERT_NE(rename, nullptr);
        ++shown;
        if (shown == 1) {
            rename->Edit2->setText("other name.txt");
            rename->Button2->click();
        } else if (shown == 2) {
            rename->Edit2->clear();
            rename->Button2->click();
        } else {
            rename->Button1->click();
        }
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(Arrived("1.txt"), "old");
    EXPECT_EQ(Arrived("other_name.txt"), "new");
    EXPECT_EQ(Arrived("2.txt"), "new"); // an empty name is the file's own
    EXPECT_EQ(Arrived("3.txt"), "old");
    EXPECT_EQ(run.results, (std::vector<TFileResult>{TFileResult::Renamed, TFileResult::Stored,
                                                     TFileResult::SkippedByUser}));
    EXPECT_EQ(run.exitStatus, 0);
}

TEST_F(TUploadTest, CancelDuringALargeStoreFailsThatFileOnly) {
    WriteProfile(TProfile());
    const std::string big = Local("big.bin", std::string(24 << 20, 'x'));
    const std::string small = Local("small.bin", "small");
    bool cancelled = false;
    QString route, count, total;
    const TRunResult run = Run({"/NOMSG", big, small}, nullptr, 60000, [&](TStartupWindows& w) {
        TProgress* progress = w.Form1->CurrentProgress();
        if (!cancelled && progress && w.Form1->StarFtp1.BytesTransferred > (1 << 20) &&
            !w.Form1->StarFtp1.Listing) {
            cancelled = true;
            progress->Refresh();
            route = progress->dirlabel->text();
            count = progress->FileCountLbl->text();
            total = progress->TotalSizeLbl->text();
            progress->CancelBtn->click();
        }
    });
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(cancelled);
    // From the local folder to the server's root.
    EXPECT_EQ(route, "'local' から '127.0.0.1:/'へ");
    EXPECT_EQ(count, "1 / 2 ファイル");
    EXPECT_EQ(total, QString::number((24 << 20) + 5) + " バイト");
    EXPECT_EQ(Arrived("small.bin"), "small");
    const auto partial = Arrived("big.bin");
    EXPECT_TRUE(!partial || partial->size() < (24u << 20));
    EXPECT_EQ(FailureLinesOf(run.errors),
              std::vector<std::string>{"wendup: " + big + ": キャンセルされました"});
    EXPECT_EQ(run.exitStatus, 1);
}

// A big binary file of no round size arrives whole; a later run cancelled in the middle of the
// next version leaves the first one as it was under its name.
TEST_F(TUploadTest, BigBinaryFileArrivesWholeAndACancelledOneReplacesNothing) {
    WriteProfile(TProfile().TempName(true));
    const std::string first = RandomBytes((std::size_t{6} << 20) + 1234, 31);
    const TRunResult stored = Run({"/NOMSG", Local("big.bin", first)}, nullptr, 60000);
    ASSERT_TRUE(stored.ended);
    EXPECT_EQ(stored.exitStatus, 0) << stored.errors;
    EXPECT_TRUE(Arrived("big.bin") == first);

    const std::string second = RandomBytes(std::size_t{48} << 20, 32);
    const std::string path = Local("big.bin", second);
    bool cancelled = false;
    const TRunResult run = Run({"/NOMSG", path}, nullptr, 60000, [&](TStartupWindows& w) {
        TProgress* progress = w.Form1->CurrentProgress();
        if (!cancelled && progress && w.Form1->StarFtp1.BytesTransferred > (1 << 20) &&
            !w.Form1->StarFtp1.Listing) {
            cancelled = true;
            progress->CancelBtn->click();
        }
    });
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(cancelled);
    EXPECT_TRUE(Arrived("big.bin") == first);
    EXPECT_EQ(FailureLinesOf(run.errors),
              std::vector<std::string>{"wendup: " + path + ": キャンセルされました"});
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, LogShownInTheMiddleHoldsEverythingSinceTheStart) {
    WriteProfile(TProfile());
    const std::string big = Local("big.bin", std::string(8 << 20, 'x'));
    QString atShowing, atEnd;
    const TRunResult run = Run({"/NOMSG", big}, nullptr, 30000, [&](TStartupWindows& w) {
        TForm1& form = *w.Form1;
        if (atShowing.isEmpty() && form.CurrentProgress()) {
            form.Button7->click();
            atShowing = form.Memo1->toPlainText();
        } else if (!atShowing.isEmpty() && form.Panel2->text() == "切断しました。") {
            // The log view outlives the session until the user closes it.
            atEnd = form.Memo1->toPlainText();
            form.close();
        }
    });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(atShowing.startsWith("220 ")) << atShowing.toStdString();
    EXPECT_TRUE(atShowing.contains("\nPASS (hidden)\n")) << atShowing.toStdString();
    EXPECT_TRUE(atEnd.startsWith(atShowing)) << atEnd.toStdString();
    EXPECT_TRUE(atEnd.contains("STOR /.wendup-big.bin\n")) << atEnd.toStdString();
    EXPECT_TRUE(atEnd.contains("RNTO /big.bin\n")) << atEnd.toStdString();
    EXPECT_TRUE(atEnd.contains("\nQUIT")) << atEnd.toStdString();
    EXPECT_EQ(Arrived("big.bin")->size(), 8u << 20);
}

TEST_F(TUploadTest, LocalFileGoneAfterTheListWasBuilt) {
    WriteProfile(TProfile().Policy(4));
    Remote("1.txt", "old");
    const std::string one = Local("1.txt", "new"), two = Local("2.txt", "new"),
                      three = Local("3.txt", "new");
    const TRunResult run = Run({one, two, three}, [&](QWidget* w) {
        std::filesystem::remove(two);
        qobject_cast<TForm2*>(w)->Button1->click();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("1.txt"), "new");
    EXPECT_FALSE(Arrived("2.txt"));
    EXPECT_EQ(Arrived("3.txt"), "new"); // the session goes on after the file that failed
    EXPECT_EQ(
        run.boxes,
        QStringList("次のファイルは転送されませんでした。\r\n2.txt: ファイルが見つかりません"));
    EXPECT_EQ(FailureLinesOf(run.errors),
              std::vector<std::string>{"wendup: " + two + ": ファイルが見つかりません"});
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, RefusedLoginAndRefusedConnection) {
    const struct {
        const char* what;
        TProfile profile;
        bool nomsg;
        QStringList boxes;
        std::string reason;
        QString status; // the status line while the message is shown; empty: no message
    } cases[] = {
        // One box: the error with the server's reply, and the file it cost.
        {"wrong password",
         TProfile().Password("wrong"),
         false,
         {"接続が拒否されました\r\n530 Authentication failed.\r\n\r\n"
          "次のファイルは転送されませんでした。\r\n"
          "f.txt: 接続が拒否されました: 530 Authentication failed."},
         "接続が拒否されました: 530 Authentication failed.",
         "ログインが拒否されました"},
        {"nobody listening",
         TProfile().Port(RefusingLoopbackPort()),
         true,
         {},
         "接続が拒否されました",
         ""},
        // Login stops before any connection: the session still ends, and says why.
        {"no server",
         TProfile().Server(""),
         false,
         {"エラー 19\r\n\r\n次のファイルは転送されませんでした。\r\nf.txt: エラー 19"},
         "エラー 19",
         "未接続"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteProfile(c.profile);
        const std::string f = Local("f.txt", "new");
        std::vector<std::string> params = {f};
        if (c.nomsg) params = {"/NOMSG", f};
        const TRunResult run = Run(params);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.boxes, c.boxes);
        EXPECT_EQ(run.statusAtBoxes, c.status.isEmpty() ? QStringList() : QStringList{c.status});
        EXPECT_FALSE(Arrived("f.txt"));
        EXPECT_EQ(FailureLinesOf(run.errors),
                  std::vector<std::string>{"wendup: " + f + ": " + c.reason});
        EXPECT_EQ(run.exitStatus, 1);
    }
}

TEST_F(TUploadTest, AServerGivenByItsNameIsLookedUp) {
    // A name the resolver library refuses itself: no query leaves this host.
    for (const bool known : {true, false}) {
        SCOPED_TRACE(known);
        WriteProfile(TProfile().Server(known ? "localhost" : "bad..name"));
        const std::string f = Local(known ? "known.txt" : "unknown.txt", "by name");
        const TRunResult run = Run({"/NOMSG", f});
        ASSERT_TRUE(run.ended);
        EXPECT_TRUE(run.boxes.isEmpty());
        if (known) {
            EXPECT_EQ(Arrived("known.txt"), "by name");
            EXPECT_EQ(FailureLinesOf(run.errors), std::vector<std::string>{});
            EXPECT_EQ(run.exitStatus, 0);
        } else {
            EXPECT_FALSE(Arrived("unknown.txt"));
            EXPECT_EQ(
                FailureLinesOf(run.errors),
                std::vector<std::string>{"wendup: " + f + ": アドレスを正しく設定してください"});
            EXPECT_EQ(run.exitStatus, 1);
        }
    }
}

TEST_F(TUploadTest, PasswordPromptAnsweredAndCancelled) {
    for (const bool answer : {true, false}) {
        SCOPED_TRACE(answer);
        WriteProfile(TProfile().Prompt().Password("not this one"));
        const std::string f = Local(answer ? "a.txt" : "c.txt", "new");
        const TRunResult run = Run({"/NOMSG", f}, [&](QWidget* w) {
            auto* prompt = qobject_cast<TPasswordDlg*>(w);
            ASSERT_NE(prompt, nullptr);
            EXPECT_TRUE(prompt->Password->text().isEmpty());
            prompt->Password->setText(PyFtpServer::Password);
            (answer ? prompt->OKBtn : prompt->CancelBtn)->click();
        });
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.dialogs.size(), 1);
        EXPECT_EQ(run.exitStatus, 0);
        if (answer) {
            EXPECT_EQ(Arrived("a.txt"), "new");
            // The log shows the user in clear and never the password.
            EXPECT_NE(run.log.find("USER anna\n"), std::string::npos) << run.log;
            EXPECT_NE(run.log.find("PASS (hidden)\n"), std::string::npos) << run.log;
            EXPECT_EQ(run.log.find(PyFtpServer::Password), std::string::npos) << run.log;
        } else {
            EXPECT_FALSE(Arrived("c.txt"));
            EXPECT_EQ(run.log, ""); // nothing was sent
        }
    }
}

TEST_F(TUploadTest, FilePickerCancelledEndsTheSessionWithNothingSent) {
    WriteProfile(TProfile());
    const TRunResult run = Run({}, [](QWidget* w) {
        auto* picker = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(picker, nullptr);
        picker->reject();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.dialogs, QStringList("OpenDialog1"));
    EXPECT_NE(run.log.find("QUIT"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("STOR"), std::string::npos) << run.log;
    EXPECT_EQ(run.exitStatus, 0);
}

// A picked file is opened by the name the host gave, whatever characters it holds.
TEST_F(TUploadTest, PickedFileShiftJisLacksArrivesUnderItsName) {
    WriteProfile(TProfile());
    const std::string odd = Local("\xF0\x9F\x98\x80.txt", "x"); // U+1F600
    const TRunResult run = Run({}, [&](QWidget* w) {
        auto* picker = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(picker, nullptr);
        // Typed into the name box, as a user may: the open button takes it from there.
        auto* name = picker->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(odd));
        static_cast<QDialog*>(picker)->accept();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("\xF0\x9F\x98\x80.txt"), "x");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
}

TEST_F(TUploadTest, AFileThatBecameAFolderOrLostItsFolderIsNeverSent) {
    WriteProfile(TProfile().Policy(4));
    Remote("1.txt", "old");
    const std::string one = Local("one/1.txt", "new"), two = Local("two/2.txt", "new"),
                      three = Local("three/3.txt", "new"), four = Local("four/4.txt", "new");
    RemoteFolder("3.txt");
    const TRunResult run = Run({"/NOMSG", one, two, three, four}, [&](QWidget* w) {
        // While the first question is open: the second file's folder goes away, and the third
        // file becomes a folder.
        std::filesystem::remove_all(local + "two");
        std::filesystem::remove(three);
        std::filesystem::create_directory(three);
        qobject_cast<TForm2*>(w)->Button1->click();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.dialogs.size(), 1);
    EXPECT_EQ(Arrived("1.txt"), "new");
    EXPECT_FALSE(Arrived("2.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(server.Root().toStdString() + "/3.txt"));
    EXPECT_EQ(Arrived("4.txt"), "new");
    EXPECT_EQ(FailureLinesOf(run.errors),
              (std::vector<std::string>{"wendup: " + two + ": ファイルが見つかりません",
                                        "wendup: " + three + ": フォルダは転送できません"}));
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, FilesThatBecameFoldersAreNeitherAskedAboutNorSent) {
    // With folder handling on and folder questions wanted, files of the run's list that have
    // become folders of names the server has are not folders the user handed over: they fail
    // without a question, and the files after them go.
    WriteFile("wendup.ini", "[Default]\nTimeOut=10\nMakeDir=1\n");
    WriteProfile(TProfile().Policy(4));
    Remote("a.bin", "old");
    RemoteFolder("d.bin");
    RemoteFolder("e.bin");
    const std::string a = Local("a.bin", "new"), d = Local("d.bin", "new"),
                      e = Local("e.bin", "new"), f = Local("f.bin", "new");
    const TRunResult run = Run({"/NOMSG", a, d, e, f}, [&](QWidget* w) {
        if (auto* form2 = qobject_cast<TForm2*>(w)) {
            // Folders are asked about once the user has picked "その都度確認する" by hand.
            qobject_cast<TForm1*>(form2->parentWidget())->ComboBox2Change(4);
            // The list is built: two of its files become folders of names the server has.
            for (const std::string& path : {d, e}) {
                std::filesystem::remove(path);
                std::filesystem::create_directory(path);
            }
            form2->Button1->click();
        }
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.dialogs, QStringList{"Form2"});
    EXPECT_EQ(Arrived("a.bin"), "new");
    EXPECT_EQ(Arrived("f.bin"), "new");
    EXPECT_TRUE(std::filesystem::is_directory(server.Root().toStdString() + "/d.bin"));
    EXPECT_EQ(FailureLinesOf(run.errors),
              (std::vector<std::string>{"wendup: " + d + ": フォルダは転送できません",
                                        "wendup: " + e + ": フォルダは転送できません"}));
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, FoldersHandedOverFailAndPatternsTakeTheirFilesOnly) {
    WriteProfile(TProfile());
    const std::string a = Local("p/a.bin", "a"), b = Local("p/b.bin", "b");
    std::filesystem::create_directories(local + "p/+sub"); // the pattern's first match
    Local("folder/inside.bin", "inside"); // "フォルダごと転送" is off: it stays here
    const TRunResult run = Run({"/NOMSG", local + "folder", local + "p/*"});
    ASSERT_TRUE(run.ended);
    EXPECT_FALSE(Arrived("folder/inside.bin"));
    EXPECT_FALSE(std::filesystem::exists(server.Root().toStdString() + "/folder"));
    EXPECT_EQ(Arrived("a.bin"), "a");
    EXPECT_EQ(Arrived("b.bin"), "b");
    EXPECT_FALSE(Arrived("+sub"));
    EXPECT_EQ(FailureLinesOf(run.errors),
              std::vector<std::string>{"wendup: " + local + "folder: フォルダは転送できません"});
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, RefusedFolderSendsNothingAnywhere) {
    WriteProfile(TProfile().Dir("/missing"));
    const std::string a = Local("a.txt", "a"), b = Local("b.txt", "b");
    const TRunResult run = Run({a, b});
    ASSERT_TRUE(run.ended);
    EXPECT_FALSE(Arrived("a.txt"));
    EXPECT_FALSE(Arrived("b.txt"));
    EXPECT_EQ(run.log.find("LIST"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("STOR"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("QUIT"), std::string::npos) << run.log;
    const std::vector<std::string> lines = FailureLinesOf(run.errors);
    ASSERT_EQ(lines.size(), 2u) << run.errors;
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string start =
            "wendup: " + (i ? b : a) + ": フォルダ /missing に移動できません: 550 ";
        EXPECT_TRUE(lines[i].starts_with(start)) << lines[i];
    }
    ASSERT_EQ(run.boxes.size(), 1);
    EXPECT_TRUE(run.boxes[0].startsWith("次のファイルは転送されませんでした。\r\na.txt: フォルダ "))
        << run.boxes[0].toStdString();
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, RefusedLoginAsksForATypedPasswordOnceMore) {
    const struct {
        const char* what;
        std::string second; // typed at the second prompt; empty: the prompt is cancelled
        bool arrives;
        int boxes;
    } cases[] = {
        {"right the second time", PyFtpServer::Password, true, 0},
        {"wrong twice", "still wrong", false, 1},
        {"second prompt cancelled", "", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteProfile(TProfile().Prompt());
        const std::string f = Local("f.txt", "new");
        std::filesystem::remove(server.Root().toStdString() + "/f.txt");
        int prompts = 0;
        QString statusAtSecond;
        const TRunResult run = Run({f}, [&](QWidget* w) {
            auto* prompt = qobject_cast<TPasswordDlg*>(w);
            ASSERT_NE(prompt, nullptr);
            if (++prompts == 1) {
                prompt->Password->setText("wrong");
                prompt->OKBtn->click();
                return;
            }
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* form = qobject_cast<TForm1*>(top)) statusAtSecond = form->Panel2->text();
            EXPECT_TRUE(prompt->Password->text().isEmpty());
            if (c.second.empty()) {
                prompt->CancelBtn->click();
            } else {
                prompt->Password->setText(QString::fromStdString(c.second));
                prompt->OKBtn->click();
            }
        });
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(prompts, 2);
        EXPECT_EQ(statusAtSecond, "ログインが拒否されました");
        EXPECT_EQ(Arrived("f.txt").has_value(), c.arrives);
        ASSERT_EQ(run.boxes.size(), c.boxes);
        if (c.boxes) {
            EXPECT_TRUE(run.boxes[0].startsWith("接続が拒否されました\r\n530 "))
                << run.boxes[0].toStdString();
        }
        EXPECT_EQ(run.exitStatus, c.arrives ? 0 : 1);
    }
}

// The server closes the control connection between files (once, or every time): the
// session logs in again and goes on, at most three times.
TEST_F(TUploadTest, LostConnectionsAreTriedAgainThreeTimes) {
    const struct {
        int drops;
        int files;
        int arrive; // the first files that arrive
        const char* lastReconnect;
    } cases[] = {
        {1, 3, 3, "再接続します (1/3)"},
        {99, 5, 4, "再接続します (3/3)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drops);
        PyFtpServer dropping;
        std::string why;
        ASSERT_TRUE(dropping.Start(why, 0, "127.0.0.1", 0, c.drops)) << why;
        WriteProfile(TProfile().Port(dropping.Port()));
        std::vector<std::string> params;
        for (int i = 0; i < c.files; ++i)
            params.push_back(Local(std::to_string(i) + ".bin", std::to_string(i)));
        const TRunResult run = Run(params);
        ASSERT_TRUE(run.ended);
        for (int i = 0; i < c.files; ++i) {
            std::ifstream in(dropping.Root().toStdString() + "/" + std::to_string(i) + ".bin");
            EXPECT_EQ(in.good(), i < c.arrive) << i;
        }
        EXPECT_NE(run.log.find(c.lastReconnect), std::string::npos) << run.log;
        EXPECT_EQ(run.log.find("再接続します (4/3)"), std::string::npos) << run.log;
        const std::vector<std::string> lines = FailureLinesOf(run.errors);
        if (c.arrive == c.files) {
            // A loss that was made good is no error.
            EXPECT_TRUE(lines.empty()) << run.errors;
            EXPECT_TRUE(run.boxes.isEmpty()) << run.boxes.join("|").toStdString();
        } else {
            ASSERT_EQ(run.boxes.size(), 1);
            EXPECT_TRUE(run.boxes[0].startsWith("接続が切断されました"))
                << run.boxes[0].toStdString();
            EXPECT_EQ(lines, std::vector<std::string>{"wendup: " + params.back() +
                                                      ": 接続が切断されました"});
        }
        EXPECT_EQ(run.exitStatus, c.arrive == c.files ? 0 : 1);
    }
}

// The window closed in the middle of a store: the store is cancelled, QUIT goes out, and the
// process ends within about a second with the outcomes told on standard error.
TEST_F(TUploadTest, ClosingTheWindowDuringAStoreEndsTheRunAtOnce) {
    PyFtpServer slow;
    std::string why;
    ASSERT_TRUE(slow.Start(why, 256 * 1024)) << why;
    WriteProfile(TProfile().Port(slow.Port()));
    const std::string big = Local("big.bin", std::string(16 << 20, 'x'));
    const std::string next = Local("next.bin", "n");
    std::optional<std::chrono::steady_clock::time_point> closed;
    const TRunResult run = Run({big, next}, nullptr, 30000, [&](TStartupWindows& w) {
        TForm1& form = *w.Form1;
        if (closed || form.StarFtp1.Listing || form.StarFtp1.BytesTransferred < (256 << 10)) return;
        closed = std::chrono::steady_clock::now();
        form.close();
    });
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(closed);
    EXPECT_LT(std::chrono::steady_clock::now() - *closed, std::chrono::milliseconds(2000));
    EXPECT_TRUE(run.boxes.isEmpty()) << run.boxes.join("|").toStdString();
    EXPECT_NE(run.log.find("\nQUIT"), std::string::npos) << run.log;
    EXPECT_EQ(FailureLinesOf(run.errors),
              (std::vector<std::string>{"wendup: " + big + ": キャンセルされました",
                                        "wendup: " + next + ": 転送されませんでした"}));
    EXPECT_EQ(run.exitStatus, 1);
}

// The server's idle time-out ends the connection while the user is away from a question. The
// answer is kept: after the reconnect the file is stored without a second question.
TEST_F(TUploadTest, IdleTimeOutWhileAQuestionIsOpen) {
    PyFtpServer idle;
    std::string why;
    ASSERT_TRUE(idle.Start(why, 0, "127.0.0.1", 0, 0, 1)) << why;
    WriteProfile(TProfile().Policy(4).Port(idle.Port()));
    std::ofstream(idle.Root().toStdString() + "/1.txt") << "old";
    const std::string one = Local("1.txt", "new"), two = Local("2.txt", "two");
    int asked = 0;
    const TRunResult run = Run({"/NOMSG", one, two}, [&](QWidget* w) {
        auto* form2 = qobject_cast<TForm2*>(w);
        ASSERT_NE(form2, nullptr);
        ++asked;
        auto* form = qobject_cast<TForm1*>(form2->parentWidget());
        auto* wait = new QTimer(form2);
        QObject::connect(wait, &QTimer::timeout, form2, [=] {
            if (!form->StarFtp1.ControlConnected() && form2->isVisible()) form2->Button1->click();
        });
        wait->start(10);
    });
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(asked, 1);
    std::ifstream in(idle.Root().toStdString() + "/1.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
    EXPECT_TRUE(std::ifstream(idle.Root().toStdString() + "/2.txt").good());
    EXPECT_NE(run.log.find("421 Control connection timed out."), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("再接続します (1/3)"), std::string::npos) << run.log;
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
}

// Through the real program: a name that the server's code lacks fails that file alone, told on
// standard error and in the exit status, and with "/NOMSG" no box holds the run up. Once the
// process has ended, its log and the place of its window are on the disk to the end.
TEST_F(TUploadTest, NameTheServersCodeLacksFailsAloneAndTheRunEndsPromptly) {
    WriteProfile(TProfile().NameCode(2)); // Shift_JIS
    const std::string a = Local("a.txt", "a");
    const std::string odd = Local("\xE5\x86\x99\xE7\x9C\x9F\xF0\x9F\x98\x80.txt", "x");
    const auto started = std::chrono::steady_clock::now();
    const TProcessRun run =
        RunProcess(WENDUP_PROGRAM, {"/SERVER:test", "/NOMSG", QString::fromStdString(odd),
                                    QString::fromStdString(a)});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_LT(took, std::chrono::seconds(15));
    EXPECT_TRUE(run.err.contains(QString::fromStdString(
        "wendup: " + odd +
        ": ファイル名に Shift_JIS で表せない文字があります (サーバーの文字コード)\n")))
        << run.err.toStdString();
    EXPECT_EQ(Arrived("a.txt"), "a");
    EXPECT_FALSE(Arrived("\xE5\x86\x99\xE7\x9C\x9F\xF0\x9F\x98\x80.txt"));

    const QString state = root.path() + "/state/wendup/";
    const QStringList logs = QDir(state).entryList({"run-*.log"}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    QFile log(state + logs.front());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    // The counts, then the failed file, then nothing.
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[lines.size() - 3].endsWith(" 転送 1、スキップ 0、失敗 1"))
        << lines[lines.size() - 3].toStdString();
    EXPECT_TRUE(lines[lines.size() - 2].contains(QByteArray::fromStdString(odd)));
    EXPECT_TRUE(lines.back().isEmpty());
    QSettings places(state + "windows.ini", QSettings::IniFormat);
    EXPECT_TRUE(places.contains("Form1/pos")) << places.allKeys().join(' ').toStdString();
}
