#pragma once
// A scripted FTP server on 127.0.0.1 or ::1 (port 0) for replies a real server does not produce. A
// test writes the script of the control connection (what to send, when to wait for the client's
// next command, when to close) and afterwards asserts on the exact commands the client sent. It
// runs in the test's own event loop: drive it with RunUntil.
//
// The script is a list of steps run in order from the client's connect. Active data connections:
// ConnectData connects to the address of the client's last PORT command. Passive ones: the script
// announces PassivePort() in its reply, and AcceptData takes the client's connection there.

#include <QObject>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTcpSocket;

class FakeFtpServer : public QObject {
  public:
    explicit FakeFtpServer(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost),
                           std::uint16_t port = 0);
    ~FakeFtpServer() override;
    bool Listening() const { return server_.isListening(); }
    std::uint16_t Port() const { return server_.serverPort(); }

    // Script steps.
    FakeFtpServer& Send(std::string bytes);         // written at once
    FakeFtpServer& SendBytewise(std::string bytes); // one byte per write, a few ms apart
    FakeFtpServer& AwaitCommand();                  // until the client's next line (ended by LF)
    FakeFtpServer& Answer(std::string reply) { return AwaitCommand().Send(std::move(reply)); }
    FakeFtpServer& Close(); // closes the control connection (after what was written)
    // Waits for the client's next control connection, which replaces the current one: a client
    // that logs in again. Without this step a second connection is refused with a reset.
    FakeFtpServer& AwaitConnection();
    // Data connection: connect to the last PORT address (the step ends once connected), write,
    // close our direction (after what was written; the client's bytes are still read), wait for
    // `count` bytes in all or for the client's close.
    FakeFtpServer& ConnectData();
    FakeFtpServer& AcceptData(); // the step ends once the client has connected to PassivePort
    FakeFtpServer& SendData(std::string bytes);
    FakeFtpServer& CloseData();
    FakeFtpServer& AwaitDataBytes(std::size_t count);
    FakeFtpServer& AwaitDataClosed();
    // Runs `action` in script order; Until waits (polling) until `done` holds.
    FakeFtpServer& Do(std::function<void()> action);
    FakeFtpServer& Until(std::function<bool()> done);

    // A port on the control connection's address where the client's data connections are taken;
    // opened at the first call.
    std::uint16_t PassivePort();

    bool ScriptDone() const { return next_ == steps_.size(); }
    // Data connections made, either way.
    int DataConnections() const { return dataConnections_; }
    bool ClientConnected() const { return control_ != nullptr; }
    bool ClientClosed() const { return clientClosed_; }
    int ControlConnections() const { return controlConnections_; }
    // Every line the client sent, without its CR LF or LF, in order (over all connections).
    const std::vector<std::string>& Commands() const { return commands_; }
    // When each of them came in.
    const std::vector<std::chrono::steady_clock::time_point>& CommandTimes() const {
        return commandTimes_;
    }
    // Every byte the client sent on the control connection, urgent bytes excepted.
    const std::string& Received() const { return received_; }
    // The client's urgent (out-of-band) bytes on the control connection.
    const std::string& Urgent() const { return urgent_; }
    // Every byte that came in on data connections.
    const std::string& DataReceived() const { return dataReceived_; }
    bool DataClosedByClient() const { return dataClosedByClient_; }

  private:
    struct Step {
        enum Kind {
            Write,
            WriteBytewise,
            Await,
            Hangup,
            Connection,
            DataConnect,
            DataAccept,
            DataWrite,
            DataHangup,
            DataAwaitBytes,
            DataAwaitClose,
            Action,
            Wait,
        } kind = Write;
        std::string bytes;
        std::size_t count = 0;
        std::function<void()> action;
        std::function<bool()> done;
    };
    FakeFtpServer& Add(Step::Kind kind, std::string bytes = {}, std::size_t count = 0);
    void Accepted();
    void UseControlSocket(QTcpSocket* socket);
    bool ExpectsConnection() const;
    void Read();
    void ReadUrgent();
    bool StartDataConnection();
    void UseDataSocket(QTcpSocket* socket);
    void Run();

    QTcpServer server_;
    QTcpSocket* control_ = nullptr;
    int controlConnections_ = 0;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::size_t byteIndex_ = 0;
    bool pacing_ = false;
    std::size_t awaited_ = 0;
    std::vector<std::string> commands_;
    std::vector<std::chrono::steady_clock::time_point> commandTimes_;
    std::string received_;
    std::string partial_;
    bool clientClosed_ = false;
    bool closing_ = false;
    std::unique_ptr<QSocketNotifier> urgentNotifier_;
    std::string urgent_;
    QTcpSocket* data_ = nullptr;
    std::unique_ptr<QTcpServer> passive_;
    int dataConnections_ = 0;
    bool dataStarting_ = false;
    bool dataConnected_ = false;
    bool dataClosedByClient_ = false;
    bool dataClosing_ = false;
    std::string dataReceived_;
    QTimer poll_; // drives Until
};
