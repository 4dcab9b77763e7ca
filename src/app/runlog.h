#pragma once
// The protocol log of each run in a file of its own, "run-YYYYMMDD-HHMMSS-PID.log" under
// UserStateFolder(), in UTF-8 with the time of each line; the newest files are kept, the older
// deleted. The lines are the window's log lines, so the password is hidden as there.

#include <QFile>
#include <QString>

class TRunLog {
  public:
    static constexpr int Kept = 10;

    // Starts the file of a new run and deletes all but the newest Kept files. False when it cannot
    // be written; the run goes on without it.
    bool Open();
    void Append(const QString& line);
    void Close();
    bool IsOpen() const { return file.isOpen(); }
    QString Path() const { return file.fileName(); }

  private:
    QFile file;
    // The time of day that starts each line, worked out once a second rather than for every line:
    // a fast run writes hundreds of lines a second.
    qint64 stampSecond = -1;
    QByteArray stamp;
};
