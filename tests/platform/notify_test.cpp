// The desktop notification on a session bus of the test's own: shown when a service runs, nothing
// when none does or when there is no bus at all.
#include "platform/notify.h"

#include "scopedenv.h"
#include "sessionbus.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const TNotification Note{"Wendup FTP uploader", "wendup", "jp.wendup.Uploader",
                         "転送が終わりました", "転送 3、スキップ 0、失敗 0"};

class DesktopNotification : public testing::Test {
  protected:
    // A bus of the test's own, with or without the service.
    bool StartBus(bool service) {
        std::string why;
        const bool started = bus.Start(service, why);
        EXPECT_TRUE(started) << why;
        return started;
    }
    TSessionBus bus;
};

TEST_F(DesktopNotification, ShownByTheServiceOnTheSessionBus) {
    ASSERT_TRUE(StartBus(true));
    const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.Address().toStdString());
    EXPECT_TRUE(SendDesktopNotification(Note));
    const QList<QJsonObject> shown = bus.Notifications();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0]["summary"].toString(), "転送が終わりました");
    EXPECT_EQ(shown[0]["body"].toString(), "転送 3、スキップ 0、失敗 0");
    EXPECT_EQ(shown[0]["icon"].toString(), "wendup");
}

TEST_F(DesktopNotification, NothingWithoutAServiceOrABus) {
    ASSERT_TRUE(StartBus(false));
    {
        const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.Address().toStdString());
        EXPECT_FALSE(SendDesktopNotification(Note));
    }
    QTemporaryDir dir;
    const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS",
                            "unix:path=" + dir.path().toStdString() + "/no-bus");
    EXPECT_FALSE(SendDesktopNotification(Note));
    // Without an address the user's bus in the runtime folder would be asked; there is none.
    const ScopedEnv none("DBUS_SESSION_BUS_ADDRESS", "");
    const ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().toStdString());
    EXPECT_EQ(SessionBusAddress(), "");
    EXPECT_FALSE(SendDesktopNotification(Note));
}

TEST(SessionBus, AnAddressOfMissingSocketFilesIsNoBus) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    QFile present(dir.path() + "/a bus");
    ASSERT_TRUE(present.open(QIODevice::WriteOnly));
    const struct {
        std::string address;
        bool kept; // SessionBusAddress gives it back; otherwise ""
    } rows[] = {
        {"unix:path=" + folder + "/no-bus", false},
        {"unix:path=" + folder + "/no%2dbus,guid=0123456789abcdef", false},
        {"unix:path=" + folder + "/no-bus;unix:path=" + folder + "/nor-this", false},
        {"unix:path=" + folder + "/a%20bus", true}, // escapes undone: the file is there
        {"unix:guid=0123,path=" + folder + "/a%20bus", true},
        // What cannot be told from the file system is left to the bus library.
        {"unix:path=" + folder + "/no-bus;unix:abstract=/tmp/dbus-x", true},
        {"unix:abstract=/tmp/dbus-x", true},
        {"tcp:host=127.0.0.1,port=1", true},
    };
    const ScopedEnv runtime("XDG_RUNTIME_DIR", folder);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        const ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", row.address);
        EXPECT_EQ(SessionBusAddress().toStdString(), row.kept ? row.address : "");
    }
}

} // namespace
