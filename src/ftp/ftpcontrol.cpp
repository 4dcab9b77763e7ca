// The control connection of TStarFtp: its connect and close, commands going out, replies coming
// in (framed by TReplyReader, then converted from the transfer code), and the errors and posted
// notifications through which every operation ends.
#include "ftp/ftp.h"
#include "ftp/ftpshared.h"

#include "kanji/jconvert.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>

using namespace ftpshared;

namespace {

constexpr int kReadBlock = 2048;

// How long a command may wait for the control socket to take it when no time-out is set.
constexpr int kSendWaitSeconds = 60;

} // namespace

void TStarFtp::SocketConnected() {
    if (CheckSocketError()) return;
    SetReplyState(ReplyState::Greeting);
    // Of the addresses of the name, the one that answered.
    if (!ServerHostName.empty()) ServerAddress = GetAddressText();
    Info(ftpiConnected, ServerAddress);
    controlConnected_ = true;
    // Commands sent together (MFMT and SIZE, RNFR and RNTO) must travel together: otherwise the
    // second waits until the server acknowledges the first, which most do only with their reply.
    SetNoDelay();
    // A new connection starts in the server's default type and may reach us at another address,
    // whatever the one before did.
    typeInForce_ = 0;
    portTaken_ = false;
    localAddress_.clear();
    reader_.Reset();
    inReplyHandler_ = false;
    // A server that takes the connection and never greets must not hold the session for ever.
    ArmReplyTimer();
}

void TStarFtp::SocketClosed() {
    if (ending_ != Ending::No) {
        FinishEnding();
        return;
    }
    // An operation cut off by the close did not succeed (a closed QUIT is how QUIT ends).
    if (replyState_ != ReplyState::Idle && replyState_ != ReplyState::Quit) success_ = false;
    if (phase_ != TransferPhase::None && phase_ != TransferPhase::Done) success_ = false;
    CloseData();
    CloseLocalFile();
    SetPhase(TransferPhase::None);
    SetReplyState(ReplyState::Idle);
    aborWait_->stop();
    Info(ftpiNotConnected, "Disconnected");
    PostReady();
    PostQuit();
    controlConnected_ = false;
}

bool TStarFtp::SendCommand(const std::string& text) {
    if (HoldsLineBreak(text)) return false;
    // Every command ends in CR LF, in every code: servers that wait for it never answer a bare LF.
    const std::string line = ToWire(text + "\r\n");
    if (shutDown_) return true;
    // Written at once when the socket takes it, so that sending a command runs no handler; only a
    // full socket buffer waits, with the event queue running, and not beyond the time-out. The
    // notice follows the first write: the owner's log of it must not hold the command back.
    const std::int64_t deadline = SendDeadline();
    const std::uint32_t session = session_;
    std::size_t done = 0;
    const auto sendRest = [&] {
        done += static_cast<std::size_t>(
            Send(line.data() + done,
                 static_cast<int>(std::min<std::size_t>(line.size() - done, 1 << 30))));
    };
    if (!ControlLost()) sendRest();
    Info(ftpiSent, line);
    // The notice's handler may have ended the session.
    while (session == session_ && !ControlLost()) {
        if (CheckSocketError() || done == line.size()) return true;
        if (!WaitControlWritable(deadline)) {
            SendTimedOut();
            return true;
        }
        sendRest();
    }
    return true;
}

// A command may wait for the socket as long as for a reply; while EndSession runs, no longer than
// its grace time.
std::int64_t TStarFtp::SendDeadline() const {
    const std::int64_t deadline =
        NowMs() + 1000LL * (TimeOutConnect > 0 ? TimeOutConnect : kSendWaitSeconds);
    return ending_ == Ending::Running ? std::min(deadline, endDeadline_) : deadline;
}

void TStarFtp::SendTimedOut() {
    if (ending_ == Ending::Running)
        FinishEnding();
    else
        FatalError(ftpeTimeOut);
}

// False when the deadline passed first. True also when the connection was lost meanwhile.
bool TStarFtp::WaitControlWritable(std::int64_t deadline) {
    QSocketNotifier writable(Socket(), QSocketNotifier::Write);
    bool ready = false;
    QObject::connect(&writable, &QSocketNotifier::activated, [&] {
        ready = true;
        writable.setEnabled(false);
    });
    // Wakes the wait below when nothing else happens; WaitForMoreEvents has no time limit.
    QTimer wake;
    wake.setSingleShot(true);
    const std::uint32_t session = session_;
    while (!ready) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0) return false;
        wake.start(static_cast<int>(std::min<std::int64_t>(left, 100)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (session != session_ || ControlLost()) return true;
    }
    return true;
}

bool TStarFtp::IssueCommand(const std::string& text, ReplyState next) {
    if (!SendCommand(text)) return false;
    SetReplyState(next);
    return true;
}

bool TStarFtp::SendAhead(const std::string& text) {
    return SendCommand(text) && !ControlLost();
}

void TStarFtp::ReadControlData() {
    // A read event inside the interpretation of a line leaves the data to the loop below.
    if (inReplyHandler_ || shutDown_) return;
    const std::uint32_t session = session_;
    char buffer[kReadBlock];
    for (;;) {
        const int got = Receive(buffer, kReadBlock);
        if (CheckSocketError()) return;
        const std::string_view bytes(buffer, static_cast<std::size_t>(got));
        // The log shows each read as it came; the interpreter gets whole lines.
        Info(ftpiReceived, FromWire(bytes));
        if (session != session_ || ControlLost()) return;
        if (got == 0) break;
        // Framed on the bytes as read: a NUL is a byte of a line like any other, and a character
        // of the JIS or EUC code split over two reads is converted only once it is whole.
        if (!reader_.Feed(bytes)) {
            FatalError(ftpeConnectionAborted);
            return;
        }
        TReplyLine line;
        while (reader_.Next(line)) {
            line.text = FromWire(line.text);
            inReplyHandler_ = true;
            TakeReply(line);
            inReplyHandler_ = false;
            // A fatal reply closed the connection: nothing more to read.
            if (session != session_ || ControlLost()) return;
        }
        // A short read has emptied the socket: what comes later brings its own read event, and
        // asking again now would only cost a call that finds nothing. The event still ends with
        // the empty read's notice.
        if (got < kReadBlock && !Tls()) {
            Info(ftpiReceived, FromWire({}));
            if (session != session_ || ControlLost()) return;
            break;
        }
    }
    // The socket stops the countdown whenever bytes come; a reply still due starts it again.
    ArmReplyTimer();
}

// The directory is the one text the owner gave before the code was known.
void TStarFtp::NamesInUtf8(bool on) {
    utf8Names_ = on;
    const bool alreadyUtf8 = !utf8Directory_.empty() && InitialDirectory == utf8Directory_;
    if (on && !alreadyUtf8)
        InitialDirectory = SystemToUtf8(InitialDirectory).value_or(InitialDirectory);
    else if (!on && alreadyUtf8)
        InitialDirectory = Utf8ToSystem(InitialDirectory).value_or(InitialDirectory);
    utf8Directory_ = on ? InitialDirectory : std::string();
}

TTransferType TStarFtp::WireCode() const {
    if (utf8Names_ || NameCode == ncSjis) return BinaryTransfer;
    return TransferMode;
}

std::string TStarFtp::ToWire(const std::string& line) const {
    switch (WireCode()) {
    case textJIS:
        return SjisToJis(line);
    case textEUC:
        return SjisToEuc(line);
    case textUTF8:
        return SystemToUtf8(line).value_or(line);
    default:
        return line;
    }
}

// Control text in the owner's code: the system's, or UTF-8 once the names are.
std::string TStarFtp::FromWire(std::string_view bytes) const {
    switch (WireCode()) {
    case textJIS:
        return JisToSjis(bytes);
    case textEUC:
        return EucToSjis(bytes);
    case textUTF8:
        return IconvConvert("CP932", "UTF-8", bytes, "?").value_or(std::string(bytes));
    default:
        return std::string(bytes);
    }
}

void TStarFtp::TakeReply(const TReplyLine& line) {
    if (replyState_ == ReplyState::Greeting) {
        oneAtATime_ = oneAtATime_ || TakesOneCommandAtATime(line.text);
        portAtOnce_ = portAtOnce_ || AnswersPortAtOnce(line.text);
    }
    if (!line.final) {
        if (replyState_ == ReplyState::Feat) featureLines_.push_back(line.text);
        return;
    }
    // The clean-up after a failed store must not hide the reply that failed it.
    if (!DeletingTemp() && !SyncingAbort()) lastReply_ = line.text;
    HandleReply(line.text);
}

bool TStarFtp::CheckSocketError() {
    if (shutDown_) return false;
    if (LastError() == 0) {
        errorCode_ = ftpeNoError;
        return false;
    }
    const TSocketFailure failure = MapSocketError(LastError());
    errorCode_ = failure.code;
    const std::uint32_t session = session_;
    FatalError(failure.code, failure.text);
    // Unless the error's handler has started a new session already.
    if (session == session_) ShutDown();
    return true;
}

void TStarFtp::CloseAll() {
    CloseData();
    CloseLocalFile();
    CloseSocket();
    SetPhase(TransferPhase::None);
}

// While EndSession runs, a failure only ends the session sooner: no error is reported.
void TStarFtp::FatalError(FtpError code, const std::string& addinfo) {
    if (ending_ != Ending::No) {
        FinishEnding();
        return;
    }
    if (shutDown_) return;
    CloseAll();
    controlConnected_ = false;
    success_ = false;
    aborWait_->stop();
    errorCode_ = code;
    // Posted for this session, also when the handler logs in again.
    const std::uint32_t session = session_;
    if (OnFtpError) OnFtpError(*this, code, addinfo);
    PostMessage(WM_FTPQUIT, session);
}

void TStarFtp::ReportError(FtpError code) {
    success_ = false;
    errorCode_ = code;
    if (ending_ != Ending::No) return;
    if (OnFtpError) OnFtpError(*this, code, "Error");
}

void TStarFtp::ShutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    CloseAll();
    PostQuit();
}

// Once EndSession runs, an operation's end leads on to QUIT instead of its completion event.
void TStarFtp::PostReady() {
    if (ending_ == Ending::Running) {
        ContinueEnding();
        return;
    }
    Post(WM_FTPREADY);
}

void TStarFtp::PostQuit() {
    if (ending_ != Ending::No) {
        FinishEnding();
        return;
    }
    Post(WM_FTPQUIT);
}

// Tagged with the session, so that a new session drops what an earlier one had posted.
void TStarFtp::Post(unsigned message) {
    PostMessage(message, session_);
}

void TStarFtp::Notification(const TSocketMessage& message) {
    if (message.WParam != static_cast<std::intptr_t>(session_)) return;
    if (message.Msg == WM_FTPACCEPT) {
        const TSocketEvent accepted = listener_.OnSocketAccept;
        if (listener_.Socket() >= 0 && accepted) accepted(listener_);
        return;
    }
    if (message.Msg == WM_FTPSEND) {
        // Unless an abort, a refusal or the server's close came first.
        if (phase_ == TransferPhase::Waiting && dataSocket_.Connected()) SendFile();
        return;
    }
    if (message.Msg == WM_FTPQUIT) {
        busy_ = false;
        if (ending_ == Ending::Done) ending_ = Ending::No;
        if (OnFtpQuit) OnFtpQuit(*this);
        return;
    }
    if (message.Msg != WM_FTPREADY) return;
    busy_ = false;
    if (phase_ == TransferPhase::Done) SetPhase(TransferPhase::None);
    // Taken before OnFtpReady, so that an operation the owner starts there keeps its own event.
    const PendingCompletion completion = pendingEvent_;
    pendingEvent_ = peNone;
    if (OnFtpReady) OnFtpReady(*this);
    const std::array<const TNotifyEvent*, 11> events = {nullptr,
                                                        &OnLoggedIn,
                                                        &OnDirectoryChanged,
                                                        &OnDirectoryCreated,
                                                        &OnDirectoryDeleted,
                                                        &OnFileDeleted,
                                                        &OnFileReceived,
                                                        &OnFileStored,
                                                        &OnListingDone,
                                                        &OnFileRenamed,
                                                        &OnFileTimeRead};
    const TNotifyEvent* event = events[completion];
    if (event && *event) (*event)(*this);
}
