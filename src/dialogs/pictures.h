#pragma once
// The small pictures of the dialogs, drawn here so the program needs no picture files. Each is
// painted for the screen's pixel density, so it stays crisp on scaled displays.

#include <QPixmap>

// A desktop computer with its screen, 32 by 32: where an upload comes from.
QPixmap ComputerPicture();
// A server tower with its drive bays and lights, 32 by 32: where an upload goes.
QPixmap ServerPicture();
// A sheet of paper with a blue upward arrow, 16 by 16: the file on its way.
QPixmap MarkerPicture();
// A yellow triangle with an exclamation mark, 32 by 32.
QPixmap WarningPicture();
// The two view buttons of a file list, 16 by 16: small icons with names in columns, and a table
// with its rows.
QPixmap ListViewPicture();
QPixmap DetailViewPicture();
