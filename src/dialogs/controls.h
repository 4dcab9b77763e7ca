#pragma once
// Controls of our windows: placed at fixed positions inside a fixed-size frame, and named as the
// windows' code names them, so tests and accessibility tools find them.

#include <QString>
#include <QWidget>

#include <cstdint>

template <class T> T* MakeControl(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* control = new T(parent);
    control->setObjectName(name);
    control->setGeometry(x, y, w, h);
    return control;
}

template <class T>
T* MakeControl(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h) {
    T* control = MakeControl<T>(parent, name, x, y, w, h);
    control->setText(text);
    return control;
}

// Places a window in the middle of its screen's free area.
void CenterOnScreen(QWidget* window);

// For a question about to be shown: while another window kept above all others is showing (the
// progress dialog of an upload), `window` is kept above them too, so that, shown after it, it
// opens above it instead of underneath; otherwise `window` stacks as any window. Call it while
// `window` is hidden.
void KeepAboveStayOnTopWindows(QWidget* window);

class QDialog;
class QPushButton;

// The buttons of an overwrite question, Button1 to Button4: "はい(&Y)", "いいえ(&N)",
// "すべて上書き(&A)" set `answer` to 0, 1, 2 and close the dialog; "キャンセル" only closes it.
// They stand in a row ending at the right edge of `dialog`, left to right "はい(&Y)",
// "すべて上書き(&A)", "いいえ(&N)", "キャンセル", with their tops at `y`.
struct TAnswerButtons {
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
};
TAnswerButtons MakeAnswerButtons(QDialog* dialog, std::uint8_t& answer, int y);
