// Passive data connections (EPSV) and active ones over IPv6 (EPRT) against a real server,
// pyftpdlib on 127.0.0.1 and on ::1: the bytes that arrive on the server are compared with the
// local file, and the listing with the folder's entries.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "pyftpserver.h"
#include "randombytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using Events = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

struct Route {
    const char* what;
    const char* address; // the server's and the client's
    bool passive;
    const char* dataCommand; // the command that precedes LIST and STOR, up to its argument
};

void PrintTo(const Route& route, std::ostream* out) {
    *out << route.what;
}

class FtpRoutes : public testing::TestWithParam<Route> {
  protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(server.Start(why, 0, GetParam().address)) << why;
        ASSERT_TRUE(local.isValid());
        ftp.SetFtpServer(GetParam().address);
        ftp.FtpPort = server.Port();
        ftp.UserName = PyFtpServer::User;
        ftp.UserPassword = PyFtpServer::Password;
        ftp.PassiveMode = GetParam().passive;
        ftp.TimeOutConnect = 10;
        ftp.Login();
        ASSERT_TRUE(RunUntil([&] { return rec.Saw("loggedin") || rec.quits > 0; }));
        ASSERT_TRUE(rec.Saw("loggedin"));
        EXPECT_TRUE(rec.Saw(std::string("info ftpiConnected ") + GetParam().address));
    }

    // Runs until the completion event of an operation started after Clear.
    void Clear() {
        rec.events.clear();
        rec.readies = 0;
    }
    bool Run(const std::string& completion) {
        if (!RunUntil([&] { return rec.Saw(completion) || rec.quits > 0; }, 60000)) return false;
        DrainPostedEvents();
        return rec.Saw(completion);
    }
    bool Store(const std::string& bytes, const std::string& remote) {
        const std::string path = local.filePath(QString::fromStdString(remote)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        ftp.LocalFile = path;
        ftp.RemoteFile = remote;
        ftp.TransferMode = BinaryTransfer;
        Clear();
        ftp.StoreFile();
        return Run("stored");
    }
    std::string OnServer(const std::string& name) {
        QFile file(server.Root() + "/" + QString::fromStdString(name));
        if (!file.open(QIODevice::ReadOnly)) return "<missing>";
        const QByteArray bytes = file.readAll();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    // The commands sent, with the argument of the data command cut off.
    Lines Sent() const {
        Lines sent;
        for (const std::string& e : rec.events) {
            if (e.rfind("sent ", 0) != 0) continue;
            std::string line = e.substr(5, e.size() - 7);
            if (line.rfind("PORT ", 0) == 0 || line.rfind("EPRT ", 0) == 0) line.resize(4);
            sent.push_back(line);
        }
        return sent;
    }

    PyFtpServer server;
    QTemporaryDir local;
    TStarFtp ftp;
    FtpRecorder rec{ftp};
};

TEST_P(FtpRoutes, ListsAndStoresByteForByte) {
    const Route& route = GetParam();
    ASSERT_TRUE(QDir(server.Root()).mkdir("docs"));
    QFile file(server.Root() + "/old.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();

    Clear();
    ftp.GetListing();
    ASSERT_TRUE(Run("listed"));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(Sent(), (Lines{"PWD", "TYPE A", route.dataCommand, "LIST"}));
    EXPECT_EQ(ftp.FileNames, Lines{"old.txt"});
    EXPECT_EQ(ftp.DirectoryNames, Lines{"docs"});
    EXPECT_EQ(rec.readies, 1);
    const Events tail(rec.events.end() - 4, rec.events.end());
    EXPECT_EQ(tail, (Events{"info ftpiListingReady Listing ready",
                            "info ftpiTransferDone Transfer done", "ready", "listed"}));

    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{2048},
                                   std::size_t{100000}, std::size_t{3} << 20}) {
        SCOPED_TRACE(size);
        const std::string bytes = RandomBytes(size, static_cast<unsigned>(size) + 1);
        const std::string name = "f" + std::to_string(size);
        ASSERT_TRUE(Store(bytes, name));
        EXPECT_TRUE(ftp.Success());
        EXPECT_EQ(OnServer(name), bytes);
        // After the listing's TYPE A the first store changes the type; the others keep it.
        Lines sent = {route.dataCommand, "STOR " + name, "SIZE " + name};
        if (size == 0) sent.insert(sent.begin(), "TYPE I");
        EXPECT_EQ(Sent(), sent);
        EXPECT_TRUE(rec.Saw("info ftpiFileSize " + std::to_string(size)));
        EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "info ftpiProgress "),
                  static_cast<long>((size + 2047) / 2048));
        EXPECT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(size));
        EXPECT_EQ(rec.readies, 1);
        EXPECT_EQ(rec.Last(), "stored");
    }
}

TEST_P(FtpRoutes, AbortInTheMiddleOfAStoreLeavesTheSessionUsable) {
    const std::string big = RandomBytes(std::size_t{64} << 20, 5);
    int blocks = 0;
    const TFtpInfoEvent record = ftp.OnFtpInfo;
    ftp.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
        record(f, info, addinfo);
        if (info == ftpiProgress && ++blocks == 100) f.Abort();
    };
    ASSERT_TRUE(Store(big, "big.bin"));
    EXPECT_FALSE(ftp.Success());
    EXPECT_TRUE(rec.Saw("sent ABOR\r\n"));
    EXPECT_EQ(rec.readies, 1);
    EXPECT_LT(OnServer("big.bin").size(), big.size());

    ftp.OnFtpInfo = record;
    const std::string next = RandomBytes(70000, 6);
    ASSERT_TRUE(Store(next, "next.bin"));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(OnServer("next.bin"), next);
}

INSTANTIATE_TEST_SUITE_P(Routes, FtpRoutes,
                         testing::Values(Route{"passive over IPv4", "127.0.0.1", true, "EPSV"},
                                         Route{"passive over IPv6", "::1", true, "EPSV"},
                                         Route{"active over IPv6", "::1", false, "EPRT"},
                                         Route{"active over IPv4", "127.0.0.1", false, "PORT"}),
                         [](const testing::TestParamInfo<Route>& info) {
                             std::string name = info.param.what;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

} // namespace
