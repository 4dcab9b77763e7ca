#include "dialogs/pass.h"

#include "dialogs/controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <limits>

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("PasswordDlg");
    setWindowTitle("パスワードが必要です");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(300, 112);

    Label1 = MakeControl<QLabel>(this, "Label1", "パスワードの入力 :", 12, 10, 276, 20);
    Password = MakeControl<QLineEdit>(this, "Password", 12, 34, 276, 26);
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet("lineedit-password-character: 42"); // "*"
    Password->setMaxLength(std::numeric_limits<int>::max());
    Label1->setBuddy(Password);
    OKBtn = MakeControl<QPushButton>(this, "OKBtn", "OK", 108, 74, 86, 28);
    OKBtn->setDefault(true);
    CancelBtn = MakeControl<QPushButton>(this, "CancelBtn", "キャンセル", 202, 74, 86, 28);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(Password, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
}

void TPasswordDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // Every showing asks afresh, with the keyboard in the box: typing goes where it belongs and
    // Enter still presses OK.
    Password->clear();
    Password->setFocus();
    CenterOnScreen(this);
}

void TPasswordDlg::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
