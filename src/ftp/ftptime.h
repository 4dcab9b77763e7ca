#pragma once
// The time values of RFC 3659 (MLSD's "modify" fact, the replies to MDTM, the argument of MFMT):
// "YYYYMMDDHHMMSS" in UTC, optionally followed by "." and fractions of a second.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Seconds since 1970-01-01 00:00 UTC; fractions of a second are dropped. nullopt for anything but
// fourteen digits of a real date and time (with only digits after a dot).
std::optional<std::int64_t> ParseFtpTime(std::string_view text);

// The time of an MDTM reply line ("213 20261207103040"); nullopt for any other reply.
std::optional<std::int64_t> FtpTimeOfReply(std::string_view reply);

// "YYYYMMDDHHMMSS" of seconds since 1970 UTC; nullopt for a year outside 0000..9999, which the
// form cannot hold.
std::optional<std::string> FormatFtpTime(std::int64_t utc);
