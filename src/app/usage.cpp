#include "app/usage.h"

#include "platform/codepage.h"
#include "platform/progdir.h"

#include <cstdio>

TInfoOption InfoOption(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) return TInfoOption::None;
    if (arguments[0] == "--help") return TInfoOption::Help;
    if (arguments[0] == "--version") return TInfoOption::Version;
    return TInfoOption::None;
}

std::string VersionText() {
    return "Wendup FTP uploader " WENDUP_VERSION "\n";
}

std::string UsageText(const std::string& settingsFolder) {
    return VersionText() +
           "使い方: wendup [/SERVER:プロファイル名] [ファイル...]\n"
           "        wendup ファイル /NOMSG [ファイル...]\n"
           "        wendup /SET | /createkey:[キー] | /clearkey | --help | --version\n"
           "\n"
           "  ファイル...             転送するファイル (* と ? も使えます)。ないときはファイルの\n"
           "                          選択画面で選びます\n"
           "  /SERVER:プロファイル名  このプロファイルで転送します\n"
           "  /SET                    プロファイルの設定画面を開きます\n"
           "  /NOMSG                  (2 番目に置くと) エラーメッセージを表示しません\n"
           "  /createkey:[キー]       パスワードを暗号化するキーを保存します (省略すると乱数)\n"
           "  /clearkey               保存したキーを削除します\n"
           "  --help                  この説明を表示します\n"
           "  --version               バージョンを表示します\n"
           "\n"
           "プロファイルの「FTPS (TLS)」: パスワードとファイルを TLS で暗号化して送ります\n"
           "\n"
           "設定フォルダ: " +
           settingsFolder + "\n";
}

int PrintInfo(TInfoOption option) {
    std::string text;
    if (option == TInfoOption::Version) {
        text = VersionText();
    } else {
        // Only named: asking for help writes nothing.
        const std::string folder = ProgramFolder(false);
        text = UsageText(SystemToUtf8(folder).value_or(folder));
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}
