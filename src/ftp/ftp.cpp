#include "ftp/ftp.h"

#include "kanji/jconvert.h"
#include "kanji/jstrm.h"

#include <QCoreApplication>

#include <array>
#include <cstring>

namespace {

// Private notifications, posted so that they run after the handler that detected the completion.
constexpr unsigned WM_FTPQUIT = WM_USER + 2;
constexpr unsigned WM_FTPREADY = WM_USER + 4;

constexpr int kReadBlock = 2048;

struct SocketFailure {
    FtpError code;
    const char* text;
};

// Windows Sockets number -> the component's error code and the text passed with it.
SocketFailure MapSocketError(std::uint16_t error) {
    switch (error) {
    case 10093:
        return {ftpeWinsockNotInitialized, "Winsock not initialized"};
    case 10050:
        return {ftpeNetworkDown, "Network down"};
    case 10013:
        return {ftpeInvalidAddress, "Invalid address specified"};
    case 10004:
    case 10014:
    case 10022:
    case 10036:
    case 10038:
    case 10040:
    case 10045:
    case 10047:
    case 10048:
    case 10056:
    case 10057:
    case 10058:
        return {ftpeInternal, "Unexpected internal error in component"};
    case 10052:
    case 10055:
        return {ftpeGeneralWinsock, "General Winsock Error"};
    case 10053:
        return {ftpeConnectionAborted, "Connection aborted due to timeout or other failure"};
    case 10054:
        return {ftpeConnectionReset, "Connection reset by remote side"};
    case 10060:
        return {ftpeTimeOut, "timeout"};
    case 10024:
        return {ftpeOutOfSockets, "Out of sockets"};
    case 10051:
        return {ftpeNetworkUnreachable, "Network unreachable"};
    case 10049:
        return {ftpeAddressNotAvailable, "Address not available"};
    case 10061:
        return {ftpeConnectionRefused, "Connection Refused"};
    case 11001:
    case 11002:
    case 11003:
    case 11004:
        return {ftpeAddressResolution, "Address resolution error"};
    case 10065:
        return {ftpeHostUnreachable, "Host Unreachable"};
    default:
        return {ftpeUnknown, "Unknown Error"};
    }
}

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

} // namespace

TStarFtp::TStarFtp() : Version("TFtp 1.4.2") {
    OnMessage = [this](TSocketMessage& message) { Notification(message); };
    listener_.StartWinsock();
    dataSocket_.StartWinsock();
}

TStarFtp::~TStarFtp() {
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

void TStarFtp::Login() {
    if (busy_) {
        Info(ftpiBusy, "");
        return;
    }
    OnTimeOut = [this](TStarSocket&) { FatalError(ftpeTimeOut); };
    errorCode_ = ftpeNoError;
    success_ = true;
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

    multiLine_ = false;
    multiLineCode_.clear();
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
    UseResolvedAddress();
    SetPort(FtpPort);
    // Kept, so that the next login of this instance connects without a new lookup.
    ServerAddress = GetAddressText();
    Info(ftpiResolved, ServerAddress);
    Connect();
    CheckSocketError();
}

void TStarFtp::ChangeDirectory(const std::string& directory) {
    // Set before the checks: a refused call still decides the next completion event.
    success_ = true;
    pendingEvent_ = peDirectoryChanged;
    if (!controlConnected_) {
        Info(ftpiNotConnected, "");
        return;
    }
    if (busy_) {
        Info(ftpiBusy, "");
        return;
    }
    errorCode_ = ftpeNoError;
    busy_ = true;
    InitialDirectory = directory;
    if (!IssueCommand("CWD " + directory, ReplyState::ChangeDirectory)) DirectoryChanged(false);
}

void TStarFtp::Quit() {
    if (!controlConnected_) {
        Info(ftpiNotConnected, "");
        return;
    }
    if (busy_) {
        Info(ftpiBusy, "");
        return;
    }
    errorCode_ = ftpeNoError;
    busy_ = true;
    IssueCommand("QUIT", ReplyState::Quit);
}

// ---- Control connection -----------------------------------------------------------------------

void TStarFtp::SocketConnected() {
    if (CheckSocketError()) return;
    SetReplyState(ReplyState::Greeting);
    Info(ftpiConnected, ServerAddress);
    controlConnected_ = true;
    partialLine_.clear();
    inReplyHandler_ = false;
}

void TStarFtp::SocketClosed() {
    Info(ftpiNotConnected, "Disconnected");
    PostReady();
    PostMessage(WM_FTPQUIT);
    controlConnected_ = false;
}

bool TStarFtp::SendCommand(const std::string& text) {
    if (HoldsLineBreak(text)) return false;
    std::string line = text + "\r\n";
    if (TransferMode == textJIS) line = SjisToJis(line);
    if (TransferMode == textEUC) line = ConvertLineEnd(SjisToEuc(line), leLF);
    if (shutDown_) return true;
    Info(ftpiSent, line);
    while (!line.empty()) {
        // Replies, ticks and the user's input are handled between the attempts.
        QCoreApplication::processEvents();
        if (ControlLost()) return true;
        const int sent = Send(line.data(), static_cast<int>(line.size()));
        line.erase(0, static_cast<std::size_t>(sent));
        if (CheckSocketError()) return true;
    }
    return true;
}

bool TStarFtp::IssueCommand(const std::string& text, ReplyState next) {
    if (!SendCommand(text)) return false;
    SetReplyState(next);
    return true;
}

void TStarFtp::ReadControlData() {
    // A read event inside the interpretation of a line leaves the data to the loop below.
    if (inReplyHandler_ || shutDown_) return;
    char buffer[kReadBlock + 1];
    for (;;) {
        const int got = Receive(buffer, kReadBlock);
        buffer[got] = '\0';
        std::string text(buffer, std::strlen(buffer));
        if (TransferMode == textJIS) text = JisToSjis(text);
        if (TransferMode == textEUC) text = EucToSjis(text);
        if (CheckSocketError()) return;
        Info(ftpiReceived, text);
        if (text.empty()) return;

        text.insert(0, partialLine_);
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            inReplyHandler_ = true;
            HandleReply(text.substr(start, end - start));
            inReplyHandler_ = false;
            // A fatal reply closed the connection: nothing more to read.
            if (ControlLost()) return;
        }
        partialLine_ = text.substr(start);
        if (partialLine_.size() > MaxReplyLine) {
            partialLine_.clear();
            FatalError(ftpeConnectionAborted);
            return;
        }
    }
}

// ---- Reply interpreter ------------------------------------------------------------------------

void TStarFtp::HandleReply(const std::string& line) {
    if (line.empty()) return;
    // Inside a multi-line reply only its final line ("ccc ") counts.
    if (multiLine_ && line.compare(0, 4, multiLineCode_ + ' ') != 0) return;
    if (line.size() >= 4 && line[3] == '-') {
        multiLine_ = true;
        multiLineCode_ = line.substr(0, 3);
        return;
    }
    multiLine_ = false;
    multiLineCode_.clear();

    const char kind = line[0];
    switch (replyState_) {
    case ReplyState::Greeting:
        OnGreeting(kind);
        break;
    case ReplyState::User:
        OnUser(kind);
        break;
    case ReplyState::Password:
        OnPassword(kind);
        break;
    case ReplyState::Account:
        OnAccount(kind);
        break;
    case ReplyState::System:
        OnSystem(line);
        break;
    case ReplyState::LoginDirectory:
        OnLoginDirectory(kind);
        break;
    case ReplyState::ChangeDirectory:
        OnChangeDirectory(kind);
        break;
    case ReplyState::Quit:
        OnQuit(kind);
        break;
    case ReplyState::Idle:
        break;
    }
}

void TStarFtp::OnGreeting(char kind) {
    if (kind != '2') {
        FatalError(ftpeServerNotReady);
        return;
    }
    if (UserName.empty()) Need(ftpnUserName, UserName);
    if (!IssueCommand("USER " + UserName, ReplyState::User)) LoginRefused();
}

void TStarFtp::OnUser(char kind) {
    if (kind == '2') {
        IssueCommand("SYST", ReplyState::System);
    } else if (kind == '3') {
        if (UserPassword.empty()) Need(ftpnUserPassword, UserPassword);
        if (!IssueCommand("PASS " + UserPassword, ReplyState::Password)) LoginRefused();
    } else {
        LoginRefused();
    }
}

void TStarFtp::OnPassword(char kind) {
    if (kind == '2') {
        IssueCommand("SYST", ReplyState::System);
    } else if (kind == '3') {
        if (UserAccount.empty()) Need(ftpnUserAccount, UserAccount);
        if (!IssueCommand("ACCT " + UserAccount, ReplyState::Account)) LoginRefused();
    } else {
        LoginRefused();
    }
}

void TStarFtp::OnAccount(char kind) {
    if (kind == '2')
        IssueCommand("SYST", ReplyState::System);
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
    if (kind != '2') Info(ftpiCommandFailed, "");
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

// OnDirectoryChanged follows either way; the owner tests Success.
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

// ---- Errors and notifications -----------------------------------------------------------------

bool TStarFtp::CheckSocketError() {
    if (shutDown_) return false;
    if (LastError() == 0) {
        errorCode_ = ftpeNoError;
        return false;
    }
    const SocketFailure failure = MapSocketError(LastError());
    errorCode_ = failure.code;
    FatalError(failure.code, failure.text);
    ShutDown();
    return true;
}

void TStarFtp::CloseAll() {
    dataSocket_.CloseSocket();
    listener_.CloseSocket();
    CloseSocket();
}

void TStarFtp::FatalError(FtpError code, const std::string& addinfo) {
    if (shutDown_) return;
    CloseAll();
    controlConnected_ = false;
    success_ = false;
    errorCode_ = code;
    if (OnFtpError) OnFtpError(*this, code, addinfo);
    PostMessage(WM_FTPQUIT);
}

void TStarFtp::ReportError(FtpError code) {
    success_ = false;
    errorCode_ = code;
    if (OnFtpError) OnFtpError(*this, code, "Error");
}

void TStarFtp::ShutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    CloseAll();
    PostMessage(WM_FTPQUIT);
}

void TStarFtp::PostReady() {
    PostMessage(WM_FTPREADY);
}

void TStarFtp::Notification(const TSocketMessage& message) {
    if (message.Msg == WM_FTPQUIT) {
        busy_ = false;
        if (OnFtpQuit) OnFtpQuit(*this);
        return;
    }
    if (message.Msg != WM_FTPREADY) return;
    busy_ = false;
    // Taken before OnFtpReady, so that an operation the owner starts there keeps its own event.
    const PendingCompletion completion = pendingEvent_;
    pendingEvent_ = peNone;
    if (OnFtpReady) OnFtpReady(*this);
    const std::array<const TNotifyEvent*, 10> events = {nullptr,
                                                        &OnLoggedIn,
                                                        &OnDirectoryChanged,
                                                        &OnDirectoryCreated,
                                                        &OnDirectoryDeleted,
                                                        &OnFileDeleted,
                                                        &OnFileReceived,
                                                        &OnFileStored,
                                                        &OnListingDone,
                                                        &OnFileRenamed};
    const TNotifyEvent* event = events[completion];
    if (event && *event) (*event)(*this);
}
