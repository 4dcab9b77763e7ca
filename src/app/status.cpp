// The status line, the protocol log and the error messages of an upload session. The handlers are
// methods of TForm1 because they write into its controls; the texts they use are plain functions.

#include "app/status.h"

#include "app/ftpfrm.h"
#include "dialogs/prgrsfrm.h"
#include "platform/codepage.h"
#include "platform/localfile.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <charconv>

namespace {

// The last path component after one trailing separator is dropped.
std::string_view LastName(std::string_view path, char separator) {
    if (!path.empty() && path.back() == separator) path.remove_suffix(1);
    const std::size_t at = path.rfind(separator);
    return at == std::string_view::npos ? path : path.substr(at + 1);
}

} // namespace

QString ErrorMessage(int code) {
    const QString down = "サーバーが見つかりません\r\nネットワークがダウンしている可能性があります";
    const QString unexpected = "予期せぬネットワークエラーが発生しました";
    const QString aborted = "接続が強制的に切断されました";
    const QString address = "アドレスを正しく設定してください";
    const QString refused = "接続が拒否されました";
    const QString cannotOpen = "ファイルが開けません";
    switch (code) {
    case 1:
        return "Winsock エラーです。\r\nネットワークがちゃんとインストールされているか\r\n確認して"
               "ください";
    case 2:
    case 10:
    case 11:
    case 18:
        return down;
    case 3:
    case 16:
        return address;
    case 4:
    case 5:
    case 15:
        return unexpected;
    case 6:
    case 7:
    case 17:
        return aborted;
    case 8:
        return "タイムアウトにより切断されました。";
    case 9:
        return "ソケットが開けません";
    case 12:
    case 27:
        return refused;
    case 13:
        return "指定したポートには接続できません";
    case 14:
        return "トランザクションがキャンセルされました";
    case 21:
    case 24:
        return cannotOpen;
    case 22:
        return "サーバーが書込み禁止です";
    case 26:
        return "FTPサーバーがダウンしています";
    case 28:
        return "データ転送中にエラーが発生しました";
    default:
        return {};
    }
}

std::optional<std::string> LogLine(std::string_view addinfo) {
    std::string line(addinfo);
    if (line.size() >= 4 && line.ends_with("\r\n")) line.resize(line.size() - 2);
    if (line.starts_with("PASS")) line = "PASS (hidden)";
    if (line.empty()) return std::nullopt;
    return line;
}

std::string RouteText(std::string_view localFolder, std::string_view server,
                      std::string_view remoteDirectory, bool pwdImplemented) {
    // Appended piece by piece: "'" + std::string(...) trips a false -Wrestrict alarm in release
    // builds.
    std::string route = "'";
    route.append(LastName(localFolder, '/'));
    route += "'";
    route += Utf8ToSystem(" から ").value();
    route += "'";
    route.append(server);
    if (pwdImplemented) {
        route += ":";
        route.append(LastName(remoteDirectory, '/'));
    }
    route += "'";
    route += Utf8ToSystem("へ").value();
    return route;
}

void TForm1::AppendLog(const QString& line) {
    if (mode == LogView)
        Memo1->appendPlainText(line);
    else
        logBacklog.append(line);
}

void TForm1::FlushLog() {
    if (logBacklog.isEmpty()) return;
    Memo1->appendPlainText(logBacklog.join('\n'));
    logBacklog.clear();
}

void TForm1::StarFtp1FtpInfo(FtpInfo info, const std::string& addinfo) {
    switch (info) {
    case ftpiConnected:
        Panel2->setText("接続されました");
        break;
    case ftpiNotConnected:
        Panel2->setText("切断されました");
        if (storing && storeFailure.isEmpty())
            storeFailure = addinfo.empty() ? "接続されていません" : "接続が切断されました";
        break;
    case ftpiReceived:
    case ftpiSent:
        if (const auto line = LogLine(addinfo)) {
            QString text = SystemToQString(*line);
            text.replace("\r\n", "\n");
            AppendLog(text);
            if (info == ftpiReceived) {
                // The last complete reply line, for the reason of a refusal.
                std::string_view rest = *line;
                while (rest.ends_with("\r\n"))
                    rest.remove_suffix(2);
                const std::size_t at = rest.rfind("\r\n");
                if (!rest.empty()) lastReply = rest.substr(at == rest.npos ? 0 : at + 2);
            }
        }
        break;
    case ftpiDataConnection: // where a passive data connection goes, or why it could not
        AppendLog(SystemToQString(addinfo));
        break;
    case ftpiProgress:
        if (sessionProgress && !StarFtp1.Listing)
            sessionProgress->UpdateProgress(StarFtp1.BytesTransferred, StarFtp1.ElapsedTime);
        else if (StarFtp1.Listing)
            // Once per listing line: a literal without a conversion each time.
            Panel2->setText(QStringLiteral("リスト取得中"));
        break;
    case ftpiFileSize: {
        std::int64_t size = 0;
        std::from_chars(addinfo.data(), addinfo.data() + addinfo.size(), size);
        CurrentFileSize = size;
        if (sessionProgress)
            sessionProgress->StartFile(StarFtp1.LocalFile,
                                       RouteText(CurrentFolder(), StarFtp1.FtpServer(),
                                                 StarFtp1.InitialDirectory,
                                                 StarFtp1.PWDImplemented),
                                       CurrentFileSize);
        break;
    }
    case ftpiCommandFailed:
        if (storing && storeFailure.isEmpty())
            storeFailure = "サーバーが拒否しました: " + SystemToQString(lastReply);
        break;
    default:
        break;
    }
}

void TForm1::StarFtp1FtpError(FtpError error) {
    const QString message = ErrorMessage(error);
    const QString reason = message.isEmpty() ? QString("エラー %1").arg(int(error)) : message;
    sessionError = reason;
    if (storing && storeFailure.isEmpty()) storeFailure = reason;
    // An error in the middle of an operation that still completes (a local file that cannot be
    // read): the session goes on with the next file, however long the message stays open.
    const bool operationGoesOn = StarFtp1.Busy() && StarFtp1.ControlConnected();
    // Login's own checks fail before any connection exists: no quit notification will come.
    const bool noConnection = error == ftpeNoServer || error == ftpeWinsockNotInitialized;
    if (!NoMessages(Params)) ErrorBox(message);
    FreeProgress();
    // After a refused login the component has sent QUIT itself; a second one could meet the
    // server's close and come back as a reset, a second error for the same failure.
    if (!operationGoesOn && error != ftpeLoginRefused) StarFtp1.Quit();
    Panel2->setText("未接続");
    if (noConnection)
        QMetaObject::invokeMethod(
            this, [this] { StarFtp1FtpQuit(); }, Qt::QueuedConnection);
}
