#pragma once
// Loopback endpoints for network tests that must fail in a chosen way.

#include <cstdint>

// A port on 127.0.0.1 that was free a moment ago: connecting to it is refused.
std::uint16_t RefusingLoopbackPort();

// A listener on 127.0.0.1 that never accepts and whose accept queue is already full, so the next
// connect to it stays pending until the client gives up.
class StalledListener {
  public:
    explicit StalledListener(std::uint16_t port = 0);
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;
    bool Ready() const { return filler_ >= 0; }
    std::uint16_t Port() const { return port_; }

  private:
    int listener_ = -1;
    int filler_ = -1;
    std::uint16_t port_ = 0;
};

// A port number that is free on 127.0.0.1 and on ::1 alike, for a test that puts one endpoint on
// each; 0 when none was found in a few tries.
std::uint16_t PortFreeOnBothLoopbacks();

// A socket bound to 127.0.0.1 or ::1 (port 0: a free one). Unless it listens, connects to it are
// refused, and no one else can take the port while it lives. Listening, the system completes
// connects to it without anyone accepting them.
class LoopbackSocket {
  public:
    LoopbackSocket(bool ipv6, std::uint16_t port = 0, bool listening = false);
    ~LoopbackSocket();
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;
    bool Ready() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};
