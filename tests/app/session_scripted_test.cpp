// Upload sessions against a scripted server that need more than a data case can say: a connection
// dropped in the middle of a big store.
#include "uploadtest.h"

#include "app/ftpfrm.h"
#include "dialogs/prgrsfrm.h"
#include "dialogs/savasfrm.h"

#include "eventloop.h"
#include "fakeftpserver.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

// A listing of "/up": PWD, TYPE A (unless the connection is in type A already), PORT, LIST, with
// `listing` as its data.
void List(FakeFtpServer& s, const std::string& listing, bool typeSent = true) {
    s.Answer("257 \"/up\"\r\n");
    if (typeSent) s.Answer("200 type\r\n");
    s.Answer("200 port\r\n")
        .Answer("150 listing\r\n")
        .ConnectData()
        .SendData(listing)
        .CloseData()
        .Send("226 done\r\n");
}

// The login and the listing of "/up" that every script starts with; `listing` is sent as the data.
void LoginAndList(FakeFtpServer& s, const std::string& listing) {
    s.Send("220 scripted\r\n")
        .Answer("331 password\r\n")
        .Answer("230 in\r\n")
        .Answer("215 UNIX Type: L8\r\n")
        .Answer("500 FEAT not understood\r\n")
        .Answer("250 here\r\n"); // CWD of the login, which the session takes
    List(s, listing);
}

// A store that completes: TYPE, PORT, STOR, the data, 226.
void Store(FakeFtpServer& s) {
    s.Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("150 go\r\n")
        .ConnectData()
        .AwaitDataClosed()
        .Send("226 stored\r\n");
}

} // namespace

TEST_F(TUploadTest, ConnectionDroppedInTheMiddleOfAStore) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    LoginAndList(s, "");
    s.Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("150 go\r\n")
        .ConnectData()
        .AwaitDataBytes(64 * 1024)
        .CloseData()
        .Close();
    WriteProfile(TProfile().Dir("/up").Port(s.Port()));
    const std::string big = Local("big.bin", std::string(16 << 20, 'x'));
    const std::string next = Local("next.bin", "n");
    const TRunResult run = Run({"/NOMSG", big, next});
    ASSERT_TRUE(run.ended);
    // The file in hand is lost; the next one is too, because the script takes no second
    // connection.
    EXPECT_NE(run.log.find("再接続します (1/3)"), std::string::npos) << run.log;
    const std::string& e = run.errors;
    EXPECT_NE(e.find("wendup: " + big + ": "), std::string::npos) << e;
    EXPECT_NE(e.find("wendup: " + next + ": "), std::string::npos) << e;
    EXPECT_EQ(run.exitStatus, 1);
}

// The user is away with the rename dialog open and the server's idle time-out ends the connection:
// the dialog stays until it is answered, and the answer is taken for the file it was asked for.
TEST_F(TUploadTest, ServerClosesWhileTheRenameDialogIsOpen) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    bool asked = false;
    LoginAndList(s, "-rw-r--r-- 1 o g 3 Jan 01 2000 a.txt\r\n");
    // The rename dialog's own listing, in the type of the first.
    List(s, "-rw-r--r-- 1 o g 3 Jan 01 2000 a.txt\r\n", false);
    s.Until([&] { return asked; }).Send("421 Timeout.\r\n").Close();
    WriteProfile(TProfile().Policy(1).Dir("/up").Port(s.Port()));
    const std::string a = Local("a.txt", "new");
    bool answeredAfterTheClose = false;
    const TRunResult run = Run({"/NOMSG", a}, [&](QWidget* w) {
        auto* rename = qobject_cast<TForm4*>(w);
        ASSERT_NE(rename, nullptr);
        auto* form = qobject_cast<TForm1*>(rename->parentWidget());
        ASSERT_NE(form, nullptr);
        asked = true;
        auto* wait = new QTimer(rename);
        QObject::connect(wait, &QTimer::timeout, rename, [=, &answeredAfterTheClose, &s] {
            if (!s.ScriptDone() || form->StarFtp1.ControlConnected() || !rename->isVisible())
                return;
            answeredAfterTheClose = true;
            rename->Button1->click(); // キャンセル: the file is skipped
        });
        wait->start(10);
    });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(answeredAfterTheClose);
    EXPECT_EQ(run.results, std::vector<TFileResult>{TFileResult::SkippedByUser});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
}

// Cancel pressed while the listing before a file is read (the folder is listed again after a store
// that failed): that file is not sent, and the session goes on with a fresh listing for the next.
TEST_F(TUploadTest, CancelWhileTheListingBeforeAFileIsReadCancelsThatFile) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    LoginAndList(s, "");
    // 1.bin is refused; what the server holds now is not known.
    s.Answer("200 type\r\n").Answer("200 port\r\n").Answer("553 refused\r\n");
    // The listing before 2.bin holds back its end until the client aborts it.
    s.Answer("257 \"/up\"\r\n")
        .Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("150 listing\r\n")
        .ConnectData()
        .SendData("-rw-r--r-- 1 o g 1 Jan 01 2000 x.bin\r\n")
        .AwaitCommand()
        .Until([&] { return !s.Urgent().empty(); })
        .Send("426 aborted\r\n226 ABOR ok\r\n");
    List(s, "-rw-r--r-- 1 o g 1 Jan 01 2000 x.bin\r\n");
    Store(s);
    s.Answer("221 bye\r\n").Close();
    WriteProfile(TProfile().Dir("/up").Port(s.Port()).TempName(false));
    const std::string one = Local("1.bin", "1"), two = Local("2.bin", "2"),
                      three = Local("3.bin", "3");
    bool cancelled = false;
    const TRunResult run =
        Run({"/NOMSG", one, two, three}, nullptr, 20000, [&](TStartupWindows& w) {
            TForm1& form = *w.Form1;
            if (cancelled || !form.StarFtp1.Listing || form.Session().CurrentIndex() != 1 ||
                !form.CurrentProgress())
                return;
            cancelled = true;
            form.CurrentProgress()->CancelBtn->click();
        });
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(cancelled);
    EXPECT_TRUE(s.ScriptDone()) << testing::PrintToString(s.Commands()) << run.errors;
    const auto& c = s.Commands();
    EXPECT_EQ(std::count_if(c.begin(), c.end(),
                            [](const std::string& l) { return l.starts_with("STOR"); }),
              2);
    EXPECT_EQ(std::find(c.begin(), c.end(), "STOR /up/2.bin"), c.end());
    EXPECT_EQ(s.DataReceived(), "3");
    EXPECT_EQ(run.results, (std::vector<TFileResult>{TFileResult::Failed, TFileResult::Failed,
                                                     TFileResult::Stored}));
    EXPECT_NE(run.errors.find("wendup: " + two + ": キャンセルされました\n"), std::string::npos)
        << run.errors;
    EXPECT_EQ(run.exitStatus, 1);
}

// A server that takes the connection and never greets: the status window's cancel ends the
// session within about a second, and the file is told as not sent.
TEST_F(TUploadTest, CancelInTheStatusWindowWhileTheServerSaysNothing) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    WriteProfile(TProfile().Dir("/up").Port(s.Port()));
    const std::string f = Local("f.bin", "f");
    std::optional<std::chrono::steady_clock::time_point> clicked;
    bool buttonShown = false;
    const TRunResult run = Run({f}, nullptr, 20000, [&](TStartupWindows& w) {
        TForm1& form = *w.Form1;
        if (clicked || !s.ClientConnected() || form.Panel2->text() != "接続されました") return;
        buttonShown = form.Button9->isVisible();
        clicked = std::chrono::steady_clock::now();
        form.Button9->click();
    });
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(buttonShown);
    EXPECT_LT(std::chrono::steady_clock::now() - *clicked, std::chrono::milliseconds(2500));
    EXPECT_NE(run.errors.find("wendup: " + f + ": 転送されませんでした\n"), std::string::npos)
        << run.errors;
    EXPECT_EQ(run.boxes,
              QStringList("次のファイルは転送されませんでした。\r\nf.bin: 転送されませんでした"));
    EXPECT_EQ(run.exitStatus, 1);
}

namespace {

// Notes every showing of a progress dialog, and whether the listing was still running then.
struct TProgressShowings : QObject {
    explicit TProgressShowings(const TStarFtp*& ftp) : ftp(ftp) { qApp->installEventFilter(this); }
    ~TProgressShowings() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<TProgress*>(watched))
            duringListing.push_back(ftp && ftp->Listing);
        return false;
    }
    const TStarFtp*& ftp;
    std::vector<bool> duringListing;
};

} // namespace

// The folder's listing holds back its end: no progress dialog shows and none is the session's
// while it runs; the one dialog shows once the listing is done, and the file goes.
TEST_F(TUploadTest, ProgressDialogShowsOnlyOnceTheFolderIsListed) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    bool looked = false, listingBegun = false;
    s.Send("220 scripted\r\n")
        .Answer("331 password\r\n")
        .Answer("230 in\r\n")
        .Answer("215 UNIX Type: L8\r\n")
        .Answer("500 FEAT not understood\r\n")
        .Answer("250 here\r\n")
        .Answer("257 \"/up\"\r\n")
        .Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("150 listing\r\n")
        .ConnectData()
        .SendData("-rw-r--r-- 1 o g 3 Jan 01 2000 other.bin\r\n")
        .Do([&] { listingBegun = true; })
        .Until([&] { return looked; })
        .CloseData()
        .Send("226 done\r\n");
    Store(s);
    s.Answer("221 bye\r\n").Close();
    WriteProfile(TProfile().Dir("/up").Port(s.Port()).TempName(false));
    const std::string f = Local("f.bin", "f");
    const TStarFtp* ftp = nullptr;
    TProgressShowings showings(ftp);
    bool shownWhileListing = true, sessionsDuringListing = true;
    const TRunResult run = Run({"/NOMSG", f}, nullptr, 20000, [&](TStartupWindows& w) {
        TForm1& form = *w.Form1;
        ftp = &form.StarFtp1;
        // Once the listing's first line has come, before its end.
        if (looked || !listingBegun || !form.StarFtp1.Listing) return;
        DrainPostedEvents();
        shownWhileListing = false;
        for (TProgress* p : form.findChildren<TProgress*>())
            shownWhileListing = shownWhileListing || p->isVisible();
        sessionsDuringListing = form.CurrentProgress() != nullptr;
        looked = true;
    });
    ftp = nullptr;
    ASSERT_TRUE(run.ended);
    ASSERT_TRUE(looked);
    EXPECT_FALSE(shownWhileListing);
    EXPECT_FALSE(sessionsDuringListing);
    EXPECT_EQ(showings.duringListing, std::vector<bool>{false});
    EXPECT_EQ(s.DataReceived(), "f");
    EXPECT_EQ(run.results, std::vector<TFileResult>{TFileResult::Stored});
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
}

// The main window's first paint waits for the login, a tenth of a second at the most: a server
// slow to greet finds the window painting.
TEST_F(TUploadTest, MainWindowPaintsBeforeASlowGreeting) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    const TForm1* form = nullptr;
    bool held = false;
    std::optional<bool> paintsAtGreeting;
    const auto start = std::chrono::steady_clock::now();
    s.Until([&] { return std::chrono::steady_clock::now() - start > std::chrono::seconds(1); })
        .Do([&] { paintsAtGreeting = form && form->updatesEnabled(); })
        .Send("421 busy\r\n")
        .Close();
    WriteProfile(TProfile().Dir("/up").Port(s.Port()));
    const std::string f = Local("f.bin", "f");
    const TRunResult run = Run({"/NOMSG", f}, nullptr, 20000, [&](TStartupWindows& w) {
        form = w.Form1.get();
        held = held || !form->updatesEnabled();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(held);
    EXPECT_EQ(paintsAtGreeting, std::optional<bool>(true));
    EXPECT_EQ(run.results, std::vector<TFileResult>{TFileResult::Failed});
}

// A listing the server refuses ends the run before any file: no progress dialog ever shows.
TEST_F(TUploadTest, RefusedListingShowsNoProgressDialog) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    s.Send("220 scripted\r\n")
        .Answer("331 password\r\n")
        .Answer("230 in\r\n")
        .Answer("215 UNIX Type: L8\r\n")
        .Answer("500 FEAT not understood\r\n")
        .Answer("250 here\r\n")
        .Answer("257 \"/up\"\r\n")
        .Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("550 not now\r\n")
        .Close();
    WriteProfile(TProfile().Dir("/up").Port(s.Port()));
    const std::string f = Local("f.bin", "f");
    const TStarFtp* ftp = nullptr;
    TProgressShowings showings(ftp);
    const TRunResult run = Run({"/NOMSG", f});
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(showings.duringListing.empty());
    EXPECT_EQ(run.results, std::vector<TFileResult>{TFileResult::Failed});
    EXPECT_EQ(run.exitStatus, 1);
}
