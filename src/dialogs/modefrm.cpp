#include "dialogs/modefrm.h"

#include "dialogs/controls.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

namespace {

// Extensions are compared with their ASCII letters folded and nothing else.
QString AsciiUpper(const QString& text) {
    QString upper = text;
    for (QChar& c : upper)
        if (c >= 'a' && c <= 'z') c = QChar(c.unicode() - 'a' + 'A');
    return upper;
}

} // namespace

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    setObjectName("Form5");
    setWindowTitle("転送方法の設定");
    // A dialog frame without a close box; Escape still answers Cancel.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    Label1 = LaidOut<QLabel>(
        "Label1", "自動設定のとき、以下の拡張子のファイルをテキストモードで転送します。");
    Label1->setWordWrap(true);
    Label2 = LaidOut<QLabel>("Label2", "拡張子");
    Edit1 = LaidOut<QLineEdit>("Edit1");
    Edit1->setToolTip("拡張子を入力します");
    Label2->setBuddy(Edit1);
    Button1 = LaidOut<QPushButton>("Button1", "追加");
    Button1->setToolTip("入力した拡張子を追加します");
    Button1->setAutoDefault(false);
    Button2 = LaidOut<QPushButton>("Button2", "削除");
    Button2->setToolTip("選択した拡張子を削除します");
    Button2->setAutoDefault(false);

    // Five columns, filled top to bottom, scrolled sideways when they overflow.
    ListBox1 = LaidOut<QListWidget>("ListBox1");
    ListBox1->setFlow(QListView::TopToBottom);
    ListBox1->setWrapping(true);
    ListBox1->setResizeMode(QListView::Adjust);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setGridSize(QSize((376 - 6) / 5, ListBox1->fontMetrics().height() + 4));
    ListBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As tall as the dialog lets it be, five rows at the start.
    ListBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    ListBox1->setMinimumHeight(5 * ListBox1->gridSize().height() + 2 * ListBox1->frameWidth());

    Button3 = LaidOut<QPushButton>("Button3", "OK");
    Button3->setDefault(true);
    Button4 = LaidOut<QPushButton>("Button4", "キャンセル");

    auto* entry = new QHBoxLayout;
    entry->addWidget(Label2);
    entry->addWidget(Edit1, 1);
    entry->addWidget(Button1);
    entry->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(entry);
    layout->addWidget(ListBox1, 1);
    layout->addLayout(ButtonRow({Button3, Button4}));
    SetStartSize(this, {400, 252});

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
    // Picked with the arrow keys as with the mouse.
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] {
        if (ListBox1->hasFocus()) ListBox1Click();
    });
    Edit1->installEventFilter(this);
}

bool TForm5::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the extension box adds what was typed; the dialog stays open for the next one.
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Button1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QStringList TForm5::Entries() const {
    QStringList entries;
    for (int i = 0; i < ListBox1->count(); ++i)
        entries << ListBox1->item(i)->text();
    return entries;
}

void TForm5::Button1Click() {
    const QString text = Edit1->text();
    if (text.isEmpty()) return;
    const QString key = AsciiUpper(text);
    for (int i = 0; i < ListBox1->count(); ++i)
        if (AsciiUpper(ListBox1->item(i)->text()) == key) return;
    ListBox1->addItem(text);
}

void TForm5::Button2Click() {
    QListWidgetItem* item = ListBox1->currentItem();
    if (!item || !item->isSelected()) return;
    Edit1->clear();
    delete item;
    // Nothing stays picked, so a second press deletes nothing.
    ListBox1->setCurrentRow(-1);
    ListBox1->clearSelection();
}

void TForm5::Button3Click() {
    Button1Click();
    accept();
}

void TForm5::Button4Click() {
    reject();
}

void TForm5::ListBox1Click() {
    if (QListWidgetItem* item = ListBox1->currentItem()) Edit1->setText(item->text());
}

void TForm5::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) PlaceOnScreen(this);
}
