#pragma once
// The text-mode extensions dialog: edits the list of extensions whose files go in text mode when
// the transfer mode is automatic. The main window fills it, shows it and stores the list on OK.

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TForm5 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm5(QWidget* parent = nullptr);

    // The entries in their order.
    QStringList Entries() const;

    void Button1Click(); // add
    void Button2Click(); // delete
    void Button3Click(); // OK
    void Button4Click(); // Cancel
    void ListBox1Click();

    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
    QListWidget* ListBox1;
    QPushButton* Button3;
    QPushButton* Button4;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
