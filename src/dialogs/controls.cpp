#include "dialogs/controls.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) return;
    const QRect free = screen->availableGeometry();
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

TAnswerButtons MakeAnswerButtons(QDialog* dialog, std::uint8_t& answer, int y) {
    constexpr int width = 100, height = 28, gap = 8;
    const int right = dialog->width() - 12;
    const auto place = [&](int fromRight) { return right - width - fromRight * (width + gap); };
    TAnswerButtons b;
    b.Button1 = MakeControl<QPushButton>(dialog, "Button1", "はい(&Y)", place(3), y, width, height);
    b.Button3 =
        MakeControl<QPushButton>(dialog, "Button3", "すべて上書き(&A)", place(2), y, width, height);
    b.Button2 =
        MakeControl<QPushButton>(dialog, "Button2", "いいえ(&N)", place(1), y, width, height);
    b.Button4 =
        MakeControl<QPushButton>(dialog, "Button4", "キャンセル", place(0), y, width, height);
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
    for (const auto& [key, button] :
         {std::pair{Qt::Key_Y, b.Button1}, std::pair{Qt::Key_N, b.Button2},
          std::pair{Qt::Key_A, b.Button3}})
        QObject::connect(new QShortcut(QKeySequence(key), dialog), &QShortcut::activated, button,
                         [button] {
                             if (button->isVisible()) button->click();
                         });
    return b;
}
