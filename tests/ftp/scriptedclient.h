#pragma once
// What the scripted-server tests of the FTP component share.

#include "ftp/ftp.h"

#include "fakeftpserver.h"

#include <string>

// A server without FEAT: the login goes on without features.
inline const std::string kNoFeat = "500 FEAT not understood\r\n";

// Points a client at a scripted server, as user anna with password pw.
inline void Aim(TStarFtp& client, const FakeFtpServer& fake) {
    client.SetFtpServer("127.0.0.1");
    client.FtpPort = fake.Port();
    client.UserName = "anna";
    client.UserPassword = "pw";
}
