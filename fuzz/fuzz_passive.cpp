// Replies to PASV and EPSV as a hostile server may send them, and the choice of the address a
// passive data connection goes to. Besides the sanitizers, checks that an endpoint always has a
// port and a well-formed address, and that a server reached over loopback can only ever send the
// client to a loopback address: whatever a server names, a session on 127.0.0.1 stays there.
//
// Input: the first byte picks the peer's address from a few of each kind; the rest is the reply.

#include "ftp/ftpaddr.h"

#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool Dotted(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const char* const peers[] = {"127.0.0.1",   "127.9.8.7",     "192.168.1.5", "10.0.0.1",
                                        "203.0.113.7", "198.51.100.20", "0.0.0.0"};
    const std::string peer = peers[data[0] % (sizeof peers / sizeof *peers)];
    const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);

    if (const auto endpoint = ParsePasvReply(reply)) {
        Check(endpoint->port != 0);
        Check(Dotted(endpoint->address));
        const std::string used = PassiveAddress(endpoint->address, peer);
        Check(used == endpoint->address || used == peer);
        if (peer.rfind("127.", 0) == 0) Check(used.rfind("127.", 0) == 0);
        if (endpoint->address.rfind("0.", 0) == 0) Check(used == peer);
    }
    if (const auto port = ParseEpsvReply(reply)) Check(*port != 0);
    return 0;
}
