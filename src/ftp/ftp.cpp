#include "ftp/ftp.h"

#include "ftp/ftpshared.h"
#include "ftp/tempname.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>

using namespace ftpshared;

namespace {

Q_LOGGING_CATEGORY(lcFtp, "wendup.ftp", QtWarningMsg)

// The directory of a 257 reply: the text between its first two double quotes, "" without a pair.
std::string QuotedDirectory(const std::string& reply) {
    const std::size_t open = reply.find('"');
    if (open == std::string::npos) return "";
    const std::string rest = reply.substr(open + 1, 999);
    const std::size_t close = rest.find('"');
    return close == std::string::npos ? "" : rest.substr(0, close);
}

} // namespace

TStarFtp::TStarFtp() : Version("TFtp 1.4.2") {
    OnMessage = [this](TSocketMessage& message) { Notification(message); };
    listener_.StartWinsock();
    dataSocket_.StartWinsock();
    aborWait_ = std::make_unique<QTimer>();
    aborWait_->setSingleShot(true);
    QObject::connect(aborWait_.get(), &QTimer::timeout, [this] { AborReplyOverdue(); });
    endTimer_ = std::make_unique<QTimer>();
    endTimer_->setSingleShot(true);
    QObject::connect(endTimer_.get(), &QTimer::timeout, [this] { FinishEnding(); });
}

TStarFtp::~TStarFtp() {
    CloseLocalFile();
    CloseSocket();
}

void TStarFtp::SetWinsockStarted(bool start) {
    if (start)
        StartWinsock();
    else
        UnloadWinsock();
}

void TStarFtp::Info(FtpInfo info, const std::string& addinfo) {
    if (OnFtpInfo) OnFtpInfo(*this, info, addinfo);
}

void TStarFtp::Need(TFtpInfoNeeded need, std::string& value) {
    if (OnFtpNeedInfo) OnFtpNeedInfo(*this, need, value);
}

// ---- Operations -------------------------------------------------------------------------------

// An operation needs the control connection and must wait for the one in progress; the refusal is
// a notice, not an error.
bool TStarFtp::BeginOperation() {
    if (!controlConnected_) {
        Info(ftpiNotConnected, "");
        return false;
    }
    if (busy_) {
        Info(ftpiBusy, "");
        return false;
    }
    errorCode_ = ftpeNoError;
    busy_ = true;
    ResetCounts();
    return true;
}

// The counts of a transfer belong to it: an operation that moves no data reports none.
void TStarFtp::ResetCounts() {
    BytesTransferred = 0;
    ElapsedTime = 0;
}

void TStarFtp::Login() {
    if (busy_) {
        Info(ftpiBusy, "");
        return;
    }
    // A new session on the same instance, after a lost connection, an error or a quit: nothing of
    // the last one may carry over, its late notifications included.
    ++session_;
    CloseAll();
    shutDown_ = false;
    controlConnected_ = false;
    inReplyHandler_ = false;
    reader_.Reset();
    lastReply_.clear();
    certificate_ = {};
    tlsFailure_.clear();
    Features.clear();
    featureLines_.clear();
    utf8Names_ = false;
    loginFolder_.clear();
    oneAtATime_ = portAtOnce_ = false;
    pendingEvent_ = peNone;
    tempStore_ = storAccepted_ = storeCancelled_ = storSent_ = false;
    ending_ = Ending::No;
    endTimer_->stop();
    aborWait_->stop();
    listingLines_.Reset();
    Listing = false;
    OnTimeOut = [this](TStarSocket&) { FatalError(ftpeTimeOut); };
    errorCode_ = ftpeNoError;
    success_ = true;
    ResetCounts();
    if (!StartWinsock()) {
        ReportError(ftpeWinsockNotInitialized);
        return;
    }
    if (FtpServer().empty()) {
        std::string server;
        Need(ftpnServer, server);
        if (server.empty()) {
            ReportError(ftpeNoServer);
            return;
        }
        SetServer(server);
    }
    if (FtpPort == 0) FtpPort = 21;
    epsvRefused_ = false;
    mlsdRefused_ = false;

    SetReplyState(ReplyState::Greeting);
    OnSocketConnect = [this](TStarSocket&) { SocketConnected(); };
    OnSocketRead = [this](TStarSocket&) { ReadControlData(); };
    OnSocketClose = [this](TStarSocket&) { SocketClosed(); };

    CreateSocket();
    if (CheckSocketError()) return;
    if (!ServerAddress.empty()) {
        SetAddress(ServerAddress);
        SetPort(FtpPort);
        Connect();
        CheckSocketError();
    } else {
        Info(ftpiResolving, ServerHostName);
        ResolveHost(ServerHostName);
        CheckSocketError();
    }
}

void TStarFtp::HostResolved() {
    if (CheckSocketError()) return;
    // A name leads to IPv6 only for a profile that asks for passive connections: any other goes
    // over IPv4, as it always has.
    UseResolvedAddress(PassiveMode ? AF_UNSPEC : AF_INET);
    if (CheckSocketError()) return;
    SetPort(FtpPort);
    // Kept, so that the next login of this instance connects without a new lookup.
    ServerAddress = GetAddressText();
    Info(ftpiResolved, ServerAddress);
    Connect();
    CheckSocketError();
}

void TStarFtp::ChangeDirectory(const std::string& directory) {
    if (!BeginOperation()) return;
    success_ = true;
    pendingEvent_ = peDirectoryChanged;
    loginFolder_.clear();
    InitialDirectory = directory;
    if (utf8Names_) utf8Directory_ = directory;
    if (!IssueCommand("CWD " + directory, ReplyState::ChangeDirectory)) DirectoryChanged(false);
}

void TStarFtp::CreateDirectory(const std::string& directory) {
    if (!BeginOperation()) return;
    success_ = true;
    pendingEvent_ = peDirectoryCreated;
    if (!IssueCommand("MKD " + directory, ReplyState::MakeDirectory)) DirectoryChanged(false);
}

bool TStarFtp::HasFeature(std::string_view name) const {
    for (const std::string& feature : Features)
        if (feature == name) return true;
    return false;
}

// Unlike Quit, this does not wait for the operation in hand: it is given up (a transfer the server
// knows of is aborted first, so that the server ends it), and no completion event or error follows,
// only the one OnFtpQuit.
void TStarFtp::EndSession(int graceMs) {
    if (ending_ != Ending::No) return;
    // What the session had posted (a ready, a quit) must not follow the end.
    ++session_;
    ending_ = Ending::Running;
    busy_ = true;
    endDeadline_ = NowMs() + std::max(graceMs, 0);
    endTimer_->start(std::max(graceMs, 0));
    if (!controlConnected_ || ControlLost()) {
        // A lookup or connect in progress, or nothing at all: dropped.
        FinishEnding();
        return;
    }
    switch (phase_) {
    case TransferPhase::Waiting:
    case TransferPhase::Moving:
    case TransferPhase::ReplyFirst:
    case TransferPhase::DataFirst:
        // The store's DELE and QUIT follow the abort's replies (ContinueEnding).
        AbortTransfer(true);
        return;
    case TransferPhase::AbortTransferReply:
    case TransferPhase::AbortAborReply:
        return;
    default:
        break;
    }
    // A temporary file that is complete or half renamed; a server takes commands in order, so the
    // DELE can go out before the outstanding reply is in.
    if (StoreInHand() && tempStore_ && storAccepted_ && !DeletingTemp() &&
        replyState_ != ReplyState::Store)
        SendCommand("DELE " + storeName_);
    ContinueEnding();
}

void TStarFtp::Quit() {
    if (!BeginOperation()) return;
    IssueCommand("QUIT", ReplyState::Quit);
}

// ---- States -----------------------------------------------------------------------------------

void TStarFtp::SetReplyState(ReplyState next) {
    ChangeState(next, phase_);
}

void TStarFtp::SetPhase(TransferPhase next) {
    if (next != phase_) ChangeState(replyState_, next);
}

// Every change of the reply state or the transfer phase comes here. The countdown restarts even
// when the reply state stays: a new command of the same state gets its full time.
void TStarFtp::ChangeState(ReplyState reply, TransferPhase phase) {
    if (reply != replyState_ || phase != phase_)
        qCDebug(lcFtp).nospace() << "state " << ReplyStateName(replyState_) << "/"
                                 << TransferPhaseName(phase_) << " -> " << ReplyStateName(reply)
                                 << "/" << TransferPhaseName(phase);
    const bool phaseChanged = phase != phase_;
    replyState_ = reply;
    phase_ = phase;
    // Only ABOR's own reply is due now; it may never come.
    if (phaseChanged && phase == TransferPhase::AbortAborReply)
        aborWait_->start(AborReplyWait);
    else if (phaseChanged)
        aborWait_->stop();
    ArmReplyTimer();
}

// A transfer's final reply may take as long as the server needs to finish a big file; every other
// reply, ABOR's included, is due within the time-out.
bool TStarFtp::ReplyTimed() const {
    if (SyncingAbort()) return true;
    // LIST or STOR has gone out and its transfer has not begun: an answer or the server's data
    // connection is due, and a server that sends neither must not hold the session for ever.
    if (phase_ == TransferPhase::Waiting) return true;
    // Bounded by AborReplyWait instead, which may be the shorter.
    if (phase_ == TransferPhase::AbortAborReply) return false;
    if (Aborting()) return true;
    return replyState_ != ReplyState::Idle && replyState_ != ReplyState::List &&
           replyState_ != ReplyState::Mlsd && replyState_ != ReplyState::Store &&
           replyState_ != ReplyState::ListConnect && replyState_ != ReplyState::StoreConnect &&
           replyState_ != ReplyState::StoreEnded;
}

// Restarts the countdown while a timed reply is due, stops it otherwise. Before the connection is
// up the countdown belongs to the lookup and the connect.
void TStarFtp::ArmReplyTimer() {
    if (!controlConnected_ || Socket() < 0) return;
    StartTimeOut(ReplyTimed() ? TimeOutConnect : 0);
}

// ---- Reply interpreter ------------------------------------------------------------------------

// One final reply line; the lines before it in a multi-line reply were taken by TakeReply.
void TStarFtp::HandleReply(const std::string& line) {
    if (line.empty()) return;
    const char kind = line[0];
    switch (replyState_) {
    case ReplyState::Greeting:
        return OnGreeting(kind);
    case ReplyState::AuthTls:
        return OnAuthTls(line);
    case ReplyState::ProtectBuffer:
    case ReplyState::Protection:
        return OnProtection(line);
    case ReplyState::User:
        return OnUser(kind);
    case ReplyState::Password:
        return OnPassword(kind);
    case ReplyState::Account:
        return OnAccount(kind);
    case ReplyState::System:
    case ReplyState::SystemFeat:
        return OnSystem(line);
    case ReplyState::Feat:
        return OnFeat(line);
    case ReplyState::OptsUtf8:
    case ReplyState::OptsUtf8Cwd:
        return OnOptsUtf8();
    case ReplyState::LoginDirectory:
        return OnLoginDirectory(kind);
    case ReplyState::ListDirectory:
    case ReplyState::ListDirectoryType:
        return OnListDirectory(line);
    case ReplyState::ListType:
        return OnListType(kind);
    case ReplyState::ListPort:
        return OnListPort(kind);
    case ReplyState::ListPortAhead:
        return OnListPortAhead(kind);
    case ReplyState::ListEpsv:
    case ReplyState::ListPasv:
    case ReplyState::StoreEpsv:
    case ReplyState::StorePasv:
        return OnPassive(line);
    case ReplyState::List:
    case ReplyState::Mlsd:
        return OnList(line);
    case ReplyState::StoreType:
        return OnStoreType(kind);
    case ReplyState::StorePort:
        return OnStorePort(kind);
    case ReplyState::StorePortAhead:
        return OnStorePortAhead(kind);
    case ReplyState::Store:
        return OnStore(line);
    case ReplyState::ChangeDirectory:
        return OnChangeDirectory(kind);
    case ReplyState::MakeDirectory:
        return OnMakeDirectory(kind);
    case ReplyState::StoreSize:
        return OnStoreSize(line);
    case ReplyState::RenameFrom:
        return OnRenameFrom(kind);
    case ReplyState::RenameTo:
    case ReplyState::RenameToFailed:
        return OnRenameTo(kind);
    case ReplyState::DeleteTemp:
    case ReplyState::DeleteTempThenDirect:
        return OnDeleteTemp(line);
    case ReplyState::StoreTempTime:
    case ReplyState::StoreTempTimeSize:
    case ReplyState::StoreTime:
        return OnStoreTime(line);
    case ReplyState::FileTime:
        return OnFileTime(line);
    case ReplyState::ListAbortSync:
    case ReplyState::StoreAbortSync:
        return OnAbortSync(line);
    case ReplyState::Quit:
        return OnQuit(kind);
    case ReplyState::EndQuit:
        // Replies to what was outstanding come first; QUIT's is the last.
        if (HasReplyCode(line, ReplyCode::ServiceClosing) ||
            HasReplyCode(line, ReplyCode::ServiceLost))
            FinishEnding();
        break;
    case ReplyState::TlsHandshake:
    case ReplyState::ListConnect:
    case ReplyState::StoreConnect:
    case ReplyState::StoreEnded:
    case ReplyState::Idle:
        break;
    }
}

void TStarFtp::OnGreeting(char kind) {
    if (kind != '2') {
        FatalError(ftpeServerNotReady);
        return;
    }
    if (UseTls)
        IssueCommand("AUTH TLS", ReplyState::AuthTls);
    else
        SendUser();
}

void TStarFtp::SendUser() {
    if (UserName.empty()) Need(ftpnUserName, UserName);
    if (!IssueCommand("USER " + UserName, ReplyState::User)) LoginRefused();
}

void TStarFtp::LoginAccepted() {
    if (UseTls)
        IssueCommand("PBSZ 0", ReplyState::ProtectBuffer);
    else
        AskSystem();
}

// FEAT goes out behind SYST: neither answer changes the other command.
void TStarFtp::AskSystem() {
    if (oneAtATime_) {
        IssueCommand("SYST", ReplyState::System);
        return;
    }
    if (!SendAhead("SYST")) return;
    IssueCommand("FEAT", ReplyState::SystemFeat);
}

void TStarFtp::OnUser(char kind) {
    if (kind == '2') {
        LoginAccepted();
    } else if (kind == '3') {
        if (UserPassword.empty()) Need(ftpnUserPassword, UserPassword);
        if (!IssueCommand("PASS " + UserPassword, ReplyState::Password)) LoginRefused();
    } else {
        LoginRefused();
    }
}

void TStarFtp::OnPassword(char kind) {
    if (kind == '2') {
        LoginAccepted();
    } else if (kind == '3') {
        if (UserAccount.empty()) Need(ftpnUserAccount, UserAccount);
        if (!IssueCommand("ACCT " + UserAccount, ReplyState::Account)) LoginRefused();
    } else {
        LoginRefused();
    }
}

void TStarFtp::OnAccount(char kind) {
    if (kind == '2')
        LoginAccepted();
    else
        LoginRefused();
}

// The error is reported and the session is ended politely: QUIT, then the server's close.
void TStarFtp::LoginRefused() {
    ReportError(ftpeLoginRefused);
    SendCommand("QUIT");
    SetReplyState(ReplyState::Quit);
}

void TStarFtp::OnSystem(const std::string& line) {
    pendingEvent_ = peLoggedIn;
    DetectServerType(line);
    Features.clear();
    featureLines_.clear();
    if (replyState_ == ReplyState::SystemFeat)
        SetReplyState(ReplyState::Feat);
    else
        IssueCommand("FEAT", ReplyState::Feat);
}

// RFC 2389: the inner lines of the 211 reply name one feature each, after one space, with its
// arguments after the name ("REST STREAM"). A refusal only means there are none.
void TStarFtp::OnFeat(const std::string& line) {
    if (line[0] == '2') {
        for (const std::string& text : featureLines_) {
            if (text.empty() || text[0] != ' ') continue;
            const std::size_t first = text.find_first_not_of(" \t");
            if (first == std::string::npos) continue;
            const std::size_t last = text.find_first_of(" \t", first);
            std::string name = text.substr(first, last - first);
            for (char& c : name)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            Features.push_back(std::move(name));
        }
    }
    featureLines_.clear();
    const bool utf8 = NameCode == ncUtf8 || (NameCode == ncAuto && HasFeature("UTF8"));
    NamesInUtf8(utf8);
    // RFC 2640 servers use UTF-8 anyway; others switch only when asked.
    if (utf8 && HasFeature("UTF8"))
        AskUtf8();
    else
        EnterLoginDirectory();
}

// Whatever the server answers, the names stay in UTF-8: the login's CWD goes out behind it.
void TStarFtp::AskUtf8() {
    if (oneAtATime_ || InitialDirectory.empty() || HoldsLineBreak(InitialDirectory)) {
        IssueCommand("OPTS UTF8 ON", ReplyState::OptsUtf8);
        return;
    }
    if (!SendAhead("OPTS UTF8 ON")) return;
    IssueCommand("CWD " + InitialDirectory, ReplyState::OptsUtf8Cwd);
}

void TStarFtp::OnOptsUtf8() {
    if (replyState_ == ReplyState::OptsUtf8Cwd)
        SetReplyState(ReplyState::LoginDirectory);
    else
        EnterLoginDirectory();
}

void TStarFtp::EnterLoginDirectory() {
    if (InitialDirectory.empty()) {
        LoggedIn();
        return;
    }
    if (!IssueCommand("CWD " + InitialDirectory, ReplyState::LoginDirectory)) {
        Info(ftpiCommandFailed, "");
        LoggedIn();
    }
}

// A refused directory does not fail the login.
void TStarFtp::OnLoginDirectory(char kind) {
    if (kind == '2')
        loginFolder_ = InitialDirectory;
    else
        Info(ftpiCommandFailed, "");
    LoggedIn();
}

void TStarFtp::LoggedIn() {
    Info(ftpiLoggedIn, "Logged in");
    SetReplyState(ReplyState::Idle);
    PostReady();
}

void TStarFtp::OnChangeDirectory(char kind) {
    DirectoryChanged(kind == '2');
}

void TStarFtp::OnMakeDirectory(char kind) {
    DirectoryChanged(kind == '2');
}

// OnDirectoryChanged or OnDirectoryCreated follows either way; the owner tests Success.
void TStarFtp::DirectoryChanged(bool changed) {
    if (!changed) {
        Info(ftpiCommandFailed, "");
        success_ = false;
    }
    SetReplyState(ReplyState::Idle);
    PostReady();
}

void TStarFtp::OnQuit(char kind) {
    if (kind != '2') FatalError(ftpeNoError);
    SetReplyState(ReplyState::Idle);
}

void TStarFtp::DetectServerType(const std::string& reply) {
    ServerType = ftpstDefault;
    if (reply[0] == '5') return;
    std::string text = reply.size() > 4 ? reply.substr(4, 99) : std::string();
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const auto has = [&text](const char* word) { return text.find(word) != std::string::npos; };
    // Later words win over earlier ones.
    if (has("UNIX")) ServerType = ftpstUNIX;
    if (has("CLIX")) ServerType = ftpstClix;
    if (has("ULTRIX")) ServerType = ftpstULTRIX;
    if (has("MVS")) ServerType = ftpstMVS;
    if (has("QVT")) ServerType = ftpstQVT;
    if (has("NCSA")) ServerType = ftpstNCSA;
    if (has("CHAMELEON")) ServerType = ftpstChameleon;
    if (has("VMS"))
        ServerType = has("MULTINET") ? ftpstVmsMultinet : ftpstVmsUcx;
    else if (has("VM"))
        ServerType = has("VPS") ? ftpstVMVPS : ftpstVM;
}

// ---- Listing and storing ----------------------------------------------------------------------

void TStarFtp::GetListing() {
    if (!BeginOperation()) return;
    pendingEvent_ = peListingDone;
    listingPath_ = ListingPath;
    if (HoldsLineBreak(listingPath_)) {
        // It would carry a second command: nothing is listed.
        success_ = false;
        PostReady();
        return;
    }
    SetPhase(TransferPhase::Preparing);
    // A folder named by its path needs no PWD: the server's answer would not name it.
    if (listingPath_.empty())
        AskDirectory();
    else if (!SendType('A', ReplyState::ListType))
        ListingTypeSet();
}

void TStarFtp::StoreFile() {
    // Busy first: a refused call must not touch the running operation's outcome or event.
    if (busy_) {
        Info(ftpiBusy, "");
        return;
    }
    success_ = true;
    pendingEvent_ = peFileStored;
    errorCode_ = ftpeNoError;
    if (!controlConnected_) {
        // Nothing was stored: the owner must not count the file as sent.
        success_ = false;
        Info(ftpiNotConnected, "");
        PostReady();
        return;
    }
    busy_ = true;
    // A line break would smuggle a second command behind STOR.
    if (RemoteFile.empty() || HoldsLineBreak(RemoteFile)) {
        ResetCounts();
        ReportError(ftpeNoRemoteFile);
        PostReady();
        return;
    }
    OpenStore();
}

// One attempt of the store: the first, or the one under the final name after a refused rename.
void TStarFtp::OpenStore() {
    success_ = true;
    ResetCounts();
    tempStore_ = UseTempName;
    storeName_ = tempStore_ ? TemporaryName(RemoteFile) : RemoteFile;
    storAccepted_ = storeCancelled_ = storSent_ = false;
    CloseLocalFile();
    // Non-blocking, so that a FIFO cannot hang the open; only a regular file is sent.
    if (!LocalFile.empty())
        localFile_ = ::open(LocalFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (localFile_ < 0 || ::fstat(localFile_, &info) != 0 || !S_ISREG(info.st_mode)) {
        CloseLocalFile();
        ReportError(ftpeLocalFileOpen);
        FinishStore(false);
        return;
    }
    localSize_ = info.st_size;
    localModified_ = info.st_mtime;
    keptTime_.reset();
    // A text is read whole first: it fails before a byte of it is sent when it cannot be
    // converted. Binary stores read nothing twice.
    textCheck_ = CheckTextFile(localFile_, TransferMode);
    if (ChecksText(TransferMode)) {
        const bool utf8 = textCheck_.Source == TTextSource::Utf8;
        Info(ftpiTextSource, !utf8 ? "Shift_JIS" : textCheck_.Bom ? "UTF-8 BOM" : "UTF-8");
    }
    if (!textCheck_.Ok) {
        CloseLocalFile();
        ReportError(textCheck_.Line > 0 ? ftpeTextNotConvertible : ftpeLocalFileRead);
        FinishStore(false);
        return;
    }
    SetPhase(TransferPhase::Preparing);
    if (!SendType(TransferMode == AsciiTransfer ? 'A' : 'I', ReplyState::StoreType)) StoreTypeSet();
}

// A type the server has accepted stays in force for the connection (RFC 959): the files of a run
// and the listings between them send it only when it changes.
bool TStarFtp::SendType(char type, ReplyState next) {
    if (typeInForce_ == type) return false;
    typeAsked_ = type;
    typeInForce_ = 0;
    IssueCommand(std::string("TYPE ") + type, next);
    return true;
}

void TStarFtp::TypeAnswered(char kind) {
    typeInForce_ = kind == '2' ? typeAsked_ : 0;
}

// TYPE A, when due, goes out behind PWD: PWD's answer changes nothing of it. Not when the server
// may lack PWD, whose refusal would end the listing with TYPE's reply still due.
void TStarFtp::AskDirectory() {
    if (oneAtATime_ || !PWDImplemented || typeInForce_ == 'A') {
        IssueCommand("PWD", ReplyState::ListDirectory);
        return;
    }
    if (!SendAhead("PWD")) return;
    SendType('A', ReplyState::ListDirectoryType);
}

void TStarFtp::OnListDirectory(const std::string& line) {
    // With TYPE out, a cancel is carried out at its reply.
    const bool typeOut = replyState_ == ReplyState::ListDirectoryType;
    if (!typeOut && CancelledBeforeCommand()) return;
    if (line[0] == '2') {
        InitialDirectory = QuotedDirectory(line);
        if (utf8Names_) utf8Directory_ = InitialDirectory;
        if (typeOut)
            SetReplyState(ReplyState::ListType);
        else if (!SendType('A', ReplyState::ListType))
            ListingTypeSet();
    } else if (PWDImplemented) {
        FatalError(ftpeCommandFailed);
    } else {
        // The server cannot say where it is: the listing is skipped.
        TransferComplete();
    }
}

void TStarFtp::OnListType(char kind) {
    TypeAnswered(kind);
    if (CancelledBeforeCommand()) return;
    if (kind != '2')
        FatalError(ftpeCommandFailed);
    else
        ListingTypeSet();
}

// A server known to answer PORT at once gets LIST behind it: a refused PORT ends the session
// before anything is listed.
void TStarFtp::ListingTypeSet() {
    if (PassiveMode)
        SendPassive(true);
    else
        SendPort(portAtOnce_ && !oneAtATime_ ? ReplyState::ListPortAhead : ReplyState::ListPort);
}

void TStarFtp::OnStoreType(char kind) {
    TypeAnswered(kind);
    if (CancelledBeforeCommand()) return;
    if (kind != '2')
        FatalError(ftpeCommandFailed);
    else
        StoreTypeSet();
}

// STOR waits for the reply to PORT: a server may open the data connection before it answers PORT
// (pyftpdlib does), and answer a STOR that came meanwhile first, out of order. A server known to
// answer PORT at once, which has taken one on this connection, takes the next one as well: STOR
// goes out behind it. Only under a temporary name, since a server that refuses the PORT after all
// may still create the file STOR names.
void TStarFtp::StoreTypeSet() {
    if (PassiveMode)
        SendPassive(false);
    else
        SendPort(portAtOnce_ && !oneAtATime_ && portTaken_ && tempStore_
                     ? ReplyState::StorePortAhead
                     : ReplyState::StorePort);
}

void TStarFtp::OnListPort(char kind) {
    if (CancelledBeforeCommand()) return;
    if (kind != '2') {
        FatalError(ftpeCommandFailed);
        return;
    }
    portTaken_ = true;
    StartListing();
}

// LIST is out already, and a cancel meanwhile has gone to it as ABOR.
void TStarFtp::OnListPortAhead(char kind) {
    if (kind != '2') {
        FatalError(ftpeCommandFailed);
        return;
    }
    portTaken_ = true;
    SetReplyState(MlsdListing ? ReplyState::Mlsd : ReplyState::List);
}

// LIST goes out. Its lines come on the data connection that the server opens to our listener, or
// on the one we have opened already (passive), whose lines count from now.
void TStarFtp::StartListing(bool portAhead) {
    const bool opened = dataSocket_.Connected();
    dataSocket_.OnSocketRead = [this](TStarSocket&) { ReceiveListing(); };
    dataSocket_.OnSocketClose = [this](TStarSocket&) { ListingEnded(); };
    dataSocket_.OnSocketWrite = nullptr;
    ListingLines.clear();
    FileNames.clear();
    DirectoryNames.clear();
    listState_ = TListState();
    MlsdListing = UseMlsd && !mlsdRefused_;
    TransferCommandSent(portAhead     ? ReplyState::ListPortAhead
                        : MlsdListing ? ReplyState::Mlsd
                                      : ReplyState::List,
                        [this](TStarSocket&) { ListingAccepted(); });
    if (opened && phase_ == TransferPhase::Waiting) ListingStarted();
}

void TStarFtp::OnList(const std::string& line) {
    if (OnAbortReply(line)) return;
    // Nothing else is due once the final reply is in (ABOR's replies are taken above).
    if (line[0] == '1' || phase_ == TransferPhase::ReplyFirst) return;
    if (line[0] == '2') {
        FinalReply();
        return;
    }
    if (replyState_ == ReplyState::Mlsd && line[0] == '5') {
        MlsdRefused();
        return;
    }
    CloseData();
    FatalError(ftpeCommandFailed);
}

// A server may announce MLST and still refuse MLSD (in some folders, or at all): the listing is
// taken again with LIST over a new data connection.
void TStarFtp::MlsdRefused() {
    Info(ftpiLogNote, "The server refused MLSD; listing with LIST");
    mlsdRefused_ = true;
    MlsdListing = false;
    CloseData();
    SetPhase(TransferPhase::Preparing);
    if (PassiveMode)
        SendPassive(true);
    else
        SendPort(ReplyState::ListPort);
}

void TStarFtp::OnStorePort(char kind) {
    if (CancelledBeforeCommand()) return;
    if (kind != '2') {
        FatalError(ftpeCommandFailed);
        return;
    }
    portTaken_ = true;
    StartStore(ReplyState::Store);
}

// STOR is out already, and a cancel meanwhile has gone to it as ABOR.
void TStarFtp::OnStorePortAhead(char kind) {
    storSent_ = true;
    if (kind != '2') {
        FatalError(ftpeCommandFailed);
        return;
    }
    SetReplyState(ReplyState::Store);
}

// STOR goes out. The file follows on the data connection that the server opens to our listener,
// or on the one we have opened already (passive), once the server has accepted STOR.
void TStarFtp::StartStore(ReplyState state) {
    dataSocket_.OnSocketRead = nullptr;
    dataSocket_.OnSocketWrite = nullptr;
    dataSocket_.OnSocketClose = [this](TStarSocket&) { StoreServerClosed(); };
    TransferCommandSent(state, [this](TStarSocket&) { UploadAccepted(); });
}

void TStarFtp::OnStore(const std::string& line) {
    if (OnAbortReply(line)) return;
    if (line[0] == '1') {
        storAccepted_ = true;
        // Sent from the event loop, as an accept event would start it, not inside this reply.
        if (phase_ == TransferPhase::Waiting && dataSocket_.Connected()) Post(WM_FTPSEND);
        return;
    }
    // Nothing else is due once the final reply is in (ABOR's replies are taken above).
    if (phase_ == TransferPhase::ReplyFirst) return;
    if (line[0] == '2') {
        storAccepted_ = true;
        FinalReply();
        return;
    }
    CloseData();
    CloseLocalFile();
    Info(ftpiCommandFailed, "");
    success_ = false;
    // The type stays in force by the rules, but a failed transfer is no time to rely on that.
    typeInForce_ = 0;
    TransferComplete();
}

// The two sides of a transfer end in either order; whichever is second completes it.
void TStarFtp::FinalReply() {
    if (phase_ == TransferPhase::DataFirst)
        TransferComplete();
    else
        SetPhase(TransferPhase::ReplyFirst);
}

void TStarFtp::DataDone() {
    if (phase_ == TransferPhase::ReplyFirst)
        TransferComplete();
    else if (phase_ == TransferPhase::Waiting || phase_ == TransferPhase::Moving)
        SetPhase(TransferPhase::DataFirst);
}

void TStarFtp::TransferComplete() {
    if (StoreInHand()) {
        ChangeState(ReplyState::StoreEnded, TransferPhase::None);
        StoreTransferEnded();
        return;
    }
    ChangeState(ReplyState::Idle, TransferPhase::Done);
    PostReady();
}

// ---- End of a session -------------------------------------------------------------------------

// The operation in hand has ended or was given up: QUIT, then the server's 221 or its close.
void TStarFtp::ContinueEnding() {
    CloseData();
    CloseLocalFile();
    SetPhase(TransferPhase::None);
    aborWait_->stop();
    if (ControlLost()) {
        FinishEnding();
        return;
    }
    // QUIT has gone out already (Quit, or a refused login).
    if (replyState_ == ReplyState::Quit) {
        SetReplyState(ReplyState::EndQuit);
        return;
    }
    IssueCommand("QUIT", ReplyState::EndQuit);
}

// The one quit notification of EndSession: the server has answered QUIT or closed, or the grace
// time is over (then the connection is closed here).
void TStarFtp::FinishEnding() {
    if (ending_ != Ending::Running) return;
    ending_ = Ending::Done;
    endTimer_->stop();
    aborWait_->stop();
    CloseAll();
    controlConnected_ = false;
    SetReplyState(ReplyState::Idle);
    Post(WM_FTPQUIT);
}
