#pragma once
// The file overwrite question: a file to upload is already in the remote folder.
//
// How the upload driver uses it: for each file that needs a decision it creates a TForm2, calls
// LastFileLayout() when this is the last file of the list, fills the texts with SetFileName,
// SetRemoteFile and SetLocalFile, and when it asks, sets Answer to 3, exec()s it and reads Answer:
// 0 "はい(&Y)", 1 "いいえ(&N)", 2 "すべて上書き(&A)"; "キャンセル" and closing from the frame
// leave Answer as it was. Then it deletes the dialog.

#include <QDateTime>
#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QLocale;
class QPushButton;

class TForm2 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm2(QWidget* parent = nullptr);

    // 0 yes, 1 no, 2 all, 3 cancel.
    std::uint8_t Answer = 3;

    // Label1 with the name of the file (UTF-8).
    void SetFileName(const std::string& name);
    // Label4 and Label5: the remote size exactly as the listing gave it, and its date; an invalid
    // date (the listing gave none) shows "(不明)".
    void SetRemoteFile(const std::string& sizeText, const QDateTime& modified);
    // Image2, Image3, Label6 and Label7: the local file's type icon (by its name, as the host gives
    // it), size and time.
    void SetLocalFile(const std::string& path, std::int64_t size, const QDateTime& modified);
    // The last file of the list: only "はい(&Y)" and "いいえ(&N)", standing at the right.
    void LastFileLayout();

    // "2001 年 2 月 3 日 土曜日、 04:05:06": the weekday in `locale`'s long form.
    static QString DateText(const QDateTime& time, const QLocale& locale);

    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Image2;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label3;
    QLabel* Image3;
    QLabel* Label6;
    QLabel* Label7;
    QPushButton* Button1; // はい(&Y)
    QPushButton* Button2; // いいえ(&N)
    QPushButton* Button3; // すべて上書き(&A)
    QPushButton* Button4; // キャンセル

    // Opens above the progress dialog when that is showing.
    void setVisible(bool visible) override;

  protected:
    void showEvent(QShowEvent* event) override;
};
