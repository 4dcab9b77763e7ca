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

// How many files of a run went which way.
struct TRunCounts {
    int Stored = 0;  // also under a new name
    int Skipped = 0; // by the policy or by the user
    int Failed = 0;
};
TRunCounts CountOutcomes(const std::vector<TFileOutcome>& outcomes);

// "転送 2、スキップ 1、失敗 0".
QString CountsText(const TRunCounts& counts);
