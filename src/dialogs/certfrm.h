#pragma once
// "サーバー証明書の確認": the server's certificate failed the check (or differs from the one
// trusted before). It shows why, whom the certificate names, how long it is valid and its SHA-256
// fingerprint; "この証明書を信頼する" sets Trusted and closes, "キャンセル" and the frame's close
// leave it false.

#include "net/tlslink.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TCertForm : public QDialog {
    Q_OBJECT
  public:
    explicit TCertForm(QWidget* parent = nullptr);

    // `changed`: the profile trusted another certificate of this server before.
    void SetCertificate(const TCertificateInfo& certificate, bool changed);
    bool Trusted = false;

    QLabel* Image1;
    QLabel* Label1;       // what happened
    QLabel* Label2;       // the reason
    QLabel* Label3;       // subject and issuer
    QLabel* Label4;       // validity
    QLabel* Label5;       // "SHA-256"
    QLabel* Label6;       // the fingerprint in two lines of 16 bytes, selectable
    QPushButton* Button1; // この証明書を信頼する
    QPushButton* Button2; // キャンセル

    // Opens above the progress dialog when that is showing.
    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;
};
