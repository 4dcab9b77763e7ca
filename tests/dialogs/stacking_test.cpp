// The questions of an upload open while the progress dialog is showing, and that dialog stays
// above other windows: each question must open above it, active, and whole on the screen. Also run
// at scale 2 (see CMakeLists.txt).
#include "dialogs/fovrwfrm.h"
#include "dialogs/ovrwtfrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"
#include "dialogs/savasfrm.h"
#include "eventloop.h"
#include "modal.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// What a question must be when it shows over a running upload's progress dialog.
void ExpectAboveAndWhole(QWidget& question, const TProgress& progress, bool ours = true) {
    const std::string name = question.objectName().toStdString();
    EXPECT_TRUE(progress.isVisible()) << name;
    // The same layer as the progress dialog, and shown after it: above it.
    EXPECT_TRUE(question.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << name;
    EXPECT_EQ(QApplication::activeModalWidget(), &question) << name;
    // The keyboard with it, not with the progress dialog, where Enter and Esc cancel. (A message
    // box is activated by the window manager, which the offscreen platform does not play.)
    if (ours) {
        EXPECT_TRUE(RunUntil([&] { return QApplication::activeWindow() == &question; }, 2000))
            << name;
    }
    const QRect screen = question.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(question.frameGeometry()))
        << name << ": frame " << question.frameGeometry().x() << "," << question.frameGeometry().y()
        << " " << question.frameGeometry().width() << "x" << question.frameGeometry().height()
        << " on a screen of " << screen.width() << "x" << screen.height();
}

// The main window in its connecting state, with the progress dialog of a running upload over it.
struct TUpload {
    TUpload() {
        owner.resize(200, 100);
        owner.show();
        progress = new TProgress(&owner);
        progress->show();
        progress->StartFile("/tmp/a", "", 1000);
    }
    QWidget owner;
    TProgress* progress;
};

TEST(QuestionsAboveProgress, EachQuestionOpensAboveTheProgressDialog) {
    const struct {
        const char* what;
        std::function<std::unique_ptr<QDialog>(QWidget* parent)> make;
    } questions[] = {
        {"file", [](QWidget* parent) { return std::make_unique<TForm2>(parent); }},
        {"last file",
         [](QWidget* parent) {
             auto form = std::make_unique<TForm2>(parent);
             form->LastFileLayout();
             return form;
         }},
        {"folder", [](QWidget* parent) { return std::make_unique<TForm3>(parent); }},
        {"rename",
         [](QWidget* parent) {
             return std::make_unique<TForm4>(
                 "ftp.example.com", "/", ftpstUNIX,
                 std::vector<std::string>{"-rw-r--r--  1 u  g  9 Mar  1 09:00 a.txt"}, parent);
         }},
        {"password", [](QWidget* parent) { return std::make_unique<TPasswordDlg>(parent); }},
    };
    for (const auto& q : questions) {
        SCOPED_TRACE(q.what);
        TUpload upload;
        std::unique_ptr<QDialog> question = q.make(&upload.owner);
        ExecBounded(*question, [&] {
            ExpectAboveAndWhole(*question, *upload.progress);
            question->reject();
        });
    }
}

TEST(QuestionsAboveProgress, TheRenameDialogsOwnQuestionOpensAboveItToo) {
    TUpload upload;
    TForm4 rename("ftp.example.com", "/", ftpstUNIX, {"-rw-r--r--  1 u  g  9 Mar  1 09:00 a.txt"},
                  &upload.owner);
    rename.Edit2->setText("a.txt");
    bool asked = false;
    ExecBounded(rename, [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = true;
            ExpectAboveAndWhole(*box, *upload.progress, false);
            box->button(QMessageBox::No)->click();
        });
        rename.Button2->click();
        rename.reject();
    });
    EXPECT_TRUE(asked);
}

TEST(QuestionsAboveProgress, WithoutAProgressDialogAQuestionIsAnOrdinaryWindow) {
    // The password prompt is made once and asked again later, with or without an upload running.
    QWidget owner;
    owner.show();
    TPasswordDlg prompt(&owner);
    const auto stays = [&] {
        bool onTop = true;
        ExecBounded(prompt, [&] {
            onTop = prompt.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            EXPECT_TRUE(RunUntil([&] { return QApplication::activeWindow() == &prompt; }, 2000));
            prompt.reject();
        });
        return onTop;
    };
    EXPECT_FALSE(stays());
    auto* progress = new TProgress(&owner);
    progress->show();
    EXPECT_TRUE(stays());
    progress->hide();
    EXPECT_FALSE(stays());
}

} // namespace
