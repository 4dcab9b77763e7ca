#pragma once
// Where a data connection goes: the arguments of PORT and EPRT that announce our listener, the
// replies to PASV and EPSV that announce the server's, and the choice of address for the latter.
// Pure functions on texts; nothing here touches a socket.

#include <cstdint>
#include <optional>
#include <string>

// The argument of PORT: "h1,h2,h3,h4,p1,p2" for a dotted address and a port.
std::string PortArgument(const std::string& dotted, std::uint16_t port);

// The argument of EPRT: "|1|address|port|" for IPv4, "|2|address|port|" for IPv6 text.
std::string EprtArgument(const std::string& address, std::uint16_t port);

struct TPassiveEndpoint {
    std::string address; // dotted IPv4; empty after EPSV, which names no address
    std::uint16_t port = 0;
};

// The address and port of a 227 reply to PASV. Servers word it differently ("(h1,h2,...)",
// "=h1,h2,...", no brackets at all), so the first six comma-separated numbers of 0 to 255 after
// the reply code count. Nothing when there are none, or the port is 0.
std::optional<TPassiveEndpoint> ParsePasvReply(const std::string& reply);

// The port of a 229 reply to EPSV, "(|||port|)" with any delimiter in place of "|". Nothing when
// the reply does not hold one, or the port is 0.
std::optional<std::uint16_t> ParseEpsvReply(const std::string& reply);

// The address a PASV data connection goes to. A server behind a router often names an address
// that only its own side can reach (a private, loopback or zero one): then the address the
// control connection reached (`peer`) is used instead. Both are dotted IPv4.
std::string PassiveAddress(const std::string& offered, const std::string& peer);
