#pragma once
// The progress dialog of an upload: the current file, its route, a percentage bar, bytes and times
// of the file and of the whole session, the overall rate, and a marker travelling from the computer
// to the server.
//
// How the upload driver uses it: the main window holds the one instance (TForm1::Progress), created
// hidden at program start. The driver sets OnCancel, show()s it (showing starts a new session:
// totals, animation and bar back to zero, placed over its parent, the main window), then for each
// file calls StartFile, UpdateProgress as the FTP client reports bytes, and FinishFile when another
// file follows; it hide()s the dialog when the session's files are done or an error ends them.
// Cancel (the button, Enter or Esc) calls OnCancel and changes nothing else. The controls follow
// the file, the run and the figures at most every 50 ms, and never later than 50 ms after the last
// change; Refresh() puts them on at once.
//
// Byte counts and times are 64-bit, so files past 2 GiB and sessions past 24 days show right.

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

class TProgress : public QDialog {
    Q_OBJECT
  public:
    explicit TProgress(QWidget* parent = nullptr);

    // A file starts: `path` (as the host gives it) and `route`, both UTF-8; the label shows the
    // file name part of `path`. A run of many small files starts hundreds a second: the labels
    // show the name of the moment, as often as it can be read.
    void StartFile(const std::string& path, const std::string& route, std::int64_t fileSize);
    // `bytes` of the current file sent in `milliseconds` since it started.
    void UpdateProgress(std::int64_t bytes, std::int64_t milliseconds);
    // The current file is done; its figures join the session's totals.
    void FinishFile();
    // Moves the marker to the frame of the animation counter (on the screen at the next refresh).
    void StepAnimation();
    // Puts the latest file, run, figures and marker on the controls now. Without it they appear
    // within 50 ms: a store reports every 2 KiB and small files start hundreds a second, and laying
    // out and painting the window each time would cost more than sending the file.
    void Refresh();

    // The file's place in the run, "n / m ファイル", and the size of all its files.
    void SetRunFiles(int number, int count, std::int64_t totalSize);

    // Fired by the cancel button (and Enter, and Esc) with the dialog as sender; nothing else
    // happens.
    std::function<void(TProgress& sender)> OnCancel;
    // Fired by the log button.
    std::function<void(TProgress& sender)> OnShowLog;

    // Lays the dialog out and paints it once off the screen, hidden as it is, so that its first
    // showing finds its texts shaped and their glyphs drawn: the session builds it while the
    // server works on the first listing.
    void PaintAhead();

    // The marker frame now visible, 15 to 30, or 0 when none is.
    int VisibleFrame() const;

    // Texts of the figures, from whole numbers.
    // "hh:mm:ss" of a duration, hours of the day (a duration of 24 hours or more wraps around).
    static QString DurationText(std::int64_t seconds);
    // The rate over `seconds` for `bytes`: "???", "%d bytes/sec" or "%d.%d K/sec".
    static QString RateText(std::int64_t bytes, std::int64_t seconds);

    QLabel* Image1;
    std::array<QLabel*, 16> Frames{}; // Image15 to Image30
    QLabel* Image2;
    QLabel* filenamelabel;
    QLabel* dirlabel;
    QProgressBar* ProgressBar;
    QGroupBox* GroupBox2;
    QLabel* Label1;
    QLabel* TransferLbl;
    QLabel* Label2;
    QLabel* TimeLbl;
    QLabel* Label3;
    QLabel* TimeLeftLbl;
    QGroupBox* GroupBox1;
    QLabel* Label4;
    QLabel* TotTransferLbl;
    QLabel* Label5;
    QLabel* TotTimeLbl;
    QLabel* Label6;
    QLabel* TransferRateLbl;
    QLabel* FileCountLbl; // "n / m ファイル"
    QLabel* Label7;
    QLabel* TotalSizeLbl; // bytes of all files of the run
    QPushButton* CancelBtn;
    QPushButton* LogBtn;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void CancelBtnClick();
    // Refreshes soon: once the event loop runs again, and not before 50 ms have passed since the
    // last refresh.
    void RequestRefresh();
    // Works out the figures of the last update, if they are not yet.
    void TakeFigures();

    // What the controls are to show; Refresh puts it on them.
    struct TFigures {
        bool counted = false; // an update has come, so the figure labels have something to show
        int bar = 0;
        std::int64_t bytes = 0;
        std::int64_t seconds = 0;
        std::int64_t left = 0; // seconds, or -1 before the first byte
        std::int64_t totalBytes = 0;
        std::int64_t totalSeconds = 0;
        int marker = -1; // the index in Frames of the frame to show, -1 for none
    } figures;
    int shownMarker = -1;
    // The file and the run of the last StartFile and SetRunFiles, not yet on the labels; their
    // texts are made only for a refresh.
    struct TFileDue {
        std::string path;
        std::string route;
    };
    struct TRunDue {
        int number = 0;
        int count = 0;
        std::int64_t totalSize = 0;
    };
    std::optional<TFileDue> fileDue;
    std::optional<TRunDue> runDue;
    QElapsedTimer sinceRefresh;
    QTimer refreshTimer;

    std::int64_t fileSize = 0;
    std::int64_t bytes = 0;
    std::int64_t milliseconds = 0;
    std::int64_t doneBytes = 0;
    std::int64_t doneMilliseconds = 0;
    int counter = 0;         // 0 to 159
    bool figuresDue = false; // an update came after the figures were last worked out
};
