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

QString ExecLine(const QString& programPath) {
    return "Exec=" + EscapeValue(QuoteExecArgument(programPath)) + " %F\n";
}

// A POSIX shell word that stands for `text` exactly.
QString ShellQuote(const QString& text) {
    QString quoted = text;
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}

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
             "MimeType=application/octet-stream;\nNoDisplay=true\n",
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
         "#!/bin/sh\nexec " + ShellQuote(programPath) + " \"$@\"\n", true},
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

void RemoveSendToFiles() {
    bool entryRemoved = false;
    for (const TSendToFile& f : SendToFiles({})) {
        if (!QFileInfo::exists(f.Path) || !QFile::moveToTrash(f.Path)) continue;
        if (f.Path == SendToEntryPath()) entryRemoved = true;
    }
    if (entryRemoved) RefreshMimeCache();
}
