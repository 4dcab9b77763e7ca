// The session on its own, through a view that records what the window would be told: a login that
// cannot start ends the session, every file gets its outcome, and the message box is left out only
// under "/NOMSG".
#include "app/session.h"

#include "eventloop.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

namespace {

class TRecordingView : public TSessionView {
  public:
    TFilePolicy FilePolicy() const override { return {4, false, true}; }
    int TransferModeIndex() const override { return 1; }
    void OverwriteFromNowOn() override { ++questions; }
    void NoMoreFolderQuestions() override { ++questions; }
    // Every question counts: this session has nothing to ask.
    std::optional<QStringList> PickFiles() override {
        ++questions;
        return std::nullopt;
    }
    TOverwriteAnswer AskOverwrite(const std::string&, const TListingMatch&, bool) override {
        ++questions;
        return TOverwriteAnswer::Cancel;
    }
    std::optional<std::string> AskRename(const std::string&) override {
        ++questions;
        return std::nullopt;
    }
    TOverwriteAnswer AskFolder(const std::string&) override {
        ++questions;
        return TOverwriteAnswer::Cancel;
    }
    std::optional<std::string> AskPassword() override {
        ++questions;
        return std::nullopt;
    }
    bool AskTrustCertificate(const TCertificateInfo&, bool) override {
        ++questions;
        return false;
    }
    void KeepTrustedCertificate(const std::string&) override { ++questions; }
    void ShowStatus(const QString& text) override { status = text; }
    void AppendLog(const QString&) override {}
    void ShowError(const QString& text) override { errors.push_back(text); }
    TProgress* NewProgress() override {
        ++questions; // no file gets as far as a progress dialog
        return nullptr;
    }
    void ShowStopping() override {}
    void SessionEnded() override { ++ended; }

    int questions = 0;
    int ended = 0;
    QString status;
    QStringList errors;
};

TEST(UploadSession, LoginWithoutServerFailsEveryFileAndEndsOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string one = dir.filePath("1.txt").toStdString();
    const std::string two = dir.filePath("2.txt").toStdString();
    std::ofstream(one) << "1";
    std::ofstream(two) << "2";
    const QString reason = "エラー 19";
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet);
        const TParams params = quiet ? TParams{one, "/NOMSG", two} : TParams{one, two};
        TStarFtp ftp;
        TRecordingView view;
        TUploadSession session(ftp, view, params);
        ftp.OnFtpError = [&](TStarFtp&, FtpError e, const std::string&) { session.Error(e); };
        ftp.OnFtpQuit = [&](TStarFtp&) { session.FtpQuit(); };
        ftp.SetFtpServer("");
        ASSERT_TRUE(session.Start(false));
        ASSERT_TRUE(RunUntil([&] { return view.ended > 0; }, 5000));
        DrainPostedEvents();

        EXPECT_EQ(view.ended, 1);
        EXPECT_EQ(view.questions, 0);
        EXPECT_EQ(view.status, "未接続");
        EXPECT_FALSE(session.Running());
        EXPECT_EQ(session.ExitStatus(), 1);
        ASSERT_EQ(session.Outcomes().size(), 2u);
        for (const TFileOutcome& o : session.Outcomes()) {
            EXPECT_EQ(o.Result, TFileResult::Failed) << o.Path;
            EXPECT_EQ(o.Reason, reason) << o.Path;
        }
        EXPECT_EQ(session.Outcomes()[0].Path, one);
        EXPECT_EQ(session.Outcomes()[1].Path, two);
        if (quiet)
            EXPECT_TRUE(view.errors.isEmpty());
        else
            EXPECT_EQ(view.errors, QStringList{EndMessage(reason, session.Outcomes())});
    }
}

} // namespace
