#pragma once
// The password prompt for a profile whose password is not saved.
//
// How the upload driver uses it: the main window holds the one instance (TForm1::PasswordDlg),
// made when first needed and reused. The driver exec()s it; each showing starts with an empty box
// that has the keyboard focus. Accepted: Password->text() is the password for this session only.
// Rejected (cancel, Esc, the frame): the upload does not start.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TPasswordDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TPasswordDlg(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Password;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    // Opens above the progress dialog when that is showing.
    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;
};
