#include "controlrelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <map>
#include <utility>

namespace {

// Each line goes on at once: with Nagle's algorithm a reply's second line would wait for the
// client's delayed acknowledgement of the first, time the real connection never loses.
void NoDelay(int s) {
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int Connect(std::uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        NoDelay(s);
        return s;
    }
    if (s >= 0) close(s);
    return -1;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

struct Leg {
    int client = -1, server = -1;
    int session = 0;
    std::string fromClient, fromServer;            // the part of a line not yet ended
    bool clientEnded = false, serverEnded = false; // read to its end, the end not yet delivered
};

// Bytes on their way to `to`, or its end (`end`), due at `due`.
struct InFlight {
    double due = 0;
    int session = 0;
    int to = -1;
    std::string bytes;
    bool end = false;
};

} // namespace

bool ControlRelay::Start(std::uint16_t serverPort, double delaySeconds) {
    serverPort_ = serverPort;
    delay_ = delaySeconds;
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return false;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
    return true;
}

ControlRelay::~ControlRelay() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
}

std::vector<RelayLine> ControlRelay::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(lines_, {});
}

void ControlRelay::Run() {
    std::vector<Leg> legs;
    std::deque<InFlight> inFlight; // in the order they are due: the delay is the same for all
    int sessions = 0;
    const auto closeLeg = [&](std::size_t i) {
        close(legs[i].client);
        close(legs[i].server);
        const int session = legs[i].session;
        std::erase_if(inFlight, [session](const InFlight& f) { return f.session == session; });
        legs.erase(legs.begin() + static_cast<std::ptrdiff_t>(i));
    };
    // Woken at least every 50 ms to see whether it should stop.
    while (!stop_) {
        while (!inFlight.empty() && inFlight.front().due <= Now()) {
            const InFlight f = std::move(inFlight.front());
            inFlight.pop_front();
            const auto leg = std::find_if(legs.begin(), legs.end(),
                                          [&f](const Leg& l) { return l.session == f.session; });
            if (leg == legs.end()) continue;
            if (f.end || !SendAll(f.to, f.bytes.data(), f.bytes.size()))
                closeLeg(static_cast<std::size_t>(leg - legs.begin()));
        }
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (const Leg& leg : legs) {
            // poll passes over negative descriptors.
            fds.push_back({leg.clientEnded ? -1 : leg.client, POLLIN, 0});
            fds.push_back({leg.serverEnded ? -1 : leg.server, POLLIN, 0});
        }
        int wait = 50;
        if (!inFlight.empty())
            wait = std::clamp(static_cast<int>((inFlight.front().due - Now()) * 1000), 0, 50);
        if (poll(fds.data(), fds.size(), wait) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            const int client = accept(listener_, nullptr, nullptr);
            const int server = client >= 0 ? Connect(serverPort_) : -1;
            if (client >= 0) NoDelay(client);
            if (server >= 0)
                legs.push_back({client, server, sessions++, {}, {}});
            else if (client >= 0)
                close(client);
        }
        // Only the legs polled: one accepted just now waits for the next round.
        const std::size_t polled = (fds.size() - 1) / 2;
        std::vector<bool> closed(legs.size(), false);
        for (std::size_t i = 0; i < polled; ++i)
            for (int side = 0; side < 2; ++side) {
                if (!(fds[1 + 2 * i + static_cast<std::size_t>(side)].revents &
                      (POLLIN | POLLHUP | POLLERR)))
                    continue;
                Leg& leg = legs[i];
                const bool command = side == 0;
                char buffer[16384];
                const ssize_t n = recv(command ? leg.client : leg.server, buffer, sizeof buffer, 0);
                const double time = Now();
                const int to = command ? leg.server : leg.client;
                if (delay_ > 0 && n <= 0) {
                    // Polled no more; the leg closes when the end arrives.
                    (command ? leg.clientEnded : leg.serverEnded) = true;
                    inFlight.push_back({time + delay_, leg.session, to, {}, true});
                    continue;
                }
                if (delay_ > 0) {
                    inFlight.push_back({time + delay_, leg.session, to,
                                        std::string(buffer, static_cast<std::size_t>(n)), false});
                } else if (n <= 0 || !SendAll(to, buffer, static_cast<std::size_t>(n))) {
                    closed[i] = true;
                    continue;
                }
                std::string& pending = command ? leg.fromClient : leg.fromServer;
                pending.append(buffer, static_cast<std::size_t>(n));
                std::lock_guard<std::mutex> lock(mutex_);
                for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                    std::string text = pending.substr(0, end);
                    if (!text.empty() && text.back() == '\r') text.pop_back();
                    lines_.push_back({time, leg.session, command, text});
                    pending.erase(0, end + 1);
                }
            }
        for (std::size_t i = legs.size(); i-- > 0;)
            if (closed[i]) closeLeg(i);
    }
    for (const Leg& leg : legs) {
        close(leg.client);
        close(leg.server);
    }
}

namespace {

std::string VerbOf(const std::string& command) {
    std::string verb = command.substr(0, command.find(' '));
    std::transform(verb.begin(), verb.end(), verb.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return verb;
}

// "226 Done": the last line of a reply that ends a command ("150 ..." only announces data).
bool FinalReply(const std::string& line) {
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           line[0] != '1' && line[3] == ' ';
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

CommandTrace::CommandTrace(const std::vector<RelayLine>& lines) {
    // Per session: the commands waiting for their final replies, in the order the server answers
    // them, and when the last final reply came. A command sent while others wait went out ahead
    // with them: the client spent no time on it, and the server works on it only from the reply
    // before its own.
    std::map<int, std::deque<std::size_t>> waiting;
    std::map<int, double> lastReply;
    std::vector<double> sent;
    double first = -1, last = -1;
    for (const RelayLine& line : lines) {
        std::deque<std::size_t>& queue = waiting[line.session];
        const auto previous = lastReply.find(line.session);
        if (line.command) {
            Command c{VerbOf(line.text), 0, 0};
            if (queue.empty() && previous != lastReply.end())
                c.client = line.time - previous->second;
            queue.push_back(commands_.size());
            commands_.push_back(c);
            sent.push_back(line.time);
            if (first < 0) first = line.time;
        } else if (FinalReply(line.text)) {
            if (!queue.empty()) {
                const std::size_t at = queue.front();
                queue.pop_front();
                const double began =
                    previous != lastReply.end() ? std::max(sent[at], previous->second) : sent[at];
                commands_[at].server = line.time - began;
            }
            lastReply[line.session] = line.time;
            last = line.time;
        }
    }
    span_ = first >= 0 && last > first ? last - first : 0;
}

std::string CommandTrace::PerFile(int files) const {
    std::map<std::string, int> counts;
    std::vector<std::string> order;
    for (const Command& c : commands_)
        if (counts[c.verb]++ == 0) order.push_back(c.verb);
    std::string out;
    int perFile = 0;
    for (const std::string& verb : order)
        if (counts[verb] >= files) {
            out += verb + " " + Fixed(static_cast<double>(counts[verb]) / files, 2) + ", ";
            perFile += counts[verb];
        }
    return out + "in all " + Fixed(static_cast<double>(perFile) / files, 2) + " a file, " +
           std::to_string(commands_.size()) + " commands in the session";
}

std::string CommandTrace::Counts() const {
    std::map<std::string, int> counts;
    std::vector<std::string> order;
    for (const Command& c : commands_)
        if (counts[c.verb]++ == 0) order.push_back(c.verb);
    std::string out;
    for (const std::string& verb : order)
        out += (out.empty() ? "" : ", ") + verb + " " + std::to_string(counts[verb]);
    return out + "; " + std::to_string(commands_.size()) + " in all";
}

std::string CommandTrace::OneTurn(int nth) const {
    std::string turn;
    int stores = 0;
    for (const Command& c : commands_) {
        if (stores == nth + 1) turn += (turn.empty() ? "" : " ") + c.verb;
        if (c.verb == "STOR" || c.verb == "APPE") ++stores;
        if (stores > nth + 1) break;
    }
    return turn;
}

std::string CommandTrace::Timing(int files) const {
    struct Sum {
        int count = 0;
        double server = 0, client = 0;
    };
    std::map<std::string, Sum> sums;
    std::vector<std::string> order;
    Sum all;
    for (const Command& c : commands_) {
        Sum& s = sums[c.verb];
        if (s.count++ == 0) order.push_back(c.verb);
        s.server += c.server;
        s.client += c.client;
        all.server += c.server;
        all.client += c.client;
    }
    std::string out = Fixed(span_ * 1000, 0) +
                      " ms from the first command to the last reply: " + "server " +
                      Fixed(all.server * 1000, 0) + ", client " + Fixed(all.client * 1000, 0) +
                      "; ms each (server + client before it):";
    std::string rare;
    for (const std::string& verb : order) {
        const Sum& s = sums[verb];
        if (s.count < files) {
            // The listing of a big folder is the one that counts here.
            if (s.server >= 0.001) rare += " " + verb + " " + Fixed(s.server * 1000, 1);
            continue;
        }
        out += " " + verb + " " + Fixed(s.server * 1000 / s.count, 3) + "+" +
               Fixed(s.client * 1000 / s.count, 3);
    }
    if (!rare.empty()) out += "; server ms in all for the rarer commands (1 ms or more):" + rare;
    return out;
}
