// The run's log file: every line in order, each after the local time of day it was written.
#include "apptest.h"

#include "app/runlog.h"
#include "scopedenv.h"

#include <QElapsedTimer>
#include <QFile>

#include <ctime>

namespace {

// "HH:MM:SS " of the local time now, by the C library.
std::string LocalStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S ", &local);
    return text;
}

} // namespace

class RunLog : public TAppTest {};

// Far from UTC, so that a stamp in UTC or of another second than the line's shows.
TEST_F(RunLog, LinesInOrderWithTheLocalTimeOfEach) {
    QString path;
    std::vector<std::string> written;
    std::vector<std::pair<std::string, std::string>> clock; // per round: before and after it
    {
        ScopedEnv zone("TZ", "Asia/Tokyo");
        tzset();
        TRunLog log;
        ASSERT_TRUE(log.Open());
        path = log.Path();
        // Two rounds of lines, each between two readings of the clock; the second round once the
        // next second has begun.
        for (int round = 0; round < 2; ++round) {
            if (round == 1) {
                const std::string old = LocalStamp();
                QElapsedTimer wait;
                wait.start();
                while (LocalStamp() == old && wait.elapsed() < 2000) {
                }
            }
            const std::string first = LocalStamp();
            for (int i = 0; i < 500; ++i) {
                written.push_back("line " + std::to_string(round) + "." + std::to_string(i) +
                                  " 転送");
                log.Append(QString::fromStdString(written.back()));
            }
            clock.push_back({first, LocalStamp()});
        }
        log.Close();
    }
    tzset();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 1001); // the last line ends with its line feed
    EXPECT_TRUE(lines.back().isEmpty());
    for (int i = 0; i < 1000; ++i) {
        SCOPED_TRACE(i);
        const std::string line = lines[i].toStdString();
        ASSERT_GE(line.size(), 9u);
        EXPECT_EQ(line.substr(9), written[i]);
        // "HH:MM:SS " texts of one day sort as the times do.
        const std::string stamp = line.substr(0, 9);
        const auto& [first, last] = clock[i / 500];
        EXPECT_TRUE(first <= stamp && stamp <= last) << stamp << " not in " << first << last;
    }
    EXPECT_NE(lines[999].left(9), lines[0].left(9));
}
