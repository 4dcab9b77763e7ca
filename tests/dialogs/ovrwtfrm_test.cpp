// The file and folder overwrite questions: every answer, the last-file layout and the texts.
#include "dialogs/fovrwfrm.h"
#include "dialogs/ovrwtfrm.h"
#include "modal.h"
#include "qstringprint.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <gtest/gtest.h>

#include <functional>

namespace {

// What the user does, and the answer and result that follow, starting from `before`.
struct AnswerCase {
    const char* what;
    std::function<void(QDialog&, QPushButton* const (&)[4])> act;
    std::uint8_t before, answer;
    int result;
};

void Escape(QDialog& dialog) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &escape);
}

// A letter typed where the focus is: a button passes it on to its dialog.
void Type(QDialog& dialog, Qt::Key key, const char* text) {
    QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

const AnswerCase AnswerCases[] = {
    {"Y", [](QDialog& d, auto&) { Type(d, Qt::Key_Y, "y"); }, 3, 0, QDialog::Accepted},
    {"N", [](QDialog& d, auto&) { Type(d, Qt::Key_N, "n"); }, 3, 1, QDialog::Accepted},
    {"A", [](QDialog& d, auto&) { Type(d, Qt::Key_A, "a"); }, 3, 2, QDialog::Accepted},
    {"はい", [](QDialog&, auto& b) { b[0]->click(); }, 3, 0, QDialog::Accepted},
    {"いいえ", [](QDialog&, auto& b) { b[1]->click(); }, 3, 1, QDialog::Accepted},
    {"すべて上書き", [](QDialog&, auto& b) { b[2]->click(); }, 3, 2, QDialog::Accepted},
    {"キャンセル", [](QDialog&, auto& b) { b[3]->click(); }, 3, 3, QDialog::Rejected},
    // Cancel and the frame leave whatever the caller put there.
    {"キャンセル after 1", [](QDialog&, auto& b) { b[3]->click(); }, 1, 1, QDialog::Rejected},
    {"frame", [](QDialog& d, auto&) { d.close(); }, 3, 3, QDialog::Rejected},
    {"frame after 0", [](QDialog& d, auto&) { d.close(); }, 0, 0, QDialog::Rejected},
    {"Esc", [](QDialog& d, auto&) { Escape(d); }, 2, 2, QDialog::Rejected},
};

template <class Dialog> void CheckAnswers() {
    for (const AnswerCase& c : AnswerCases) {
        SCOPED_TRACE(c.what);
        Dialog dialog;
        QPushButton* const buttons[4] = {dialog.Button1, dialog.Button2, dialog.Button3,
                                         dialog.Button4};
        dialog.Answer = c.before;
        EXPECT_EQ(ExecBounded(dialog, [&] { c.act(dialog, buttons); }), c.result);
        EXPECT_EQ(dialog.Answer, c.answer);
    }
}

// The visible buttons from left to right.
QStringList ButtonRow(QWidget& dialog, QPushButton* const (&buttons)[4]) {
    QList<QPushButton*> shown;
    for (QPushButton* b : buttons)
        if (!b->isHidden()) shown << b;
    std::sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    QStringList texts;
    for (QPushButton* b : shown) {
        EXPECT_LE(b->geometry().right(), dialog.width()) << b->text().toStdString();
        texts << b->text();
    }
    return texts;
}

} // namespace

TEST(OverwriteDialogs, EveryAnswerOfTheFileQuestion) {
    CheckAnswers<TForm2>();
}

TEST(OverwriteDialogs, EveryAnswerOfTheFolderQuestion) {
    CheckAnswers<TForm3>();
}

TEST(OverwriteDialogs, ButtonsInOrderAndTheLastFileLayout) {
    TForm2 dialog;
    QPushButton* const buttons[4] = {dialog.Button1, dialog.Button2, dialog.Button3,
                                     dialog.Button4};
    const QStringList all = {"はい(&Y)", "すべて上書き(&A)", "いいえ(&N)", "キャンセル"};
    EXPECT_EQ(ButtonRow(dialog, buttons), all);
    const int rightEdge = dialog.Button4->geometry().right();
    const int fourth = dialog.Button4->x();
    const int third = dialog.Button2->x();

    dialog.LastFileLayout();
    EXPECT_EQ(ButtonRow(dialog, buttons), QStringList({"はい(&Y)", "いいえ(&N)"}));
    EXPECT_EQ(dialog.Button2->geometry().right(), rightEdge);
    EXPECT_EQ(dialog.Button2->x(), fourth);
    EXPECT_EQ(dialog.Button1->x(), third);
    // "A" answers nothing while its button is hidden.
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              Type(dialog, Qt::Key_A, "a");
                              EXPECT_TRUE(dialog.isVisible());
                              dialog.reject();
                          }),
              QDialog::Rejected);
    EXPECT_EQ(dialog.Answer, 3);
    // Closed from its frame it answers as Cancel did.
    dialog.Answer = 3;
    EXPECT_EQ(ExecBounded(dialog, [&] { dialog.close(); }), QDialog::Rejected);
    EXPECT_EQ(dialog.Answer, 3);

    TForm3 folder;
    QPushButton* const folderButtons[4] = {folder.Button1, folder.Button2, folder.Button3,
                                           folder.Button4};
    EXPECT_EQ(ButtonRow(folder, folderButtons), all);
}

TEST(OverwriteDialogs, DateTexts) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    struct {
        QDateTime time;
        const QLocale& locale;
        const char* text;
    } cases[] = {
        {QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), japanese,
         "2001 年 2 月 3 日 土曜日、 04:05:06"},
        {QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59)), japanese,
         "2026 年 12 月 7 日 月曜日、 23:59:59"},
        {QDateTime(QDate(1999, 10, 31), QTime(0, 0, 0)), english,
         "1999 年 10 月 31 日 Sunday、 00:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TForm2::DateText(c.time, c.locale), c.text);
}

TEST(OverwriteDialogs, TextsOfTheFileQuestion) {
    TForm2 dialog;
    EXPECT_FALSE(dialog.Image1->pixmap().isNull());
    dialog.SetFileName("メモ〜.txt");
    EXPECT_EQ(dialog.Label1->text(), "このフォルダには既に 'メモ〜.txt' ファイルが存在します。");

    // The size as the listing printed it; a listing without a date.
    dialog.SetRemoteFile("1,024", QDateTime());
    EXPECT_EQ(dialog.Label4->text(), "サイズ: 1,024バイト");
    EXPECT_EQ(dialog.Label5->text(), "更新日時: (不明)");
    const QDateTime when(QDate(2001, 2, 3), QTime(4, 5, 6));
    dialog.SetRemoteFile("5", when);
    EXPECT_EQ(dialog.Label5->text(), "更新日時: " + TForm2::DateText(when, QLocale()));

    dialog.SetLocalFile("/tmp/big.iso", 5368709120, when);
    EXPECT_EQ(dialog.Label6->text(), "サイズ: 5368709120バイト");
    EXPECT_EQ(dialog.Label7->text(), "更新日時: " + TForm2::DateText(when, QLocale()));
    EXPECT_FALSE(dialog.Image2->pixmap().isNull());
    EXPECT_EQ(dialog.Image2->pixmap().cacheKey(), dialog.Image3->pixmap().cacheKey());
}

TEST(OverwriteDialogs, TextsOfTheFolderQuestion) {
    TForm3 dialog;
    dialog.SetFolderName("images");
    EXPECT_EQ(dialog.Label1->text(), "このフォルダには既に 'images' フォルダが存在します。");
    EXPECT_FALSE(dialog.Image1->pixmap().isNull());
}
