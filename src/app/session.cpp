// The upload session of the main window. Its handlers are TForm1's own methods, defined here apart
// from the profile editor: the session's parameters live in the window's controls, its state in the
// window's fields, and StarFtp1, which the window owns, calls back into them. Each handler starts
// at most one operation of StarFtp1 and returns; that operation's completion event goes on.
//
// Besides driving the session it keeps the outcome of every file, so that a failure is never only
// a line in the log: at the end each failed file is written to standard error, named in one message
// (unless "/NOMSG"), and makes the exit status 1.

#include "app/session.h"

#include "app/filefate.h"
#include "app/ftpfrm.h"
#include "app/settings.h"
#include "app/status.h"
#include "dialogs/fovrwfrm.h"
#include "dialogs/ovrwtfrm.h"
#include "dialogs/pass.h"
#include "dialogs/prgrsfrm.h"
#include "dialogs/savasfrm.h"
#include "ftp/listmatch.h"
#include "platform/codepage.h"
#include "platform/dirsearch.h"
#include "platform/localfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// A lost connection is tried again this often in one session.
constexpr int MaxReconnects = 3;
const char* const CancelledReason = "キャンセルされました";
const char* const NotSentReason = "転送されませんでした";

// A settings file that cannot be read lists no text extensions.
bool TextModeFile(const std::string& path) {
    try {
        return IsTextModeFile(path);
    } catch (const std::exception&) {
        return false;
    }
}

std::string Cut(const QString& text, std::size_t bytes) {
    return QStringToSystem(text).value_or(std::string()).substr(0, bytes);
}

QDateTime ToQDateTime(const TDateTime& t) {
    return QDateTime(QDate(t.Year, t.Month, t.Day), QTime(t.Hour, t.Minute, t.Second));
}

std::string NamePart(const std::string& path) {
    return path.substr(FolderPart(path).size());
}

// The process's current folder moves from file to file, so the list holds full paths.
void MakeAbsolute(std::vector<std::string>& paths) {
    const std::string here = CurrentFolder();
    for (std::string& path : paths)
        if (!path.starts_with('/')) path = here + (here.ends_with('/') ? "" : "/") + path;
}

} // namespace

QString OneLine(QString text) {
    return text.replace("\r\n", ": ");
}

std::string FailureLines(const std::vector<TFileOutcome>& outcomes) {
    std::string lines;
    for (const TFileOutcome& o : outcomes) {
        if (o.Result != TFileResult::Failed) continue;
        const std::string path = SystemToQString(o.Path).toStdString();
        lines += "wendup: " + path + ": " + OneLine(o.Reason).toStdString() + "\n";
    }
    return lines;
}

QString FailureMessage(const std::vector<TFileOutcome>& outcomes) {
    QString message = "次のファイルは転送されませんでした。";
    for (const TFileOutcome& o : outcomes)
        if (o.Result == TFileResult::Failed)
            message += "\r\n" + SystemToQString(NamePart(o.Path)) + ": " + OneLine(o.Reason);
    return message;
}

QString EndMessage(const QString& error, const std::vector<TFileOutcome>& outcomes) {
    QString message = error;
    for (const TFileOutcome& o : outcomes) {
        if (o.Result != TFileResult::Failed) continue;
        if (!message.isEmpty()) message += "\r\n\r\n";
        return message + FailureMessage(outcomes);
    }
    return message;
}

void TForm1::ConnectStarFtp1() {
    StarFtp1.OnLoggedIn = [this](TStarFtp&) { StarFtp1LoggedIn(); };
    StarFtp1.OnDirectoryChanged = [this](TStarFtp&) { StarFtp1DirectoryChanged(); };
    StarFtp1.OnDirectoryCreated = [this](TStarFtp&) { StarFtp1DirectoryCreated(); };
    StarFtp1.OnListingDone = [this](TStarFtp&) { StarFtp1ListingDone(); };
    StarFtp1.OnFileStored = [this](TStarFtp&) { StarFtp1FileStored(); };
    StarFtp1.OnFtpQuit = [this](TStarFtp&) { StarFtp1FtpQuit(); };
    StarFtp1.OnFtpInfo = [this](TStarFtp&, FtpInfo info, const std::string& addinfo) {
        StarFtp1FtpInfo(info, addinfo);
    };
    StarFtp1.OnFtpError = [this](TStarFtp&, FtpError error, const std::string&) {
        StarFtp1FtpError(error);
    };
}

void TForm1::StartUpload() {
    const auto port = ParseInteger(Edit2->text());
    if (!port) {
        ErrorBox(QString("'%1' は整数ではありません").arg(Edit2->text()));
        return;
    }
    StarFtp1.SetFtpServer(Cut(Edit1->text(), 40));
    StarFtp1.FtpPort = static_cast<std::uint16_t>(*port);
    StarFtp1.PWDImplemented = CheckBox5->isChecked();
    StarFtp1.PassiveMode = CheckBox7->isChecked();
    StarFtp1.TimeOutConnect = TimeOutSeconds();
    StarFtp1.UserAccount.clear();
    if (CheckBox1->isChecked()) {
        StarFtp1.UserName = "anonymous";
        StarFtp1.UserPassword = Cut(Edit5->text(), 60);
    } else {
        StarFtp1.UserName = Cut(Edit3->text(), 40);
        if (CheckBox2->isChecked()) {
            StarFtp1.UserPassword = Cut(Edit4->text(), 40);
        } else {
            PasswordDlg->Password->clear();
            if (PasswordDlg->exec() != QDialog::Accepted) {
                close();
                return;
            }
            StarFtp1.UserPassword =
                QStringToSystem(PasswordDlg->Password->text()).value_or(std::string());
            passwordTyped = true;
        }
    }
    StarFtp1.InitialDirectory = Cut(Edit6->text(), 255);
    sessionFolder = StarFtp1.InitialDirectory;
    StarFtp1.UseTempName = CheckBox8->isChecked();
    sessionStarted = true;
    QCoreApplication::processEvents();
    // Closed while the pending messages ran: the session ends before it has begun.
    if (userEnded) return;
    StarFtp1.Login();
    SetMode(ConnectingMode);
}

void TForm1::StarFtp1LoggedIn() {
    if (!SessionGoesOn()) return;
    loggedIn = true;
    if (reconnecting)
        reconnecting = false;
    else if (!BuildUploadList())
        return;
    if (StarFtp1.PWDImplemented) {
        Panel2->setText("ディレクトリ変更中...");
        // The profile's folder, also after a reconnect: the listing's PWD may have respelled it.
        StarFtp1.ChangeDirectory(sessionFolder);
    } else if (!transfersBegun) {
        BeginTransfers();
    } else {
        ProcessNextFile();
    }
}

bool TForm1::BuildUploadList() {
    UploadList.clear();
    CurrentIndex = 0;
    if (FilesFromPicker(Params)) {
        QFileDialog* picker = OpenDialog();
        int result = 0;
        if (!Ask(*picker, &result)) return false;
        if (result != QDialog::Accepted) {
            listBuilt = true;
            QuitSession();
            return false;
        }
        for (const QString& chosen : picker->selectedFiles()) {
            if (const auto path = QStringToSystem(chosen)) {
                UploadList.push_back(*path);
                continue;
            }
            // No Shift_JIS form to name it by: told here, and it makes the run a failure.
            std::fprintf(stderr, "wendup: %s: Shift_JIS で表せない文字を含むため転送できません\n",
                         chosen.toStdString().c_str());
            pickedWithoutName = true;
        }
    } else {
        AddCommandLineFiles(Params, UploadList);
    }
    MakeAbsolute(UploadList);
    listBuilt = true;
    return StillConnected();
}

void TForm1::StarFtp1DirectoryChanged() {
    if (!SessionGoesOn()) return;
    // A file is never stored into a folder it was not meant for. A profile without a folder means
    // the login folder, whatever the server says to an empty CWD.
    if (!StarFtp1.Success() && !sessionFolder.empty()) {
        QString reason = "フォルダ " + SystemToQString(sessionFolder) + " に移動できません";
        if (!StarFtp1.LastReply().empty()) reason += ": " + SystemToQString(StarFtp1.LastReply());
        FailRemaining(reason, reason);
        FreeProgress();
        QuitSession();
        return;
    }
    StarFtp1.GetListing();
}

void TForm1::StarFtp1ListingDone() {
    if (!SessionGoesOn()) return;
    if (cancelNext) {
        // Cancelled while the listing before it was read: that file is not sent, the next follows.
        cancelNext = false;
        if (CurrentIndex < static_cast<int>(UploadList.size()))
            Record(UploadList[CurrentIndex++], TFileResult::Failed, CancelledReason);
        NextListingOrQuit();
        return;
    }
    if (StarFtp1.PWDImplemented && !StarFtp1.Success()) {
        // The same-file policy cannot be kept without the listing: nothing more is sent.
        const QString reason = sessionError.isEmpty()
                                   ? QString("サーバーのファイル一覧を取得できません")
                                   : sessionError;
        FailRemaining(reason, reason);
        FreeProgress();
        QuitSession();
        return;
    }
    Panel2->setText("ファイルを転送中...");
    if (!transfersBegun)
        BeginTransfers();
    else
        ProcessNextFile();
}

void TForm1::BeginTransfers() {
    transfersBegun = true;
    sessionProgress = new TProgress(this);
    sessionProgress->OnCancel = [this](TProgress&) { AbortTransfer(); };
    sessionProgress->show();
    ProcessNextFile();
}

void TForm1::Record(const std::string& path, TFileResult result, const QString& reason) {
    outcomes.push_back({path, result, reason});
}

void TForm1::FailRemaining(const QString& first, const QString& rest) {
    const int count = static_cast<int>(UploadList.size());
    for (int i = CurrentIndex; i < count; ++i)
        Record(UploadList[i], TFileResult::Failed, i == CurrentIndex ? first : rest);
    CurrentIndex = std::max(CurrentIndex, count);
}

bool TForm1::Ask(QDialog& dialog, int* result) {
    ++asking;
    const int answer = dialog.exec();
    --asking;
    if (result) *result = answer;
    return !sessionFinished;
}

bool TForm1::StillConnected(bool decided, const std::string& newName) {
    if (!quitPending && !connectionLost) return true;
    // Kept for the file in hand, which is stored once the session has a connection again.
    if (decided) keptAnswer = TKeptAnswer{CurrentIndex, newName};
    if (quitPending) {
        quitPending = false;
        SessionClosed();
        return false;
    }
    return !connectionLost;
}

bool TForm1::SessionGoesOn() const {
    return sessionStarted && !sessionFinished && !connectionLost && !quitRequested && !userEnded;
}

void TForm1::ProcessNextFile() {
    for (;;) {
        std::string newName;
        TFileFate fate = TFileFate::Next;
        while (fate == TFileFate::Next && CurrentIndex < static_cast<int>(UploadList.size()))
            fate = SettleFile(newName);
        if (fate == TFileFate::Abandon) return;
        if (CurrentIndex >= static_cast<int>(UploadList.size())) {
            // The progress dialog stays until the session ends.
            QuitSession();
            return;
        }
        if (StoreCurrentFile(newName)) return;
        ++CurrentIndex;
    }
}

TForm1::TFileFate TForm1::SettleFile(std::string& newName) {
    // A copy: a question runs the event queue, and the session may end or lose its connection
    // before it is answered.
    const std::string path = UploadList[CurrentIndex];
    if (keptAnswer && keptAnswer->Index == CurrentIndex) {
        // Answered before the connection was lost: the user is not asked twice.
        newName = keptAnswer->NewName;
        keptAnswer.reset();
        return TFileFate::Store;
    }
    keptAnswer.reset();
    const auto local = StatLocalFile(path);
    const bool pwd = StarFtp1.PWDImplemented;
    const TListingMatch match = local && pwd ? CompareWithListing(path) : TListingMatch();
    const TFilePolicy policy{ComboBox2->currentIndex(), CheckBox6->isChecked(), NoFolderQuestion};
    const TFileDecision decision =
        DecideFile({local.has_value(), local && local->Directory, pwd}, match.Result, policy);
    switch (decision.Step) {
    case TFileStep::Store:
        return TFileFate::Store;
    case TFileStep::Skip:
        Record(path, TFileResult::SkippedByPolicy);
        ++CurrentIndex;
        return TFileFate::Next;
    case TFileStep::Fail:
        Record(path, TFileResult::Failed, decision.Reason);
        ++CurrentIndex;
        return TFileFate::Next;
    case TFileStep::AskFolder:
        return AskAboutFolder(path, match);
    case TFileStep::AskRename:
        return AskForName(path, newName);
    case TFileStep::AskOverwrite:
        return AskAboutOverwrite(path, match);
    }
    return TFileFate::Abandon;
}

TForm1::TFileFate TForm1::AskAboutFolder(const std::string& path, const TListingMatch& match) {
    TForm3 form3(this);
    form3.SetFolderName(match.RemoteName);
    form3.Answer = 3;
    if (!Ask(form3)) return TFileFate::Abandon;
    if (form3.Answer == 3) {
        CancelRemaining();
        return StillConnected() ? TFileFate::Next : TFileFate::Abandon;
    }
    if (form3.Answer == 2) NoFolderQuestion = true;
    Record(path, TFileResult::Failed, "フォルダは転送できません");
    ++CurrentIndex;
    return StillConnected() ? TFileFate::Next : TFileFate::Abandon;
}

TForm1::TFileFate TForm1::AskForName(const std::string& path, std::string& newName) {
    TForm4 rename(StarFtp1, this);
    rename.Edit2->setText(SystemToQString(NamePart(path)));
    int result = 0;
    if (!Ask(rename, &result)) return TFileFate::Abandon;
    const bool decided = result == QDialog::Accepted;
    if (decided) {
        newName = rename.Name().value_or(std::string());
    } else {
        Record(path, TFileResult::SkippedByUser);
        ++CurrentIndex;
    }
    if (!StillConnected(decided, newName)) return TFileFate::Abandon;
    return decided ? TFileFate::Store : TFileFate::Next;
}

TForm1::TFileFate TForm1::AskAboutOverwrite(const std::string& path, const TListingMatch& match) {
    const bool lastFile = static_cast<int>(UploadList.size()) - CurrentIndex == 1;
    TForm2 form2(this);
    form2.SetFileName(match.RemoteName);
    form2.SetRemoteFile(match.RemoteSize, match.RemoteModified);
    form2.SetLocalFile(path, match.LocalSize, match.LocalModified);
    if (lastFile) form2.LastFileLayout();
    form2.Answer = 3;
    if (!Ask(form2)) return TFileFate::Abandon;
    const bool decided = form2.Answer == 0 || form2.Answer == 2;
    if (form2.Answer == 2) {
        // Later files of this session are overwritten without a question.
        ComboBox2->setCurrentIndex(3);
    } else if (form2.Answer == 1) {
        Record(path, TFileResult::SkippedByUser);
        ++CurrentIndex;
    } else if (!decided) {
        // "キャンセル", Esc or the frame's close.
        CancelRemaining();
    }
    if (!StillConnected(decided)) return TFileFate::Abandon;
    return decided ? TFileFate::Store : TFileFate::Next;
}

void TForm1::CancelRemaining() {
    FailRemaining(CancelledReason, NotSentReason);
}

// False when the file cannot be stored at all; its outcome is recorded then.
bool TForm1::StoreCurrentFile(const std::string& newName) {
    const std::string path = UploadList[CurrentIndex];
    StarFtp1.TransferMode =
        TransferTypeFor(ComboBox3->currentIndex(), TextModeFile(path), StarFtp1.TransferMode);
    // The component opens LocalFile relative to the current folder; a folder that cannot be
    // entered would send a file of the same name from the folder before.
    if (!SetCurrentFolder(FolderPart(path))) {
        Record(path, TFileResult::Failed, "ファイルが開けません");
        return false;
    }
    StarFtp1.LocalFile = NamePart(path);
    const std::string& dir = StarFtp1.InitialDirectory;
    const std::string base = dir == "/" ? "/" : dir + "/";
    // Only the file's own name: the server's directory is used as the server spells it.
    StarFtp1.RemoteFile = base + SpacesToUnderscores(newName.empty() ? NamePart(path) : newName);
    storing = true;
    storeRenamed = !newName.empty();
    abortRequested = false;
    storeFailure.clear();
    storeRefusal.clear();
    StarFtp1.StoreFile();
    return true;
}

TForm1::TListingMatch TForm1::CompareWithListing(const std::string& path) {
    TListingMatch match;
    const std::vector<TSearchEntry> found = FindEntries(path);
    if (found.empty()) return match;
    const std::string name = SpacesToUnderscores(found.front().Name);
    const auto local = StatLocalFile(std::string(FolderPart(path)) + found.front().Name);
    if (!local) return match;
    TDateTime localMinute = local->Modified;
    localMinute.Second = 0;
    const TDateTime now = LocalNow();

    // A UNIX listing line names its entry with a piece of itself, and is read without state: a
    // line that does not hold the name cannot match, and a big folder is passed over quickly.
    const TFTPServerType type = StarFtp1.ServerType;
    const bool unixLines = type == ftpstDefault || type == ftpstUNIX || type == ftpstULTRIX ||
                           type == ftpstU5000 || type == ftpstSINTFTPD;
    TListState state;
    for (const std::string& line : StarFtp1.ListingLines) {
        if (unixLines && line.find(name) == std::string::npos) continue;
        std::string remoteName, size, date;
        bool isDirectory = false;
        if (!ParseListLine(type, line, remoteName, size, date, isDirectory, state)) continue;
        if (!SameRemoteName(type, remoteName, name)) continue;
        match.RemoteName = remoteName;
        if (isDirectory) {
            match.Result = 3;
            continue;
        }
        const auto remote = ParseListingDate(date, now);
        match.RemoteSize = size;
        match.RemoteModified = remote ? ToQDateTime(*remote) : QDateTime();
        match.LocalSize = local->Size;
        match.LocalModified = ToQDateTime(local->Modified);
        match.Result = remote && *remote >= localMinute ? 1 : 2;
    }
    return match;
}

void TForm1::StoreEnded() {
    if (!storing) return;
    storing = false;
    if (CurrentIndex >= static_cast<int>(UploadList.size())) return;
    const std::string path = UploadList[CurrentIndex];
    if (storeFailure.isEmpty() && !StarFtp1.Success())
        storeFailure = abortRequested           ? QString(CancelledReason)
                       : storeRefusal.isEmpty() ? QString("転送に失敗しました")
                                                : storeRefusal;
    if (!storeFailure.isEmpty())
        Record(path, TFileResult::Failed, storeFailure);
    else
        Record(path, storeRenamed ? TFileResult::Renamed : TFileResult::Stored);
}

void TForm1::StarFtp1FileStored() {
    // Only a store's own completion: after a lost connection its outcome is already recorded.
    if (sessionFinished || !storing) return;
    StoreEnded();
    ++CurrentIndex;
    if (SessionGoesOn()) NextListingOrQuit();
}

void TForm1::NextListingOrQuit() {
    if (CurrentIndex < static_cast<int>(UploadList.size())) {
        if (sessionProgress) sessionProgress->FinishFile();
        StarFtp1.GetListing();
    } else {
        FreeProgress();
        QuitSession();
    }
}

void TForm1::AbortTransfer() {
    if (!SessionGoesOn()) return;
    if (storing)
        abortRequested = true;
    else
        // The listing before a file: the file in hand is the one cancelled.
        cancelNext = true;
    StarFtp1.Abort();
}

TProgress* TForm1::CurrentProgress() const {
    return sessionProgress;
}

void TForm1::FreeProgress() {
    if (!sessionProgress) return;
    // Deleted later: an error can come from inside its own cancel button's click (the abort's
    // sends fail), and that click must not return into a deleted dialog.
    sessionProgress->hide();
    sessionProgress->deleteLater();
    sessionProgress = nullptr;
}

void TForm1::QuitSession() {
    quitRequested = true;
    if (quitPending) {
        quitPending = false;
        SessionClosed();
    } else if (!connectionLost) {
        StarFtp1.Quit();
    }
}

void TForm1::ConnectionLost(const QString& reason) {
    if (connectionLost) return;
    connectionLost = true;
    lostReason = reason;
    AppendLog("接続が切れました: " + OneLine(reason));
}

void TForm1::EndByUser(bool closingWindow) {
    windowClosed = windowClosed || closingWindow;
    if (userEnded || sessionFinished) return;
    userEnded = true;
    if (storing && storeFailure.isEmpty()) storeFailure = CancelledReason;
    Panel2->setText("中止しています...");
    Button9->setEnabled(false);
    FreeProgress();
    // A reconnect waiting to start sees the cancel and ends the session itself.
    if (reconnectScheduled) return;
    StarFtp1.EndSession();
    // The component promises its quit notification within a second; a window that never closes
    // would be worse than outcomes told without it.
    QTimer::singleShot(3000, this, [this] {
        if (sessionFinished) return;
        FinishSession(!windowClosed);
        SessionEnded();
    });
}

void TForm1::Button9Click() {
    EndByUser(false);
}

void TForm1::LoginAgain() {
    reconnectScheduled = true;
    // From the event queue: the component is still inside its quit notification.
    QMetaObject::invokeMethod(
        this,
        [this] {
            reconnectScheduled = false;
            if (sessionFinished) return;
            if (userEnded) {
                SessionClosed();
                return;
            }
            connectionLost = false;
            quitRequested = false;
            cancelNext = false;
            StarFtp1.Login();
        },
        Qt::QueuedConnection);
}

void TForm1::StarFtp1FtpQuit() {
    // After a socket error the quit notification comes twice; one that was on its way before a
    // new login started belongs to the connection before.
    if (sessionFinished || reconnectScheduled) return;
    // Taken up once the question is answered: the window must not close under it.
    if (asking > 0) {
        quitPending = true;
        return;
    }
    SessionClosed();
}

void TForm1::SessionClosed() {
    if (sessionFinished) return;
    if (retryLogin) {
        // The password was typed at the prompt and refused: asked once more.
        retryLogin = false;
        PasswordDlg->Password->clear();
        int result = 0;
        if (!Ask(*PasswordDlg, &result)) return;
        quitPending = false;
        if (result == QDialog::Accepted && !userEnded) {
            StarFtp1.UserPassword =
                QStringToSystem(PasswordDlg->Password->text()).value_or(std::string());
            sessionError.clear();
            loginRefused = false;
            Panel2->setText("接続中...");
            LoginAgain();
            return;
        }
    }
    if (storing && connectionLost) {
        if (storeFailure.isEmpty()) storeFailure = lostReason;
        StoreEnded();
        ++CurrentIndex;
    }
    if (connectionLost && !quitRequested && !userEnded &&
        CurrentIndex < static_cast<int>(UploadList.size())) {
        if (reconnects < MaxReconnects) {
            ++reconnects;
            reconnecting = true;
            AppendLog(QString("再接続します (%1/%2)").arg(reconnects).arg(MaxReconnects));
            Panel2->setText("再接続中...");
            LoginAgain();
            return;
        }
        sessionError = lostReason;
    }
    FinishSession(!windowClosed);
    SessionEnded();
}

void TForm1::FinishSession(bool tell) {
    if (sessionFinished) return;
    sessionFinished = true;
    if (!listBuilt && !FilesFromPicker(Params)) {
        // The session ended before the files were listed: name them all the same.
        AddCommandLineFiles(Params, UploadList);
        MakeAbsolute(UploadList);
        CurrentIndex = 0;
    }
    const QString notSent = sessionError.isEmpty() ? NotSentReason : sessionError;
    if (storing) {
        if (storeFailure.isEmpty()) storeFailure = notSent;
        StoreEnded();
        ++CurrentIndex;
    }
    FailRemaining(notSent, notSent);

    // Ended before there was a list of files: the error itself is the outcome.
    const bool noList = !listBuilt && !sessionError.isEmpty();
    if (noList && UploadList.empty())
        std::fprintf(stderr, "wendup: %s\n", OneLine(sessionError).toStdString().c_str());
    bool failed = noList || pickedWithoutName;
    for (const TFileOutcome& o : outcomes)
        failed = failed || o.Result == TFileResult::Failed;
    sessionFailed = failed;
    const std::string lines = FailureLines(outcomes);
    std::fputs(lines.c_str(), stderr);
    std::fflush(stderr);
    const QString message = EndMessage(sessionError, outcomes);
    if (tell && !message.isEmpty() && !NoMessages(Params)) ErrorBox(message);
}
