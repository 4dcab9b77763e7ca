// The text-mode extensions dialog on its own: adding, duplicates, deleting, OK and Cancel.
#include "dialogs/modefrm.h"
#include "modal.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

void Add(TForm5& dialog, const QString& text) {
    dialog.Edit1->setText(text);
    dialog.Button1->click();
}

} // namespace

TEST(TextModeDialog, AddComparesAsciiLettersOnlyAndKeepsTheTextAsTyped) {
    TForm5 dialog;
    EXPECT_EQ(dialog.windowTitle(), "転送方法の設定");
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(dialog.Label1->wordWrap());
    Add(dialog, "txt");
    for (const char* again : {"TXT", "Txt", "txt", ""})
        Add(dialog, again);
    Add(dialog, ".Htm");
    Add(dialog, " log ");
    // Full-width letters are not folded: "ｔｘｔ" is another entry.
    Add(dialog, "ｔｘｔ");
    Add(dialog, "ＴＸＴ");
    EXPECT_EQ(dialog.Entries(), QStringList({"txt", ".Htm", " log ", "ｔｘｔ", "ＴＸＴ"}));
    EXPECT_EQ(dialog.Edit1->text(), "ＴＸＴ");
}

TEST(TextModeDialog, PickCopiesTheEntryAndDeleteRemovesOnlyThePick) {
    TForm5 dialog;
    for (const char* e : {"a", "b", "c"})
        Add(dialog, e);
    dialog.Edit1->setText("typed");
    dialog.Button2->click(); // nothing picked
    EXPECT_EQ(dialog.Entries().size(), 3);
    EXPECT_EQ(dialog.Edit1->text(), "typed");

    dialog.ListBox1->setCurrentRow(1);
    dialog.ListBox1Click();
    EXPECT_EQ(dialog.Edit1->text(), "b");
    dialog.Button1->click(); // the pick is already listed
    EXPECT_EQ(dialog.Entries().size(), 3);
    dialog.Button2->click();
    EXPECT_EQ(dialog.Entries(), QStringList({"a", "c"}));
    EXPECT_EQ(dialog.Edit1->text(), "");
    dialog.Button2->click(); // the pick is gone with its entry
    EXPECT_EQ(dialog.Entries(), QStringList({"a", "c"}));
}

TEST(TextModeDialog, OkAddsTypedTextAndCancelAnswersCancel) {
    TForm5 dialog;
    Add(dialog, "txt");
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              dialog.Edit1->setText("log");
                              dialog.Button3->click();
                          }),
              QDialog::Accepted);
    EXPECT_EQ(dialog.Entries(), QStringList({"txt", "log"}));

    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              dialog.Edit1->setText("css");
                              dialog.Button4->click();
                          }),
              QDialog::Rejected);
    EXPECT_EQ(dialog.Entries(), QStringList({"txt", "log"}));
}

TEST(TextModeDialog, EnterInTheExtensionBoxOnlyAdds) {
    TForm5 dialog;
    EXPECT_EQ(dialog.Button4->text(), "キャンセル");
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              dialog.Edit1->setFocus();
                              dialog.Edit1->setText("php");
                              QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                              QApplication::sendEvent(dialog.Edit1, &enter);
                              EXPECT_TRUE(dialog.isVisible()) << "Enter closed the dialog";
                              EXPECT_EQ(dialog.Entries(), QStringList({"php"}));
                              // With the focus elsewhere Enter is still OK.
                              dialog.Button3->setFocus();
                              QApplication::sendEvent(dialog.Button3, &enter);
                          }),
              QDialog::Accepted);
}

TEST(TextModeDialog, ArrowKeysPickAsTheMouseDoes) {
    TForm5 dialog;
    for (const char* e : {"a", "b"})
        Add(dialog, e);
    EXPECT_EQ(ExecBounded(dialog,
                          [&] {
                              dialog.ListBox1->setFocus();
                              dialog.ListBox1->setCurrentRow(0);
                              QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
                              QApplication::sendEvent(dialog.ListBox1, &down);
                              EXPECT_EQ(dialog.Edit1->text(), "b");
                              dialog.reject();
                          }),
              QDialog::Rejected);
}
