#pragma once
// Program start: the windows that live for the whole process, and the message loop.

#include "app/cmdline.h"

#include <memory>

class TForm1;

// The window made at program start: the main window. The dialogs it opens are made when they are
// first needed, by the main window (the password prompt and the text-mode extensions dialog, kept
// and reused from then on) or by the upload (a progress dialog for each session, the questions for
// each file or folder that needs them): a run that never asks for a password never builds the
// prompt.
class TStartupWindows {
  public:
    explicit TStartupWindows(TParams params);
    ~TStartupWindows();

    std::unique_ptr<TForm1> Form1;
};

// The program: creates the windows, runs the message loop, returns the exit code.
int WendupMain(int argc, char** argv);
