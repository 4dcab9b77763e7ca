#pragma once
// What the desktop knows about a type of file: its icon and its name, looked up by the file name's
// extension in the shared MIME database and the icon theme. No file is opened or even looked for,
// so remote names work as well as local ones.

#include <QIcon>
#include <QString>

// The icon of the type that `fileName` (UTF-8 text of the widgets) has by its extension; a generic
// file icon when the theme has none.
QIcon FileTypeIcon(const QString& fileName);
// The desktop's name of that type, in the user's language; empty when the database knows no type
// for the extension.
QString FileTypeName(const QString& fileName);
// The icon of a folder.
QIcon FolderIcon();
