// The upload session's handlers and the application of each file's decision.

#include "app/session.h"

#include "app/settings.h"
#include "app/status.h"
#include "dialogs/prgrsfrm.h"
#include "ftp/listmatch.h"
#include "platform/codepage.h"
#include "platform/dirsearch.h"
#include "platform/localfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

// A lost connection is tried again this often in one session.
constexpr int MaxReconnects = 3;
const char* const NotSentReason = "転送されませんでした";

// A settings file that cannot be read lists no text extensions.
std::vector<std::string> TextExtensions() {
    try {
        return ReadTextModeList();
    } catch (const std::exception&) {
        return {};
    }
}

QDateTime ToQDateTime(const TDateTime& t) {
    return QDateTime(QDate(t.Year, t.Month, t.Day), QTime(t.Hour, t.Minute, t.Second));
}

// The process's current folder moves from file to file, so the list holds full paths.
void MakeAbsolute(std::vector<std::string>& paths) {
    const std::string here = CurrentFolder();
    for (std::string& path : paths)
        if (!path.starts_with('/')) path = here + (here.ends_with('/') ? "" : "/") + path;
}

// The bytes of the files of a run; folders and files gone count nothing.
std::int64_t SizeOfFiles(const std::vector<TUploadItem>& items, std::size_t from = 0) {
    std::int64_t size = 0;
    for (std::size_t i = from; i < items.size(); ++i)
        if (const auto file = StatLocalFile(items[i].Path); file && !file->Directory)
            size += file->Size;
    return size;
}

} // namespace

TUploadSession::TUploadSession(TStarFtp& ftp, TSessionView& view, const TParams& params)
    : ftp(ftp), view(view), params(params) {}

bool TUploadSession::Start(bool typed) {
    passwordTyped = typed;
    sessionFolder = ftp.InitialDirectory;
    sessionStarted = true;
    QCoreApplication::processEvents();
    // Closed while the pending messages ran: the session ends before it has begun.
    if (userEnded) return false;
    LogIn();
    return true;
}

void TUploadSession::LogIn() {
    // A relative folder is relative to the login's folder: the component's own CWD at login and
    // ours after it would go into it twice (and the PWD of a listing makes it absolute before a
    // reconnect), so such a folder is entered by ours alone.
    if (ftp.PWDImplemented && !sessionFolder.empty() && sessionFolder[0] != '/')
        ftp.InitialDirectory.clear();
    ftp.Login();
}

void TUploadSession::Close() {
    if (sessionStarted) FinishSession(false);
    FreeProgress();
    files.clear();
}

void TUploadSession::LoggedIn() {
    if (!SessionGoesOn()) return;
    loggedIn = true;
    if (reconnecting)
        reconnecting = false;
    else if (!BuildUploadList())
        return;
    if (ftp.PWDImplemented) {
        // The profile's folder, also after a reconnect: the listing's PWD may have respelled it.
        const std::string folder =
            ftp.Utf8Names() ? SystemToUtf8(sessionFolder).value_or(sessionFolder) : sessionFolder;
        if (!folder.empty() && ftp.LoginFolder() == folder) {
            // The login has entered it.
            ListSessionFolder();
            return;
        }
        view.ShowStatus("ディレクトリ変更中...");
        ftp.ChangeDirectory(folder);
    } else if (!transfersBegun) {
        BeginTransfers();
    } else {
        ProcessNextFile();
    }
}

bool TUploadSession::BuildUploadList() {
    files.clear();
    current = 0;
    std::vector<std::string> paths;
    if (FilesFromPicker(params)) {
        std::optional<QStringList> picked;
        if (!Ask([&] { picked = view.PickFiles(); })) return false;
        if (!picked) {
            listBuilt = true;
            QuitSession();
            return false;
        }
        for (const QString& chosen : *picked)
            paths.push_back(QFile::encodeName(chosen).toStdString());
    } else {
        AddCommandLineFiles(params, paths);
    }
    MakeAbsolute(paths);
    AppendItems(paths);
    listBuilt = true;
    return StillConnected();
}

bool TUploadSession::AddFiles(const std::vector<std::string>& paths) {
    if (!listBuilt || quitRequested || sessionFinished || userEnded) return false;
    std::vector<std::string> added;
    AddCommandLineFiles(paths, added);
    MakeAbsolute(added);
    const std::size_t before = files.size();
    AppendItems(added);
    runSize += SizeOfFiles(files, before);
    return true;
}

void TUploadSession::DirectoryChanged() {
    if (!SessionGoesOn()) return;
    // A file is never stored into a folder it was not meant for. A profile without a folder means
    // the login folder, whatever the server says to an empty CWD.
    if (!ftp.Success() && !sessionFolder.empty()) {
        QString reason = "フォルダ " + SystemToQString(sessionFolder) + " に移動できません";
        if (!ftp.LastReply().empty()) reason += ": " + ServerText(ftp.LastReply());
        FailRemaining(reason, reason);
        FreeProgress();
        QuitSession();
        return;
    }
    ListSessionFolder();
}

// After a reconnect nothing listed before is taken on trust.
void TUploadSession::ListSessionFolder() {
    folders.clear();
    ListFolder({});
}

void TUploadSession::ListingDone() {
    if (!SessionGoesOn() || CancelledBeforeStore()) return;
    if (ftp.PWDImplemented && !ftp.Success()) {
        // The same-file policy cannot be kept without the listing: nothing more is sent.
        const QString reason = sessionError.isEmpty()
                                   ? QString("サーバーのファイル一覧を取得できません")
                                   : sessionError;
        FailRemaining(reason, reason);
        FreeProgress();
        QuitSession();
        return;
    }
    if (renameListing) {
        renameListing = false;
        renameListedFor = current;
    } else {
        TKnownFolder& folder = folders[listingFolder];
        folder.Listing.Take(ftp.ServerType, ftp.MlsdListing, ftp.ListingLines);
        folder.Known = true;
    }
    view.ShowStatus("ファイルを転送中...");
    if (!transfersBegun)
        BeginTransfers();
    else
        ProcessNextFile();
}

bool TUploadSession::CancelledBeforeStore() {
    if (!cancelNext) return false;
    cancelNext = false;
    renameListing = false;
    if (current < static_cast<int>(files.size())) EndItem(TFileResult::Failed, CancelledReason);
    NextListingOrQuit();
    return true;
}

void TUploadSession::PrepareProgress() {
    if (transfersBegun || progress || !SessionGoesOn()) return;
    progress = view.NewProgress();
    progress->PaintAhead();
}

void TUploadSession::BeginTransfers() {
    transfersBegun = true;
    runSize = SizeOfFiles(files);
    if (!progress) progress = view.NewProgress();
    progress->OnCancel = [this](TProgress&) { AbortTransfer(); };
    progress->show();
    ProcessNextFile();
}

void TUploadSession::Record(const std::string& path, TFileResult result, const QString& reason) {
    outcomes.push_back({path, result, reason});
}

void TUploadSession::FailRemaining(const QString& first, const QString& rest) {
    const int count = static_cast<int>(files.size());
    bool told = false;
    for (int i = current; i < count; ++i) {
        // A folder is named by what lies inside it; only an empty one stands for itself.
        if (files[i].MakeFolder && files[i].Inside > 0) continue;
        Record(files[i].Path, TFileResult::Failed, told ? rest : first);
        told = true;
    }
    current = std::max(current, count);
}

bool TUploadSession::StillConnected(bool decided, const std::string& newName) {
    if (!quitPending && !connectionLost) return true;
    // Kept for the file in hand, which is stored once the session has a connection again.
    if (decided) keptAnswer = TKeptAnswer{current, newName};
    if (quitPending) {
        quitPending = false;
        SessionClosed();
        return false;
    }
    return !connectionLost;
}

bool TUploadSession::SessionGoesOn() const {
    return sessionStarted && !sessionFinished && !connectionLost && !quitRequested && !userEnded;
}

void TUploadSession::ProcessNextFile() {
    for (;;) {
        std::string newName;
        TFileFate fate = TFileFate::Next;
        while (fate == TFileFate::Next && current < static_cast<int>(files.size()))
            fate = SettleFile(newName);
        if (fate == TFileFate::Abandon || fate == TFileFate::Waiting) return;
        if (current >= static_cast<int>(files.size())) {
            // The progress dialog stays until the session ends.
            QuitSession();
            return;
        }
        if (StoreCurrentFile(newName)) return;
        ++current;
    }
}

TUploadSession::TFileFate TUploadSession::SettleFile(std::string& newName) {
    // A copy: a question runs the event queue, and the session may end or lose its connection
    // before it is answered.
    const TUploadItem item = files[current];
    const std::string& path = item.Path;
    if (keptAnswer && keptAnswer->Index == current) {
        // Answered before the connection was lost: the user is not asked twice.
        newName = keptAnswer->NewName;
        keptAnswer.reset();
        return TFileFate::Store;
    }
    keptAnswer.reset();
    const bool pwd = ftp.PWDImplemented;
    const std::optional<std::string> folder = RemoteFolderOf(item.Folder);
    if (!folder) {
        EndItem(TFileResult::Failed, NoFolderFormReason);
        return TFileFate::Next;
    }
    // Without directory commands there is no listing to keep.
    if (pwd && !folders[*folder].Known) {
        if (!SessionGoesOn()) return TFileFate::Abandon;
        ListFolder(*folder);
        return TFileFate::Waiting;
    }
    if (item.MakeFolder) return SettleFolder(*folder);
    const auto local = StatLocalFile(path);
    const TListingMatch match =
        local && pwd ? CompareWithListing(path, *local, folders[*folder].Listing) : TListingMatch();
    const TFilePolicy policy = view.FilePolicy();
    if (local && !local->Directory && match.ListedDateOnly)
        if (const TFileFate fate = AskFileTime(*folder, match, policy); fate != TFileFate::Next)
            return fate;
    const TFileDecision decision =
        DecideFile({local.has_value(), local && local->Directory, pwd}, match.Result, policy);
    switch (decision.Step) {
    case TFileStep::Store:
        return TFileFate::Store;
    case TFileStep::Skip:
        Record(path, TFileResult::SkippedByPolicy);
        ++current;
        return TFileFate::Next;
    case TFileStep::Fail:
        Record(path, TFileResult::Failed, decision.Reason);
        ++current;
        return TFileFate::Next;
    case TFileStep::AskRename:
        return AskForName(path, newName);
    case TFileStep::AskOverwrite:
        return AskAboutOverwrite(path, match);
    }
    return TFileFate::Abandon;
}

TUploadSession::TFileFate TUploadSession::AskForName(const std::string& path,
                                                     std::string& newName) {
    if (renameListedFor != current) {
        // The dialog shows the folder as it is when it opens, in LIST's lines.
        if (!SessionGoesOn()) return TFileFate::Abandon;
        renameListing = true;
        ftp.UseMlsd = false;
        const std::string folder = RemoteFolderOf(files[current].Folder).value_or(std::string());
        ftp.ListingPath = folder.empty() ? std::string() : RemotePath(folder);
        ftp.GetListing();
        return TFileFate::Waiting;
    }
    renameListedFor = -1;
    std::optional<std::string> name;
    if (!Ask([&] { name = view.AskRename(path); })) return TFileFate::Abandon;
    const bool decided = name.has_value();
    if (decided) {
        newName = *name;
    } else {
        Record(path, TFileResult::SkippedByUser);
        ++current;
    }
    if (!StillConnected(decided, newName)) return TFileFate::Abandon;
    return decided ? TFileFate::Store : TFileFate::Next;
}

TUploadSession::TFileFate TUploadSession::AskAboutOverwrite(const std::string& path,
                                                            const TListingMatch& match) {
    const bool lastFile = static_cast<int>(files.size()) - current == 1;
    auto answer = TOverwriteAnswer::Cancel;
    if (!Ask([&] { answer = view.AskOverwrite(path, match, lastFile); })) return TFileFate::Abandon;
    const bool decided = answer == TOverwriteAnswer::Yes || answer == TOverwriteAnswer::All;
    if (answer == TOverwriteAnswer::All) {
        view.OverwriteFromNowOn();
    } else if (answer == TOverwriteAnswer::No) {
        Record(path, TFileResult::SkippedByUser);
        ++current;
    } else if (!decided) {
        // "キャンセル", Esc or the frame's close.
        CancelRemaining();
    }
    if (!StillConnected(decided)) return TFileFate::Abandon;
    return decided ? TFileFate::Store : TFileFate::Next;
}

void TUploadSession::CancelRemaining() {
    FailRemaining(CancelledReason, NotSentReason);
}

// False when the file cannot be stored at all; its outcome is recorded then.
bool TUploadSession::StoreCurrentFile(const std::string& newName) {
    const std::string path = files[current].Path;
    if (!textExtensions) textExtensions = TextExtensions();
    ftp.TransferMode = TransferTypeFor(view.TransferModeIndex(),
                                       IsTextModeFile(path, *textExtensions), ftp.TransferMode);
    // The component opens LocalFile relative to the current folder; a folder that cannot be
    // entered would send a file of the same name from the folder before.
    if (!SetCurrentFolder(FolderPart(path))) {
        Record(path, TFileResult::Failed, "ファイルが開けません");
        return false;
    }
    // A name the user gave is in the server's code already.
    const std::optional<std::string> name =
        newName.empty() ? RemoteName(NamePart(path)) : std::optional<std::string>(newName);
    if (!name) {
        Record(path, TFileResult::Failed,
               "ファイル名に Shift_JIS で表せない文字があります (サーバーの文字コード)");
        return false;
    }
    ftp.LocalFile = std::string(NamePart(path));
    // Only the file's own name and the folders of its tree: the server's directory is used as the
    // server spells it.
    storeFolder = RemoteFolderOf(files[current].Folder).value_or(std::string());
    storeName = SpacesToUnderscores(*name);
    ftp.RemoteFile = RemotePath(storeFolder.empty() ? storeName : storeFolder + "/" + storeName);
    storing = true;
    storeRenamed = !newName.empty();
    abortRequested = false;
    storeFailure.clear();
    storeRefusal.clear();
    ftp.StoreFile();
    return true;
}

TListingMatch TUploadSession::CompareWithListing(const std::string& path, const TLocalFile& local,
                                                 const TRemoteFolder& folder) const {
    TListingMatch match;
    const std::optional<std::string> remoteName = RemoteName(NamePart(path));
    // A name the server's code cannot hold is on no listing.
    if (!remoteName) return match;
    const std::string name = SpacesToUnderscores(*remoteName);
    const TRemoteEntry* remote = folder.Find(name);
    if (!remote) return match;
    match.RemoteName = remote->Name;
    if (remote->Directory) {
        match.Result = 3;
        return match;
    }
    match.RemoteSize = remote->Size;
    match.LocalSize = local.Size;
    match.LocalModified = ToQDateTime(local.Modified);
    if (remote->Utc) {
        // Both in UTC, to the second.
        match.RemoteModified = QDateTime::fromSecsSinceEpoch(*remote->Utc);
        match.Result = *remote->Utc >= local.ModifiedUtc ? 1 : 2;
        return match;
    }
    // A listing's text date: local time to the minute. Near the local time, the server's zone
    // leaves it in doubt; then the server is asked for the exact time.
    const TDateTime now = LocalNow();
    match.ListedDateOnly =
        !remote->TimeAsked && !ListingDateLeavesNoDoubt(remote->Date, now, local.ModifiedUtc);
    TDateTime localMinute = local.Modified;
    localMinute.Second = 0;
    const auto date = ParseListingDate(remote->Date, now);
    match.RemoteModified = date ? ToQDateTime(*date) : QDateTime();
    match.Result = date && *date >= localMinute ? 1 : 2;
    return match;
}

void TUploadSession::StoreEnded() {
    if (!storing) return;
    storing = false;
    if (current >= static_cast<int>(files.size())) return;
    const std::string path = files[current].Path;
    if (storeFailure.isEmpty() && !ftp.Success())
        storeFailure = abortRequested           ? QString(CancelledReason)
                       : storeRefusal.isEmpty() ? QString("転送に失敗しました")
                                                : storeRefusal;
    if (!storeFailure.isEmpty()) {
        Record(path, TFileResult::Failed, storeFailure);
        // What a failed store left on the server is not known: the next file lists it again.
        folders[storeFolder].Known = false;
        return;
    }
    Record(path, storeRenamed ? TFileResult::Renamed : TFileResult::Stored);
    folders[storeFolder].Listing.Stored(storeName, ftp.BytesTransferred,
                                        QDateTime::currentSecsSinceEpoch(), ftp.KeptTime());
}

TUploadSession::TFileFate TUploadSession::AskFileTime(const std::string& folder,
                                                      const TListingMatch& match,
                                                      const TFilePolicy& policy) {
    if (!ftp.HasFeature("MDTM") || !DateDecides(policy)) return TFileFate::Next;
    if (!SessionGoesOn()) return TFileFate::Abandon;
    ftp.RemoteFile =
        RemotePath(folder.empty() ? match.RemoteName : folder + "/" + match.RemoteName);
    timeAskedIn = folder;
    timeAskedFor = match.RemoteName;
    ftp.GetFileTime();
    return TFileFate::Waiting;
}

void TUploadSession::FileTimeRead() {
    if (!SessionGoesOn()) return;
    // Asked once, whatever the answer: the decision goes on with it or with the listing's date.
    folders[timeAskedIn].Listing.TimeAnswered(timeAskedFor, ftp.FileTime());
    if (!CancelledBeforeStore()) ProcessNextFile();
}

void TUploadSession::FileStored() {
    // Only a store's own completion: after a lost connection its outcome is already recorded.
    if (sessionFinished || !storing || KeepUnsentStore()) return;
    StoreEnded();
    ++current;
    if (SessionGoesOn()) NextListingOrQuit();
}

bool TUploadSession::KeepUnsentStore() {
    if (!storing || !connectionLost || ftp.StorSent()) return false;
    storing = false;
    keptAnswer = TKeptAnswer{current, storeRenamed ? storeName : std::string()};
    return true;
}

void TUploadSession::NextListingOrQuit() {
    if (current < static_cast<int>(files.size())) {
        if (progress) progress->FinishFile();
        ProcessNextFile();
    } else {
        FreeProgress();
        QuitSession();
    }
}

void TUploadSession::AbortTransfer() {
    if (!SessionGoesOn()) return;
    if (storing)
        abortRequested = true;
    else
        // The listing before a file: the file in hand is the one cancelled.
        cancelNext = true;
    ftp.Abort();
}

TProgress* TUploadSession::Progress() const {
    return transfersBegun ? progress : nullptr;
}

void TUploadSession::FreeProgress() {
    if (!progress) return;
    // Deleted later: an error can come from inside its own cancel button's click (the abort's
    // sends fail), and that click must not return into a deleted dialog.
    progress->hide();
    progress->deleteLater();
    progress = nullptr;
}

std::optional<std::string> TUploadSession::RemoteName(std::string_view localName) const {
    return HostToServerText(localName, ftp.Utf8Names());
}

QString TUploadSession::ServerText(std::string_view text) const {
    return ServerTextToQString(text, ftp.Utf8Names());
}

QString TUploadSession::UnconvertibleText() const {
    const TTextCheck& read = ftp.TextRead();
    const QString where = QString("%1 行目").arg(read.Line);
    if (read.Source != TTextSource::Utf8) return where;
    return where + QString("の「%1」").arg(QString::fromStdString(read.Character));
}

void TUploadSession::QuitSession() {
    quitRequested = true;
    if (quitPending) {
        quitPending = false;
        SessionClosed();
    } else if (!connectionLost) {
        ftp.Quit();
    }
}

void TUploadSession::ConnectionLost(const QString& reason) {
    if (connectionLost) return;
    connectionLost = true;
    lostReason = reason;
    view.AppendLog("接続が切れました: " + OneLine(reason));
}

void TUploadSession::EndByUser(bool closingWindow) {
    windowClosed = windowClosed || closingWindow;
    if (userEnded || sessionFinished) return;
    userEnded = true;
    if (storing && storeFailure.isEmpty()) storeFailure = CancelledReason;
    view.ShowStopping();
    FreeProgress();
    // A reconnect waiting to start sees the cancel and ends the session itself.
    if (reconnectScheduled) return;
    ftp.EndSession();
    // The component promises its quit notification within a second; a window that never closes
    // would be worse than outcomes told without it.
    QTimer::singleShot(3000, &context, [this] {
        if (sessionFinished) return;
        FinishSession(!windowClosed);
        view.SessionEnded();
    });
}

void TUploadSession::LoginAgain() {
    reconnectScheduled = true;
    // From the event queue: the component is still inside its quit notification.
    QMetaObject::invokeMethod(
        &context,
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
            LogIn();
        },
        Qt::QueuedConnection);
}

void TUploadSession::FtpQuit() {
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

void TUploadSession::SessionClosed() {
    if (sessionFinished) return;
    if (retryLogin) {
        // The password was typed at the prompt and refused: asked once more.
        retryLogin = false;
        std::optional<std::string> password;
        if (!Ask([&] { password = view.AskPassword(); })) return;
        quitPending = false;
        if (password && !userEnded) {
            ftp.UserPassword = *password;
            sessionError.clear();
            loginRefused = false;
            view.ShowStatus("接続中...");
            LoginAgain();
            return;
        }
    }
    if (!KeepUnsentStore() && storing && connectionLost) {
        if (storeFailure.isEmpty()) storeFailure = lostReason;
        StoreEnded();
        ++current;
    }
    if (connectionLost && !quitRequested && !userEnded &&
        current < static_cast<int>(files.size())) {
        if (reconnects < MaxReconnects) {
            ++reconnects;
            reconnecting = true;
            view.AppendLog(QString("再接続します (%1/%2)").arg(reconnects).arg(MaxReconnects));
            view.ShowStatus("再接続中...");
            LoginAgain();
            return;
        }
        sessionError = lostReason;
    }
    FinishSession(!windowClosed);
    view.SessionEnded();
}

void TUploadSession::FinishSession(bool tell) {
    if (sessionFinished) return;
    sessionFinished = true;
    if (!listBuilt && !FilesFromPicker(params)) {
        // The session ended before the files were listed: name them all the same.
        std::vector<std::string> paths;
        AddCommandLineFiles(params, paths);
        MakeAbsolute(paths);
        for (std::string& path : paths)
            files.push_back(TUploadItem::File(std::move(path)));
        current = 0;
    }
    const QString notSent = sessionError.isEmpty() ? NotSentReason : sessionError;
    if (storing) {
        if (storeFailure.isEmpty()) storeFailure = notSent;
        StoreEnded();
        ++current;
    }
    FailRemaining(notSent, notSent);

    // Ended before there was a list of files: the error itself is the outcome.
    const bool noList = !listBuilt && !sessionError.isEmpty();
    if (noList && files.empty())
        std::fprintf(stderr, "wendup: %s\n", OneLine(sessionError).toStdString().c_str());
    bool failed = noList;
    for (const TFileOutcome& o : outcomes)
        failed = failed || o.Result == TFileResult::Failed;
    sessionFailed = failed;
    const std::string lines = FailureLines(outcomes);
    std::fputs(lines.c_str(), stderr);
    std::fflush(stderr);
    view.RunFinished(outcomes);
    const QString message = EndMessage(sessionError, outcomes);
    if (tell && !message.isEmpty() && !NoMessages(params)) view.ShowError(message);
}

void TUploadSession::ServerClosed(const std::string& addinfo) {
    // A refused login keeps saying so while the server closes the connection.
    if (!loginRefused) view.ShowStatus("切断されました");
    if (!addinfo.empty() && SessionGoesOn()) {
        // The server closed the connection without being asked to.
        QString reason = "接続が切断されました";
        if (ftp.LastReply().starts_with("421")) reason += "\r\n" + ServerText(ftp.LastReply());
        if (storing && storeFailure.isEmpty()) storeFailure = reason;
        if (loggedIn && !reconnecting)
            ConnectionLost(reason);
        else if (sessionError.isEmpty())
            sessionError = reason;
    } else if (storing && storeFailure.isEmpty()) {
        storeFailure = addinfo.empty() ? "接続されていません" : "接続が切断されました";
    }
}

void TUploadSession::Info(FtpInfo info, const std::string& addinfo) {
    switch (info) {
    case ftpiConnected:
        view.ShowStatus("接続されました");
        break;
    case ftpiNotConnected:
        ServerClosed(addinfo);
        break;
    case ftpiSent:
        // The server is busy with the listing now: the dialog is made once the loop runs again,
        // outside the component's own call.
        if (!transfersBegun && !progress &&
            (addinfo.starts_with("MLSD") || addinfo.starts_with("LIST")))
            QMetaObject::invokeMethod(
                &context, [this] { PrepareProgress(); }, Qt::QueuedConnection);
        [[fallthrough]];
    case ftpiReceived:
        if (const auto line = LogLine(addinfo)) {
            QString text = ServerText(*line);
            text.replace("\r\n", "\n");
            view.AppendLog(text);
        }
        break;
    case ftpiDataConnection: // where a passive data connection goes, or why it could not
    case ftpiLogNote:        // a step the component took on its own
        view.AppendLog(ServerText(addinfo));
        break;
    case ftpiTextSource: {
        const QString how = addinfo == "Shift_JIS" ? QString("Shift_JIS") : QString("UTF-8");
        view.AppendLog(
            QString("%1 を %2 のテキストとして読みます%3")
                .arg(QString::fromStdString(ftp.LocalFile), how,
                     addinfo == "UTF-8 BOM" ? QString(" (BOM は送りません)") : QString()));
        break;
    }
    case ftpiSizeMismatch: {
        // "SENT REMOTE": the store fails, whatever its final reply said.
        const std::size_t space = addinfo.find(' ');
        view.AppendLog(
            QString("サイズが一致しません (送信 %1 バイト、サーバー %2 バイト)")
                .arg(SystemToQString(addinfo.substr(0, space)),
                     SystemToQString(space == addinfo.npos ? std::string()
                                                           : addinfo.substr(space + 1))));
        if (storing) storeFailure = "サイズが一致しません";
        break;
    }
    case ftpiProgress:
        if (progress && !ftp.Listing)
            progress->UpdateProgress(ftp.BytesTransferred, ftp.ElapsedTime);
        else if (ftp.Listing)
            // Once per listing line: a literal without a conversion each time.
            view.ShowStatus(QStringLiteral("リスト取得中"));
        break;
    case ftpiFileSize: {
        std::int64_t size = 0;
        std::from_chars(addinfo.data(), addinfo.data() + addinfo.size(), size);
        currentFileSize = size;
        if (progress) progress->SetRunFiles(FileNumber(), FileCount(), runSize);
        if (progress)
            progress->StartFile(
                ftp.LocalFile,
                RouteText(CurrentFolder(), SystemToQString(ftp.FtpServer()).toStdString(),
                          ServerTextToHost(storeFolder.empty() ? ftp.InitialDirectory
                                                               : RemotePath(storeFolder),
                                           ftp.Utf8Names()),
                          ftp.PWDImplemented),
                currentFileSize);
        break;
    }
    case ftpiCommandFailed:
        // The reason, should the store fail: a refused rename is made good by the component.
        if (storing) storeRefusal = "サーバーが拒否しました: " + ServerText(ftp.LastReply());
        break;
    default:
        break;
    }
}

namespace {

// Errors raised for a reply of the server, which then says more than the message.
bool ReplyTellsWhy(FtpError error) {
    return error == ftpeNoError || error == ftpeCommandFailed || error == ftpeLocalFileWrite ||
           error == ftpeServerNotReady || error == ftpeLoginRefused;
}

} // namespace

void TUploadSession::Error(FtpError error) {
    QString reason = ErrorMessage(error);
    if (reason.isEmpty()) reason = QString("エラー %1").arg(int(error));
    if (ReplyTellsWhy(error) && !ftp.LastReply().empty())
        reason += "\r\n" + ServerText(ftp.LastReply());
    if (error == ftpeTextNotConvertible) reason += ": " + UnconvertibleText();
    if (error == ftpeSecureConnection || error == ftpeCertificateRejected)
        reason += ": " + SystemToQString(ftp.TlsFailure());
    if (storing && storeFailure.isEmpty()) storeFailure = reason;
    if (!ftp.ControlConnected() && SessionGoesOn() && loggedIn && !reconnecting) {
        // Taken up at the quit notification that follows: the file in hand fails, and the
        // session goes on over a new connection.
        ConnectionLost(reason);
        return;
    }
    // An error in the middle of an operation that still completes (a local file that cannot be
    // read): the file fails and the session goes on with the next one.
    const bool operationGoesOn = ftp.Busy() && ftp.ControlConnected();
    if (operationGoesOn && storing) {
        FreeProgress();
        return;
    }
    // Told once, at the end of the session, together with the files it cost.
    sessionError = reason;
    FreeProgress();
    if (error == ftpeLoginRefused) {
        loginRefused = true;
        view.ShowStatus("ログインが拒否されました");
        if (passwordTyped && !passwordAskedAgain && !userEnded) {
            passwordAskedAgain = true;
            retryLogin = true;
        }
        // The component has sent QUIT itself; a second one could meet the server's close and
        // come back as a reset, a second error for the same failure.
        return;
    }
    // Login's own checks fail before any connection exists: no quit notification will come.
    const bool noConnection = error == ftpeNoServer || error == ftpeWinsockNotInitialized;
    if (!operationGoesOn) QuitSession();
    view.ShowStatus("未接続");
    if (noConnection)
        QMetaObject::invokeMethod(
            &context, [this] { FtpQuit(); }, Qt::QueuedConnection);
}

void TUploadSession::Certificate(const TCertificateInfo& certificate, bool& trust) {
    trust = false;
    // Nobody to ask: the run fails, and the error names the reason.
    if (NoMessages(params)) return;
    const bool changed = !ftp.TrustedCertificate.empty();
    if (!Ask([&] { trust = view.AskTrustCertificate(certificate, changed); })) {
        trust = false;
        return;
    }
    if (trust) view.KeepTrustedCertificate(certificate.Fingerprint);
}
