#include "dialogs/prgrsfrm.h"

#include "dialogs/controls.h"
#include "dialogs/pictures.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

// Left and top of the marker frames, on an arc from the computer to the server.
constexpr int FramePlaces[16][2] = {
    {24, 26},  {32, 29},  {43, 26},  {54, 20},  {70, 15},  {84, 14},  {102, 12}, {118, 10},
    {134, 10}, {152, 10}, {166, 12}, {184, 12}, {201, 12}, {216, 14}, {230, 17}, {248, 19}};

constexpr int Steps = 160; // updates per round of the marker, 10 per frame
constexpr std::int64_t NoEstimate = -1;
// A store reports every 2 KiB and small files follow each other within a millisecond; the window
// is laid out and painted again at most this often (milliseconds).
constexpr qint64 RefreshInterval = 50;

// A caption and its value on one row of a group's grid.
void MakeRow(QGridLayout* grid, QLabel*& caption, const char* captionName, const char* text,
             QLabel*& value, const char* valueName) {
    const int row = grid->rowCount();
    caption = LaidOut<QLabel>(captionName, text);
    value = LaidOut<QLabel>(valueName);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(caption, row, 0);
    grid->addWidget(value, row, 1);
}

QGroupBox* MakeGroup(const char* name, const char* title, QGridLayout*& grid) {
    auto* group = LaidOut<QGroupBox>(name);
    group->setTitle(title);
    grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(0);
    grid->setContentsMargins(8, 2, 8, 4);
    return group;
}

// A one-line label for a path of any length: a long one loses its middle, not the end that names
// the file or the remote folder, and never widens the dialog. Its text stays whole.
class TPathLabel : public QLabel {
  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect area = contentsRect();
        painter.drawText(area, int(alignment()),
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

QLabel* LineLabel(const char* name) {
    QLabel* label = LaidOut<TPathLabel>(name);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

} // namespace

TProgress::TProgress(QWidget* parent) : QDialog(parent) {
    setObjectName("Progress");
    setWindowTitle("転送しています...");
    // A dialog frame without buttons, above the other windows.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);

    // The pictures stand where the animation's places put them, on a stage of their own.
    auto* stage = LaidOut<QWidget>("Stage");
    stage->setFixedSize(300, 60);
    Image1 = MakeControl<QLabel>(stage, "Image1", 15, 25, 32, 32);
    Image1->setPixmap(ComputerPicture());
    Image2 = MakeControl<QLabel>(stage, "Image2", 251, 26, 32, 32);
    Image2->setPixmap(ServerPicture());
    const QPixmap marker = MarkerPicture();
    for (int i = 0; i < 16; ++i) {
        const QByteArray name = "Image" + QByteArray::number(15 + i);
        Frames[i] = MakeControl<QLabel>(stage, name.constData(), FramePlaces[i][0],
                                        FramePlaces[i][1], 16, 16);
        Frames[i]->setPixmap(marker);
        Frames[i]->hide();
    }

    filenamelabel = LineLabel("filenamelabel");
    dirlabel = LineLabel("dirlabel");
    FileCountLbl = LaidOut<QLabel>("FileCountLbl");
    ProgressBar = LaidOut<QProgressBar>("ProgressBar");
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);

    QGridLayout* grid = nullptr;
    GroupBox2 = MakeGroup("GroupBox2", "現在のファイル", grid);
    MakeRow(grid, Label1, "Label1", "転送バイト数", TransferLbl, "TransferLbl");
    MakeRow(grid, Label2, "Label2", "経過時間", TimeLbl, "TimeLbl");
    MakeRow(grid, Label3, "Label3", "残り時間", TimeLeftLbl, "TimeLeftLbl");
    GroupBox1 = MakeGroup("GroupBox1", "全ファイル", grid);
    MakeRow(grid, Label4, "Label4", "転送バイト数", TotTransferLbl, "TotTransferLbl");
    MakeRow(grid, Label5, "Label5", "経過時間", TotTimeLbl, "TotTimeLbl");
    MakeRow(grid, Label6, "Label6", "転送レート", TransferRateLbl, "TransferRateLbl");
    MakeRow(grid, Label7, "Label7", "合計サイズ", TotalSizeLbl, "TotalSizeLbl");

    LogBtn = LaidOut<QPushButton>("LogBtn", "ログ");
    LogBtn->setToolTip("実際の送受信文字列を表示します。");
    LogBtn->setAutoDefault(false);
    CancelBtn = LaidOut<QPushButton>("CancelBtn", "キャンセル");
    CancelBtn->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CancelBtn);
    buttons->addWidget(LogBtn);
    buttons->addStretch();

    auto* file = new QHBoxLayout;
    file->addWidget(filenamelabel, 1);
    file->addWidget(FileCountLbl);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->addWidget(stage, 0, Qt::AlignHCenter);
    layout->addLayout(file);
    layout->addWidget(dirlabel);
    layout->addWidget(ProgressBar);
    layout->addWidget(GroupBox2);
    layout->addWidget(GroupBox1);
    layout->addStretch();
    layout->addLayout(buttons);
    SetStartSize(this, {320, 356});

    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    connect(LogBtn, &QPushButton::clicked, this, [this] {
        if (OnShowLog) OnShowLog(*this);
    });
    refreshTimer.setSingleShot(true);
    connect(&refreshTimer, &QTimer::timeout, this, [this] { Refresh(); });
}

void TProgress::SetRunFiles(int number, int count, std::int64_t totalSize) {
    runDue = TRunDue{number, count, totalSize};
    RequestRefresh();
}

void TProgress::StartFile(const std::string& path, const std::string& route, std::int64_t size) {
    TakeFigures();
    fileSize = size;
    figures.bar = 0;
    fileDue = TFileDue{path, route};
    RequestRefresh();
}

// A store reports every 2 KiB, far more often than the figures are shown: they are worked out
// when the controls are refreshed, or before anything else changes what they are made of.
void TProgress::UpdateProgress(std::int64_t sent, std::int64_t elapsed) {
    bytes = sent;
    milliseconds = elapsed;
    figuresDue = true;
    if (++counter == Steps) counter = 0;
    if (counter % 10 == 0) StepAnimation();
    RequestRefresh();
}

// The figures of the last update.
void TProgress::TakeFigures() {
    if (!figuresDue) return;
    figuresDue = false;
    // Text conversions can send more bytes than the file holds; the bar stops at full.
    const double percent = fileSize == 0 ? 0.0 : double(bytes) / double(fileSize) * 100.0;
    figures.counted = true;
    figures.bar = int(std::clamp(percent, 0.0, 100.0));
    figures.bytes = bytes;
    figures.seconds = milliseconds / 1000;
    if (bytes <= 0) {
        figures.left = NoEstimate;
    } else {
        const long double total = (long double)figures.seconds * (long double)fileSize / bytes;
        const long double left = std::floor(total) - figures.seconds;
        figures.left = left > 0 ? std::int64_t(left) : 0;
    }
    figures.totalBytes = doneBytes + bytes;
    figures.totalSeconds = (doneMilliseconds + milliseconds) / 1000;
}

void TProgress::FinishFile() {
    TakeFigures();
    figures.bar = 0;
    doneBytes += bytes;
    doneMilliseconds += milliseconds;
    // Counted once: a next file without any update must not add these again.
    bytes = 0;
    milliseconds = 0;
    RequestRefresh();
}

void TProgress::StepAnimation() {
    figures.marker = counter / 10;
}

void TProgress::Refresh() {
    TakeFigures();
    refreshTimer.stop();
    sinceRefresh.start();
    if (fileDue) {
        const std::string& path = fileDue->path;
        const std::size_t slash = path.rfind('/');
        filenamelabel->setText(
            QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
        const QString route = QString::fromStdString(fileDue->route);
        dirlabel->setText(route);
        dirlabel->setToolTip(route);
        fileDue.reset();
    }
    if (runDue) {
        FileCountLbl->setText(QString("%1 / %2 ファイル").arg(runDue->number).arg(runDue->count));
        TotalSizeLbl->setText(QString::number(runDue->totalSize) + " バイト");
        runDue.reset();
    }
    ProgressBar->setValue(figures.bar);
    if (figures.counted) {
        TransferLbl->setText(QString::number(figures.bytes));
        TimeLbl->setText(DurationText(figures.seconds));
        // Before the first byte there is nothing to estimate from.
        TimeLeftLbl->setText(figures.left == NoEstimate ? QString("--:--:--")
                                                        : DurationText(figures.left));
        TotTransferLbl->setText(QString::number(figures.totalBytes));
        TotTimeLbl->setText(DurationText(figures.totalSeconds));
        TransferRateLbl->setText(RateText(figures.totalBytes, figures.totalSeconds));
    }
    if (figures.marker != shownMarker) {
        if (shownMarker >= 0) Frames[shownMarker]->hide();
        if (figures.marker >= 0) Frames[figures.marker]->show();
        shownMarker = figures.marker;
    }
}

void TProgress::RequestRefresh() {
    // A refresh is on its way; it shows the figures of that moment.
    if (refreshTimer.isActive()) return;
    // Once the events of this moment are handled, so that a file's name and its place in the run
    // come together.
    const qint64 wait = sinceRefresh.isValid() ? RefreshInterval - sinceRefresh.elapsed() : 0;
    refreshTimer.start(int(std::max<qint64>(wait, 0)));
}

void TProgress::PaintAhead() {
    const qreal ratio = devicePixelRatioF();
    QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    render(&image);
}

int TProgress::VisibleFrame() const {
    for (int i = 0; i < 16; ++i)
        if (!Frames[i]->isHidden()) return 15 + i;
    return 0;
}

QString TProgress::DurationText(std::int64_t seconds) {
    const std::int64_t ofDay = std::max<std::int64_t>(seconds, 0) % 86400;
    return QString("%1:%2:%3")
        .arg(ofDay / 3600, 2, 10, QChar('0'))
        .arg(ofDay / 60 % 60, 2, 10, QChar('0'))
        .arg(ofDay % 60, 2, 10, QChar('0'));
}

QString TProgress::RateText(std::int64_t bytes, std::int64_t seconds) {
    // Tenths of a kilobyte (1024 bytes) per second.
    const std::int64_t tenths = seconds == 0 ? 0 : bytes * 10 / 1024 / seconds;
    if (tenths == 0) return "???";
    if (tenths < 10) return QString("%1 bytes/sec").arg(bytes / seconds);
    return QString("%1.%2 K/sec").arg(tenths / 10).arg(tenths % 10);
}

void TProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window system shows it again after a minimise: that is the same session.
    if (event->spontaneous()) return;
    TakeFigures();
    // A showing by the program starts a session: nothing of an earlier one is left.
    doneBytes = 0;
    doneMilliseconds = 0;
    bytes = 0;
    milliseconds = 0;
    counter = 0;
    figures.bar = 0;
    figures.marker = -1;
    Refresh();
    // The session's first file shows at once.
    sinceRefresh.invalidate();
    if (QWidget* owner = parentWidget()) {
        move(owner->x() + (owner->width() - width()) / 2,
             owner->y() + (owner->height() - height()) / 2);
    }
    CancelBtn->setFocus();
}

void TProgress::closeEvent(QCloseEvent* event) {
    // The frame cannot close it; the program hides it when the session ends.
    if (event->spontaneous()) event->ignore();
}

void TProgress::reject() {
    // Esc is the cancel button's key; the dialog stays open until the program hides it.
    CancelBtnClick();
}

void TProgress::CancelBtnClick() {
    if (OnCancel) OnCancel(*this);
}
