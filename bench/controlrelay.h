#pragma once
// A relay on 127.0.0.1 between FTP clients and a server that passes the control connections on
// unchanged and notes when each command and each reply line goes through: where the time of a
// session goes, the server's part (a command to its final reply) and the client's (a final reply
// to the next command). Data connections go straight between client and server. With a delay, every
// byte reaches the other side that much later, as over a longer path.

#include "benchsupport.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct RelayLine {
    double time = 0; // Now() when it passed
    int session = 0; // the control connection, counted from 0
    bool command = false;
    std::string text; // without its line end
};

class ControlRelay {
  public:
    bool Start(std::uint16_t serverPort, double delaySeconds = 0);
    ~ControlRelay();
    std::uint16_t Port() const { return port_; }
    // The lines noted since the last call.
    std::vector<RelayLine> Take();

  private:
    void Run();

    std::thread thread_;
    std::atomic<bool> stop_{false};
    int listener_ = -1;
    std::uint16_t serverPort_ = 0, port_ = 0;
    double delay_ = 0;
    std::mutex mutex_;
    std::vector<RelayLine> lines_;
};

// A server seen through a relay: the same login and folders, the relay's port.
class RelayedServer : public BenchServer {
  public:
    RelayedServer(const BenchServer& server, const ControlRelay& relay)
        : server_(server), relay_(relay) {}
    std::string Name() const override { return server_.Name(); }
    std::uint16_t Port() const override { return relay_.Port(); }
    std::string User() const override { return server_.User(); }
    std::string Password() const override { return server_.Password(); }
    std::string Root() const override { return server_.Root(); }
    std::string RemotePath(const std::string& name) const override {
        return server_.RemotePath(name);
    }

  private:
    const BenchServer& server_;
    const ControlRelay& relay_;
};

// The commands of a relayed session by verb, with the time on each side.
class CommandTrace {
  public:
    explicit CommandTrace(const std::vector<RelayLine>& lines);
    // "verb count/files, ..." of the verbs sent `files` times or more, and the total a file.
    std::string PerFile(int files) const;
    // "verb count, ..." of every verb, in the order of their first use.
    std::string Counts() const;
    // The verbs after the `nth` store (0 the first) up to the next store: the commands one file
    // costs, "STOR" or "APPE" last.
    std::string OneTurn(int nth) const;
    // Milliseconds from the first command to the last reply, the server's and the client's part
    // of them, and per verb sent `files` times or more: the mean of each part; for the other
    // verbs the server's part in all, when it is 1 ms or more.
    std::string Timing(int files) const;

  private:
    struct Command {
        std::string verb;
        double server = 0; // to its final reply, from when the server could begin on it
        double client = 0; // from the final reply before it; 0 for a session's first and for one
                           // that went out ahead of an answer
    };
    std::vector<Command> commands_;
    double span_ = 0;
};
