#include "dialogs/pass.h"

#include "dialogs/controls.h"

#include <QBoxLayout>
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

    Label1 = LaidOut<QLabel>("Label1", "パスワードの入力 :");
    Password = LaidOut<QLineEdit>("Password");
    Password->setEchoMode(QLineEdit::Password);
    Password->setStyleSheet("lineedit-password-character: 42"); // "*"
    Password->setMaxLength(std::numeric_limits<int>::max());
    Label1->setBuddy(Password);
    OKBtn = LaidOut<QPushButton>("OKBtn", "OK");
    OKBtn->setDefault(true);
    CancelBtn = LaidOut<QPushButton>("CancelBtn", "キャンセル");
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Password);
    layout->addStretch();
    layout->addLayout(ButtonRow({OKBtn, CancelBtn}));
    setTabOrder(Password, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    SetStartSize(this, {300, 112});
}

void TPasswordDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // Every showing asks afresh, with the keyboard in the box: typing goes where it belongs and
    // Enter still presses OK.
    Password->clear();
    Password->setFocus();
    PlaceOnScreen(this);
}

void TPasswordDlg::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
