#pragma once
// Error numbers of the socket component. They are the Windows Sockets numbers, so that the FTP
// component maps them to its own codes by one table whatever the host. This file pair is the only
// place where errno and the lookup results meet them.

#include <cstddef>
#include <cstdint>

constexpr std::uint16_t WSABASEERR = 10000; // an errno without an entry of its own
constexpr std::uint16_t WSAEINTR = 10004;
constexpr std::uint16_t WSAEACCES = 10013;
constexpr std::uint16_t WSAEFAULT = 10014;
constexpr std::uint16_t WSAEINVAL = 10022;
constexpr std::uint16_t WSAEMFILE = 10024;
constexpr std::uint16_t WSAEWOULDBLOCK = 10035;
constexpr std::uint16_t WSAEINPROGRESS = 10036;
constexpr std::uint16_t WSAEALREADY = 10037;
constexpr std::uint16_t WSAENOTSOCK = 10038;
constexpr std::uint16_t WSAEMSGSIZE = 10040;
constexpr std::uint16_t WSAEOPNOTSUPP = 10045;
constexpr std::uint16_t WSAEAFNOSUPPORT = 10047;
constexpr std::uint16_t WSAEADDRINUSE = 10048;
constexpr std::uint16_t WSAEADDRNOTAVAIL = 10049;
constexpr std::uint16_t WSAENETDOWN = 10050;
constexpr std::uint16_t WSAENETUNREACH = 10051;
constexpr std::uint16_t WSAENETRESET = 10052;
constexpr std::uint16_t WSAECONNABORTED = 10053;
constexpr std::uint16_t WSAECONNRESET = 10054;
constexpr std::uint16_t WSAENOBUFS = 10055;
constexpr std::uint16_t WSAEISCONN = 10056;
constexpr std::uint16_t WSAENOTCONN = 10057;
constexpr std::uint16_t WSAESHUTDOWN = 10058;
constexpr std::uint16_t WSAETIMEDOUT = 10060;
constexpr std::uint16_t WSAECONNREFUSED = 10061;
constexpr std::uint16_t WSAEHOSTUNREACH = 10065;
constexpr std::uint16_t WSANOTINITIALISED = 10093;
constexpr std::uint16_t WSAHOST_NOT_FOUND = 11001;
constexpr std::uint16_t WSATRY_AGAIN = 11002;
constexpr std::uint16_t WSANO_RECOVERY = 11003;
constexpr std::uint16_t WSANO_DATA = 11004;

// errno -> Windows Sockets number; 0 stays 0. EAGAIN and EINPROGRESS give WSAEWOULDBLOCK: the
// callers decide where that means "nothing moved" rather than a failure.
std::uint16_t WinsockError(int posixErrno);

// Outcome of a host-name lookup from getaddrinfo's result and the IPv4 and IPv6 addresses it
// gave: 0 when there is one.
std::uint16_t WinsockLookupError(int result, std::size_t addresses);
