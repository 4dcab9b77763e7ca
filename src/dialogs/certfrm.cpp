#include "dialogs/certfrm.h"

#include "dialogs/controls.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TCertForm::TCertForm(QWidget* parent) : QDialog(parent) {
    setObjectName("CertForm");
    setWindowTitle("サーバー証明書の確認");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    Image1 = LaidOut<QLabel>("Image1");
    Label1 = LaidOut<QLabel>("Label1");
    Label2 = LaidOut<QLabel>("Label2");
    Label3 = LaidOut<QLabel>("Label3");
    Label4 = LaidOut<QLabel>("Label4");
    Label5 = LaidOut<QLabel>("Label5", "SHA-256 フィンガープリント:");
    Label6 = LaidOut<QLabel>("Label6");
    Label6->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* texts = new QVBoxLayout;
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6}) {
        label->setWordWrap(label != Label6);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        texts->addWidget(label);
    }

    Button1 = LaidOut<QPushButton>("Button1", "この証明書を信頼する");
    Button2 = LaidOut<QPushButton>("Button2", "キャンセル");
    // Trust is never what Enter does.
    Button2->setDefault(true);
    Button2->setFocus();
    connect(Button1, &QPushButton::clicked, this, [this] {
        Trusted = true;
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    LayOutQuestion(this, Image1, texts,
                   {Button1, Button2, nullptr, nullptr, ButtonRow({Button1, Button2})}, {520, 240});
}

void TCertForm::SetCertificate(const TCertificateInfo& certificate, bool changed) {
    Label1->setText(changed ? "サーバーの証明書が、以前に信頼した証明書から変わっています。"
                              "この証明書を信頼して接続しますか?"
                            : "サーバーの証明書を確認できませんでした。"
                              "この証明書を信頼して接続しますか?");
    Label2->setText("理由: " + QString::fromUtf8(certificate.Problem));
    Label3->setText("発行先: " + QString::fromUtf8(certificate.Subject) +
                    "\n発行者: " + QString::fromUtf8(certificate.Issuer));
    Label4->setText("有効期間: " + QString::fromUtf8(certificate.NotBefore) + " から " +
                    QString::fromUtf8(certificate.NotAfter) + " まで");
    // 32 bytes: the line breaks after the 16th.
    QString fingerprint = QString::fromUtf8(certificate.Fingerprint);
    if (fingerprint.size() > 48) fingerprint.replace(47, 1, '\n');
    Label6->setText(fingerprint);
}

void TCertForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) PlaceOnScreen(this);
}

void TCertForm::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
