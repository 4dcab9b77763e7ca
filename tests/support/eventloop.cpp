#include "eventloop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    // Wakes the waiting loop now and then, so the deadline is seen even when nothing happens.
    QTimer wake;
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void DrainPostedEvents() {
    for (int round = 0; round < 5; ++round)
        QCoreApplication::processEvents();
}
