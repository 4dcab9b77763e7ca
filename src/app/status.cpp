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
        // A refused login keeps saying so while the server closes the connection.
        if (!loginRefused) Panel2->setText("切断されました");
        if (!addinfo.empty() && SessionGoesOn()) {
            // The server closed the connection without being asked to.
            QString reason = "接続が切断されました";
            if (StarFtp1.LastReply().starts_with("421"))
                reason += "\r\n" + SystemToQString(StarFtp1.LastReply());
            if (storing && storeFailure.isEmpty()) storeFailure = reason;
            if (loggedIn && !reconnecting)
                ConnectionLost(reason);
            else if (sessionError.isEmpty())
                sessionError = reason;
        } else if (storing && storeFailure.isEmpty()) {
            storeFailure = addinfo.empty() ? "接続されていません" : "接続が切断されました";
        }
        break;
    case ftpiReceived:
    case ftpiSent:
        if (const auto line = LogLine(addinfo)) {
            QString text = SystemToQString(*line);
            text.replace("\r\n", "\n");
            AppendLog(text);
        }
        break;
    case ftpiDataConnection: // where a passive data connection goes, or why it could not
    case ftpiLogNote:        // a step the component took on its own
        AppendLog(SystemToQString(addinfo));
        break;
    case ftpiSizeMismatch: {
        // "SENT REMOTE": the store fails, whatever its final reply said.
        const std::size_t space = addinfo.find(' ');
        AppendLog(QString("サイズが一致しません (送信 %1 バイト、サーバー %2 バイト)")
                      .arg(SystemToQString(addinfo.substr(0, space)),
                           SystemToQString(space == addinfo.npos ? std::string()
                                                                 : addinfo.substr(space + 1))));
        if (storing) storeFailure = "サイズが一致しません";
        break;
    }
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
        // The reason, should the store fail: a refused rename is made good by the component.
        if (storing)
            storeRefusal = "サーバーが拒否しました: " + SystemToQString(StarFtp1.LastReply());
        break;
    default:
        break;
    }
}

namespace {

// Errors raised for a reply of the server, which then says more than the message.
bool ReplyTellsWhy(FtpError error) {
    return error == ftpeNoError || error == ftpeCommandFailed || error == ftpeLocalFileWrite ||
           error == ftpeServerNotReady || error == ftpeLoginRefused;
}

} // namespace

void TForm1::StarFtp1FtpError(FtpError error) {
    QString reason = ErrorMessage(error);
    if (reason.isEmpty()) reason = QString("エラー %1").arg(int(error));
    if (ReplyTellsWhy(error) && !StarFtp1.LastReply().empty())
        reason += "\r\n" + SystemToQString(StarFtp1.LastReply());
    if (storing && storeFailure.isEmpty()) storeFailure = reason;
    if (!StarFtp1.ControlConnected() && SessionGoesOn() && loggedIn && !reconnecting) {
        // Taken up at the quit notification that follows: the file in hand fails, and the
        // session goes on over a new connection.
        ConnectionLost(reason);
        return;
    }
    // An error in the middle of an operation that still completes (a local file that cannot be
    // read): the file fails and the session goes on with the next one.
    const bool operationGoesOn = StarFtp1.Busy() && StarFtp1.ControlConnected();
    if (operationGoesOn && storing) {
        FreeProgress();
        return;
    }
    // Told once, at the end of the session, together with the files it cost.
    sessionError = reason;
    FreeProgress();
    if (error == ftpeLoginRefused) {
        loginRefused = true;
        Panel2->setText("ログインが拒否されました");
        if (passwordTyped && !passwordAskedAgain && !userEnded) {
            passwordAskedAgain = true;
            retryLogin = true;
        }
        // The component has sent QUIT itself; a second one could meet the server's close and
        // come back as a reset, a second error for the same failure.
        return;
    }
    // Login's own checks fail before any connection exists: no quit notification will come.
    const bool noConnection = error == ftpeNoServer || error == ftpeWinsockNotInitialized;
    if (!operationGoesOn) QuitSession();
    Panel2->setText("未接続");
    if (noConnection)
        QMetaObject::invokeMethod(
            this, [this] { StarFtp1FtpQuit(); }, Qt::QueuedConnection);
}
