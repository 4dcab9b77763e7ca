#pragma once
// The folder overwrite question: a folder to upload meets a remote folder of the same name.
//
// How the upload driver uses it: it creates one for each decision. It calls SetFolderName,
// sets Answer to 3, exec()s it and reads Answer: 0 "はい(&Y)", 1 "いいえ(&N)", 2
// "すべて上書き(&A)"; "キャンセル" and closing from the frame leave Answer as it was.

#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QPushButton;

class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);

    // 0 yes, 1 no, 2 all, 3 cancel.
    std::uint8_t Answer = 3;

    // Label1 with the name of the folder (UTF-8).
    void SetFolderName(const std::string& name);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* Button1; // はい(&Y)
    QPushButton* Button2; // いいえ(&N)
    QPushButton* Button3; // すべて上書き(&A)
    QPushButton* Button4; // キャンセル

    // Opens above the progress dialog when that is showing.
    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;
};
