// Modification times of files on the server: MFMT with a store, so that the server's copy keeps
// the local file's time, and MDTM on request, for servers whose listings give no exact time.
#include "ftp/ftp.h"

#include "ftp/ftptime.h"

#include <string>

void TStarFtp::GetFileTime() {
    if (!BeginOperation()) return;
    success_ = true;
    pendingEvent_ = peFileTimeRead;
    fileTime_.reset();
    // A line break would smuggle a second command behind MDTM.
    if (RemoteFile.empty() || !IssueCommand("MDTM " + RemoteFile, ReplyState::FileTime)) {
        success_ = false;
        SetReplyState(ReplyState::Idle);
        PostReady();
    }
}

// A refusal is no error: the owner goes on without an exact time.
void TStarFtp::OnFileTime(const std::string& line) {
    fileTime_ = FtpTimeOfReply(line);
    if (!fileTime_) {
        Info(ftpiLogNote, "The server gave no time for " + RemoteFile + ": " + line);
        success_ = false;
    }
    SetReplyState(ReplyState::Idle);
    PostReady();
}

std::optional<std::string> TStarFtp::TimeToKeep() const {
    if (!KeepModifiedTime || !HasFeature("MFMT")) return std::nullopt;
    return FormatFtpTime(localModified_);
}

// A temporary file has had its time set before the rename already.
void TStarFtp::StoreComplete() {
    const std::optional<std::string> time = tempStore_ ? std::nullopt : TimeToKeep();
    if (!time || !IssueCommand("MFMT " + *time + " " + RemoteFile, ReplyState::StoreTime))
        FinishStore(true);
}

// The answer decides nothing: without it the file is whole all the same, only its time is the
// server's.
void TStarFtp::OnStoreTime(const std::string& line) {
    if (line[0] == '2')
        keptTime_ = localModified_;
    else
        Info(ftpiLogNote, "The server did not set the time of " + RemoteFile + ": " + line);
    switch (replyState_) {
    case ReplyState::StoreTempTimeSize:
        // One command at a time, SIZE waits for this reply; a cancel meanwhile deletes the copy.
        if (!oneAtATime_)
            SetReplyState(ReplyState::StoreSize);
        else if (storeCancelled_)
            RenameOrFinish();
        else
            IssueCommand("SIZE " + storeName_, ReplyState::StoreSize);
        return;
    case ReplyState::StoreTempTime:
        RenameOrFinish();
        return;
    default:
        FinishStore(true);
    }
}
