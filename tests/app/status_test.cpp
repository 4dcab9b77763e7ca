// The texts of the status reporting: log lines, the route of the progress dialog, error messages.
#include "app/status.h"

#include <gtest/gtest.h>

namespace {

TEST(LogLine, LineEndsAndThePassword) {
    const struct {
        std::string addinfo;
        std::optional<std::string> line;
    } cases[] = {
        {"USER anna\r\n", "USER anna"},
        {"PASS s3cret\r\n", "PASS (hidden)"},
        {"PASS\r\n", "PASS (hidden)"},
        {"pass s3cret\r\n", "pass s3cret"}, // only the exact case is the command we send
        {"PASSWORD is what a server may say\r\n", "PASS (hidden)"},
        {"230\r\n", "230"},
        {"2\r\n", "2\r\n"}, // fewer than four characters keep their line end
        {"22\r\n", "22"},
        {"\r\n", "\r\n"},
        {"220 a\r\n220 b\r\n", "220 a\r\n220 b"},
        {"partial", "partial"},
        {"LIST\n", "LIST\n"}, // a bare LF (EUC-JP commands) is kept
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogLine(c.addinfo), c.line) << c.addinfo;
}

TEST(RouteText, LastLocalFolderNameAndTheWholeRemoteFolder) {
    const struct {
        const char* local;
        const char* remote;
        bool pwd;
        const char* want; // UTF-8
    } cases[] = {
        {"/data/web", "/home/user/www", true, "'web' から 'ftp.example:/home/user/www'へ"},
        {"/data/web/", "/home/user/www/", true, "'web' から 'ftp.example:/home/user/www'へ"},
        {"/data/web", "/", true, "'web' から 'ftp.example:/'へ"},
        {"/data/web", "", true, "'web' から 'ftp.example:'へ"},
        {"/", "/x", true, "'' から 'ftp.example:/x'へ"},
        {"/data/web", "/home/user/www", false, "'web' から 'ftp.example'へ"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RouteText(c.local, "ftp.example", c.remote, c.pwd), c.want)
            << c.local << " " << c.remote;
}

TEST(ErrorMessage, CodesShareTheirTexts) {
    // Codes that the table gives one text share it; codes without a text give none.
    const int sameAsTen[] = {2, 11, 18};
    for (int code : sameAsTen)
        EXPECT_EQ(ErrorMessage(code), ErrorMessage(10)) << code;
    EXPECT_EQ(ErrorMessage(12), "接続が拒否されました");
    EXPECT_EQ(ErrorMessage(27), ErrorMessage(12));
    EXPECT_EQ(ErrorMessage(21), "ファイルが開けません");
    EXPECT_EQ(ErrorMessage(24), ErrorMessage(21));
    EXPECT_EQ(ErrorMessage(1).count("\r\n"), 2);
    EXPECT_EQ(ErrorMessage(30), "暗号化 (TLS) の接続ができませんでした");
    EXPECT_EQ(ErrorMessage(31), "サーバーの証明書を信頼できません");
    for (int code : {0, 19, 20, 23, 25, 32, 255})
        EXPECT_TRUE(ErrorMessage(code).isEmpty()) << code;
}

} // namespace
