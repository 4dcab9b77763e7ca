#include "dialogs/controls.h"

#include "dialogs/pictures.h"
#include "platform/progdir.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QSettings>

#include <algorithm>

namespace {

QString placeFile;

// Keeps the size and place of the window it watches each time the window is hidden.
class TPlaceKeeper : public QObject {
  public:
    static constexpr const char* Name = "PlaceKeeper";
    explicit TPlaceKeeper(QWidget* window) : QObject(window) {
        setObjectName(Name);
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Hide && !event->spontaneous() && !placeFile.isEmpty()) {
            const auto* window = static_cast<const QWidget*>(watched);
            MakePrivateFolders(QFileInfo(placeFile).path().toStdString());
            QSettings places(placeFile, QSettings::IniFormat);
            places.beginGroup(window->objectName());
            // A place kept already is not written again: writing locks and syncs the file.
            if (places.value("pos") == window->pos() && places.value("size") == window->size())
                return false;
            places.setValue("pos", window->pos());
            places.setValue("size", window->size());
        }
        return false;
    }
};

bool RestorePlace(QWidget* window, const QRect& free) {
    QSettings places(placeFile, QSettings::IniFormat);
    places.beginGroup(window->objectName());
    const QPoint pos = places.value("pos").toPoint();
    QSize size = places.value("size").toSize();
    if (!places.contains("pos") || !size.isValid()) return false;
    const bool resizable = window->minimumSize() != window->maximumSize();
    size = resizable ? size.expandedTo(window->minimumSize()) : window->size();
    if (!free.contains(QRect(pos, size))) return false;
    window->resize(size);
    window->move(pos);
    return true;
}

} // namespace

QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QWidget* button : buttons)
        row->addWidget(button);
    return row;
}

void SetStartSize(QWidget* window, QSize size) {
    size = size.expandedTo(window->minimumSizeHint());
    if (const QLayout* layout = window->layout(); layout && layout->hasHeightForWidth())
        size.setHeight(std::max(size.height(), layout->totalHeightForWidth(size.width())));
    if (const QScreen* screen = window->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    window->resize(size);
}

void SetWindowPlaceFile(const QString& path) {
    placeFile = path;
}

void PlaceOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) return;
    const QRect free = screen->availableGeometry();
    if (!placeFile.isEmpty()) {
        if (!window->findChild<QObject*>(TPlaceKeeper::Name, Qt::FindDirectChildrenOnly))
            new TPlaceKeeper(window);
        if (RestorePlace(window, free)) return;
    }
    window->move(free.x() + (free.width() - window->width()) / 2,
                 free.y() + (free.height() - window->height()) / 2);
}

void KeepAboveStayOnTopWindows(QWidget* window) {
    bool above = false;
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other != window && other->isVisible() &&
            other->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            above = true;
    // Changing the flag makes a new native window; only when it changes.
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != above)
        window->setWindowFlag(Qt::WindowStaysOnTopHint, above);
}

TAnswerKeys::TAnswerKeys(QWidget* dialog, std::vector<std::pair<int, QPushButton*>> keys)
    : QObject(dialog), keys(std::move(keys)) {
    dialog->installEventFilter(this);
}

bool TAnswerKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    for (const auto& [code, button] : keys) {
        if (key->key() != code || !button->isVisible()) continue;
        button->click();
        return true;
    }
    return false;
}

TAnswerButtons MakeAnswerButtons(QDialog* dialog, std::uint8_t& answer) {
    TAnswerButtons b;
    b.Button1 = LaidOut<QPushButton>("Button1", "はい(&Y)");
    b.Button2 = LaidOut<QPushButton>("Button2", "いいえ(&N)");
    b.Button3 = LaidOut<QPushButton>("Button3", "すべて上書き(&A)");
    b.Button4 = LaidOut<QPushButton>("Button4", "キャンセル");
    // One width for all: without two of them the others take their places.
    int width = 100;
    for (QPushButton* button : {b.Button1, b.Button2, b.Button3, b.Button4})
        width = std::max(width, button->sizeHint().width());
    for (QPushButton* button : {b.Button1, b.Button3, b.Button2, b.Button4})
        button->setFixedWidth(width);
    b.Row = ButtonRow({b.Button1, b.Button3, b.Button2, b.Button4});
    b.Button1->setDefault(true);
    const auto answerWith = [dialog, &answer](QPushButton* button, std::uint8_t value) {
        QObject::connect(button, &QPushButton::clicked, dialog, [dialog, &answer, value] {
            answer = value;
            dialog->accept();
        });
    };
    answerWith(b.Button1, 0);
    answerWith(b.Button2, 1);
    answerWith(b.Button3, 2);
    QObject::connect(b.Button4, &QPushButton::clicked, dialog, &QDialog::reject);
    // The letters of the answers alone answer too, as in the file managers' questions.
    new TAnswerKeys(dialog,
                    {{Qt::Key_Y, b.Button1}, {Qt::Key_N, b.Button2}, {Qt::Key_A, b.Button3}});
    return b;
}

void LayOutQuestion(QDialog* dialog, QLabel* picture, QLayout* texts, const TAnswerButtons& answers,
                    QSize start) {
    picture->setPixmap(WarningPicture());
    picture->setFixedSize(32, 32);
    auto* body = new QHBoxLayout;
    body->addWidget(picture, 0, Qt::AlignTop);
    body->addLayout(texts, 1);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(body);
    layout->addStretch();
    layout->addLayout(answers.Row);
    SetStartSize(dialog, start);
    layout->activate();
}
