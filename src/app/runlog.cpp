#include "app/runlog.h"

#include "platform/progdir.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

namespace {

// Names that sort by the time of their run.
const char* const Pattern = "run-*.log";

void DeleteOldLogs(const QString& folder) {
    const QStringList logs = QDir(folder).entryList({Pattern}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i + TRunLog::Kept < logs.size(); ++i)
        QFile::remove(folder + '/' + logs[i]);
}

} // namespace

bool TRunLog::Open() {
    Close();
    const std::string folder = UserStateFolder();
    if (!MakePrivateFolders(folder)) return false;
    const QString dir = QString::fromStdString(folder);
    file.setFileName(dir + "/run-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") +
                     '-' + QString::number(QCoreApplication::applicationPid()) + ".log");
    // It names servers and users: for the user's eyes only. Written as it comes: a run that ends
    // badly keeps its log up to the end.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return false;
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    DeleteOldLogs(dir);
    return true;
}

void TRunLog::Append(const QString& line) {
    if (!file.isOpen()) return;
    const qint64 second = QDateTime::currentSecsSinceEpoch();
    if (second != stampSecond) {
        stampSecond = second;
        stamp = QDateTime::fromSecsSinceEpoch(second).toString("HH:mm:ss ").toUtf8();
    }
    file.write(stamp + line.toUtf8() + '\n');
}

void TRunLog::Close() {
    if (file.isOpen()) file.close();
}
