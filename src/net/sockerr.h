#pragma once
// Error numbers of the socket component. They are the Windows Sockets numbers, so that the FTP
// component maps them to its own codes by one table whatever the host. This file pair is the only
// place where errno and the lookup results meet them.

#include <cstdint>

class QHostInfo;

constexpr std::uint16_t WSABASEERR = 10000; // an errno without an entry of its own
constexpr std::uint16_t WSAEWOULDBLOCK = 10035;
constexpr std::uint16_t WSAEADDRNOTAVAIL = 10049;
constexpr std::uint16_t WSAECONNREFUSED = 10061;
constexpr std::uint16_t WSAHOST_NOT_FOUND = 11001;
constexpr std::uint16_t WSANO_RECOVERY = 11003;
constexpr std::uint16_t WSANO_DATA = 11004;

// errno -> Windows Sockets number; 0 stays 0. EAGAIN and EINPROGRESS give WSAEWOULDBLOCK: the
// callers decide where that means "nothing moved" rather than a failure.
std::uint16_t WinsockError(int posixErrno);

// Outcome of a host-name lookup: 0 when it found an IPv4 or IPv6 address.
std::uint16_t WinsockLookupError(const QHostInfo& info);
