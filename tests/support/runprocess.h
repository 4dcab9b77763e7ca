#pragma once
// A program run to its end from a test, bounded in time.

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct TProcessRun {
    int exitCode = -1; // -1 when it did not start, crashed or ran past the limit
    QString out;       // standard output, and standard error too when the two are merged
    QString err;
};

// At most 20 seconds; a program still running then is killed.
TProcessRun RunProcess(const QString& program, const QStringList& args,
                       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                       bool mergeErrors = false);
