#pragma once
// What became of each file of an upload session, and how failures are told at its end.

#include <QString>

#include <string>
#include <vector>

enum class TFileResult {
    Stored,          // under its own name
    Renamed,         // stored under the name the user gave
    SkippedByPolicy, // the same-file policy kept the server's file
    SkippedByUser,   // "いいえ" or a cancelled rename
    Failed,          // not on the server; Reason says why
};

struct TFileOutcome {
    std::string Path; // as the host gives it
    TFileResult Result = TFileResult::Failed;
    QString Reason; // for Failed
};

// A reason of several lines on one line, its parts joined by ": ".
QString OneLine(QString text);

// One line per failed file for standard error, in UTF-8: "wendup: PATH: REASON".
std::string FailureLines(const std::vector<TFileOutcome>& outcomes);

// The message shown once at the end of a session with failed files: each file's name and reason.
QString FailureMessage(const std::vector<TFileOutcome>& outcomes);

// The message at the end of a session: the error that ended it, if any, then the failed files.
// Empty when there is nothing to tell.
QString EndMessage(const QString& error, const std::vector<TFileOutcome>& outcomes);
