#pragma once
// A program run to its end from a test, bounded in time.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>

struct TProcessRun {
    int exitCode = -1; // -1 when it did not start, crashed or ran past the limit
    QString out;       // standard output, and standard error too when the two are merged
    QString err;
};

// At most 20 seconds; a program still running then is killed.
TProcessRun RunProcess(const QString& program, const QStringList& args,
                       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                       bool mergeErrors = false);

// A helper process of a test that announces itself with its first line (a port, an address):
// started, and that line read, each waited for ten seconds at most. On failure `why` says what
// went wrong; `hint` says what may be missing.
bool StartForFirstLine(QProcess& process, const QString& program, const QStringList& args,
                       QByteArray& line, std::string& why, const std::string& hint);

// Ends such a helper: it ends itself when its standard input closes, or is killed after five
// seconds.
void StopHelper(QProcess& process);
