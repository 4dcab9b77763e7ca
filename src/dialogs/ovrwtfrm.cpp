#include "dialogs/ovrwtfrm.h"

#include "dialogs/controls.h"
#include "dialogs/filetype.h"
#include "dialogs/pictures.h"
#include "platform/codepage.h"

#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>

namespace {

QPixmap IconPixmap(const QIcon& icon, const QWidget* on) {
    return icon.pixmap(QSize(32, 32), on->devicePixelRatioF());
}

} // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName("Form2");
    setWindowTitle("ファイルの上書きの確認");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(460, 236);

    Image1 = MakeControl<QLabel>(this, "Image1", 12, 12, 32, 32);
    Image1->setPixmap(WarningPicture());
    Label1 = MakeControl<QLabel>(this, "Label1", 56, 8, 392, 40);
    Label1->setWordWrap(true);
    Label2 = MakeControl<QLabel>(this, "Label2", "現在のファイル", 56, 50, 392, 20);
    Image2 = MakeControl<QLabel>(this, "Image2", 72, 74, 32, 32);
    Label4 = MakeControl<QLabel>(this, "Label4", 116, 70, 332, 20);
    Label5 = MakeControl<QLabel>(this, "Label5", 116, 90, 332, 20);
    Label3 = MakeControl<QLabel>(this, "Label3", "に次の新しいファイルを上書きしますか?", 56, 114,
                                 392, 20);
    Image3 = MakeControl<QLabel>(this, "Image3", 72, 138, 32, 32);
    Label6 = MakeControl<QLabel>(this, "Label6", 116, 134, 332, 20);
    Label7 = MakeControl<QLabel>(this, "Label7", 116, 154, 332, 20);

    const TAnswerButtons buttons = MakeAnswerButtons(this, Answer, 194);
    Button1 = buttons.Button1;
    Button2 = buttons.Button2;
    Button3 = buttons.Button3;
    Button4 = buttons.Button4;
}

void TForm2::SetFileName(const std::string& name) {
    Label1->setText("このフォルダには既に '" + QString::fromStdString(name) + "'" +
                    " ファイルが存在します。");
}

void TForm2::SetRemoteFile(const std::string& sizeText, const QDateTime& modified) {
    Label4->setText("サイズ: " + SystemToQString(sizeText) + "バイト");
    Label5->setText("更新日時: " +
                    (modified.isValid() ? DateText(modified, QLocale()) : QString("(不明)")));
}

void TForm2::SetLocalFile(const std::string& path, std::int64_t size, const QDateTime& modified) {
    const QPixmap icon = IconPixmap(FileTypeIcon(QString::fromStdString(path)), this);
    Image2->setPixmap(icon);
    Image3->setPixmap(icon);
    Label6->setText("サイズ: " + QString::number(size) + "バイト");
    Label7->setText("更新日時: " + DateText(modified, QLocale()));
}

void TForm2::LastFileLayout() {
    Button3->hide();
    Button4->hide();
    Button1->move(Button2->pos());
    Button2->move(Button4->pos());
}

QString TForm2::DateText(const QDateTime& time, const QLocale& locale) {
    const QDate date = time.date();
    return QString("%1 年 %2 月 %3 日 %4、 %5")
        .arg(date.year(), 4, 10, QChar('0'))
        .arg(date.month())
        .arg(date.day())
        .arg(locale.dayName(date.dayOfWeek(), QLocale::LongFormat))
        .arg(time.time().toString("hh:mm:ss"));
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) CenterOnScreen(this);
}

void TForm2::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
