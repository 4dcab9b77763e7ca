// Folders handed over, uploaded with everything inside them: each folder of a tree is made on the
// server where it is missing, or entered where it is there (asked about first when the user wants
// that), and listed once when something inside it needs its listing.

#include "app/session.h"

#include "ftp/listmatch.h"
#include "platform/dirsearch.h"
#include "platform/foldertree.h"
#include "platform/localfile.h"

#include <algorithm>
#include <utility>

void TUploadSession::AppendItems(const std::vector<std::string>& paths) {
    // Without directory commands nothing on the server can be looked at: folders fail as ever.
    const bool trees = ftp.PWDImplemented && view.FilePolicy().FolderHandling;
    for (const std::string& path : paths) {
        const auto local = trees ? StatLocalFile(path) : std::nullopt;
        if (!local || !local->Directory) {
            files.push_back(TUploadItem::File(path));
            continue;
        }
        TFolderTree tree = WalkFolder(path);
        if (tree.Entries.empty()) {
            files.push_back(TUploadItem::File(path));
            continue;
        }
        for (const std::string& link : tree.Links)
            view.AppendLog("フォルダへのリンクは転送しません: " + QString::fromStdString(link));
        for (TTreeEntry& entry : tree.Entries)
            files.push_back({std::move(entry.Path), std::move(entry.Folder), entry.IsFolder,
                             entry.Unreadable, entry.Inside});
    }
}

std::optional<std::string> TUploadSession::RemoteFolderOf(const std::string& localFolder) const {
    if (localFolder.empty()) return std::string();
    const std::optional<std::string> name = RemoteName(localFolder);
    if (!name) return std::nullopt;
    return SpacesToUnderscores(*name);
}

std::string TUploadSession::RemotePath(const std::string& remote) const {
    const std::string& dir = ftp.InitialDirectory;
    return (dir == "/" ? "/" : dir + "/") + remote;
}

void TUploadSession::ListFolder(const std::string& remote) {
    listingFolder = remote;
    folders[remote].Known = false;
    renameListing = false;
    renameListedFor = -1;
    ftp.UseMlsd = ftp.HasFeature("MLST");
    ftp.ListingPath = remote.empty() ? std::string() : RemotePath(remote);
    ftp.GetListing();
}

TUploadSession::TFileFate TUploadSession::SettleFolder(const std::string& parent) {
    // A copy: files dropped on the window while the question is open join the list.
    const TUploadItem item = files[current];
    const std::optional<std::string> name = RemoteName(NamePart(item.Path));
    if (!name) {
        EndItem(TFileResult::Failed, NoFolderFormReason);
        return TFileFate::Next;
    }
    if (item.Unreadable) {
        EndItem(TFileResult::Failed, "フォルダの中を読めません");
        return TFileFate::Next;
    }
    const std::string remoteName = SpacesToUnderscores(*name);
    const std::string remote = parent.empty() ? remoteName : parent + "/" + remoteName;
    const TRemoteEntry* there = folders[parent].Listing.Find(remoteName);
    if (!there) {
        if (!SessionGoesOn()) return TFileFate::Abandon;
        makingFolder = remote;
        view.ShowStatus("フォルダを作成中...");
        ftp.CreateDirectory(RemotePath(remote));
        return TFileFate::Waiting;
    }
    if (!there->Directory) {
        EndItem(TFileResult::Failed, "サーバーに同じ名前のファイルがあります");
        return TFileFate::Next;
    }
    // Only a folder the user handed over is asked about; what lies inside it goes with it.
    if (item.Folder.empty() && !view.FilePolicy().NoFolderQuestion) {
        const std::string shown = there->Name;
        auto answer = TOverwriteAnswer::Cancel;
        if (!Ask([&] { answer = view.AskFolder(shown); })) return TFileFate::Abandon;
        if (answer == TOverwriteAnswer::Cancel) {
            CancelRemaining();
            return StillConnected() ? TFileFate::Next : TFileFate::Abandon;
        }
        if (answer == TOverwriteAnswer::No) {
            EndItem(TFileResult::SkippedByUser);
            return StillConnected() ? TFileFate::Next : TFileFate::Abandon;
        }
        if (answer == TOverwriteAnswer::All) view.NoMoreFolderQuestions();
        if (!StillConnected()) return TFileFate::Abandon;
    }
    // Listed once something inside it needs the listing.
    folders[remote] = {};
    ++current;
    return TFileFate::Next;
}

void TUploadSession::DirectoryCreated() {
    if (makingFolder.empty()) return;
    const std::string remote = std::exchange(makingFolder, {});
    if (!SessionGoesOn() || current >= static_cast<int>(files.size())) return;
    view.ShowStatus("ファイルを転送中...");
    if (cancelNext) {
        // Cancelled while the folder was being made: it goes with everything inside it.
        cancelNext = false;
        EndItem(TFileResult::Failed, CancelledReason);
    } else if (!ftp.Success()) {
        QString reason = "フォルダ " + ServerText(remote) + " を作成できません";
        if (!ftp.LastReply().empty()) reason += ": " + ServerText(ftp.LastReply());
        EndItem(TFileResult::Failed, reason);
    } else {
        const std::size_t slash = remote.rfind('/');
        const std::string parent =
            slash == std::string::npos ? std::string() : remote.substr(0, slash);
        folders[parent].Listing.Made(remote.substr(slash == std::string::npos ? 0 : slash + 1));
        // A folder just made holds nothing: it needs no listing.
        TKnownFolder& made = folders[remote];
        made = {};
        made.Known = true;
        ++current;
    }
    ProcessNextFile();
}

void TUploadSession::EndItem(TFileResult result, const QString& reason) {
    const TUploadItem& item = files[current];
    const int end =
        std::min(static_cast<int>(files.size()), current + 1 + (item.MakeFolder ? item.Inside : 0));
    for (int i = current; i < end; ++i)
        // A folder is named by what lies inside it; only an empty one stands for itself.
        if (!files[i].MakeFolder || files[i].Inside == 0) Record(files[i].Path, result, reason);
    current = end;
}

int TUploadSession::FileNumber() const {
    const int end = std::min(current + 1, static_cast<int>(files.size()));
    return static_cast<int>(std::count_if(files.begin(), files.begin() + end,
                                          [](const TUploadItem& i) { return !i.MakeFolder; }));
}

int TUploadSession::FileCount() const {
    return static_cast<int>(std::count_if(files.begin(), files.end(),
                                          [](const TUploadItem& i) { return !i.MakeFolder; }));
}
