#pragma once
// The upload session: its state and its decisions, driven by the completion events of the FTP
// client. Each handler starts at most one operation of the client and returns; that operation's
// completion event goes on. The window is reached only through TSessionView.
//
// Besides driving the session it keeps the outcome of every file, so that a failure is never only
// a line in the log: at the end each failed file is written to standard error, named in one message
// (unless "/NOMSG"), and makes the exit status 1.

#include "app/cmdline.h"
#include "app/filefate.h"
#include "app/outcome.h"
#include "app/remotefolder.h"
#include "ftp/ftp.h"
#include "platform/localfile.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TProgress;

// The listing's last entry of a local file's name, with what the questions show of it.
struct TListingMatch {
    // 0 not on the server (or the local file is gone), 1 there and not older, 2 there and older or
    // of unknown date, 3 a folder of that name.
    int Result = 0;
    std::string RemoteName;
    std::string RemoteSize;
    QDateTime RemoteModified; // invalid when the listing's date is not understood
    // The date is a listing's text (local time to the minute), and the server has not been asked
    // for an exact one.
    bool ListedDateOnly = false;
    std::int64_t LocalSize = 0;
    QDateTime LocalModified;
};

// One entry of a run: a file, or a folder of a tree handed over, which is made on the server (or
// found there) before what lies inside it.
struct TUploadItem {
    std::string Path;        // full path: the current folder moves from file to file
    std::string Folder;      // the local folder within the trees it lies in; empty: the profile's
    bool MakeFolder = false; // a folder of a tree
    bool Unreadable = false; // a folder whose contents could not be read
    int Inside = 0;          // for a folder: the items after it that lie inside it

    // A file of the run, in the profile's folder.
    static TUploadItem File(std::string path) {
        TUploadItem item;
        item.Path = std::move(path);
        return item;
    }
};

// The answers of the overwrite questions, for a file and for a folder alike.
enum class TOverwriteAnswer { Yes, No, All, Cancel };

// What the session needs of its window. The questions are modal: each runs the event queue while
// it is open, so the session may have ended or lost its connection by the time it returns.
class TSessionView {
  public:
    virtual ~TSessionView() = default;

    // The window's choices, read when a file's turn comes: an answer may change them mid-session.
    virtual TFilePolicy FilePolicy() const = 0;
    virtual int TransferModeIndex() const = 0;
    // The overwrite question's "all": later files of the session are overwritten without one.
    virtual void OverwriteFromNowOn() = 0;
    virtual void NoMoreFolderQuestions() = 0;

    // The files picked; nullopt when the picker was cancelled.
    virtual std::optional<QStringList> PickFiles() = 0;
    // Cancel also for Esc and the frame's close.
    virtual TOverwriteAnswer AskOverwrite(const std::string& path, const TListingMatch& match,
                                          bool lastFile) = 0;
    // The name to store under; nullopt when the rename was cancelled.
    virtual std::optional<std::string> AskRename(const std::string& path) = 0;
    // A folder handed over meets a remote one of its name: Yes and All upload into it (All: no
    // more such questions), No skips the folder, Cancel it and every later file.
    virtual TOverwriteAnswer AskFolder(const std::string& remoteName) = 0;
    // nullopt when the prompt was cancelled.
    virtual std::optional<std::string> AskPassword() = 0;
    // The server's certificate failed the check; `changed` when the profile trusted another one
    // before. True to trust it.
    virtual bool AskTrustCertificate(const TCertificateInfo& certificate, bool changed) = 0;
    // Kept in the profile: a certificate with this fingerprint is trusted from now on.
    virtual void KeepTrustedCertificate(const std::string& fingerprint) = 0;

    virtual void ShowStatus(const QString& text) = 0;
    virtual void AppendLog(const QString& line) = 0;
    virtual void ShowError(const QString& text) = 0;
    // A progress dialog over the window, for one session.
    virtual TProgress* NewProgress() = 0;
    // The user's cancel has been taken: the status window stops offering it.
    virtual void ShowStopping() = 0;
    virtual void SessionEnded() = 0;
    // Once, when the run's outcomes are final, before the end message.
    virtual void RunFinished(const std::vector<TFileOutcome>& outcomes) { (void)outcomes; }
};

class TUploadSession {
  public:
    TUploadSession(TStarFtp& ftp, TSessionView& view, const TParams& params);

    // The client has been set up from the profile; `passwordTyped` when the password came from
    // the prompt. False when the session ended before it began.
    bool Start(bool passwordTyped);
    bool Running() const { return sessionStarted && !sessionFinished; }
    bool WindowClosed() const { return windowClosed; }
    // The window is closing without a session to wait for.
    void Close();

    // One handler per completion event of the client.
    void LoggedIn();
    void DirectoryChanged();
    void ListSessionFolder();
    void DirectoryCreated();
    void ListingDone();
    void FileStored();
    void FileTimeRead();
    void FtpQuit();
    void Info(FtpInfo info, const std::string& addinfo);
    void Error(FtpError error);
    // The server's certificate failed the check: the user decides, unless under "/NOMSG".
    void Certificate(const TCertificateInfo& certificate, bool& trust);

    // The progress dialog's cancel: the file being stored, or the one whose listing is being read,
    // fails; the next one follows.
    void AbortTransfer();
    // The status window's cancel, or the window's close: the session ends, and every file not
    // stored is told as not sent.
    void EndByUser(bool closingWindow);

    // Files handed over while the session runs join the end of its list. False when there is no
    // list yet or the session's work is over.
    bool AddFiles(const std::vector<std::string>& paths);
    bool ListBuilt() const { return listBuilt; }

    int ExitStatus() const { return sessionFailed ? 1 : 0; }
    const std::vector<TFileOutcome>& Outcomes() const { return outcomes; }
    const std::vector<TUploadItem>& Files() const { return files; }
    int CurrentIndex() const { return current; }
    // Null before the first file and after the end.
    TProgress* Progress() const;

    // The listing's entry of the file at `path`, which is there (`local`, as it stands now).
    TListingMatch CompareWithListing(const std::string& path, const TLocalFile& local,
                                     const TRemoteFolder& folder) const;

  private:
    // How far a file's decision got: to the next file, to its store, to an operation it needs
    // first (a listing of its folder or the rename dialog's, the making of a folder; the decision
    // goes on when it is done), or nowhere because the session ended or lost its connection while
    // a question was open.
    enum class TFileFate { Next, Store, Waiting, Abandon };
    // The remote side of the folder of a tree, and whether the session knows what it holds.
    struct TKnownFolder {
        TRemoteFolder Listing;
        bool Known = false;
    };

    bool BuildUploadList();
    void BeginTransfers();
    // The progress dialog of the session, made and painted off the screen while the server works
    // on the first listing (a big folder keeps it busy for tens of milliseconds); shown when the
    // transfers begin.
    void PrepareProgress();
    // Paths handed over join the run; with folder handling, a folder with everything inside it.
    void AppendItems(const std::vector<std::string>& paths);
    // A folder's one listing of the connection, by its path relative to the profile's folder (empty
    // for that one): MLSD where the server has it, else LIST.
    void ListFolder(const std::string& remote);
    // The remote folder, relative to the profile's, of a local folder within the trees: in the
    // server's code, spaces as underscores. nullopt when a name has no form in that code.
    std::optional<std::string> RemoteFolderOf(const std::string& localFolder) const;
    // A path relative to the profile's folder, as the server's commands take it.
    std::string RemotePath(const std::string& remote) const;
    // The folder item in hand, whose parent is known: made, entered, asked about or failed.
    TFileFate SettleFolder(const std::string& parent);
    static constexpr const char* CancelledReason = "キャンセルされました";
    static constexpr const char* NoFolderFormReason =
        "フォルダ名に Shift_JIS で表せない文字があります (サーバーの文字コード)";
    // The item in hand, and everything inside it when it is a folder, ends with `result`.
    void EndItem(TFileResult result, const QString& reason = {});
    // The item in hand's place in the run, counting files only, and the run's count of files.
    int FileNumber() const;
    int FileCount() const;
    void ProcessNextFile();
    // Decides the file in hand and applies the decision; a store's new name goes to `newName`.
    TFileFate SettleFile(std::string& newName);
    TFileFate AskForName(const std::string& path, std::string& newName);
    // The listing gives only a text date and the policy weighs it: the server is asked for the
    // exact time (MDTM) when it has it. Next when it is not asked.
    TFileFate AskFileTime(const std::string& folder, const TListingMatch& match,
                          const TFilePolicy& policy);
    // Cancelled while the operation before the file in hand ran: that file fails, the next
    // follows. True when that is so.
    bool CancelledBeforeStore();
    TFileFate AskAboutOverwrite(const std::string& path, const TListingMatch& match);
    bool StoreCurrentFile(const std::string& newName);
    void StoreEnded();
    // The connection went before the server heard of the store in hand: nothing of the file was
    // sent, and it is stored once there is a connection again. True when that is so.
    bool KeepUnsentStore();
    void NextListingOrQuit();
    void Record(const std::string& path, TFileResult result, const QString& reason = {});
    // The file in hand fails with `first`, every later one with `rest`.
    void FailRemaining(const QString& first, const QString& rest);
    void CancelRemaining();
    // Runs a question of the view; false when the session ended while it was open.
    template <typename F> bool Ask(F question);
    // After a question has been answered: false when the connection went while it was open, and
    // what follows from that (a reconnect or the end) has been started. An answer that decided
    // to store the file in hand (under `newName` when not empty) holds for the new connection.
    bool StillConnected(bool decided = false, const std::string& newName = {});
    // No end, no lost connection and no cancel: the next operation may start.
    bool SessionGoesOn() const;
    void LogIn();
    void QuitSession();
    void ConnectionLost(const QString& reason);
    void ServerClosed(const std::string& addinfo);
    // The control connection has ended: a lost one is tried again while files remain, three times
    // in a session at most; otherwise the session ends here.
    void SessionClosed();
    void LoginAgain();
    void FinishSession(bool tell);
    void FreeProgress();
    // A local name in the server's code, nullopt when it has no form there.
    std::optional<std::string> RemoteName(std::string_view localName) const;
    // A text of the client (a reply, a listing line) for the window.
    QString ServerText(std::string_view text) const;
    // Where the text that could not be converted is, for the file's reason.
    QString UnconvertibleText() const;

    TStarFtp& ftp;
    TSessionView& view;
    const TParams& params;
    // Context of the session's timers and queued calls: they die with the session.
    QObject context;

    std::vector<TUploadItem> files;
    int current = 0;
    std::int64_t currentFileSize = 0;
    std::int64_t runSize = 0; // bytes of all files of the run
    QPointer<TProgress> progress;
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
    // The extensions that go as text, read from the settings at the first store.
    std::optional<std::vector<std::string>> textExtensions;
    QString sessionError;      // the error that ended the session, told at its end
    std::string sessionFolder; // the profile's remote folder, entered again after a reconnect
    // The profile's folder ("") and the folders of the trees, as listed or made, with the files
    // stored since; by their paths relative to the profile's folder.
    std::map<std::string, TKnownFolder> folders;
    std::string listingFolder;   // the folder whose listing runs
    std::string makingFolder;    // the folder whose MKD runs; empty when none
    std::string storeFolder;     // the running store's folder
    bool renameListing = false;  // the running listing is the rename dialog's
    int renameListedFor = -1;    // the file whose rename dialog has its fresh listing
    std::string timeAskedIn;     // the folder of that entry
    std::string timeAskedFor;    // the entry whose exact time the server is asked for
    std::string storeName;       // the running store's name in the folder
    bool transfersBegun = false; // the progress dialog of the session has been shown
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
    bool userEnded = false;     // the status window's cancel or the window's close
    bool windowClosed = false;
    bool passwordTyped = false; // at the password prompt: a refusal asks once more
    bool passwordAskedAgain = false;
    bool retryLogin = false;
    bool loginRefused = false;
    struct TKeptAnswer {
        int Index = 0;
        std::string NewName;
    };
    std::optional<TKeptAnswer> keptAnswer; // a decision to store that a lost connection interrupted
};

template <typename F> bool TUploadSession::Ask(F question) {
    ++asking;
    question();
    --asking;
    return !sessionFinished;
}
