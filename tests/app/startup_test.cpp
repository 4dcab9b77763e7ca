// The once-only start-up decision and the command-line options it reads.
#include "apptest.h"

#include "app/ftpfrm.h"

#include "loopback.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

namespace {

struct TStartCase {
    const char* what;
    std::optional<std::string> settings; // nullopt: no wendup.ini
    bool profiles;
    std::vector<std::string> params;
    TForm1::TWindowMode mode;
    const char* selected; // the profile list's text
    const char* dir;      // Edit6: which profile was loaded
};

std::string Settings(const std::string& profile, const std::string& last) {
    return "[Default]\nProfile=" + profile + "\nLastServer=" + last + "\n";
}

const TStartCase startCases[] = {
    {"no settings file", std::nullopt, true, {}, TForm1::SetupMode, "", ""},
    {"no profile", Settings("beta", ""), false, {}, TForm1::SetupMode, "", ""},
    {"/SET, default found",
     Settings("beta", ""),
     true,
     {"/SET"},
     TForm1::SetupMode,
     "beta",
     "beta.example"},
    {"/set, default not found",
     Settings("zeta", ""),
     true,
     {"/set"},
     TForm1::SetupMode,
     "alpha",
     "alpha.example"},
    {"/SET, no default: the last profile is not used",
     Settings("", "gamma"),
     true,
     {"/SET"},
     TForm1::SetupMode,
     "alpha",
     "alpha.example"},
    {"default found: upload at once",
     Settings("beta", "gamma"),
     true,
     {},
     TForm1::ConnectingMode,
     "beta",
     "beta.example"},
    {"default not found",
     Settings("zeta", "gamma"),
     true,
     {},
     TForm1::SetupMode,
     "alpha",
     "alpha.example"},
    {"last profile found",
     Settings("", "gamma"),
     true,
     {},
     TForm1::ChooserMode,
     "gamma",
     "gamma.example"},
    {"last profile not found",
     Settings("", "zeta"),
     true,
     {},
     TForm1::SetupMode,
     "alpha",
     "alpha.example"},
    {"neither default nor last",
     Settings("", ""),
     true,
     {},
     TForm1::ChooserMode,
     "alpha",
     "alpha.example"},
    {"/SERVER: with an empty name",
     Settings("", ""),
     true,
     {"/SERVER:"},
     TForm1::ChooserMode,
     "alpha",
     "alpha.example"},
    {"/server: in lower case, settings not consulted",
     Settings("gamma", ""),
     true,
     {"/server:beta"},
     TForm1::ConnectingMode,
     "beta",
     "beta.example"},
    {"/SERVER: name in other case",
     Settings("", ""),
     true,
     {"/SERVER:Beta"},
     TForm1::SetupMode,
     "alpha",
     "alpha.example"},
    {"a file parameter starts the default",
     Settings("gamma", ""),
     true,
     {"x.txt", "/nomsg"},
     TForm1::ConnectingMode,
     "gamma",
     "gamma.example"},
    // A key option does not stop the start: it counts as a parameter that names no file.
    {"/clearkey with a default profile",
     Settings("gamma", ""),
     true,
     {"/clearkey"},
     TForm1::ConnectingMode,
     "gamma",
     "gamma.example"},
    {"/createkey: without a default profile",
     Settings("", "beta"),
     true,
     {"/createkey:k"},
     TForm1::ChooserMode,
     "beta",
     "beta.example"},
};

void PrintTo(const TStartCase& c, std::ostream* os) {
    *os << c.what;
}

class StartUp : public TAppTest, public testing::WithParamInterface<TStartCase> {};

} // namespace

TEST_P(StartUp, OutcomeTable) {
    const TStartCase& c = GetParam();
    if (c.settings) WriteFile("wendup.ini", *c.settings);
    // A start that uploads at once logs in anonymously to a loopback port where nobody listens;
    // the test ends before the refusal is read.
    const std::string server =
        "[Server]\nserver=127.0.0.1\nport=" + std::to_string(RefusingLoopbackPort()) +
        "\n[User]\nanonymous=1\nDefaultDir=";
    if (c.profiles)
        for (const std::string name : {"alpha", "beta", "gamma"})
            WriteFile(name + ".inf", server + name + ".example\n");

    auto form = Start(c.params);
    EXPECT_EQ(form->Mode(), c.mode);
    EXPECT_EQ(form->ComboBox1->currentText().toStdString(), c.selected);
    EXPECT_EQ(form->Edit6->text().toStdString(), c.dir);
    EXPECT_EQ(form->ComboBox1->count(), c.settings && c.profiles ? 3 : 0);
    switch (c.mode) {
    case TForm1::SetupMode:
        EXPECT_EQ(form->height(), 275);
        EXPECT_TRUE(form->ComboBox1->isEditable());
        EXPECT_FALSE(form->Button6->isEnabled());
        break;
    case TForm1::ChooserMode:
        EXPECT_EQ(form->height(), 64);
        EXPECT_FALSE(form->ComboBox1->isEditable());
        EXPECT_TRUE(form->Button6->isEnabled());
        break;
    default:
        EXPECT_EQ(form->height(), 100);
        // Wide enough that the frame does not cut the title short.
        EXPECT_GT(form->width(), form->fontMetrics().horizontalAdvance(form->windowTitle()) + 64);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StartUp, testing::ValuesIn(startCases),
                         [](const testing::TestParamInfo<TStartCase>& info) {
                             return "Row" + std::to_string(info.index);
                         });

TEST_F(TAppTest, StartUpDecisionIsTakenOnce) {
    WriteFile("wendup.ini", Settings("", ""));
    WriteFile("alpha.inf", "[Server]\nserver=a\n");
    auto form = Start();
    ASSERT_EQ(form->Mode(), TForm1::ChooserMode);
    form->FormShow();
    form->hide();
    form->show();
    EXPECT_EQ(form->Mode(), TForm1::ChooserMode);
    EXPECT_EQ(form->ComboBox1->count(), 1);
}

TEST(CommandLine, Options) {
    EXPECT_TRUE(NoMessages({"a", "/nomsg"}));
    EXPECT_TRUE(NoMessages({"/SERVER:x", "/NoMsg", "b"}));
    EXPECT_FALSE(NoMessages({"/NOMSG"}));
    EXPECT_FALSE(NoMessages({"a", "b", "/NOMSG"}));
    EXPECT_FALSE(NoMessages({"a", "/NOMSG "}));

    EXPECT_EQ(ServerOptionName("/sErVeR:Mixed Case"), "Mixed Case");
    EXPECT_EQ(ServerOptionName("/SERVE"), "");
    EXPECT_FALSE(IsServerOption(" /SERVER:x"));
    EXPECT_TRUE(IsSetOption("/sEt"));
    EXPECT_FALSE(IsSetOption("/SETX"));

    struct {
        TParams params;
        TKeyOption option;
        std::string text;
    } const keyCases[] = {
        {{"/createkey:MyKey"}, TKeyOption::CreateKey, "MyKey"},
        {{"/CreateKey:AbC"}, TKeyOption::CreateKey, "AbC"},
        {{"/createkey:"}, TKeyOption::CreateKey, ""},
        // Found anywhere, but the text is always taken from the 12th character.
        {{"xx/createkey:abc"}, TKeyOption::CreateKey, "y:abc"},
        {{"/createkey:a/clearkey"}, TKeyOption::CreateKey, "a/clearkey"},
        {{"/CLEARKEY"}, TKeyOption::ClearKey, ""},
        {{"/clearkey", "file"}, TKeyOption::None, ""},
        {{"/createkey:x", "/createkey:y"}, TKeyOption::None, ""},
        {{}, TKeyOption::None, ""},
    };
    for (const auto& c : keyCases) {
        const TKeyRequest request = KeyOption(c.params);
        EXPECT_EQ(request.Option, c.option) << Param(c.params, 1);
        EXPECT_EQ(request.Text, c.text) << Param(c.params, 1);
    }
}

// A file is named as the host names it, whatever characters it holds; only a profile name and a
// key text go to the code of the files that keep them.
TEST(CommandLine, FilesKeepTheHostsNamesOptionsTakeTheSystemCode) {
    const struct {
        std::vector<std::string> arguments;
        TParams params;
    } cases[] = {
        {{"\xE3\x80\x9C.txt", "/NOMSG", "\xE8\xA1\xA8.txt", "caf\xC3\xA9/a.txt"},
         {"\xE3\x80\x9C.txt", "/NOMSG", "\xE8\xA1\xA8.txt", "caf\xC3\xA9/a.txt"}},
        {{"/SERVER:\xE8\xA1\xA8", "\xE8\xA1\xA8.txt"}, {"/SERVER:\x95\x5C", "\xE8\xA1\xA8.txt"}},
        {{"/createkey:\xE8\xA1\xA8"}, {"/createkey:\x95\x5C"}},
        {{"/server:\xF0\x9F\x98\x80"}, {"/server:\xF0\x9F\x98\x80"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParamsFromArguments(c.arguments), c.params) << c.arguments[0];
}
