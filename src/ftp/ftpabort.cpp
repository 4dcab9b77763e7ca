// Cancelling a transfer: ABOR behind the Telnet interrupt, the replies an abort brings, and the
// resynchronisation when ABOR's own reply never comes.
#include "ftp/ftp.h"

#include <string>

namespace {

// Telnet "interrupt process" and "data mark", sent ahead of ABOR.
constexpr char kTelnetIP[] = {'\xff', '\xf4'};
constexpr char kTelnetDM[] = {'\xff', '\xf2'};

// A reply that belongs to an aborted transfer or to its ABOR, not to the command after them.
bool AbortReplyCode(const std::string& reply) {
    return reply[0] == '1' || HasReplyCode(reply, ReplyCode::AbortOk) ||
           HasReplyCode(reply, ReplyCode::TransferDone) ||
           HasReplyCode(reply, ReplyCode::TransferAborted);
}

} // namespace

void TStarFtp::Abort() {
    // The data has gone, the final name not yet replaced: the temporary file is deleted instead.
    if (tempStore_ &&
        (replyState_ == ReplyState::StoreTempTime || replyState_ == ReplyState::StoreTempTimeSize ||
         replyState_ == ReplyState::StoreSize || DeletingTemp()))
        storeCancelled_ = true;
    AbortTransfer(true);
    // While our own data connection is being opened no reply is due that would carry the
    // cancel out: it ends the transfer now.
    if (replyState_ == ReplyState::ListConnect || replyState_ == ReplyState::StoreConnect)
        CancelledBeforeCommand();
}

// ABOR for a transfer the server knows of; before that, LIST or STOR is just never sent.
void TStarFtp::AbortTransfer(bool reportDone) {
    switch (phase_) {
    case TransferPhase::Preparing:
    case TransferPhase::EarlyConnection:
        SetPhase(TransferPhase::Cancelled);
        return;
    case TransferPhase::Waiting:
    case TransferPhase::Moving:
    case TransferPhase::ReplyFirst:
    case TransferPhase::DataFirst:
        break;
    default: // no transfer, or one already ending
        return;
    }
    if (!controlConnected_) return;
    const bool moving = phase_ != TransferPhase::DataFirst && dataSocket_.Socket() >= 0;
    // Set first: the sends below run the event queue, and a second call must add nothing.
    SetPhase(phase_ == TransferPhase::ReplyFirst ? TransferPhase::AbortAborReply
                                                 : TransferPhase::AbortTransferReply);
    success_ = false;
    // ABOR leaves the type in force, but servers differ in what an abort resets: the next
    // transfer sends its type again.
    typeInForce_ = 0;
    SendAbort();
    if (ControlLost()) return;
    // The data connection ends here, so that the server ends the transfer whether or not it acts
    // on ABOR at once; the operation completes once the replies are in.
    CloseData();
    CloseLocalFile();
    if (moving) {
        ElapsedTime = Elapsed();
        if (reportDone) Info(ftpiTransferDone, "Transfer done");
        Listing = false;
    }
}

void TStarFtp::SendAbort() {
    // Urgent data cannot travel inside TLS: there ABOR goes alone, as TLS clients send it.
    if (!Tls() && !SendRaw(kTelnetIP, sizeof kTelnetIP, false)) return;
    if (!Tls() && !SendRaw(kTelnetDM, sizeof kTelnetDM, true)) return;
    // No second data mark after ABOR: a server that does not strip Telnet bytes reads it as the
    // start of the next command and refuses that (pyftpdlib answers "\xff\xf2TYPE I" with 500).
    SendCommand("ABOR");
    ArmReplyTimer();
}

// Like SendCommand: a full socket buffer is waited for, within the same bound.
bool TStarFtp::SendRaw(const char* bytes, int length, bool urgent) {
    const std::int64_t deadline = SendDeadline();
    while (length > 0) {
        if (ControlLost()) return false;
        const int sent = urgent ? SendUrgent(bytes, length) : Send(bytes, length);
        if (CheckSocketError()) return false;
        bytes += sent;
        length -= sent;
        if (length > 0 && !WaitControlWritable(deadline)) {
            SendTimedOut();
            return false;
        }
    }
    return true;
}

// After ABOR, servers answer the aborted command (426, or 226 when it had completed) and then ABOR
// itself (226 or 225), or ABOR alone with 225 when nothing had moved yet. 225 never answers LIST or
// STOR, so it is always ABOR's; ABOR is the last command sent, so its reply is the last one. True
// when the line was one of these replies.
bool TStarFtp::OnAbortReply(const std::string& line) {
    if (!Aborting()) return false;
    if (line[0] == '1') {
        if (replyState_ == ReplyState::Store) storAccepted_ = true;
        return true;
    }
    if (line[0] == '2' && replyState_ == ReplyState::Store) storAccepted_ = true;
    if (phase_ == TransferPhase::AbortTransferReply && !HasReplyCode(line, ReplyCode::AbortOk))
        SetPhase(TransferPhase::AbortAborReply);
    else
        EndAborted();
    return true;
}

// The aborted transfer's final reply came and ABOR's did not within AborReplyWait. The wait ends
// here, but a late reply must not pass for the answer to the next command, so NOOP goes out and
// every reply up to its own is taken as a late one. A server answers in order, so ABOR's reply, if
// it ever comes, comes before NOOP's; to tell them apart, the codes of an abort (1xx, 225, 226,
// 426) are never NOOP's (200, or 500 from a server without it). Only NOOP's reply completes the
// operation, so the owner's next command starts in step; if it never comes, the reply time-out
// ends the session as for any unanswered command.
void TStarFtp::AborReplyOverdue() {
    if (phase_ != TransferPhase::AbortAborReply || ControlLost()) return;
    Info(ftpiLogNote, "No reply to ABOR within " + std::to_string(AborReplyWait / 1000) +
                          " s; the transfer counts as aborted");
    IssueCommand("NOOP", StoreInHand() ? ReplyState::StoreAbortSync : ReplyState::ListAbortSync);
}

void TStarFtp::OnAbortSync(const std::string& line) {
    if (AbortReplyCode(line)) return;
    EndAborted();
}

void TStarFtp::EndAborted() {
    CloseData();
    CloseLocalFile();
    success_ = false;
    Listing = false;
    TransferComplete();
}
