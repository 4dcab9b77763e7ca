#pragma once
// Program start: the windows that live for the whole process, and the message loop.

#include "app/cmdline.h"

#include <memory>

class TForm1;
class TForm3;
class TForm5;
class TPasswordDlg;
class TProgress;

// The windows that live for the whole process, created in this order: the main window, the
// progress dialog (hidden until a session shows it; owned by the main window, over which it is
// placed), the password prompt, the folder overwrite question and the text-mode extensions dialog.
// The main window gets pointers to the four dialogs; the three without a parent window are owned
// here. The overwrite question for files and the rename dialog are created by the upload for each
// file that needs them.
class TStartupWindows {
  public:
    explicit TStartupWindows(TParams params);
    ~TStartupWindows();

    std::unique_ptr<TForm1> Form1;
    TProgress* Progress; // a child of Form1, which deletes it
    std::unique_ptr<TPasswordDlg> PasswordDlg;
    std::unique_ptr<TForm3> Form3;
    std::unique_ptr<TForm5> Form5;
};

// The program: creates the windows, runs the message loop, returns the exit code.
int WendupMain(int argc, char** argv);
