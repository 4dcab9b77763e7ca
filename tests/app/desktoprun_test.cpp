// What a desktop user meets around a run: files dropped on the window, the notification at the
// end, the log file of each run, and Enter in the profile chooser.
#include "uploadtest.h"

#include "app/ftpfrm.h"
#include "dialogs/prgrsfrm.h"

#include "eventloop.h"
#include "scopedenv.h"
#include "sessionbus.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <filesystem>
#include <fstream>

namespace {

// The program started without arguments on a profile that is no default: the chooser.
std::unique_ptr<TStartupWindows> StartChooser() {
    auto windows = std::make_unique<TStartupWindows>(ParamsFromArguments({}));
    windows->Form1->show();
    return windows;
}

QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST_F(TUploadTest, FilesDroppedOnTheChooserAreUploaded) {
    WriteProfile(TProfile());
    WriteFile("wendup.ini", "[Default]\nTimeOut=10\nLastServer=test\n[TextMode]\n");
    const std::string a = Local("a b.bin", "first\r\n");
    const std::string b = Local("b.bin", std::string(70000, '\x8a'));
    auto windows = StartChooser();
    TForm1& form = *windows->Form1;
    ASSERT_EQ(form.Mode(), TForm1::ChooserMode);

    // Only local files are taken.
    QMimeData web;
    web.setUrls({QUrl("https://example.com/a.txt")});
    QDragEnterEvent refused(QPoint(20, 20), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &refused);
    EXPECT_FALSE(refused.isAccepted());

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                   QUrl::fromLocalFile(QString::fromStdString(b))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
    ASSERT_TRUE(RunUntil([&] { return !form.isVisible(); }, 20000));
    EXPECT_EQ(form.ExitStatus(), 0);
    windows.reset();
    DrainPostedEvents();
    // Binary (mode 1), names with spaces stored with underscores, as from the command line.
    EXPECT_EQ(Arrived("a_b.bin"), "first\r\n");
    EXPECT_TRUE(Arrived("b.bin") == std::string(70000, '\x8a')) << "b.bin did not arrive whole";
}

TEST_F(TUploadTest, EnterInTheChooserStartsTheTransfer) {
    WriteProfile(TProfile());
    WriteFile("wendup.ini", "[Default]\nTimeOut=10\nLastServer=test\n[TextMode]\n");
    const std::string a = Local("a.bin", "a");
    TStartupWindows windows(ParamsFromArguments({a}));
    TForm1& form = *windows.Form1;
    form.show();
    ASSERT_EQ(form.Mode(), TForm1::ChooserMode);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(form.ComboBox1, &enter);
    ASSERT_TRUE(RunUntil([&] { return !form.isVisible(); }, 20000));
    EXPECT_EQ(form.ExitStatus(), 0);
    DrainPostedEvents();
    EXPECT_EQ(Arrived("a.bin"), "a");
}

TEST_F(TUploadTest, TheEndOfARunIsANotificationWithItsCounts) {
    TSessionBus bus;
    std::string why;
    ASSERT_TRUE(bus.Start(true, why)) << why;
    const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.Address().toStdString());
    WriteProfile(TProfile().Policy(2)); // "転送しない"
    Remote("b.bin", "theirs");
    const std::string a = Local("a.bin", "a");
    const std::string b = Local("b.bin", "b");
    std::filesystem::create_directories(local + "folder");
    const TRunResult run = Run({"/NOMSG", a, b, local + "folder"});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Arrived("a.bin"), "a");
    EXPECT_EQ(Arrived("b.bin"), "theirs");
    const QList<QJsonObject> shown = bus.Notifications();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0]["app"].toString(), "Wendup FTP uploader");
    EXPECT_EQ(shown[0]["desktop-entry"].toString(), "jp.wendup.Uploader");
    EXPECT_EQ(shown[0]["summary"].toString(), "転送できなかったファイルがあります");
    EXPECT_EQ(shown[0]["body"].toString(), "転送 1、スキップ 1、失敗 1");
    // The failure is still told on standard error and in the exit status.
    EXPECT_EQ(run.exitStatus, 1);

    const TRunResult clean = Run({Local("c.bin", "c")});
    ASSERT_TRUE(clean.ended);
    const QList<QJsonObject> after = bus.Notifications();
    ASSERT_EQ(after.size(), 2);
    EXPECT_EQ(after[1]["summary"].toString(), "転送が終わりました");
    EXPECT_EQ(after[1]["body"].toString(), "転送 1、スキップ 0、失敗 0");
}

TEST_F(TUploadTest, EachRunWritesItsLogAndOnlyTheNewestTenStay) {
    const QString logs = root.path() + "/state/wendup/";
    QDir().mkpath(logs);
    for (int i = 0; i < 12; ++i)
        std::ofstream(
            (logs + QString("run-20000101-0000%1-1.log").arg(i, 2, 10, QChar('0'))).toStdString())
            << "old\n";
    WriteProfile(TProfile());
    const std::string big = Local("big.bin", std::string(8 << 20, 'x'));
    bool clicked = false, logView = false;
    QString path;
    const TRunResult run = Run({big}, nullptr, 30000, [&](TStartupWindows& w) {
        TForm1& form = *w.Form1;
        if (path.isEmpty()) path = form.RunLogPath();
        TProgress* progress = form.CurrentProgress();
        if (!clicked && progress && progress->isVisible()) {
            clicked = true;
            progress->LogBtn->click();
            // Above the progress dialog, which stays on top itself.
            logView = form.Mode() == TForm1::LogView && form.isVisible() &&
                      form.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        }
        // The log view stays after the run until the user closes it.
        if (clicked && !form.Session().Running() && form.isVisible()) form.close();
    });
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(logView) << "the progress dialog's log button did not open the log view above it";
    ASSERT_FALSE(path.isEmpty());

    const QStringList kept = QDir(logs).entryList({"run-*.log"}, QDir::Files, QDir::Name);
    ASSERT_EQ(kept.size(), 10) << kept.join(' ').toStdString();
    EXPECT_EQ(kept.front(), "run-20000101-000003-1.log");
    EXPECT_EQ(logs + kept.back(), path);
    EXPECT_EQ(QFile::permissions(path) & 0x0077, 0) << "readable by others";
    const QString text = ReadText(path);
    EXPECT_TRUE(text.contains("USER anna")) << text.toStdString();
    EXPECT_TRUE(text.contains("PASS (hidden)"));
    EXPECT_FALSE(text.contains(PyFtpServer::Password));
    EXPECT_TRUE(text.contains("STOR"));
    EXPECT_TRUE(text.contains("転送 1、スキップ 0、失敗 0"));
}
