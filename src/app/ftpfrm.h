#pragma once
// The main window: the profile chooser, the profile editor, and the status window of a transfer.
// Its controls are the one place where the session's parameters live: the settings and profile
// files are loaded into them and saved from them.

#include "app/wendup.h"
#include "crypto/desunit2.h"
#include "ftp/ftp.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class TForm3;
class TForm5;
class TPasswordDlg;
class TProgress;

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    enum TWindowMode { SetupMode, ChooserMode, ConnectingMode, LogView };

    // FormCreate: applies a key option of the command line and gives DES1 the machine key.
    explicit TForm1(TParams params, QWidget* parent = nullptr);
    ~TForm1() override;

    // The start-up decision, taken on the first showing only.
    void FormShow();
    void FormClose();

    TWindowMode Mode() const { return mode; }
    void ExpandEditor();
    void ResetProfileFields();
    // The transfer start: from here on the window is the session's status window.
    void StartUpload();
    // The session has ended: the window closes, unless the log is being read.
    void SessionEnded();

    // The profile file of `name` and three settings keys into the controls.
    void LoadProfile(const std::string& name);
    // The settings and the current profile from the controls. False when the save stopped; the
    // user has been told why.
    bool SaveSettings();
    void DeleteProfile(const std::string& name);

    // The profile list's text in the system code page; nullopt when it has no exact form there.
    std::optional<std::string> ProfileName() const;
    // SpinEdit1 as the time-out: text that is not a whole number counts as 0.
    int TimeOutSeconds() const;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void ComboBox1Change();
    void ComboBox2Change(int index); // the user's picks only
    void CheckBox1Click();
    void CheckBox5Click();

    // Top row.
    QLabel* Label6;
    QComboBox* ComboBox1;
    QCheckBox* CheckBox3;
    QPushButton* Button6;
    QPushButton* Button4;
    // Editor.
    QWidget* Editor; // everything below the top row
    QPushButton* Button3;
    QPushButton* Button5;
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox7;
    QGroupBox* GroupBox2;
    QLabel* Label4;
    QLineEdit* Edit3;
    QCheckBox* CheckBox1;
    QLabel* Label5;
    QLineEdit* Edit4;
    QCheckBox* CheckBox2;
    QLabel* Label3;
    QLineEdit* Edit5;
    QLabel* Label7;
    QLineEdit* Edit6;
    QLabel* Label8;
    QComboBox* ComboBox2;
    QLabel* Label9;
    QComboBox* ComboBox3;
    QPushButton* Button8;
    QFrame* Bevel1;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox6;
    QLabel* Label10;
    QSpinBox* SpinEdit1;
    QPushButton* Button1;
    QPushButton* Button2;
    // Transfer status.
    QWidget* Panel1;
    QLabel* Panel2;
    QPushButton* Button7;
    QPlainTextEdit* Memo1;

    // The FTP client of the session; its events are the upload driver's.
    TStarFtp StarFtp1;
    TDES DES1;
    QFileDialog* OpenDialog1;
    // The dialogs created at program start after this window (TStartupWindows): the progress
    // dialog, the password prompt, the folder overwrite question and the text-mode extensions
    // dialog (Button8).
    TProgress* Progress = nullptr;
    TPasswordDlg* PasswordDlg = nullptr;
    TForm3* Form3 = nullptr;
    TForm5* Form5 = nullptr;

    const TParams Params;
    std::vector<std::string> UploadList;
    int CurrentIndex = 0;
    std::int64_t CurrentFileSize = 0;
    bool NoFolderQuestion = true;
    int Tag = 1; // 1 until the first showing has taken the start-up decision

    static constexpr int FullWidth = 600;
    static constexpr int EditorHeight = 275;
    static constexpr int ChooserHeight = 64;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateControls();
    void ShowChooser();
    void SetMode(TWindowMode newMode);
    void LayoutPanel1();
    // Selects item `index` of the profile list without it counting as the user's change (the
    // program's changes of the list's text are made with its signals blocked).
    void SelectProfile(int index);
    // Walks the profile list from the top to the item named `name`; false when there is none.
    bool SearchProfile(const std::string& name);
    std::string ItemName(int index) const;
    void ErrorBox(const QString& text);

    TWindowMode mode = SetupMode;
};
