#include "dialogs/certfrm.h"

#include "dialogs/controls.h"
#include "dialogs/pictures.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TCertForm::TCertForm(QWidget* parent) : QDialog(parent) {
    setObjectName("CertForm");
    setWindowTitle("サーバー証明書の確認");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(520, 278);

    Image1 = MakeControl<QLabel>(this, "Image1", 12, 12, 32, 32);
    Image1->setPixmap(WarningPicture());
    Label1 = MakeControl<QLabel>(this, "Label1", 56, 8, 452, 40);
    Label1->setWordWrap(true);
    Label2 = MakeControl<QLabel>(this, "Label2", 56, 50, 452, 36);
    Label2->setWordWrap(true);
    Label3 = MakeControl<QLabel>(this, "Label3", 56, 88, 452, 54);
    Label3->setWordWrap(true);
    Label3->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label4 = MakeControl<QLabel>(this, "Label4", 56, 144, 452, 20);
    Label5 = MakeControl<QLabel>(this, "Label5", "SHA-256 フィンガープリント:", 56, 168, 452, 20);
    Label6 = MakeControl<QLabel>(this, "Label6", 56, 190, 452, 40);
    Label6->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label6->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    Button1 = MakeControl<QPushButton>(this, "Button1", "この証明書を信頼する", 250, 242, 160, 26);
    Button2 = MakeControl<QPushButton>(this, "Button2", "キャンセル", 418, 242, 90, 26);
    // Trust is never what Enter does.
    Button2->setDefault(true);
    Button2->setFocus();
    connect(Button1, &QPushButton::clicked, this, [this] {
        Trusted = true;
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
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
    if (!event->spontaneous()) CenterOnScreen(this);
}

void TCertForm::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
