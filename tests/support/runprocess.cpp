#include "runprocess.h"

#include <QProcess>

TProcessRun RunProcess(const QString& program, const QStringList& args,
                       const QProcessEnvironment& env, bool mergeErrors) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (mergeErrors) p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    TProcessRun r;
    if (!p.waitForStarted(5000)) return r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(1000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

bool StartForFirstLine(QProcess& process, const QString& program, const QStringList& args,
                       QByteArray& line, std::string& why, const std::string& hint) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        why = "cannot start " + program.toStdString() + ": " + process.errorString().toStdString();
        return false;
    }
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(10000)) {
            why = program.toStdString() + " printed nothing (" + hint + ")";
            return false;
        }
    }
    line = process.readLine().trimmed();
    return true;
}

void StopHelper(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.closeWriteChannel();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}
