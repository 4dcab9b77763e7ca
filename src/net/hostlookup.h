#pragma once
// THostLookup: one host-name lookup at a time, answered on the thread that started it. The
// resolver blocks, so it runs on a thread of its own; the answer comes back as a posted event,
// never inside Start. An address text (IPv4 or IPv6) is its own answer and needs no thread.
//
// Abort (or destroying the lookup) drops the answer of a pending lookup; the resolver's thread
// finishes on its own and delivers nothing.

#include "net/starsock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class THostLookup {
  public:
    // The error (a Windows Sockets number, 0 when the name has an address) and the TCP addresses
    // of the name in the resolver's order.
    using TDone = std::function<void(std::uint16_t error, std::vector<TSocketAddress> addresses)>;

    explicit THostLookup(TDone done);
    ~THostLookup();
    THostLookup(const THostLookup&) = delete;
    THostLookup& operator=(const THostLookup&) = delete;

    // Looks `name` (in the system code page) up; a pending lookup is dropped first.
    void Start(const std::string& name);
    // Delivers this answer from the event loop, as if the resolver had given it.
    void Answer(std::uint16_t error, std::vector<TSocketAddress> addresses);
    void Abort();
    bool Pending() const;

  private:
    struct TShared;
    class TReceiver;
    std::unique_ptr<TReceiver> receiver_;
    std::shared_ptr<TShared> shared_; // of the pending lookup, shared with its thread
};
