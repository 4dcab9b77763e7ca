#pragma once
// What becomes of one file of an upload session, decided from its facts alone: the local file, the
// server's listing and the same-file policy. The session applies the decision (asks, stores,
// records); the decision itself runs no dialog and touches no file, so a table can test it.

#include "ftp/ftptypes.h"

#include <QString>

// What the local file is, as the session found it just before deciding.
struct TFileFacts {
    bool Exists = false;
    bool Folder = false;
    bool PwdImplemented = false; // without directory commands the listing is never looked at
};

// The window's choices that bear on a file.
struct TFilePolicy {
    int SameFile = 0;             // the same-file policy's index; -1 when none is selected
    bool FolderHandling = false;  // "MakeDir": a folder handed over goes with what is inside it
    bool NoFolderQuestion = true; // a folder already on the server is entered without a question
};

enum class TFileStep { Store, Skip, Fail, AskOverwrite, AskRename };

struct TFileDecision {
    TFileStep Step = TFileStep::Fail;
    QString Reason; // for Fail
};

// `sameName` is the listing's match for the file's name: 0 not there, 1 there and not older, 2
// there and older or of unknown date, 3 a folder of that name. Ignored without directory commands.
TFileDecision DecideFile(const TFileFacts& file, int sameName, const TFilePolicy& policy);

// The transfer type for a file, from the profile's mode index and whether its extension is one of
// the text-mode extensions; an unknown index keeps the previous type for text files.
TTransferType TransferTypeFor(int modeIndex, bool textFile, TTransferType previous);
