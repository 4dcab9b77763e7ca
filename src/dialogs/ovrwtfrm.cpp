#include "dialogs/ovrwtfrm.h"

#include "dialogs/controls.h"
#include "dialogs/filetype.h"
#include "dialogs/pictures.h"
#include "platform/codepage.h"

#include <QBoxLayout>
#include <QGridLayout>
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

    Image1 = LaidOut<QLabel>("Image1");
    Label1 = LaidOut<QLabel>("Label1");
    Label1->setWordWrap(true);
    Label2 = LaidOut<QLabel>("Label2", "現在のファイル");
    Image2 = LaidOut<QLabel>("Image2");
    Image2->setFixedSize(32, 32);
    Label4 = LaidOut<QLabel>("Label4");
    Label5 = LaidOut<QLabel>("Label5");
    Label3 = LaidOut<QLabel>("Label3", "に次の新しいファイルを上書きしますか?");
    Image3 = LaidOut<QLabel>("Image3");
    Image3->setFixedSize(32, 32);
    Label6 = LaidOut<QLabel>("Label6");
    Label7 = LaidOut<QLabel>("Label7");

    // A file's icon beside its size and date, indented under the text about it.
    const auto fileFacts = [](QLabel* icon, QLabel* size, QLabel* date) {
        auto* facts = new QGridLayout;
        facts->setContentsMargins(16, 0, 0, 0);
        facts->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
        facts->addWidget(size, 0, 1);
        facts->addWidget(date, 1, 1);
        facts->setColumnStretch(1, 1);
        return facts;
    };
    auto* texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addWidget(Label2);
    texts->addLayout(fileFacts(Image2, Label4, Label5));
    texts->addWidget(Label3);
    texts->addLayout(fileFacts(Image3, Label6, Label7));

    const TAnswerButtons buttons = MakeAnswerButtons(this, Answer);
    Button1 = buttons.Button1;
    Button2 = buttons.Button2;
    Button3 = buttons.Button3;
    Button4 = buttons.Button4;
    LayOutQuestion(this, Image1, texts, buttons, {460, 236});
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
    // The two left stand where the last two stood.
    Button3->hide();
    Button4->hide();
    layout()->activate();
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
    if (!event->spontaneous()) PlaceOnScreen(this);
}

void TForm2::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
