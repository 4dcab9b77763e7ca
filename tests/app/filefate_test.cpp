// A file's fate from its facts, the listing's match and the policy: every branch of the decision
// from one table, so that a change in what a file costs the user shows up as a changed row.
#include "app/filefate.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>

namespace {

struct TFateCase {
    const char* name;
    TFileFacts file;
    int sameName;
    TFilePolicy policy;
    TFileStep step;
    const char* reason; // for Fail
};

constexpr TFileFacts File{true, false, true};
constexpr TFileFacts FileNoPwd{true, false, false};
constexpr TFileFacts Folder{true, true, true};
constexpr TFileFacts FolderNoPwd{true, true, false};
constexpr TFileFacts Gone{false, false, true};

TFilePolicy Policy(int sameFile, bool folderHandling = false, bool noFolderQuestion = true) {
    return {sameFile, folderHandling, noFolderQuestion};
}

const char* const NotFound = "ファイルが見つかりません";
const char* const FolderReason = "フォルダは転送できません";
const char* const FolderThere = "サーバーに同じ名前のフォルダがあります";

const TFateCase Cases[] = {
    {"missing file fails", Gone, 1, Policy(4), TFileStep::Fail, NotFound},
    {"missing file fails without PWD",
     {false, false, false},
     0,
     Policy(0),
     TFileStep::Fail,
     NotFound},
    // Not on the server: stored whatever the policy.
    {"new file, keep newer", File, 0, Policy(0), TFileStep::Store, nullptr},
    {"new file, rename", File, 0, Policy(1), TFileStep::Store, nullptr},
    {"new file, skip", File, 0, Policy(2), TFileStep::Store, nullptr},
    {"new file, ask", File, 0, Policy(4), TFileStep::Store, nullptr},
    // Without directory commands the listing's match does not count.
    {"no PWD, ask policy, same name", FileNoPwd, 1, Policy(4), TFileStep::Store, nullptr},
    {"no PWD, skip policy, same name", FileNoPwd, 2, Policy(2), TFileStep::Store, nullptr},
    {"no PWD, folder of that name", FileNoPwd, 3, Policy(0), TFileStep::Store, nullptr},
    // The same-file policy for a file already there, not older (1) and older (2).
    {"policy 0, server's not older", File, 1, Policy(0), TFileStep::Skip, nullptr},
    {"policy 0, server's older", File, 2, Policy(0), TFileStep::Store, nullptr},
    {"no policy selected, not older", File, 1, Policy(-1), TFileStep::Skip, nullptr},
    {"no policy selected, older", File, 2, Policy(-1), TFileStep::Store, nullptr},
    {"out of range policy, not older", File, 1, Policy(7), TFileStep::Skip, nullptr},
    {"rename, not older", File, 1, Policy(1), TFileStep::AskRename, nullptr},
    {"rename, older", File, 2, Policy(1), TFileStep::AskRename, nullptr},
    {"skip, not older", File, 1, Policy(2), TFileStep::Skip, nullptr},
    {"skip, older", File, 2, Policy(2), TFileStep::Skip, nullptr},
    {"overwrite, not older", File, 1, Policy(3), TFileStep::Store, nullptr},
    {"overwrite, older", File, 2, Policy(3), TFileStep::Store, nullptr},
    {"ask, not older", File, 1, Policy(4), TFileStep::AskOverwrite, nullptr},
    {"ask, older", File, 2, Policy(4), TFileStep::AskOverwrite, nullptr},
    // A folder of the file's name on the server: never overwritten, whatever the policy.
    {"server folder, overwrite", File, 3, Policy(3), TFileStep::Fail, FolderThere},
    {"server folder, ask", File, 3, Policy(4), TFileStep::Fail, FolderThere},
    // A folder in a file's place (one that was a file when the run's list was made) is never sent,
    // whatever "MakeDir" and the folder question say: the session uploads only the folders it
    // walked through when they were handed over.
    {"folder, nothing there", Folder, 0, Policy(4, true, false), TFileStep::Fail, FolderReason},
    {"folder, file of that name", Folder, 1, Policy(4, true, false), TFileStep::Fail, FolderReason},
    {"folder, folder there, question wanted", Folder, 3, Policy(4, true, false), TFileStep::Fail,
     FolderReason},
    {"folder, folder there, asked before", Folder, 3, Policy(4, true, true), TFileStep::Fail,
     FolderReason},
    {"folder, folder there, no MakeDir", Folder, 3, Policy(4, false, false), TFileStep::Fail,
     FolderReason},
    {"folder without PWD never asks", FolderNoPwd, 3, Policy(4, true, false), TFileStep::Fail,
     FolderReason},
};

// A failing row is named by its text, not by its bytes.
void PrintTo(const TFateCase& c, std::ostream* os) {
    *os << c.name;
}

class FileFate : public testing::TestWithParam<TFateCase> {};

TEST_P(FileFate, Decides) {
    const TFateCase& c = GetParam();
    const TFileDecision d = DecideFile(c.file, c.sameName, c.policy);
    EXPECT_EQ(d.Step, c.step);
    EXPECT_EQ(d.Reason, c.reason ? QString(c.reason) : QString());
}

INSTANTIATE_TEST_SUITE_P(Table, FileFate, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<TFateCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

struct TModeCase {
    int index;
    bool text;
    TTransferType expected;
};

TEST(FileFate, TransferTypeFromModeAndExtension) {
    const TModeCase cases[] = {
        {0, true, AsciiTransfer},   {0, false, BinaryTransfer},  {1, true, BinaryTransfer},
        {2, false, AsciiTransfer},  {3, true, textJIS},          {3, false, BinaryTransfer},
        {4, true, textSJIS},        {4, false, BinaryTransfer},  {5, true, textEUC},
        {5, false, BinaryTransfer}, {6, true, textUTF8},         {6, false, BinaryTransfer},
        {-1, true, textEUC},        {-1, false, BinaryTransfer}, {7, true, textEUC},
    };
    for (const TModeCase& c : cases)
        EXPECT_EQ(TransferTypeFor(c.index, c.text, textEUC), c.expected)
            << "mode " << c.index << (c.text ? " text" : " binary");
}

} // namespace
