#include "ftp/ftpaddr.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>

std::string PortArgument(const std::string& dotted, std::uint16_t port) {
    std::string argument = dotted;
    std::replace(argument.begin(), argument.end(), '.', ',');
    return argument + ',' + std::to_string(port >> 8) + ',' + std::to_string(port & 0xFF);
}

std::string EprtArgument(const std::string& address, std::uint16_t port) {
    const char* family = address.find(':') == std::string::npos ? "1" : "2";
    return std::string("|") + family + '|' + address + '|' + std::to_string(port) + '|';
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number of at most `digits` digits and at most `max`, at `at`; `at` moves past it.
std::optional<unsigned> Number(const std::string& text, std::size_t& at, int digits, unsigned max) {
    unsigned value = 0;
    int n = 0;
    while (at < text.size() && IsDigit(text[at])) {
        if (++n > digits) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[at++] - '0');
    }
    if (n == 0 || value > max) return std::nullopt;
    return value;
}

// Six numbers "a,b,c,d,e,f" of 0 to 255 starting at `at`, spaces allowed around the commas.
std::optional<std::array<unsigned, 6>> SixNumbers(const std::string& text, std::size_t at) {
    std::array<unsigned, 6> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) {
            while (at < text.size() && text[at] == ' ')
                ++at;
            if (at >= text.size() || text[at] != ',') return std::nullopt;
            ++at;
            while (at < text.size() && text[at] == ' ')
                ++at;
        }
        const std::optional<unsigned> n = Number(text, at, 3, 255);
        if (!n) return std::nullopt;
        numbers[i] = *n;
    }
    return numbers;
}

std::optional<std::uint32_t> Ipv4(const std::string& dotted) {
    in_addr a{};
    if (inet_pton(AF_INET, dotted.c_str(), &a) != 1) return std::nullopt;
    return ntohl(a.s_addr);
}

enum class Reach { Zero, Loopback, Private, Public };

Reach ReachOf(std::uint32_t a) {
    const auto in = [a](std::uint32_t net, int bits) {
        return (a >> (32 - bits)) == (net >> (32 - bits));
    };
    if (in(0x00000000, 8)) return Reach::Zero; // "this network"
    if (in(0x7F000000, 8)) return Reach::Loopback;
    if (in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) || // RFC 1918
        in(0x64400000, 10) ||                                            // carrier-grade NAT
        in(0xA9FE0000, 16))                                              // link-local
        return Reach::Private;
    return Reach::Public;
}

} // namespace

std::optional<TPassiveEndpoint> ParsePasvReply(const std::string& reply) {
    // After the reply code, so that "227" itself is never taken for the first number.
    for (std::size_t at = std::min<std::size_t>(3, reply.size()); at < reply.size(); ++at) {
        if (!IsDigit(reply[at]) || IsDigit(reply[at - 1])) continue;
        const std::optional<std::array<unsigned, 6>> n = SixNumbers(reply, at);
        if (!n) continue;
        const unsigned port = (*n)[4] * 256 + (*n)[5];
        if (port == 0) return std::nullopt;
        return TPassiveEndpoint{std::to_string((*n)[0]) + '.' + std::to_string((*n)[1]) + '.' +
                                    std::to_string((*n)[2]) + '.' + std::to_string((*n)[3]),
                                static_cast<std::uint16_t>(port)};
    }
    return std::nullopt;
}

std::optional<std::uint16_t> ParseEpsvReply(const std::string& reply) {
    const std::size_t open = reply.find('(');
    if (open == std::string::npos || open + 4 >= reply.size()) return std::nullopt;
    const char d = reply[open + 1];
    // Printable and not a digit, or the port could not be told from its delimiters.
    if (d < 33 || d > 126 || IsDigit(d) || reply[open + 2] != d || reply[open + 3] != d)
        return std::nullopt;
    std::size_t at = open + 4;
    const std::optional<unsigned> port = Number(reply, at, 5, 65535);
    if (!port || *port == 0 || at >= reply.size() || reply[at] != d) return std::nullopt;
    return static_cast<std::uint16_t>(*port);
}

std::string PassiveAddress(const std::string& offered, const std::string& peer) {
    const std::optional<std::uint32_t> o = Ipv4(offered);
    const std::optional<std::uint32_t> p = Ipv4(peer);
    if (!p || !o) return o ? offered : peer;
    const Reach from = ReachOf(*p);
    const Reach to = ReachOf(*o);
    if (to == Reach::Zero) return peer; // nobody can connect to it
    // A loopback address names the server only on the server itself.
    if (to == Reach::Loopback) return from == Reach::Loopback ? offered : peer;
    // The server is this machine: its data port is reached the way its control port was.
    if (from == Reach::Loopback) return peer;
    // A private address of a server reached over the internet is an address behind its router.
    if (to == Reach::Private && from == Reach::Public) return peer;
    return offered;
}
