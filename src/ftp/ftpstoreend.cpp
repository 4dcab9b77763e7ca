// The end of a store: its size checked, its time kept, the temporary file renamed to the final
// name or deleted.
#include "ftp/ftp.h"
#include "ftp/ftpshared.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

using namespace ftpshared;

namespace {

// The size of a "213 N" reply to SIZE; nothing for another reply or a number that does not fit.
std::optional<std::int64_t> SizeOfReply(const std::string& reply) {
    if (!HasReplyCode(reply, ReplyCode::FileStatus) || reply.size() < 4 || reply[3] != ' ')
        return std::nullopt;
    const char* first = reply.data() + 4;
    const char* last = reply.data() + reply.size();
    while (first < last && *first == ' ')
        ++first;
    while (last > first && (last[-1] == ' ' || last[-1] == '\t'))
        --last;
    std::int64_t size = 0;
    const auto [end, error] = std::from_chars(first, last, size);
    if (error != std::errc() || end != last || first == last || size < 0) return std::nullopt;
    return size;
}

} // namespace

// Both sides of the store's transfer have ended (or it was cut short). A good one is checked and
// renamed; a failed one leaves no temporary file behind.
void TStarFtp::StoreTransferEnded() {
    if (!success_) {
        // Unless the server never took STOR: then it created nothing.
        if (tempStore_ && storAccepted_)
            DeleteTempFile(false);
        else
            FinishStore(false);
        return;
    }
    // In the text modes the server may change line ends: only a binary store keeps its size.
    const bool checkSize = TransferMode == BinaryTransfer && HasFeature("SIZE");
    // A temporary file takes its time before its size is known, in the same round trip: a wrong
    // copy is deleted, never renamed, so its time misleads no one. A file stored under its final
    // name takes its time only once its size is right.
    if (const std::optional<std::string> time = tempStore_ ? TimeToKeep() : std::nullopt) {
        const std::string mfmt = "MFMT " + *time + " " + storeName_;
        if (!checkSize) {
            IssueCommand(mfmt, ReplyState::StoreTempTime);
            return;
        }
        if (oneAtATime_) {
            IssueCommand(mfmt, ReplyState::StoreTempTimeSize);
            return;
        }
        if (!SendAhead(mfmt)) return;
        IssueCommand("SIZE " + storeName_, ReplyState::StoreTempTimeSize);
        return;
    }
    if (checkSize) {
        IssueCommand("SIZE " + storeName_, ReplyState::StoreSize);
        return;
    }
    RenameOrFinish();
}

void TStarFtp::RenameOrFinish() {
    if (!tempStore_) {
        StoreComplete();
        return;
    }
    if (storeCancelled_) {
        DeleteTempFile(false);
        return;
    }
    if (oneAtATime_) {
        IssueCommand("RNFR " + storeName_, ReplyState::RenameFrom);
        return;
    }
    // Both go out at once, so the rename costs one round trip: the server takes them in order, and
    // after a refused RNFR it refuses RNTO too (there is nothing to rename), so no name changes.
    if (!SendAhead("RNFR " + storeName_)) return;
    IssueCommand("RNTO " + RemoteFile, ReplyState::RenameFrom);
}

void TStarFtp::OnStoreSize(const std::string& line) {
    const std::optional<std::int64_t> remote = SizeOfReply(line);
    if (!remote) {
        Info(ftpiLogNote,
             "The server gave no size for " + storeName_ + "; the size is not checked");
        RenameOrFinish();
        return;
    }
    if (*remote == BytesTransferred) {
        RenameOrFinish();
        return;
    }
    // The final name is never given to a copy of the wrong size.
    Info(ftpiSizeMismatch, std::to_string(BytesTransferred) + " " + std::to_string(*remote));
    success_ = false;
    if (tempStore_)
        DeleteTempFile(false);
    else
        FinishStore(false);
}

// RNTO is out already, and its reply comes next either way; one command at a time, it goes out
// only after a 350.
void TStarFtp::OnRenameFrom(char kind) {
    if (kind != '3') Info(ftpiCommandFailed, "");
    if (!oneAtATime_) {
        SetReplyState(kind == '3' ? ReplyState::RenameTo : ReplyState::RenameToFailed);
        return;
    }
    if (kind == '3')
        IssueCommand("RNTO " + RemoteFile, ReplyState::RenameTo);
    else
        DeleteTempFile(true);
}

void TStarFtp::OnRenameTo(char kind) {
    const bool fromRefused = replyState_ == ReplyState::RenameToFailed;
    if (!fromRefused && kind == '2') {
        StoreComplete();
        return;
    }
    if (!fromRefused) Info(ftpiCommandFailed, "");
    DeleteTempFile(true);
}

// Its reply is only logged: the store's outcome does not depend on it.
void TStarFtp::DeleteTempFile(bool thenDirect) {
    IssueCommand("DELE " + storeName_,
                 thenDirect ? ReplyState::DeleteTempThenDirect : ReplyState::DeleteTemp);
}

void TStarFtp::OnDeleteTemp(const std::string& line) {
    if (line[0] != '2')
        Info(ftpiLogNote, "The temporary file " + storeName_ + " is left on the server: " + line);
    if (replyState_ != ReplyState::DeleteTempThenDirect) {
        FinishStore(false);
        return;
    }
    // Servers that forbid renaming forbid it every time: the rest of the session stores directly.
    Info(ftpiLogNote, "The server refused to rename " + storeName_ + " to " + RemoteFile +
                          "; files are now stored directly under their final names");
    UseTempName = false;
    if (storeCancelled_)
        FinishStore(false);
    else
        OpenStore();
}

void TStarFtp::FinishStore(bool stored) {
    if (!stored) success_ = false;
    ChangeState(ReplyState::Idle, TransferPhase::Done);
    PostReady();
}
