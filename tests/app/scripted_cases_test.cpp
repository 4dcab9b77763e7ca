// Upload sessions against a scripted server, one case per data file of tests/app/scripted (its
// README describes the format). The runner builds the server's script and the local files from the
// case, runs the program and checks the commands the client sent and how the run ended.
#include "uploadtest.h"

#include "fakeftpserver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>

namespace {

const std::filesystem::path CaseFolder = WENDUP_SCRIPTED_CASES;

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(CaseFolder))
        if (entry.path().extension() == ".case") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Unescape(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            bytes += '\r';
        else if (c == 'n')
            bytes += '\n';
        else if (c == 't')
            bytes += '\t';
        else if (c == 'x' && i + 2 < text.size()) {
            unsigned value = 0;
            std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
            bytes += static_cast<char>(value);
            i += 2;
        } else
            bytes += c;
    }
    return bytes;
}

// "*N" stands for N bytes of "x"; anything else is escaped text.
std::string Bytes(std::string_view text) {
    std::size_t count = 0;
    if (text.starts_with('*') &&
        std::from_chars(text.data() + 1, text.data() + text.size(), count).ec == std::errc())
        return std::string(count, 'x');
    return Unescape(text);
}

// `*` matches any run of characters.
bool Matches(std::string_view pattern, std::string_view text) {
    const std::size_t star = pattern.find('*');
    if (star == std::string_view::npos) return pattern == text;
    if (!text.starts_with(pattern.substr(0, star))) return false;
    const std::string_view rest = pattern.substr(star + 1);
    for (std::size_t at = star; at <= text.size(); ++at)
        if (Matches(rest, text.substr(at))) return true;
    return false;
}

int Number(std::string_view text) {
    int value = -1;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

const char* ResultName(TFileResult result) {
    switch (result) {
    case TFileResult::Stored:
        return "Stored";
    case TFileResult::Renamed:
        return "Renamed";
    case TFileResult::SkippedByPolicy:
        return "SkippedByPolicy";
    case TFileResult::SkippedByUser:
        return "SkippedByUser";
    case TFileResult::Failed:
        return "Failed";
    }
    return "?";
}

struct TAnswer {
    std::string dialog;
    std::string button;
};

// One case file, read.
struct TCase {
    std::string title;
    std::vector<std::string> profile; // KEY=VALUE
    std::vector<std::pair<std::string, std::string>> files;
    std::map<std::string, std::time_t> mtimes; // of files, by name
    std::vector<std::string> folders;
    std::vector<std::string> args;
    std::deque<TAnswer> answers;
    std::vector<std::pair<std::string, std::string>> script; // keyword, argument
    std::vector<std::string> commands;                       // the patterns of "> "
    std::vector<std::pair<std::string, std::string>> expect; // keyword, argument
    int within = 20000;
};

TCase ReadCase(const std::string& name) {
    TCase c;
    std::ifstream in(CaseFolder / (name + ".case"));
    bool keywords = false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        if (line.starts_with('#')) {
            // The comment lines before the first keyword are the title.
            if (!keywords)
                c.title += (c.title.empty() ? "" : " ") + line.substr(line.find_first_not_of("# "));
            continue;
        }
        keywords = true;
        const std::size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        std::istringstream words(rest);
        if (word == "<" || word == "connect" || word == "accept" || word == "data" ||
            word == "data-close" || word == "data-closed" || word == "data-bytes" ||
            word == "data-so-far" || word == "hangup" || word == "reconnect" || word == "pause" ||
            word == "quiet" || word == "together" || word == "click") {
            c.script.emplace_back(word, rest);
        } else if (word == ">") {
            c.script.emplace_back(word, rest);
            c.commands.push_back(Unescape(rest));
        } else if (word == "profile") {
            for (std::string w; words >> w;)
                c.profile.push_back(w);
        } else if (word == "file") {
            const std::size_t gap = rest.find(' ');
            c.files.emplace_back(rest.substr(0, gap),
                                 gap == std::string::npos ? "" : Bytes(rest.substr(gap + 1)));
        } else if (word == "mtime") {
            std::string file, stamp;
            words >> file >> stamp;
            std::tm utc{};
            std::istringstream(stamp) >> std::get_time(&utc, "%Y%m%d%H%M%S");
            c.mtimes[file] = timegm(&utc);
        } else if (word == "folder") {
            c.folders.push_back(rest);
        } else if (word == "args") {
            for (std::string w; words >> w;)
                c.args.push_back(w);
        } else if (word == "answer") {
            TAnswer a;
            words >> a.dialog >> a.button;
            c.answers.push_back(a);
        } else if (word == "within") {
            c.within = Number(rest);
        } else {
            c.expect.emplace_back(word, rest);
        }
    }
    return c;
}

void BuildScript(const TCase& c, FakeFtpServer& s) {
    std::size_t awaited = 0; // the client's commands the script has taken so far
    for (const auto& [word, arg] : c.script) {
        if (word == ">") ++awaited;
        if (word == "<")
            s.Send(Unescape(arg) + "\r\n");
        else if (word == ">")
            s.AwaitCommand();
        else if (word == "connect")
            s.ConnectData();
        else if (word == "accept")
            s.AcceptData();
        else if (word == "data")
            s.SendData(Bytes(arg));
        else if (word == "data-close")
            s.CloseData();
        else if (word == "data-closed")
            s.AwaitDataClosed();
        else if (word == "data-bytes")
            s.AwaitDataBytes(static_cast<std::size_t>(Number(arg)));
        else if (word == "data-so-far") {
            // Checked at this point of the script, without waiting.
            const std::size_t count = static_cast<std::size_t>(Number(arg));
            s.Do([&s, count] {
                EXPECT_EQ(s.DataReceived().size(), count)
                    << "bytes on data connections at this point of the script";
            });
        } else if (word == "hangup")
            s.Close();
        else if (word == "reconnect")
            s.AwaitConnection();
        else if (word == "click") {
            const std::size_t gap = arg.find(' ');
            const QString window = QString::fromStdString(arg.substr(0, gap));
            const QString button = QString::fromStdString(arg.substr(gap + 1));
            // From the event loop, as a user's click comes, not from inside the server's handler.
            s.Do([window, button] {
                QTimer::singleShot(0, [window, button] {
                    for (QWidget* w : QApplication::topLevelWidgets()) {
                        if (w->objectName() != window || !w->isVisible()) continue;
                        if (auto* b = w->findChild<QAbstractButton*>(button)) {
                            b->click();
                            return;
                        }
                    }
                    ADD_FAILURE() << "no visible " << window.toStdString() << " with "
                                  << button.toStdString() << " to click";
                });
            });
        } else if (word == "pause" || word == "quiet") {
            auto until = std::make_shared<std::chrono::steady_clock::time_point>();
            const int ms = Number(arg);
            s.Do([until, ms] {
                *until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            });
            s.Until([until] { return std::chrono::steady_clock::now() >= *until; });
            // Nothing beyond the commands taken so far, not even part of one.
            if (word == "quiet")
                s.Do([&s, awaited, ms] {
                    EXPECT_TRUE(s.Commands().size() == awaited && s.Received().ends_with('\n'))
                        << "the client sent more within " << ms << " ms, before the reply: "
                        << (s.Commands().empty() ? std::string() : s.Commands().back());
                });
        } else if (word == "together") {
            // Far below the 40 ms for which a host may hold back an acknowledgement.
            s.Do([&s] {
                const auto& times = s.CommandTimes();
                ASSERT_GE(times.size(), 2u);
                EXPECT_LT(times.back() - times[times.size() - 2], std::chrono::milliseconds(20))
                    << "the last two commands came apart: " << s.Commands().back();
            });
        }
    }
}

} // namespace

class TScriptedCase : public TUploadTest, public testing::WithParamInterface<std::string> {
  protected:
    void WriteCaseProfile(const TCase& c, int port) {
        TProfile p;
        p.Port(port);
        std::string extra, timeout, makeDir;
        for (const std::string& kv : c.profile) {
            const std::size_t eq = kv.find('=');
            const std::string key = kv.substr(0, eq), value = kv.substr(eq + 1);
            if (key == "policy")
                p.Policy(Number(value));
            else if (key == "mode")
                p.Mode(Number(value));
            else if (key == "dir")
                p.Dir(value);
            else if (key == "pwd" && value == "0")
                p.NoPwd();
            else if (key == "pasv" && value == "1")
                p.Passive();
            else if (key == "namecode")
                p.NameCode(Number(value));
            else if (key == "ftps" && value == "1")
                p.Ftps();
            else if (key == "temp")
                extra += "TempName=" + value + "\r\n";
            else if (key == "keeptime")
                extra += "KeepTime=" + value + "\r\n";
            else if (key == "timeout")
                timeout = value;
            else if (key == "makedir")
                makeDir = value;
            else
                ADD_FAILURE() << "unknown profile key " << key;
        }
        if (!timeout.empty() || !makeDir.empty())
            WriteFile("wendup.ini", "[Default]\nTimeOut=" + (timeout.empty() ? "10" : timeout) +
                                        "\nMakeDir=" + (makeDir.empty() ? "0" : makeDir) +
                                        "\n[TextMode]\ntxt=1\n");
        WriteProfile(p);
        // [Preferences] is the profile file's last section.
        std::ofstream(Path("test.inf"), std::ios::app | std::ios::binary) << extra;
    }
};

TEST_P(TScriptedCase, Runs) {
    const TCase c = ReadCase(GetParam());
    SCOPED_TRACE(c.title);
    ASSERT_FALSE(c.script.empty()) << "no server script";
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    BuildScript(c, s);
    WriteCaseProfile(c, s.Port());

    std::map<std::string, std::string> paths;
    for (const auto& [name, bytes] : c.files)
        paths[name] = Local(
            name, bytes, c.mtimes.contains(name) ? std::optional(c.mtimes.at(name)) : std::nullopt);
    for (const std::string& name : c.folders) {
        std::filesystem::create_directories(local + name);
        paths[name] = local + name;
    }
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(paths.contains(a) ? paths[a] : a);

    std::deque<TAnswer> answers = c.answers;
    QStringList unanswered;
    const auto answer = [&](QWidget* w) {
        auto* dialog = static_cast<QDialog*>(w);
        if (answers.empty() || answers.front().dialog != w->objectName().toStdString()) {
            unanswered << w->objectName();
            dialog->reject();
            return;
        }
        const std::string button = answers.front().button;
        answers.pop_front();
        if (button == "reject") {
            dialog->reject();
        } else if (auto* b = w->findChild<QAbstractButton*>(QString::fromStdString(button))) {
            b->click();
        } else {
            ADD_FAILURE() << "no button " << button << " in " << w->objectName().toStdString();
            dialog->reject();
        }
    };
    const auto started = std::chrono::steady_clock::now();
    const TRunResult run = Run(args, answer, c.within);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();

    ASSERT_TRUE(run.ended) << "still running after " << c.within << " ms; sent "
                           << testing::PrintToString(s.Commands()) << "\n"
                           << run.errors;
    EXPECT_TRUE(s.ScriptDone()) << "the server's script did not run to its end";
    EXPECT_TRUE(answers.empty()) << answers.size() << " answers not used";
    const std::vector<std::string>& sent = s.Commands();
    for (std::size_t i = 0; i < std::max(sent.size(), c.commands.size()); ++i) {
        const std::string want = i < c.commands.size() ? c.commands[i] : "(nothing)";
        const std::string got = i < sent.size() ? sent[i] : "(nothing)";
        if (!Matches(want, got)) {
            ADD_FAILURE() << "command " << i + 1 << ": expected \"" << want << "\", sent \"" << got
                          << "\"\nall sent: " << testing::PrintToString(sent);
            break;
        }
    }
    for (const auto& [word, arg] : c.expect) {
        if (word == "exit") {
            EXPECT_EQ(run.exitStatus, Number(arg)) << run.errors;
        } else if (word == "error") {
            const std::size_t colon = arg.find(": ");
            const std::string name = arg.substr(0, colon);
            const std::string path = paths.contains(name) ? paths[name] : name;
            const std::string line = "wendup: " + path + arg.substr(colon) + "\n";
            EXPECT_NE(run.errors.find(line), std::string::npos)
                << "no line \"" << line << "\" in:\n"
                << run.errors;
        } else if (word == "errors") {
            std::size_t lines = 0;
            for (std::size_t at = 0; (at = run.errors.find("wendup: ", at)) != std::string::npos;
                 ++at)
                ++lines;
            EXPECT_EQ(lines, static_cast<std::size_t>(Number(arg))) << run.errors;
        } else if (word == "received") {
            EXPECT_EQ(s.DataReceived(), Bytes(arg));
        } else if (word == "log") {
            EXPECT_NE(run.log.find(Unescape(arg)), std::string::npos)
                << "no \"" << arg << "\" in the log:\n"
                << run.log;
        } else if (word == "outcomes") {
            std::string names;
            for (const TFileResult r : run.results)
                names += std::string(names.empty() ? "" : " ") + ResultName(r);
            EXPECT_EQ(names, arg);
        } else if (word == "boxes") {
            EXPECT_EQ(run.boxes.size(), Number(arg)) << run.boxes.join(" | ").toStdString();
        } else {
            ADD_FAILURE() << "unknown line \"" << word << "\"";
        }
    }
    EXPECT_LE(took, c.within);
    EXPECT_TRUE(unanswered.isEmpty())
        << "dialogs without an answer: " << unanswered.join(", ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, TScriptedCase, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });
