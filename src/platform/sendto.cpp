#include "platform/sendto.h"

#include <QDir>
#include <QSaveFile>

namespace {

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

} // namespace

QString SendToFolder() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // The freedesktop rule: a relative value is ignored.
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) data = QDir::homePath() + "/.local/share";
    return data + "/applications";
}

QString SendToEntryPath() {
    return SendToFolder() + "/Wendup FTP.desktop";
}

QString SendToEntryText(const QString& programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Wendup FTP\n"
           "Exec=" +
           EscapeValue(QuoteExecArgument(programPath)) +
           " %F\n"
           "MimeType=application/octet-stream;text/plain;\n"
           "NoDisplay=true\n";
}

bool WriteSendToEntry(const QString& programPath) {
    if (!QDir().mkpath(SendToFolder())) return false;
    QSaveFile file(SendToEntryPath());
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(SendToEntryText(programPath).toUtf8());
    return file.commit();
}
