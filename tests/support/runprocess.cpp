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
