#pragma once
// A scripted FTP server on 127.0.0.1 (port 0) for replies a real server does not produce. A test
// writes the script of the control connection (what to send, when to wait for the client's next
// command, when to close) and afterwards asserts on the exact commands the client sent. It runs in
// the test's own event loop: drive it with RunUntil.
//
// The script is a list of steps run in order from the client's connect; a new kind of step (for
// example connecting to the address of the client's last PORT command for a data connection) is
// one more Step::Kind and one more case in Run.

#include <QObject>
#include <QTcpServer>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QTcpSocket;

class FakeFtpServer : public QObject {
  public:
    FakeFtpServer();
    bool Listening() const { return server_.isListening(); }
    std::uint16_t Port() const { return server_.serverPort(); }

    // Script steps.
    FakeFtpServer& Send(std::string bytes);         // written at once
    FakeFtpServer& SendBytewise(std::string bytes); // one byte per write, a few ms apart
    FakeFtpServer& AwaitCommand();                  // until the client's next line (ended by LF)
    FakeFtpServer& Answer(std::string reply) { return AwaitCommand().Send(std::move(reply)); }
    FakeFtpServer& Close(); // closes the control connection (after what was written)

    bool ScriptDone() const { return next_ == steps_.size(); }
    bool ClientConnected() const { return control_ != nullptr; }
    bool ClientClosed() const { return clientClosed_; }
    // Every line the client sent, without its CR LF or LF, in order.
    const std::vector<std::string>& Commands() const { return commands_; }
    // Every byte the client sent.
    const std::string& Received() const { return received_; }

  private:
    struct Step {
        enum Kind { Write, WriteBytewise, Await, Hangup } kind;
        std::string bytes;
    };
    FakeFtpServer& Add(Step::Kind kind, std::string bytes = {});
    void Accepted();
    void Read();
    void Run();

    QTcpServer server_;
    QTcpSocket* control_ = nullptr;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::size_t byteIndex_ = 0;
    bool pacing_ = false;
    std::size_t awaited_ = 0;
    std::vector<std::string> commands_;
    std::string received_;
    std::string partial_;
    bool clientClosed_ = false;
    bool closing_ = false;
};
