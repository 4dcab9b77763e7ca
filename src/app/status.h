#pragma once
// What the FTP client tells the main window during an upload, turned into what the user sees: the
// message of an error code, the lines of the protocol log and the route text of the progress
// dialog. The upload session (session.cpp) uses them.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The user's message for an FtpError code; empty for codes that have none.
QString ErrorMessage(int code);

// The log line for a sent command or received text: one CR LF at its end dropped (only when the
// text has four characters or more), and anything that starts with "PASS" shown as "PASS (hidden)".
// nullopt when nothing is left to show.
std::optional<std::string> LogLine(std::string_view addinfo);

// "'web' から 'server:/home/user/www'へ": the last folder name of the local folder and the whole
// remote directory; without ":" and the remote part when the server has no directory commands.
// UTF-8 in and out.
std::string RouteText(std::string_view localFolder, std::string_view server,
                      std::string_view remoteDirectory, bool pwdImplemented);
