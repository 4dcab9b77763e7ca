#pragma once
// Deleting a file the way the user can undo: into the freedesktop trash.

#include <string_view>

class QWidget;

// Moves the file at `path` (system code page) to the trash. With `confirm`, the user is asked first
// with a Yes/No question owned by `owner`; "No" counts as failure. True when the file is in the
// trash.
bool MoveToTrash(std::string_view path, bool confirm, QWidget* owner);
