#pragma once
// Controls of our windows: placed at fixed positions inside a fixed-size frame, and named as the
// windows' code names them, so tests and accessibility tools find them.

#include <QString>
#include <QWidget>

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
