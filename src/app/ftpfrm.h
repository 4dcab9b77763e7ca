#pragma once
// The main window: the profile chooser, the profile editor, and the status window of a transfer.
// Its controls are the one place where the session's parameters live: the settings and profile
// files are loaded into them and saved from them.

#include "app/cmdline.h"
#include "app/session.h"
#include "crypto/desunit2.h"
#include "ftp/ftp.h"

#include <QDateTime>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
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

    // The upload session (session.cpp): one handler per completion event of StarFtp1, each
    // starting at most one operation of it.
    void StarFtp1LoggedIn();
    void StarFtp1DirectoryChanged();
    void StarFtp1DirectoryCreated() {} // the session never creates a folder
    void StarFtp1ListingDone();
    void StarFtp1FileStored();
    void StarFtp1FtpQuit();
    void BeginTransfers();
    void ProcessNextFile();
    // The listing's last entry of a local file's name, with what the questions show of it.
    struct TListingMatch {
        // 0 not on the server (or the local file is gone), 1 there and not older, 2 there and
        // older or of unknown date, 3 a folder of that name.
        int Result = 0;
        std::string RemoteName;
        std::string RemoteSize;
        QDateTime RemoteModified; // invalid when the listing's date is not understood
        std::int64_t LocalSize = 0;
        QDateTime LocalModified;
    };
    TListingMatch CompareWithListing(const std::string& path);
    // The progress dialog's cancel: the file being stored, or the one whose listing is being read,
    // fails; the next one follows.
    void AbortTransfer();
    // The status window's cancel: the session ends, and every file not stored is told as not sent.
    void Button9Click();
    // Status line, log and error messages (status.cpp).
    void StarFtp1FtpInfo(FtpInfo info, const std::string& addinfo);
    void StarFtp1FtpError(FtpError error);
    // Log lines wait outside Memo1 while it is hidden: laying out every line of a long session
    // costs more than the protocol itself. Showing the log view puts them in.
    void AppendLog(const QString& line);
    void FlushLog();

    // The process's exit status after the session: 0 only when no file failed.
    int ExitStatus() const { return sessionFailed ? 1 : 0; }
    const std::vector<TFileOutcome>& Outcomes() const { return outcomes; }
    // The progress dialog of the running session; null before the first file and after the end.
    TProgress* CurrentProgress() const;

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
    QFrame* Bevel1;       // separator above the global settings
    QCheckBox* CheckBox4; // file manager entry
    QCheckBox* CheckBox6; // folder handling ("MakeDir"), never shown
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

    // The FTP client of the session; its events are the upload driver's.
    TStarFtp StarFtp1;
    TDES DES1;
    // File picker of a start without files, made when first needed: a file dialog starts a
    // watcher over the current folder, which a start with files must not pay for.
    QFileDialog* OpenDialog();
    // The dialogs created at program start after this window (TStartupWindows): the progress
    // dialog, the password prompt, the folder overwrite question and the text-mode extensions
    // dialog (Button8).
    TProgress* Progress = nullptr; // stays hidden: each session shows a progress dialog of its own
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
    void ConnectStarFtp1();
    // Session bookkeeping (session.cpp).
    void Record(const std::string& path, TFileResult result, const QString& reason = {});
    // The file in hand fails with `first`, every later one with `rest`.
    void FailRemaining(const QString& first, const QString& rest);
    void CancelRemaining();
    // False when the session ended or lost its connection while the file picker was open.
    bool BuildUploadList();
    // How far a file's decision got: to the next file, to its store, or nowhere because the
    // session ended or lost its connection while a question was open.
    enum class TFileFate { Next, Store, Abandon };
    // Decides the file in hand and applies the decision; a store's new name goes to `newName`.
    TFileFate SettleFile(std::string& newName);
    TFileFate AskAboutFolder(const std::string& path, const TListingMatch& match);
    TFileFate AskForName(const std::string& path, std::string& newName);
    TFileFate AskAboutOverwrite(const std::string& path, const TListingMatch& match);
    bool StoreCurrentFile(const std::string& newName);
    void StoreEnded();
    void NextListingOrQuit();
    // A modal question of the session; false when the session ended while it was open.
    bool Ask(QDialog& dialog, int* result = nullptr);
    // After a question has been answered: false when the connection went while it was open, and
    // what follows from that (a reconnect or the end) has been started. An answer that decided
    // to store the file in hand (under `newName` when not empty) holds for the new connection.
    bool StillConnected(bool decided = false, const std::string& newName = {});
    // No end, no lost connection and no cancel: the next operation may start.
    bool SessionGoesOn() const;
    void QuitSession();
    void ConnectionLost(const QString& reason);
    // The control connection has ended: a lost one is tried again while files remain, three times
    // in a session at most; otherwise the session ends here.
    void SessionClosed();
    void LoginAgain();
    // The cancel button of the status window, or the window's close.
    void EndByUser(bool closingWindow);
    void FinishSession(bool tell);
    void FreeProgress();
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
    QFileDialog* OpenDialog1 = nullptr;
    QStringList logBacklog; // log lines not yet in Memo1

    QPointer<TProgress> sessionProgress;
    std::vector<TFileOutcome> outcomes;
    bool sessionStarted = false;
    bool listBuilt = false;
    bool sessionFinished = false;
    bool sessionFailed = false;
    bool storing = false;        // a store runs; its outcome is not recorded yet
    bool storeRenamed = false;   // under a name the user gave
    bool abortRequested = false; // the progress dialog's cancel, for the running store
    QString storeFailure;        // why the running store failed, as soon as that is known
    QString storeRefusal;        // the server's last refusal during the running store
    QString sessionError;        // the error that ended the session, told at its end
    std::string sessionFolder;   // the profile's remote folder, entered again after a reconnect
    bool transfersBegun = false; // the progress dialog of the session has been made
    bool loggedIn = false;       // logged in once: a lost connection is tried again from then on
    bool reconnecting = false;   // a login after a lost connection runs
    bool reconnectScheduled = false;
    int reconnects = 0;
    bool connectionLost = false; // the server closed or an error cut the control connection
    QString lostReason;
    bool quitRequested = false; // the session's work is over: the close that follows is its end
    bool quitPending = false;   // the quit notification came while a question was open
    int asking = 0;             // modal questions open
    bool cancelNext = false;    // cancelled during the listing before the file in hand
    bool userEnded = false;     // Button9 or the window's close
    bool windowClosed = false;
    bool passwordTyped = false; // at the password prompt: a refusal asks once more
    bool passwordAskedAgain = false;
    bool retryLogin = false;
    bool loginRefused = false;
    bool pickedWithoutName = false; // a file picked whose name has no Shift_JIS form
    struct TKeptAnswer {
        int Index = 0;
        std::string NewName;
    };
    std::optional<TKeptAnswer> keptAnswer; // a decision to store that a lost connection interrupted
};

// A whole decimal integer, with an optional sign, that fits an int.
std::optional<int> ParseInteger(const QString& text);
