// The texts of the status line, the protocol log and the error messages of an upload session.

#include "app/status.h"

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
    case 29:
        return "転送モードの文字コードで表せない文字があります";
    case 30:
        return "暗号化 (TLS) の接続ができませんでした";
    case 31:
        return "サーバーの証明書を信頼できません";
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
    route += " から ";
    route += "'";
    route.append(server);
    if (pwdImplemented) {
        // The whole folder: its last name alone is empty for the root and tells little elsewhere.
        route += ":";
        if (remoteDirectory.size() > 1 && remoteDirectory.back() == '/')
            remoteDirectory.remove_suffix(1);
        route.append(remoteDirectory);
    }
    route += "'";
    route += "へ";
    return route;
}
