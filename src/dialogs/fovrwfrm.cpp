#include "dialogs/fovrwfrm.h"

#include "dialogs/controls.h"
#include "dialogs/pictures.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName("Form3");
    setWindowTitle("フォルダの上書きの確認");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFixedSize(460, 140);

    Image1 = MakeControl<QLabel>(this, "Image1", 12, 12, 32, 32);
    Image1->setPixmap(WarningPicture());
    Label1 = MakeControl<QLabel>(this, "Label1", 56, 8, 392, 40);
    Label1->setWordWrap(true);
    Label2 =
        MakeControl<QLabel>(this, "Label2",
                            "現在のフォルダのファイルと新しいフォルダのファイルが同じ名前の場合"
                            "、新しいファイルで上書きしますか?",
                            56, 50, 392, 40);
    Label2->setWordWrap(true);

    const TAnswerButtons buttons = MakeAnswerButtons(this, Answer, 100);
    Button1 = buttons.Button1;
    Button2 = buttons.Button2;
    Button3 = buttons.Button3;
    Button4 = buttons.Button4;
}

void TForm3::SetFolderName(const std::string& name) {
    Label1->setText("このフォルダには既に '" + QString::fromStdString(name) + "'" +
                    " フォルダが存在します。");
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) CenterOnScreen(this);
}

void TForm3::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
