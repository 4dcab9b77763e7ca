#pragma once
// Controls of our windows, named as the windows' code names them, so tests and accessibility tools
// find them; placed at fixed positions where a window is not laid out by layouts.

#include <QString>
#include <QWidget>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

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

// A control for a layout, which gives it its parent and its place.
template <class T> T* LaidOut(const char* name) {
    auto* control = new T;
    control->setObjectName(name);
    return control;
}

template <class T> T* LaidOut(const char* name, const QString& text) {
    T* control = LaidOut<T>(name);
    control->setText(text);
    return control;
}

class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QLayout;

// Buttons at the right end of a row.
QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons);

// Gives a laid-out window its first size: `size`, made larger where its contents need more (a
// wrapped text its lines), and smaller where the screen is.
void SetStartSize(QWidget* window, QSize size);

// Places a window where it stood when it was last hidden, with the size it had then when it can be
// resized, if a place file is set and that place lies on the screen's free area; otherwise in the
// middle of that area. From then on its size and place are kept whenever it is hidden.
void PlaceOnScreen(QWidget* window);

// The file in which windows keep their sizes and places between runs; empty (the start) keeps
// nothing.
void SetWindowPlaceFile(const QString& path);

// For a question about to be shown: while another window kept above all others is showing (the
// progress dialog of an upload), `window` is kept above them too, so that, shown after it, it
// opens above it instead of underneath; otherwise `window` stacks as any window. Call it while
// `window` is hidden.
void KeepAboveStayOnTopWindows(QWidget* window);

class QDialog;
class QPushButton;

// The buttons of an overwrite question, Button1 to Button4: "はい(&Y)", "いいえ(&N)",
// "すべて上書き(&A)" set `answer` to 0, 1, 2 and close the dialog; "キャンセル" only closes it.
// Row holds them at its right end, left to right "はい(&Y)", "すべて上書き(&A)", "いいえ(&N)",
// "キャンセル", all of one width; Y, N and A answer as their buttons.
struct TAnswerButtons {
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QHBoxLayout* Row;
};
TAnswerButtons MakeAnswerButtons(QDialog* dialog, std::uint8_t& answer);

// Lays out an overwrite question of the first size `start`: the warning picture beside its texts,
// the answers below.
void LayOutQuestion(QDialog* dialog, QLabel* picture, QLayout* texts, const TAnswerButtons& answers,
                    QSize start);

// A key without modifiers that reaches `dialog` (pressed there, or passed on by the control with
// the focus) clicks its button, while that button shows.
class TAnswerKeys : public QObject {
  public:
    TAnswerKeys(QWidget* dialog, std::vector<std::pair<int, QPushButton*>> keys);
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::vector<std::pair<int, QPushButton*>> keys;
};
