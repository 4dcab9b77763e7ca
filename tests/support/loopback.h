#pragma once
// Loopback endpoints for network tests that must fail in a chosen way.

#include <cstdint>

// A port on 127.0.0.1 that was free a moment ago: connecting to it is refused.
std::uint16_t RefusingLoopbackPort();

// A listener on 127.0.0.1 that never accepts and whose accept queue is already full, so the next
// connect to it stays pending until the client gives up.
class StalledListener {
  public:
    StalledListener();
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
