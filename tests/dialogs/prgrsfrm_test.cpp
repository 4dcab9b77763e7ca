// The progress dialog: its figures for worked examples, totals over files, the marker's path,
// placement and the cancel button.
#include "dialogs/prgrsfrm.h"
#include "eventloop.h"
#include "qstringprint.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct Figures {
    const char* what;
    std::int64_t fileSize, bytes, milliseconds;
    int bar;
    const char *transfer, *time, *timeLeft, *totTransfer, *totTime, *rate;
};

// Worked by hand: remaining = whole seconds × size ÷ bytes − whole seconds; rate in tenths of
// 1024 bytes per whole second of the session.
const Figures Examples[] = {
    {"a quarter after four seconds", 1000, 250, 4000, 25, "250", "00:00:04", "00:00:12", "250",
     "00:00:04", "???"},
    {"1500 bytes in a second", 3000, 1500, 1000, 50, "1500", "00:00:01", "00:00:01", "1500",
     "00:00:01", "1.4 K/sec"},
    {"500 bytes in a second", 3000, 500, 1000, 16, "500", "00:00:01", "00:00:05", "500", "00:00:01",
     "500 bytes/sec"},
    {"100 bytes in a second", 3000, 100, 1000, 3, "100", "00:00:01", "00:00:29", "100", "00:00:01",
     "???"},
    {"the first second", 10000, 5000, 999, 50, "5000", "00:00:00", "00:00:00", "5000", "00:00:00",
     "???"},
    // 3 GiB of 5 GiB in 30 s: 60 %, 20 s left, 104857.6 KiB/s.
    {"past 4 GiB", 5368709120, 3221225472, 30000, 60, "3221225472", "00:00:30", "00:00:20",
     "3221225472", "00:00:30", "104857.6 K/sec"},
    {"a zero-byte file", 0, 0, 0, 0, "0", "00:00:00", "--:--:--", "0", "00:00:00", "???"},
    {"nothing sent yet", 4096, 0, 3000, 0, "0", "00:00:03", "--:--:--", "0", "00:00:03", "???"},
    // Text conversion sent more than the file holds: full bar, nothing left.
    {"more than the file", 100, 150, 2000, 100, "150", "00:00:02", "00:00:00", "150", "00:00:02",
     "???"},
    // 25 h 1 min 1 s wraps to the hour of the next day.
    {"a day and more", 1 << 20, 1 << 20, 90061000, 100, "1048576", "01:01:01", "00:00:00",
     "1048576", "01:01:01", "???"},
};

// An update, and its figures on the controls at once.
void Update(TProgress& dialog, std::int64_t bytes, std::int64_t milliseconds) {
    dialog.UpdateProgress(bytes, milliseconds);
    dialog.Refresh();
}

} // namespace

TEST(ProgressDialog, FiguresOfOneUpdate) {
    for (const Figures& f : Examples) {
        SCOPED_TRACE(f.what);
        TProgress dialog;
        dialog.StartFile("/tmp/a.bin", "route", f.fileSize);
        Update(dialog, f.bytes, f.milliseconds);
        EXPECT_EQ(dialog.ProgressBar->value(), f.bar);
        EXPECT_EQ(dialog.TransferLbl->text(), f.transfer);
        EXPECT_EQ(dialog.TimeLbl->text(), f.time);
        EXPECT_EQ(dialog.TimeLeftLbl->text(), f.timeLeft);
        EXPECT_EQ(dialog.TotTransferLbl->text(), f.totTransfer);
        EXPECT_EQ(dialog.TotTimeLbl->text(), f.totTime);
        EXPECT_EQ(dialog.TransferRateLbl->text(), f.rate);
    }
}

TEST(ProgressDialog, TotalsContinueOverTheFilesOfOneShowing) {
    QWidget owner;
    TProgress dialog(&owner);
    dialog.show();
    dialog.StartFile("/tmp/first", "", 2048);
    Update(dialog, 2048, 2000);
    dialog.FinishFile();
    dialog.Refresh();
    EXPECT_EQ(dialog.ProgressBar->value(), 0);
    dialog.StartFile("/tmp/second", "", 4096);
    Update(dialog, 1024, 1000);
    EXPECT_EQ(dialog.ProgressBar->value(), 25);
    EXPECT_EQ(dialog.TransferLbl->text(), "1024");
    EXPECT_EQ(dialog.TimeLbl->text(), "00:00:01");
    EXPECT_EQ(dialog.TotTransferLbl->text(), "3072");
    EXPECT_EQ(dialog.TotTimeLbl->text(), "00:00:03");
    EXPECT_EQ(dialog.TransferRateLbl->text(), "1.0 K/sec");
    dialog.FinishFile();

    // A file that sends nothing before it finishes adds nothing: the second file counts once.
    dialog.StartFile("/tmp/empty", "", 0);
    dialog.FinishFile();
    dialog.StartFile("/tmp/fourth", "", 100);
    Update(dialog, 0, 0);
    EXPECT_EQ(dialog.TotTransferLbl->text(), "3072");
    EXPECT_EQ(dialog.TotTimeLbl->text(), "00:00:03");

    // Showing it again starts a new session.
    dialog.hide();
    dialog.show();
    dialog.StartFile("/tmp/next", "", 100);
    Update(dialog, 50, 500);
    EXPECT_EQ(dialog.TotTransferLbl->text(), "50");
    EXPECT_EQ(dialog.TotTimeLbl->text(), "00:00:00");
}

TEST(ProgressDialog, StartFileShowsTheNameAndTheRoute) {
    TProgress dialog;
    Update(dialog, 10, 10);
    // A name that Shift_JIS lacks shows as it is.
    dialog.StartFile("/home/u/日本/写真😀.txt", "'日本' から 'host:www'へ", 10);
    dialog.Refresh();
    EXPECT_EQ(dialog.filenamelabel->text(), "写真😀.txt");
    EXPECT_EQ(dialog.dirlabel->text(), "'日本' から 'host:www'へ");
    EXPECT_EQ(dialog.dirlabel->toolTip(), "'日本' から 'host:www'へ");
    EXPECT_EQ(dialog.ProgressBar->value(), 0);
    // Without a refresh the next file's name comes with the event loop.
    dialog.StartFile("plain", "", 10);
    dialog.SetRunFiles(2, 3, 12345);
    EXPECT_TRUE(RunUntil([&] { return dialog.filenamelabel->text() == "plain"; }, 2000));
    EXPECT_EQ(dialog.dirlabel->text(), "");
    EXPECT_EQ(dialog.FileCountLbl->text(), "2 / 3 ファイル");
    EXPECT_EQ(dialog.TotalSizeLbl->text(), "12345 バイト");
}

// Small files one after the other, each in an event loop round of its own as a run stores them:
// the window is painted a few times a second, not once a file, and it ends on the last file and
// the exact totals.
TEST(ProgressDialog, ManyQuickFilesEndOnTheLastFileAndItsTotals) {
    QWidget owner;
    TProgress dialog(&owner);
    dialog.show();
    ASSERT_TRUE(RunUntil([&] { return dialog.isVisible(); }, 2000));
    DrainPostedEvents();
    struct TPaints : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++count;
            return false;
        }
    } paints;
    dialog.filenamelabel->installEventFilter(&paints);
    constexpr int Files = 400;
    QElapsedTimer clock;
    clock.start();
    for (int file = 1; file <= Files; ++file) {
        dialog.SetRunFiles(file, Files, 4096 * Files);
        dialog.StartFile("/tmp/small" + std::to_string(file) + ".txt", "'tmp' から 'h:/'へ", 4096);
        dialog.UpdateProgress(2048, 0);
        dialog.UpdateProgress(4096, 1);
        // 2 KiB and 4 KiB of every file in their own rounds, as the client reports them.
        QCoreApplication::processEvents();
        if (file < Files) dialog.FinishFile();
        QCoreApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    // The name of the moment reaches the screen at most once each 50 ms, and once more at the end.
    EXPECT_LE(paints.count, 2 + elapsed / 50) << elapsed << " ms";
    EXPECT_TRUE(RunUntil([&] { return dialog.filenamelabel->text() == "small400.txt"; }, 2000));
    EXPECT_EQ(dialog.FileCountLbl->text(), "400 / 400 ファイル");
    EXPECT_EQ(dialog.TotalSizeLbl->text(), "1638400 バイト");
    EXPECT_EQ(dialog.ProgressBar->value(), 100);
    EXPECT_EQ(dialog.TransferLbl->text(), "4096");
    // 400 files of 4096 bytes, each a millisecond: 1.6 MB in 400 ms, shown as whole seconds.
    EXPECT_EQ(dialog.TotTransferLbl->text(), "1638400");
    EXPECT_EQ(dialog.TotTimeLbl->text(), "00:00:00");
    EXPECT_TRUE(RunUntil([&] { return paints.count > 0; }, 2000));
}

TEST(ProgressDialog, MarkerMovesEveryTenUpdatesAlongSixteenFrames) {
    TProgress dialog;
    dialog.StartFile("/tmp/a", "", 1000000);
    EXPECT_EQ(dialog.VisibleFrame(), 0);
    for (int update = 1; update <= 330; ++update) {
        Update(dialog, update, update);
        const int n = update % 160; // the marker's round starts again after 160 updates
        // The 10th to 150th updates show Image16 to Image30; the 160th Image15.
        int expected = n < 10 && update < 160 ? 0 : 15 + n / 10;
        SCOPED_TRACE(update);
        ASSERT_EQ(dialog.VisibleFrame(), expected);
        int shown = 0;
        for (QLabel* frame : dialog.Frames)
            shown += frame->isHidden() ? 0 : 1;
        ASSERT_EQ(shown, expected ? 1 : 0);
    }
    EXPECT_EQ(dialog.Frames[15]->objectName(), "Image30");
    EXPECT_EQ(dialog.Frames[15]->pos(), QPoint(248, 19));
}

TEST(ProgressDialog, ShowsOverItsOwnerOnTopWithTheFocusOnCancel) {
    QWidget owner;
    owner.setGeometry(100, 200, 600, 64);
    owner.show();
    TProgress dialog(&owner);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.isModal());
    dialog.show();
    EXPECT_EQ(dialog.x(), owner.x() + (600 - dialog.width()) / 2);
    // Taller than its owner: it reaches above it, half the difference rounded toward zero.
    EXPECT_EQ(dialog.y(), owner.y() - (dialog.height() - 64) / 2);
    EXPECT_EQ(dialog.focusWidget(), dialog.CancelBtn);
}

TEST(ProgressDialog, CancelButtonEnterAndEscCallOnCancelAndNothingElse) {
    QWidget owner;
    TProgress dialog(&owner);
    dialog.CancelBtn->click(); // nobody listens yet
    int calls = 0;
    dialog.OnCancel = [&](TProgress& sender) {
        EXPECT_EQ(&sender, &dialog);
        ++calls;
    };
    dialog.show();
    dialog.StartFile("/tmp/a", "", 100);
    Update(dialog, 40, 1000);
    dialog.CancelBtn->click();
    EXPECT_EQ(calls, 1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    EXPECT_EQ(calls, 2);
    // Esc cancels too, and leaves the dialog open until the session hides it.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &escape);
    DrainPostedEvents();
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.ProgressBar->value(), 40);
    EXPECT_EQ(dialog.TransferLbl->text(), "40");
}

TEST(ProgressDialog, QuickUpdatesReachTheControlsSoon) {
    TProgress dialog;
    dialog.StartFile("/tmp/a", "", 1 << 30);
    // A burst as a fast store gives it; the last figures show once the event loop has run a while.
    for (int block = 1; block <= 20000; ++block)
        dialog.UpdateProgress(std::int64_t(block) * 2048, block / 10);
    EXPECT_TRUE(RunUntil([&] { return dialog.TransferLbl->text() == "40960000"; }, 2000));
    EXPECT_EQ(dialog.TimeLbl->text(), "00:00:02");
    EXPECT_EQ(dialog.ProgressBar->value(), 3);
    // 20000 updates are 125 whole rounds of 160: the marker is back on the first frame.
    EXPECT_EQ(dialog.VisibleFrame(), 15);
}
