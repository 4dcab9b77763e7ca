#include "platform/sendto.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const char* const EntryName = "Wendup FTP.desktop";
const char* const ScriptName = "Wendup FTP";

// One argument of an Exec line: always quoted, with the characters that are special inside quotes
// escaped; "%" doubled, since Exec gives it a meaning of its own.
QString QuoteExecArgument(const QString& arg) {
    QString quoted = "\"";
    for (const QChar c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    return quoted + '"';
}

// The string escapes of a desktop entry value, applied after the Exec quoting.
QString EscapeValue(const QString& value) {
    QString escaped;
    for (const QChar c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    return escaped;
}

QString ExecLine(const QString& programPath, const char* arguments = "%F") {
    return "Exec=" + EscapeValue(QuoteExecArgument(programPath)) + " " + arguments + "\n";
}

// The editor, one right-click away however the default profile makes a start upload at once.
QString SettingsAction(const QString& programPath) {
    return "\n[Desktop Action Settings]\nName=設定\n" + ExecLine(programPath, "/SET");
}

// A POSIX shell word that stands for `text` exactly.
QString ShellQuote(const QString& text) {
    QString quoted = text;
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}

const char* const ScriptStart = "#!/bin/sh\nexec ";
const char* const ScriptEnd = " \"$@\"\n";

const char* const Names = "Name=Wendup FTP\n"
                          "Name[ja]=Wendup FTP で転送\n"
                          "Icon=wendup\n";

// The MIME cache maps types to the entries of the folder; file managers read it, not the entries.
void RefreshMimeCache() {
    const QString tool = QStandardPaths::findExecutable("update-desktop-database");
    if (tool.isEmpty()) return;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(tool, {SendToFolder()});
    if (process.waitForStarted(5000) && !process.waitForFinished(10000)) process.kill();
    process.waitForFinished(1000);
}

} // namespace

QString UserDataFolder() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // The freedesktop rule: a relative value is ignored.
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) data = QDir::homePath() + "/.local/share";
    return data;
}

QString SendToFolder() {
    return UserDataFolder() + "/applications";
}

QString SendToEntryPath() {
    return SendToFolder() + '/' + EntryName;
}

std::vector<TSendToFile> SendToFiles(const QString& programPath) {
    const QString data = UserDataFolder();
    const QString exec = ExecLine(programPath);
    return {
        {SendToEntryPath(),
         QString("[Desktop Entry]\nType=Application\n") + Names + exec +
             "NoDisplay=true\nActions=Settings;\n" + SettingsAction(programPath),
         false},
        {data + "/Thunar/sendto/" + EntryName,
         QString("[Desktop Entry]\nType=Application\n") + Names + exec, false},
        // Dolphin runs service menus of the user's folder only when they are executable.
        {data + "/kio/servicemenus/" + EntryName,
         QString("[Desktop Entry]\nType=Service\nMimeType=all/allfiles;\nActions=Upload;\n"
                 "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n\n[Desktop Action Upload]\n") +
             Names + exec,
         true},
        // Nautilus starts a script in the folder of the selection, with the selected names as its
        // arguments.
        {data + "/nautilus/scripts/" + ScriptName,
         ScriptStart + ShellQuote(programPath) + ScriptEnd, true},
    };
}

bool WriteSendToFiles(const QString& programPath) {
    bool ok = true;
    for (const TSendToFile& f : SendToFiles(programPath)) {
        QSaveFile file(f.Path);
        if (!QDir().mkpath(QFileInfo(f.Path).path()) || !file.open(QIODevice::WriteOnly)) {
            ok = false;
            continue;
        }
        file.write(f.Text.toUtf8());
        if (!file.commit()) {
            ok = false;
            continue;
        }
        if (f.Executable)
            ok = QFile::setPermissions(f.Path, QFile::permissions(f.Path) | QFile::ExeOwner |
                                                   QFile::ExeGroup | QFile::ExeOther) &&
                 ok;
    }
    RefreshMimeCache();
    return ok;
}

bool IsWrittenSendToFile(const QByteArray& text) {
    if (text.startsWith("[Desktop Entry]\n")) return text.contains(QByteArray("\n") + Names);
    // The script is its two lines and nothing else.
    return text.startsWith(ScriptStart) && text.endsWith(ScriptEnd) && text.count('\n') == 2;
}

void RemoveSendToFiles() {
    // Far more than any file of ours holds.
    constexpr qint64 limit = 64 * 1024;
    bool entryRemoved = false;
    for (const TSendToFile& f : SendToFiles({})) {
        QFile file(f.Path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > limit) continue;
        const QByteArray text = file.read(limit);
        file.close();
        if (!IsWrittenSendToFile(text) || !file.remove()) continue;
        if (f.Path == SendToEntryPath()) entryRemoved = true;
    }
    if (entryRemoved) RefreshMimeCache();
}
