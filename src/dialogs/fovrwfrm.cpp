#include "dialogs/fovrwfrm.h"

#include "dialogs/controls.h"
#include "dialogs/pictures.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName("Form3");
    setWindowTitle("フォルダの上書きの確認");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    Image1 = LaidOut<QLabel>("Image1");
    Label1 = LaidOut<QLabel>("Label1");
    Label1->setWordWrap(true);
    Label2 = LaidOut<QLabel>("Label2",
                             "現在のフォルダのファイルと新しいフォルダのファイルが同じ名前の場合"
                             "、新しいファイルで上書きしますか?");
    Label2->setWordWrap(true);
    auto* texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addWidget(Label2);

    const TAnswerButtons buttons = MakeAnswerButtons(this, Answer);
    Button1 = buttons.Button1;
    Button2 = buttons.Button2;
    Button3 = buttons.Button3;
    Button4 = buttons.Button4;
    LayOutQuestion(this, Image1, texts, buttons, {460, 140});
}

void TForm3::SetFolderName(const std::string& name) {
    Label1->setText("このフォルダには既に '" + QString::fromStdString(name) + "'" +
                    " フォルダが存在します。");
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) PlaceOnScreen(this);
}

void TForm3::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
