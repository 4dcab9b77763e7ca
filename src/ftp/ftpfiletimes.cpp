// Modification times of files on the server: MFMT after a store, so that the server's copy keeps
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

void TStarFtp::StoreComplete() {
    if (!KeepModifiedTime || !HasFeature("MFMT")) {
        FinishStore(true);
        return;
    }
    const std::optional<std::string> time = FormatFtpTime(localModified_);
    if (!time || !IssueCommand("MFMT " + *time + " " + RemoteFile, ReplyState::StoreTime))
        FinishStore(true);
}

// The file is whole under its name whatever the answer.
void TStarFtp::OnStoreTime(const std::string& line) {
    if (line[0] == '2')
        keptTime_ = localModified_;
    else
        Info(ftpiLogNote, "The server did not set the time of " + RemoteFile + ": " + line);
    FinishStore(true);
}
