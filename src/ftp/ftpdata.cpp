// The data connections of TStarFtp: opening them (PORT or EPRT and our listener, EPSV or PASV and
// our connect), taking a listing's lines off them, and the store's send loop.
#include "ftp/ftp.h"
#include "ftp/ftpshared.h"
#include "ftp/mlsd.h"

#include "net/sockerr.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <limits>

using namespace ftpshared;

// An abort before LIST or STOR went out ends the operation at the next reply, in step with the
// server, which never heard of the transfer.
bool TStarFtp::CancelledBeforeCommand() {
    if (phase_ != TransferPhase::Cancelled) return false;
    CloseData();
    CloseLocalFile();
    success_ = false;
    TransferComplete();
    return true;
}

// Without a listener the PORT would announce a port nobody answers on: the transfer fails here.
void TStarFtp::SendPort(ReplyState next) {
    std::string argument;
    if (!BuildPortArgument(argument)) {
        FatalError(ftpeDataConnection);
        return;
    }
    const std::string command = (AddressFamily() == AF_INET6 ? "EPRT " : "PORT ") + argument;
    if (next != ReplyState::StorePortAhead && next != ReplyState::ListPortAhead) {
        IssueCommand(command, next);
        return;
    }
    if (!SendAhead(command)) return;
    if (next == ReplyState::ListPortAhead)
        StartListing(true);
    else
        StartStore(ReplyState::StorePortAhead);
}

bool TStarFtp::BuildPortArgument(std::string& argument) {
    // A new listener for every transfer, on the address the server already reaches us at, which
    // stays the same for the connection.
    CloseData();
    if (localAddress_.empty()) localAddress_ = GetLocalAddress();
    listener_.ServerAddress = localAddress_;
    listingLines_.Reset();
    listener_.SetAddress(listener_.ServerAddress);
    listener_.SetPort(0);
    listener_.CreateSocket();
    if (listener_.LastError() == 0) listener_.Listen();
    if (listener_.LastError() != 0) {
        listener_.CloseSocket();
        return false;
    }
    std::string address;
    std::uint16_t port = 0;
    if (!listener_.GetLocalEndpoint(address, port) || address.empty() || port == 0) {
        listener_.CloseSocket();
        return false;
    }
    argument =
        AddressFamily() == AF_INET6 ? EprtArgument(address, port) : PortArgument(address, port);
    // Servers may connect as soon as PORT is accepted, before LIST or STOR has gone out: such a
    // connection waits until the command is sent.
    listener_.OnSocketAccept = [this](TStarSocket&) {
        if (phase_ == TransferPhase::Preparing) SetPhase(TransferPhase::EarlyConnection);
    };
    return true;
}

// EPSV first; PASV on IPv4 when the server refused EPSV before in this session.
void TStarFtp::SendPassive(bool list) {
    CloseData();
    listingLines_.Reset();
    if (!epsvRefused_)
        IssueCommand("EPSV", list ? ReplyState::ListEpsv : ReplyState::StoreEpsv);
    else
        IssueCommand("PASV", list ? ReplyState::ListPasv : ReplyState::StorePasv);
}

void TStarFtp::OnPassive(const std::string& line) {
    if (CancelledBeforeCommand()) return;
    const bool list = replyState_ == ReplyState::ListEpsv || replyState_ == ReplyState::ListPasv;
    const ReplyState connecting = list ? ReplyState::ListConnect : ReplyState::StoreConnect;
    // The address the control connection reached; EPSV names none, PASV may name a wrong one.
    const std::string peer = GetAddressText();
    if (replyState_ == ReplyState::ListEpsv || replyState_ == ReplyState::StoreEpsv) {
        const std::optional<std::uint16_t> port =
            line[0] == '2' ? ParseEpsvReply(line) : std::nullopt;
        if (port) {
            SetReplyState(connecting);
            ConnectData(peer, *port);
        } else if (AddressFamily() == AF_INET) {
            // Refused, or no port in the answer: PASV, for the rest of the session.
            epsvRefused_ = true;
            IssueCommand("PASV", list ? ReplyState::ListPasv : ReplyState::StorePasv);
        } else if (line[0] != '2') {
            FatalError(ftpeCommandFailed);
        } else {
            Info(ftpiDataConnection, "No port in the reply to EPSV");
            FatalError(ftpeDataConnection);
        }
        return;
    }
    if (line[0] != '2') {
        FatalError(ftpeCommandFailed);
        return;
    }
    const std::optional<TPassiveEndpoint> offered = ParsePasvReply(line);
    if (!offered) {
        Info(ftpiDataConnection, "No address in the reply to PASV");
        FatalError(ftpeDataConnection);
        return;
    }
    const std::string address = PassiveAddress(offered->address, peer);
    if (address != offered->address)
        Info(ftpiDataConnection, "PASV named " + offered->address +
                                     ", which cannot be reached from here; using the server's "
                                     "address " +
                                     address);
    SetReplyState(connecting);
    ConnectData(address, offered->port);
}

// Opens the passive data connection, within the profile's connect time-out.
void TStarFtp::ConnectData(const std::string& address, std::uint16_t port) {
    dataTarget_ = address + " port " + std::to_string(port);
    Info(ftpiDataConnection, "Data connection to " + dataTarget_);
    dataSocket_.OnSocketConnect = [this](TStarSocket&) { DataConnected(); };
    dataSocket_.OnTimeOut = [this](TStarSocket&) { DataConnectFailed("timeout"); };
    dataSocket_.TimeOutConnect = TimeOutConnect;
    dataSocket_.SetAddress(address);
    dataSocket_.SetPort(port);
    dataSocket_.CreateSocket();
    if (dataSocket_.LastError() == 0) dataSocket_.Connect();
    if (dataSocket_.LastError() != 0)
        DataConnectFailed(MapSocketError(dataSocket_.LastError()).text);
}

void TStarFtp::DataConnected() {
    if (dataSocket_.LastError() != 0) {
        DataConnectFailed(MapSocketError(dataSocket_.LastError()).text);
        return;
    }
    if (CancelledBeforeCommand()) return;
    if (replyState_ == ReplyState::ListConnect)
        StartListing();
    else if (replyState_ == ReplyState::StoreConnect)
        StartStore(ReplyState::Store);
}

// Nothing was sent for the transfer; the session ends as after any failed data connection. A
// transfer the user cancelled meanwhile just ends.
void TStarFtp::DataConnectFailed(const std::string& why) {
    if (CancelledBeforeCommand()) return;
    Info(ftpiDataConnection, "Data connection to " + dataTarget_ + " failed: " + why);
    FatalError(ftpeDataConnection);
}

// LIST or STOR has gone out: the accept handler takes over. A connection that came earlier is
// handed to it by a posted message, so that it runs from the event loop like any accept event and
// not inside the reply interpreter. An abort that came while the command was being sent is carried
// out now that the server knows of the transfer.
void TStarFtp::TransferCommandSent(ReplyState state, TSocketEvent acceptHandler) {
    const std::string folder = listingPath_.empty() ? std::string() : " " + listingPath_;
    const bool listing = state == ReplyState::List || state == ReplyState::Mlsd ||
                         state == ReplyState::ListPortAhead;
    const std::string command =
        !listing ? "STOR " + storeName_ : (MlsdListing ? "MLSD" : "LIST") + folder;
    if (!IssueCommand(command, state)) return;
    if (state == ReplyState::Store) storSent_ = true;
    if (ControlLost()) return;
    const TransferPhase before = phase_;
    SetPhase(TransferPhase::Waiting);
    listener_.OnSocketAccept = std::move(acceptHandler);
    if (before == TransferPhase::Cancelled) {
        Abort();
        return;
    }
    if (before == TransferPhase::EarlyConnection) Post(WM_FTPACCEPT);
}

void TStarFtp::CloseData() {
    if (listingStall_) listingStall_->stop();
    dataSocket_.CloseSocket();
    listener_.CloseSocket();
}

void TStarFtp::CloseLocalFile() {
    if (localFile_ >= 0) ::close(localFile_);
    localFile_ = -1;
    source_.Reset();
    writable_.reset();
}

std::int32_t TStarFtp::Elapsed() const {
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(NowMs() - startTick_, std::numeric_limits<std::int32_t>::max()));
}

void TStarFtp::ListingAccepted() {
    ++transferSerial_;
    dataSocket_.Accept(listener_);
    if (dataSocket_.LastError() != 0) {
        FatalError(ftpeDataConnection);
        return;
    }
    ListingStarted();
}

void TStarFtp::ListingStarted() {
    if (!DataSecured(&TStarFtp::ListingStarted)) return;
    listingBatched_ = false;
    if (phase_ == TransferPhase::Waiting) SetPhase(TransferPhase::Moving);
    BytesTransferred = 0;
    success_ = true;
    startTick_ = NowMs();
    ElapsedTime = 0;
    listingLines_.Reset();
}

// The data socket's read event during a listing.
void TStarFtp::ReceiveListing() {
    if (!listingBatched_ && BytesTransferred >= ListingReadThreshold) {
        listingBatched_ = true;
        dataSocket_.SetReadThreshold(ListingReadThreshold);
        if (!listingStall_) {
            listingStall_ = std::make_unique<QTimer>();
            listingStall_->setSingleShot(true);
            QObject::connect(listingStall_.get(), &QTimer::timeout,
                             [this] { ReadListingBlocks(); });
        }
    }
    if (listingBatched_) listingStall_->start(ListingStallWait);
    ReadListingBlocks();
}

// Takes what has arrived, a block at a time, up to ListingReadsPerEvent blocks before the event
// queue runs again: an event per block would cost a poll, a peek and two notifier changes for every
// 2 KiB of a big folder's listing.
void TStarFtp::ReadListingBlocks() {
    const std::uint32_t serial = transferSerial_;
    for (int i = 0; i < ListingReadsPerEvent; ++i) {
        // A short block has emptied the socket; a handler may have ended the listing.
        if (ReceiveListingBlock() < BlockSize) return;
        if (serial != transferSerial_ || dataSocket_.Socket() < 0) return;
    }
}

// One block of the listing; the bytes read, 0 when nothing could be read.
int TStarFtp::ReceiveListingBlock() {
    Listing = true;
    const int got = dataSocket_.Receive(buffer_, BlockSize);
    // Read errors end nothing here: the listing ends with the server's close.
    if (dataSocket_.LastError() != 0 || got <= 0) return 0;
    BytesTransferred += got;
    listingLines_.Feed(std::string_view(buffer_, static_cast<std::size_t>(got)));
    // LF ends a line, with or without a CR before it: some servers send their listings so.
    for (std::string line; listingLines_.Next(line);)
        TakeListingLine(line);
    if (listingLines_.Partial() > MaxListingLine) listingLines_.SkipPartial();
    return got;
}

void TStarFtp::TakeListingLine(const std::string& line) {
    // One line the owner's handlers choke on must not cost the rest of the listing.
    try {
        ElapsedTime = Elapsed();
        Info(ftpiProgress, line);
        ListingLines.push_back(line);
        Info(ftpiListingLine, line);
        if (MlsdListing) {
            if (const std::optional<TMlsdEntry> entry = ParseMlsdLine(line))
                (entry->IsDirectory ? DirectoryNames : FileNames).push_back(entry->Name);
            return;
        }
        std::string name, size, date;
        bool isDirectory = false;
        if (ParseListLine(ServerType, line, name, size, date, isDirectory, listState_))
            (isDirectory ? DirectoryNames : FileNames).push_back(name);
    } catch (const std::exception&) {
    }
}

// The close event comes only once no byte is left to read; a last line without line end is
// dropped.
void TStarFtp::ListingEnded() {
    CloseData();
    // An abort has ended the data side already.
    if (Aborting()) return;
    ElapsedTime = Elapsed();
    Info(ftpiListingReady, "Listing ready");
    Info(ftpiTransferDone, "Transfer done");
    Listing = false;
    DataDone();
}

// The file goes once the server has answered STOR as well: a server that connected at PORT may
// not have read STOR yet, and one such (pyftpdlib) drops a data connection that carries bytes
// before its transfer began. When the answer comes later, OnStore starts the send.
void TStarFtp::UploadAccepted() {
    dataSocket_.Accept(listener_);
    if (dataSocket_.LastError() != 0) {
        FatalError(ftpeDataConnection);
        return;
    }
    if (storAccepted_) SendFile();
}

// Runs inside an event (the accept, or the server's answer to STOR) and sends the whole file from
// there. Many blocks go to one send call; when the socket takes nothing the loop waits for it
// inside the event queue, and the queue runs at least every PumpInterval, so replies, the cancel
// button and the server's close are handled meanwhile.
void TStarFtp::SendFile() {
    if (!DataSecured(&TStarFtp::SendFile)) return;
    const std::uint32_t serial = ++transferSerial_;
    if (phase_ == TransferPhase::Waiting) SetPhase(TransferPhase::Moving);
    Listing = false;
    BytesTransferred = 0;
    startTick_ = NowMs();
    ElapsedTime = 0;
    // Binary bytes go out as they are: the kernel moves them from the file, unless TLS must
    // encrypt them on their way.
    kernelSend_ = TransferMode == BinaryTransfer && !dataSocket_.Tls();
    fileOffset_ = 0;
    // A server on this host reads straight from our queue and no round trip needs covering: a
    // deep queue of the file's pages only makes the server's copy slower (measured: half as
    // much of its CPU again, and a third less throughput). Elsewhere the kernel sizes the queue.
    if (kernelSend_ && dataSocket_.PeerIsLoopback()) dataSocket_.SetSendBuffer(LoopbackSendQueue);
    source_.Begin(localFile_, TransferMode, textCheck_);
    writable_ = std::make_unique<QSocketNotifier>(dataSocket_.Socket(), QSocketNotifier::Write);
    writable_->setEnabled(false);
    Info(ftpiFileSize, std::to_string(localSize_));

    std::int64_t nextPump = NowMs() + PumpInterval;
    while (StillSending(serial)) {
        const SendStep step = kernelSend_ ? SendFromFile() : SendFromSource();
        if (step == SendStep::Failed || !StillSending(serial)) return;
        if (step == SendStep::Done) break;
        if (step == SendStep::Full && kernelSend_) {
            // Waiting inside the event queue would wake it twice for every piece; it still runs
            // every PumpInterval.
            dataSocket_.WaitWritable(
                static_cast<int>(std::max<std::int64_t>(nextPump - NowMs(), 0)));
        } else if (step == SendStep::Full) {
            WaitWritable();
            nextPump = NowMs() + PumpInterval;
            continue;
        }
        if (NowMs() >= nextPump) {
            QCoreApplication::processEvents();
            nextPump = NowMs() + PumpInterval;
        }
    }
    if (!StillSending(serial)) return;
    if (dataSocket_.Tls())
        EndSecureUpload(serial);
    else
        UploadEnded();
}

// One send of converted blocks from the store's source.
TStarFtp::SendStep TStarFtp::SendFromSource() {
    if (source_.Pending().empty() && !source_.Refill()) {
        LocalReadFailed();
        return SendStep::Failed;
    }
    const std::string_view pending = source_.Pending();
    if (pending.empty()) return SendStep::Done; // the whole file has gone
    const int sent = dataSocket_.Send(
        pending.data(), static_cast<int>(std::min<std::size_t>(pending.size(), 1 << 30)));
    if (dataSocket_.LastError() != 0) {
        DataSendFailed();
        return SendStep::Failed;
    }
    source_.Sent(static_cast<std::size_t>(sent));
    ReportSentBlocks();
    return sent == 0 ? SendStep::Full : SendStep::Moved;
}

// One piece of a binary file moved by the kernel, at most KernelChunk bytes so that the queue
// and the cancel button still run in between.
TStarFtp::SendStep TStarFtp::SendFromFile() {
    std::size_t moved = 0;
    using TFileSend = TStarSocket::TFileSend;
    switch (dataSocket_.SendFile(localFile_, fileOffset_, KernelChunk, moved)) {
    case TFileSend::Moved:
        ReportSentFile(false);
        // Less than asked: the socket is full, or the file has ended, which the next call says
        // at once.
        return moved < KernelChunk && fileOffset_ < localSize_ ? SendStep::Full : SendStep::Moved;
    case TFileSend::Full:
        return SendStep::Full;
    case TFileSend::FileEnd:
        ReportSentFile(true);
        return SendStep::Done;
    case TFileSend::Unsupported:
        // Nothing has gone yet (this is a fact of the file): it is read and sent instead.
        if (fileOffset_ == 0) {
            kernelSend_ = false;
            return SendStep::Moved;
        }
        break;
    case TFileSend::FileFailed:
        break;
    case TFileSend::Failed:
        DataSendFailed();
        return SendStep::Failed;
    }
    LocalReadFailed();
    return SendStep::Failed;
}

// A send failed on the data connection.
void TStarFtp::DataSendFailed() {
    // A server that cuts the connection while our bytes are unread resets it instead of closing
    // it: the same end of the store, whose final reply is still due.
    if (dataSocket_.LastError() == WSAECONNRESET || dataSocket_.LastError() == WSAECONNABORTED)
        StoreServerClosed();
    else
        FatalError(ftpeDataConnection);
}

// The store of this data connection goes on: nobody ended it (a fatal error, a refusal, the
// server's close, an abort) and no other store replaced it.
bool TStarFtp::StillSending(std::uint32_t serial) const {
    return serial == transferSerial_ && !ControlLost() && dataSocket_.Socket() >= 0 &&
           localFile_ >= 0 &&
           (phase_ == TransferPhase::Moving || phase_ == TransferPhase::ReplyFirst);
}

// Waits inside the event queue until the data socket can take more, or anything else happens.
void TStarFtp::WaitWritable() {
    writable_->setEnabled(true);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (writable_) writable_->setEnabled(false);
}

// One ftpiProgress for every block that has gone out completely.
void TStarFtp::ReportSentBlocks() {
    const std::uint32_t serial = transferSerial_;
    std::size_t fileBytes = 0;
    while (source_.TakeSentBlock(fileBytes)) {
        BytesTransferred += static_cast<std::int64_t>(fileBytes);
        Info(ftpiProgress, "");
        ElapsedTime = Elapsed();
        // The owner's handler may have aborted or ended the transfer.
        if (!StillSending(serial)) return;
    }
}

// One ftpiProgress for every block of the file that the kernel has sent whole, and at the file's
// end for the last, shorter one; BytesTransferred counts the blocks reported.
void TStarFtp::ReportSentFile(bool fileEnded) {
    const std::uint32_t serial = transferSerial_;
    // The blocks of one piece went at the same moment: one reading of the clock for them all.
    const std::int32_t elapsed = Elapsed();
    while (BytesTransferred + BlockSize <= fileOffset_ ||
           (fileEnded && BytesTransferred < fileOffset_)) {
        BytesTransferred += std::min<std::int64_t>(BlockSize, fileOffset_ - BytesTransferred);
        Info(ftpiProgress, "");
        ElapsedTime = elapsed;
        // The owner's handler may have aborted or ended the transfer.
        if (!StillSending(serial)) return;
    }
}

// Closing the data connection tells the server that the file is complete.
void TStarFtp::UploadEnded() {
    CloseData();
    CloseLocalFile();
    ElapsedTime = Elapsed();
    Info(ftpiTransferDone, "Transfer done");
    DataDone();
}

// The part sent so far must not pass for the whole file: ABOR goes out first, then the data
// connection is closed as an abort closes it, so that every server ends the transfer; the store
// completes (failed) once the replies are in.
void TStarFtp::LocalReadFailed() {
    ReportError(ftpeLocalFileRead);
    AbortTransfer(false);
}

// The server closed the data connection of a store.
void TStarFtp::StoreServerClosed() {
    CloseData();
    if (phase_ != TransferPhase::Waiting && phase_ != TransferPhase::Moving &&
        phase_ != TransferPhase::ReplyFirst)
        return;
    // The server stopped taking the file before all of it was sent.
    success_ = false;
    CloseLocalFile();
    ElapsedTime = Elapsed();
    Info(ftpiTransferDone, "Transfer done");
    Listing = false;
    DataDone();
}
