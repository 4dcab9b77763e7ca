#include "app/filefate.h"

namespace {

// What the same-file policy says for a file that is already on the server (1 or 2).
TFileStep PolicyStep(int policy, int sameName) {
    switch (policy) {
    case 1:
        return TFileStep::AskRename;
    case 2:
        return TFileStep::Skip;
    case 3:
        return TFileStep::Store;
    case 4:
        return TFileStep::AskOverwrite;
    default: // 0, and a profile saved with no policy selected
        return sameName == 1 ? TFileStep::Skip : TFileStep::Store;
    }
}

} // namespace

TFileDecision DecideFile(const TFileFacts& file, int sameName, const TFilePolicy& policy) {
    if (!file.Exists) return {TFileStep::Fail, "ファイルが見つかりません"};
    if (!file.PwdImplemented) sameName = 0;
    // A folder in a file's place: handed over without folder handling, or a file that became a
    // folder after the run's list was made.
    if (file.Folder) return {TFileStep::Fail, "フォルダは転送できません"};
    if (sameName == 3) return {TFileStep::Fail, "サーバーに同じ名前のフォルダがあります"};
    // Not on the server, or not looked for there (no directory commands): the policy has no say.
    if (sameName == 0) return {TFileStep::Store, {}};
    return {PolicyStep(policy.SameFile, sameName), {}};
}

TTransferType TransferTypeFor(int modeIndex, bool textFile, TTransferType previous) {
    switch (modeIndex) {
    case 0:
        return textFile ? AsciiTransfer : BinaryTransfer;
    case 1:
        return BinaryTransfer;
    case 2:
        return AsciiTransfer;
    case 3:
        return textFile ? textJIS : BinaryTransfer;
    case 4:
        return textFile ? textSJIS : BinaryTransfer;
    case 5:
        return textFile ? textEUC : BinaryTransfer;
    case 6:
        return textFile ? textUTF8 : BinaryTransfer;
    default:
        return textFile ? previous : BinaryTransfer;
    }
}
