#pragma once
// What the files of TStarFtp share among themselves; not for its users.

#include "net/starsock.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace ftpshared {

// Private notifications, posted so that they run after the handler that detected the completion.
inline constexpr unsigned WM_FTPQUIT = WM_USER + 2;
inline constexpr unsigned WM_FTPREADY = WM_USER + 4;
inline constexpr unsigned WM_FTPACCEPT = WM_USER + 5; // a data connection before its command
inline constexpr unsigned WM_FTPSEND = WM_USER + 6;   // STOR accepted on a passive connection

inline bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

inline std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace ftpshared
