// The password prompt: an empty box with the focus at every showing, OK, Enter, Esc and the frame.
#include "dialogs/pass.h"
#include "modal.h"
#include "qstringprint.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

void Key(QWidget* to, int key, const QString& text = {}) {
    ASSERT_NE(to, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
}

// Types `text` where the keyboard goes.
void Type(QDialog& dialog, const QString& text) {
    for (QChar c : text)
        Key(dialog.focusWidget(), 0, c);
}

} // namespace

TEST(PasswordPrompt, EachShowingStartsEmptyWithTheKeyboardInTheBox) {
    TPasswordDlg dialog;
    EXPECT_EQ(dialog.Password->echoMode(), QLineEdit::Password);
    // No limit on the length: a long pass phrase is kept whole.
    dialog.Password->setText(QString(40000, 'p'));
    EXPECT_EQ(dialog.Password->text().size(), 40000);
    dialog.Password->setText("left over");

    struct {
        const char* what;
        QString typed;
        std::function<void()> finish;
        int result;
    } showings[] = {
        {"typed, OK", "s3cret パス", [&] { dialog.OKBtn->click(); }, QDialog::Accepted},
        {"typed, Enter", "again", [&] { Key(dialog.focusWidget(), Qt::Key_Return); },
         QDialog::Accepted},
        {"empty, OK", "", [&] { dialog.OKBtn->click(); }, QDialog::Accepted},
        {"typed, Esc", "no", [&] { Key(dialog.focusWidget(), Qt::Key_Escape); }, QDialog::Rejected},
        {"typed, cancel", "no", [&] { dialog.CancelBtn->click(); }, QDialog::Rejected},
        {"typed, frame", "no", [&] { dialog.close(); }, QDialog::Rejected},
    };
    for (const auto& s : showings) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(ExecBounded(dialog,
                              [&] {
                                  EXPECT_EQ(dialog.Password->text(), "");
                                  EXPECT_EQ(dialog.focusWidget(), dialog.Password);
                                  Type(dialog, s.typed);
                                  s.finish();
                              }),
                  s.result);
        EXPECT_EQ(dialog.Password->text(), s.typed);
    }
}
