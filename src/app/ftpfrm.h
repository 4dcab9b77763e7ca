#pragma once
// The main window: the profile chooser, the profile editor, and the status window of a transfer.
// Its controls are the one place where the session's parameters live: the settings and profile
// files are loaded into them and saved from them.

#include "app/cmdline.h"
#include "app/runlog.h"
#include "app/session.h"
#include "crypto/desunit2.h"
#include "ftp/ftp.h"

#include <QStringList>
#include <QWidget>

#include <memory>
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
class TForm5;
class TPasswordDlg;
class TProgress;

class TForm1 : public QWidget, private TSessionView {
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
    void SessionEnded() override;

    // The client's completion events, handed to the upload session.
    void StarFtp1LoggedIn() { session.LoggedIn(); }
    void StarFtp1DirectoryChanged() { session.DirectoryChanged(); }
    void StarFtp1DirectoryCreated() { session.DirectoryCreated(); }
    void StarFtp1ListingDone() { session.ListingDone(); }
    void StarFtp1FileStored() { session.FileStored(); }
    void StarFtp1FileTimeRead() { session.FileTimeRead(); }
    void StarFtp1FtpQuit() { session.FtpQuit(); }
    void StarFtp1FtpInfo(FtpInfo info, const std::string& addinfo) { session.Info(info, addinfo); }
    void StarFtp1FtpError(FtpError error) { session.Error(error); }
    void StarFtp1Certificate(const TCertificateInfo& certificate, bool& trust) {
        session.Certificate(certificate, trust);
    }
    // The progress dialog's cancel.
    void AbortTransfer() { session.AbortTransfer(); }
    // The status window's cancel: the session ends, and every file not stored is told as not sent.
    void Button9Click() { session.EndByUser(false); }
    // Log lines wait outside Memo1 while it is hidden: laying out every line of a long session
    // costs more than the protocol itself. Showing the log view puts them in.
    void AppendLog(const QString& line) override;
    void FlushLog();
    // Local files and folders dropped on the window: added to a running session, or the transfer
    // starts with them as the files of the command line.
    void DropFiles(const QStringList& paths);

    const TUploadSession& Session() const { return session; }
    // The file of this run's log; empty before a run or when it cannot be written.
    QString RunLogPath() const { return runLog.Path(); }
    // The process's exit status after the session: 0 only when no file failed.
    int ExitStatus() const { return session.ExitStatus(); }
    const std::vector<TFileOutcome>& Outcomes() const { return session.Outcomes(); }
    // The progress dialog of the running session; null before the first file and after the end.
    TProgress* CurrentProgress() const { return session.Progress(); }

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
    QLabel* Label6;       // caption of the profile list
    QComboBox* ComboBox1; // profile list
    QCheckBox* CheckBox3; // default profile
    QPushButton* Button6; // open the editor
    QPushButton* Button4; // transfer
    // Editor.
    QWidget* Editor;      // everything below the top row
    QPushButton* Button3; // new profile
    QPushButton* Button5; // delete profile
    QGroupBox* GroupBox1; // server
    QLabel* Label1;       // caption of Edit1
    QLineEdit* Edit1;     // server
    QLabel* Label2;       // caption of Edit2
    QLineEdit* Edit2;     // port
    QCheckBox* CheckBox5; // PWD: the server has directory commands
    QCheckBox* CheckBox7; // PASV, never shown, only stored
    QGroupBox* GroupBox2; // user
    QLabel* Label4;       // caption of Edit3
    QLineEdit* Edit3;     // user name
    QCheckBox* CheckBox1; // anonymous login
    QLabel* Label5;       // caption of Edit4
    QLineEdit* Edit4;     // password
    QCheckBox* CheckBox2; // the password is saved
    QLabel* Label3;       // caption of Edit5
    QLineEdit* Edit5;     // e-mail address, the anonymous password
    QLabel* Label7;       // caption of Edit6
    QLineEdit* Edit6;     // remote directory
    QLabel* Label8;       // caption of ComboBox2
    QComboBox* ComboBox2; // same-file policy
    QLabel* Label9;       // caption of ComboBox3
    QComboBox* ComboBox3; // transfer mode
    QPushButton* Button8; // text-mode extensions dialog
    QCheckBox* CheckBox8; // store under a temporary name, then rename ("TempName")
    // The server's copy keeps the local file's modification time ("KeepTime").
    QCheckBox* CheckBox10;
    QLabel* Label11;      // caption of ComboBox4
    QComboBox* ComboBox4; // the code of names on the server ("NameCode")
    QCheckBox* CheckBox9; // explicit TLS ("FTPS" in [Server])
    QFrame* Bevel1;       // separator above the global settings
    QCheckBox* CheckBox4; // file manager entry
    QCheckBox* CheckBox6; // folders with their contents ("MakeDir")
    QLabel* Label10;      // caption of SpinEdit1
    QSpinBox* SpinEdit1;  // connect time-out in seconds
    QPushButton* Button1; // save and close
    QPushButton* Button2; // close without saving
    // Transfer status.
    QWidget* Panel1;       // the session's status window
    QLabel* Panel2;        // status line
    QPushButton* Button7;  // show the log
    QPushButton* Button9;  // cancel the session
    QPlainTextEdit* Memo1; // protocol log

    // The FTP client of the session; its events go to the upload session.
    TStarFtp StarFtp1;
    TDES DES1;
    // File picker of a start without files, made when first needed: a file dialog starts a
    // watcher over the current folder, which a start with files must not pay for.
    QFileDialog* OpenDialog();
    // The password prompt and the text-mode extensions dialog (Button8): null until first needed,
    // then one of this window's own, kept and reused (another one set here is used instead).
    TPasswordDlg* PasswordDlg = nullptr;
    TForm5* Form5 = nullptr;

    // Files dropped on the window join the end, as if they had been given on the command line.
    TParams Params;
    bool NoFolderQuestion = true;
    int Tag = 1; // 1 until the first showing has taken the start-up decision

    static constexpr int FullWidth = 700;
    static constexpr int EditorHeight = 275;
    static constexpr int ChooserHeight = 64;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void ConnectStarFtp1();
    // What the upload session asks of the window (sessionview.cpp).
    TFilePolicy FilePolicy() const override;
    int TransferModeIndex() const override;
    void OverwriteFromNowOn() override;
    void NoMoreFolderQuestions() override;
    std::optional<QStringList> PickFiles() override;
    TOverwriteAnswer AskOverwrite(const std::string& path, const TListingMatch& match,
                                  bool lastFile) override;
    std::optional<std::string> AskRename(const std::string& path) override;
    TOverwriteAnswer AskFolder(const std::string& remoteName) override;
    std::optional<std::string> AskPassword() override;
    bool AskTrustCertificate(const TCertificateInfo& certificate, bool changed) override;
    void KeepTrustedCertificate(const std::string& fingerprint) override;
    void ShowStatus(const QString& text) override;
    void ShowError(const QString& text) override;
    TProgress* NewProgress() override;
    void ShowStopping() override;
    void RunFinished(const std::vector<TFileOutcome>& outcomes) override;

    void ShowChooser();
    void SetMode(TWindowMode newMode);
    void HoldPaint();
    void ReleasePaint();
    int StatusWidth() const;
    void LayoutPanel1();
    // Selects item `index` of the profile list without it counting as the user's change (the
    // program's changes of the list's text are made with its signals blocked).
    void SelectProfile(int index);
    // Walks the profile list from the top to the item named `name`; false when there is none.
    bool SearchProfile(const std::string& name);
    std::string ItemName(int index) const;
    void ErrorBox(const QString& text);

    TPasswordDlg& PasswordPrompt();
    TForm5& TextModeDialog();

    TWindowMode mode = SetupMode;
    QFileDialog* OpenDialog1 = nullptr;
    // Made when first needed: building a dialog lays out its texts, which a run that never
    // shows it must not pay for. Without a parent, as they always were: centred on the screen.
    std::unique_ptr<TPasswordDlg> ownPasswordDlg;
    std::unique_ptr<TForm5> ownForm5;
    QStringList logBacklog; // log lines not yet in Memo1
    TRunLog runLog;
    std::string loadedProfile; // the profile last loaded into the editor
    std::string trustedCert;   // its "TrustedCert"

    // Declared after StarFtp1 and Params, which it uses.
    TUploadSession session{StarFtp1, *this, Params};
};

// A whole decimal integer, with an optional sign, that fits an int.
std::optional<int> ParseInteger(const QString& text);
