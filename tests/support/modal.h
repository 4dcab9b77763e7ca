#pragma once
// Modal dialogs in tests: played by a timer as the user, never left to hang a test.

#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;
class QTimer;

// Runs `dialog` modally with `act` as the user, started once the dialog's loop runs. A dialog that
// `act` leaves open fails the test after five seconds and is rejected.
int ExecBounded(QDialog& dialog, const std::function<void()>& act);

// The message box that opens next, within five seconds, is answered with `button`; its title and
// text are kept. A box that never opens fails the test.
class TNextBox {
  public:
    explicit TNextBox(QMessageBox::StandardButton button);
    ~TNextBox();
    TNextBox(const TNextBox&) = delete;
    TNextBox& operator=(const TNextBox&) = delete;

    bool Seen() const { return seen; }
    QString Title;
    QString Text;

  private:
    QMessageBox::StandardButton button;
    bool seen = false;
    int ticks = 0;
    QTimer* poller;
};
