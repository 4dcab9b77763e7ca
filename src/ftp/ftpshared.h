#pragma once
// What the files of TStarFtp share among themselves; not for its users.

#include "net/starsock.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace ftpshared {

// Private notifications, posted so that they run after the handler that detected the completion.
inline constexpr unsigned WM_FTPQUIT = WM_USER + 2;
inline constexpr unsigned WM_FTPREADY = WM_USER + 4;
inline constexpr unsigned WM_FTPACCEPT = WM_USER + 5; // a data connection before its command
inline constexpr unsigned WM_FTPSEND = WM_USER + 6;   // STOR accepted on a passive connection

inline bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// A greeting line of a server that loses a command sent before it has answered the one before
// (the servers lftp, too, sends one command at a time).
inline bool TakesOneCommandAtATime(std::string_view greeting) {
    return greeting.find("Microsoft FTP Service") != std::string_view::npos ||
           greeting.find("MadGoat") != std::string_view::npos;
}

// A greeting line of vsftpd, which answers PORT as soon as it has the address and connects only
// for the transfer command.
inline bool AnswersPortAtOnce(std::string_view greeting) {
    return greeting.find("(vsFTPd ") != std::string_view::npos;
}

inline std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace ftpshared
