#include "modal.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

int ExecBounded(QDialog& dialog, const std::function<void()>& act) {
    QTimer::singleShot(0, &dialog, act);
    bool leftOpen = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        leftOpen = true;
        dialog.reject();
    });
    guard.start(5000);
    const int result = dialog.exec();
    EXPECT_FALSE(leftOpen) << "the dialog was left open";
    return result;
}

TNextBox::TNextBox(QMessageBox::StandardButton button) : button(button), poller(new QTimer) {
    QObject::connect(poller, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (++ticks > 500) {
                poller->stop();
                ADD_FAILURE() << "no message box opened";
            }
            return;
        }
        poller->stop();
        seen = true;
        Title = box->windowTitle();
        Text = box->text();
        if (QAbstractButton* b = box->button(this->button))
            b->click();
        else {
            ADD_FAILURE() << "the message box has no such button";
            box->reject();
        }
    });
    poller->start(10);
}

TNextBox::~TNextBox() {
    delete poller;
}
