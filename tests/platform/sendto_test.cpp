// The file managers' entries, checked with the desktop's own tools in a temporary home: the entry
// validates, GLib starts the program from it with the right arguments, and no file type gets the
// program as its default application.
#include "platform/sendto.h"

#include "eventloop.h"
#include "runprocess.h"
#include "scopedenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A tool of the desktop, run to its end, its messages and errors in one text.
TProcessRun RunTool(const QString& program, const QStringList& args) {
    return RunProcess(program, args, QProcessEnvironment::systemEnvironment(), true);
}

bool Have(const char* tool) {
    return !QStandardPaths::findExecutable(tool).isEmpty();
}

// A home of its own: data, config and system folders, with the system's MIME database only, so
// that the tools see our entries and no other program.
class SendToTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + '/';
        QDir().mkpath(root + "system");
        QDir().mkpath(root + "home");
        if (QFileInfo::exists("/usr/share/mime"))
            QFile::link("/usr/share/mime", root + "system/mime");
    }

    // A stand-in for the program that writes each of its arguments, itself first, on a line of
    // `record`. The lines are written aside and renamed into place, so that a reader never sees
    // only the first of them: the launchers start it without waiting for it.
    QString MakeRecorder(const QString& folder) {
        QDir().mkpath(folder);
        const QString path = folder + "/wendup";
        std::ofstream(path.toStdString())
            << "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > '"
            << record.toStdString() << ".part' && mv '" << record.toStdString() << ".part' '"
            << record.toStdString() << "'\n";
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    }

    QStringList Recorded() {
        if (!RunUntil([&] { return QFileInfo(record).size() > 0; }, 10000)) return {};
        QFile f(record);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        lines.removeLast(); // after the last line end
        return lines;
    }

    QTemporaryDir dir;
    QString root;
    QString record = dir.path() + "/record";
    ScopedEnv data{"XDG_DATA_HOME", dir.path().toStdString() + "/data"};
    ScopedEnv dirs{"XDG_DATA_DIRS", dir.path().toStdString() + "/system"};
    ScopedEnv config{"XDG_CONFIG_HOME", dir.path().toStdString() + "/config"};
    ScopedEnv configDirs{"XDG_CONFIG_DIRS", dir.path().toStdString() + "/config-system"};
    ScopedEnv home{"HOME", dir.path().toStdString() + "/home"};
};

TEST_F(SendToTest, EveryFileIsWrittenAndTakenAwayAgain) {
    const QString data = root + "data/";
    struct {
        const char* path;
        bool executable;
    } const files[] = {
        {"applications/Wendup FTP.desktop", false},
        {"Thunar/sendto/Wendup FTP.desktop", false},
        {"kio/servicemenus/Wendup FTP.desktop", true},
        {"nautilus/scripts/Wendup FTP", true},
    };
    ASSERT_TRUE(WriteSendToFiles("/usr/bin/wendup"));
    for (const auto& f : files) {
        const QFileInfo info(data + f.path);
        ASSERT_TRUE(info.isFile()) << f.path;
        EXPECT_EQ(info.isExecutable(), f.executable) << f.path;
    }
    // Writing again replaces the files instead of failing on them.
    ASSERT_TRUE(WriteSendToFiles("/opt/wendup/wendup"));
    QFile entry(data + files[0].path);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("Exec=\"/opt/wendup/wendup\" %F\n"));

    // Deleted, not moved to the trash, where a restore would bring the hand-off back.
    RemoveSendToFiles();
    for (const auto& f : files)
        EXPECT_FALSE(QFileInfo::exists(data + f.path)) << f.path;
    EXPECT_FALSE(QFileInfo::exists(data + "Trash"));
}

TEST_F(SendToTest, FilesOfTheSameNameThatTheProgramDidNotWriteStay) {
    const QString data = root + "data/";
    ASSERT_TRUE(WriteSendToFiles("/usr/bin/wendup"));
    // The user's own versions, each a little different from ours.
    const struct {
        const char* path;
        const char* text;
    } theirs[] = {
        {"applications/Wendup FTP.desktop",
         "[Desktop Entry]\nType=Application\nName=Wendup FTP\nExec=/usr/bin/wendup %F\n"},
        {"Thunar/sendto/Wendup FTP.desktop",
         "[Desktop Entry]\nType=Application\nName=Upload\nExec=wendup %F\n"},
        {"nautilus/scripts/Wendup FTP", "#!/bin/sh\nexec '/usr/bin/wendup' \"$@\"\necho done\n"},
    };
    for (const auto& t : theirs)
        std::ofstream((data + t.path).toStdString(), std::ios::binary | std::ios::trunc) << t.text;
    RemoveSendToFiles();
    for (const auto& t : theirs)
        EXPECT_TRUE(QFileInfo::exists(data + t.path)) << t.path;
    // Ours, in the same folders, went.
    EXPECT_FALSE(QFileInfo::exists(data + "kio/servicemenus/Wendup FTP.desktop"));
}

// Entries written before the desktop entry lost its MimeType line are still the program's.
TEST(SendToFileForm, TheProgramsFilesOfEveryVersionAreRecognised) {
    const struct {
        const char* text;
        bool ours;
    } cases[] = {
        {"[Desktop Entry]\nType=Application\nName=Wendup FTP\nName[ja]=Wendup FTP で転送\n"
         "Icon=wendup\nExec=\"/opt/w/wendup\" %F\nMimeType=application/octet-stream;\n"
         "NoDisplay=true\n",
         true},
        {"#!/bin/sh\nexec '/opt/it'\\''s/wendup' \"$@\"\n", true},
        {"#!/bin/sh\nexec '/opt/w/wendup' \"$@\"\nrm -rf ~/x\n", false},
        {"#!/bin/bash\nexec '/opt/w/wendup' \"$@\"\n", false},
        {"[Desktop Entry]\nType=Application\nName=Wendup FTP\nExec=wendup %F\n", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsWrittenSendToFile(QByteArray(c.text)), c.ours) << c.text;
    // And whatever this version writes.
    for (const TSendToFile& f : SendToFiles("/opt/my \"odd\" 'dir'/wendup"))
        EXPECT_TRUE(IsWrittenSendToFile(f.Text.toUtf8())) << f.Path.toStdString();
}

TEST_F(SendToTest, RemovingWhenNothingIsInstalledTouchesNothing) {
    RemoveSendToFiles();
    EXPECT_FALSE(QFileInfo::exists(root + "data"));
}

TEST_F(SendToTest, EntriesValidate) {
    if (!Have("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate is not installed";
    // The path of a build folder with every character that Exec must quote or escape.
    ASSERT_TRUE(WriteSendToFiles("/opt/my \"odd\" $dir `x` \\ 'q' 100% 日本語/wendup"));
    for (const char* path :
         {"applications/Wendup FTP.desktop", "Thunar/sendto/Wendup FTP.desktop"}) {
        const TProcessRun r = RunTool("desktop-file-validate", {root + "data/" + path});
        EXPECT_EQ(r.exitCode, 0) << path << ": " << r.out.toStdString();
        EXPECT_EQ(r.out, "") << path;
    }
}

TEST_F(SendToTest, GLibStartsTheProgramWithTheChosenFiles) {
    if (!Have("gio")) GTEST_SKIP() << "gio is not installed";
    // GLib's parser is the one the GTK file managers use. ("%" is left out: GLib looks for the
    // program before it turns "%%" back into "%", so it cannot start such a path.)
    const QString program = MakeRecorder(root + "my \"odd\" $dir `x` \\ 'q' 日本語");
    ASSERT_TRUE(WriteSendToFiles(program));
    const QString file = root + "a file $HOME 'x'.txt";
    const TProcessRun r = RunTool(
        "gio", {"launch", root + "data/applications/Wendup FTP.desktop", file, root + "b.png"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(Recorded(), QStringList({program, file, root + "b.png"}));
}

// GLib starts a desktop action the way the menus of GNOME, Xfce and Cinnamon do.
bool HaveGLibPython() {
    return RunTool("/usr/bin/python3", {"-c", "import gi; gi.require_version('Gio', '2.0')"})
               .exitCode == 0;
}

TProcessRun LaunchAction(const QString& entry, const char* action) {
    const char* script = "import sys, gi\n"
                         "gi.require_version('Gio', '2.0')\n"
                         "from gi.repository import Gio\n"
                         "info = Gio.DesktopAppInfo.new_from_filename(sys.argv[1])\n"
                         "print(';'.join(info.list_actions()))\n"
                         "print(info.get_action_name(sys.argv[2]))\n"
                         "info.launch_action(sys.argv[2], None)\n";
    return RunTool("/usr/bin/python3", {"-c", script, entry, action});
}

TEST_F(SendToTest, SettingsActionOpensTheEditor) {
    if (!HaveGLibPython()) GTEST_SKIP() << "python3-gi is not installed";
    const QString program = MakeRecorder(root + "my \"odd\" $dir 日本語");
    ASSERT_TRUE(WriteSendToFiles(program));
    const TProcessRun r = LaunchAction(root + "data/applications/Wendup FTP.desktop", "Settings");
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(r.out, "Settings\n設定\n");
    EXPECT_EQ(Recorded(), QStringList({program, "/SET"}));
}

TEST_F(SendToTest, MenuEntryOfTheInstalledCopyOffersTheSettingsAction) {
    if (!HaveGLibPython()) GTEST_SKIP() << "python3-gi is not installed";
    // The installed entry names the program without a path: the one on PATH is started.
    const QString bin = root + "bin";
    const QString program = MakeRecorder(bin);
    const ScopedEnv path("PATH", (bin + ":" + qEnvironmentVariable("PATH")).toStdString());
    const TProcessRun r = LaunchAction(WENDUP_DESKTOP_ENTRY, "Settings");
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(r.out, "Settings\n設定\n");
    const QStringList recorded = Recorded();
    ASSERT_EQ(recorded.size(), 2) << recorded.join('|').toStdString();
    EXPECT_EQ(QFileInfo(recorded[0]).fileName(), "wendup");
    EXPECT_EQ(recorded[1], "/SET");
}

TEST_F(SendToTest, NautilusScriptPassesTheSelection) {
    const QString program = MakeRecorder(root + "it's \"here\" $x 日本語");
    ASSERT_TRUE(WriteSendToFiles(program));
    const TProcessRun r =
        RunTool(root + "data/nautilus/scripts/Wendup FTP", {"a b.txt", "$HOME", "'"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(Recorded(), QStringList({program, "a b.txt", "$HOME", "'"}));
}

// The desktop of the fault: no other program handles any type, so a type with a single
// registered program makes that program its default.
TEST_F(SendToTest, DefaultForNoTypeEvenWithNoOtherProgramInstalled) {
    if (!Have("gio") || !Have("xdg-mime") || !Have("update-desktop-database"))
        GTEST_SKIP() << "gio, xdg-mime or update-desktop-database is not installed";
    const QString applications = root + "data/applications/";
    // GLib lists only programs that exist.
    const QString program = MakeRecorder(root + "bin");
    const char* const types[] = {"application/octet-stream", "text/plain",      "image/png",
                                 "application/zip",          "application/pdf", "inode/directory",
                                 "application/x-zerosize"};
    const auto defaults = [&] {
        QStringList named;
        for (const char* type : types) {
            const QString xdg = RunTool("xdg-mime", {"query", "default", type}).out.trimmed();
            if (!xdg.isEmpty()) named << QString(type) + " xdg-mime: " + xdg;
            const QString gio = RunTool("gio", {"mime", type}).out;
            if (!gio.startsWith("No default applications for"))
                named << QString(type) + " gio: " + gio;
        }
        return named;
    };

    // The home can show the fault: an entry that names a type becomes its default here.
    QDir().mkpath(applications);
    std::ofstream((applications + "probe.desktop").toStdString())
        << "[Desktop Entry]\nType=Application\nName=Probe\nExec=" << program.toStdString()
        << " %F\nMimeType=application/octet-stream;\nNoDisplay=true\n";
    RunTool("update-desktop-database", {applications});
    ASSERT_EQ(RunTool("xdg-mime", {"query", "default", "application/octet-stream"}).out.trimmed(),
              "probe.desktop");
    QFile::remove(applications + "probe.desktop");

    ASSERT_TRUE(WriteSendToFiles(program));
    EXPECT_EQ(defaults(), QStringList());
    // The cache that file managers read was refreshed, and names nothing of ours.
    QFile cache(applications + "mimeinfo.cache");
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(cache.readAll()), "[MIME Cache]\n");
    cache.close();

    // The menu entry of an installed copy, in the system folder, names no type either.
    QDir().mkpath(root + "system/applications");
    const QString menuEntry = root + "system/applications/jp.wendup.Uploader.desktop";
    QFile source(QString(WENDUP_TEST_SUPPORT_DIR) + "/../../desktop/jp.wendup.Uploader.desktop");
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray text = source.readAll();
    // Its program, where GLib can find it.
    text.replace("Exec=wendup ", ("Exec=" + program + " ").toUtf8());
    QFile copy(menuEntry);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(text);
    copy.close();
    RunTool("update-desktop-database", {root + "system/applications"});
    EXPECT_EQ(defaults(), QStringList());
}

} // namespace
