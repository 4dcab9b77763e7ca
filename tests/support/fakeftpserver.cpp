#include "fakeftpserver.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <sys/socket.h>

#include <cerrno>
#include <cstdio>

FakeFtpServer::FakeFtpServer(const QHostAddress& address, std::uint16_t port) {
    connect(&server_, &QTcpServer::newConnection, this, &FakeFtpServer::Accepted);
    server_.listen(address, port);
    poll_.setInterval(2);
    connect(&poll_, &QTimer::timeout, this, &FakeFtpServer::Run);
}

FakeFtpServer::~FakeFtpServer() {
    // The sockets are children, deleted after our members: they must not call back into them.
    if (control_) control_->disconnect(this);
    if (data_) data_->disconnect(this);
}

FakeFtpServer& FakeFtpServer::Add(Step::Kind kind, std::string bytes, std::size_t count) {
    Step step;
    step.kind = kind;
    step.bytes = std::move(bytes);
    step.count = count;
    steps_.push_back(std::move(step));
    return *this;
}

FakeFtpServer& FakeFtpServer::Send(std::string bytes) {
    return Add(Step::Write, std::move(bytes));
}
FakeFtpServer& FakeFtpServer::SendBytewise(std::string bytes) {
    return Add(Step::WriteBytewise, std::move(bytes));
}
FakeFtpServer& FakeFtpServer::AwaitCommand() {
    return Add(Step::Await);
}
FakeFtpServer& FakeFtpServer::Close() {
    return Add(Step::Hangup);
}
FakeFtpServer& FakeFtpServer::AwaitConnection() {
    return Add(Step::Connection);
}
FakeFtpServer& FakeFtpServer::ConnectData() {
    return Add(Step::DataConnect);
}
FakeFtpServer& FakeFtpServer::AcceptData() {
    return Add(Step::DataAccept);
}
FakeFtpServer& FakeFtpServer::SendData(std::string bytes) {
    return Add(Step::DataWrite, std::move(bytes));
}
FakeFtpServer& FakeFtpServer::CloseData() {
    return Add(Step::DataHangup);
}
FakeFtpServer& FakeFtpServer::AwaitDataBytes(std::size_t count) {
    return Add(Step::DataAwaitBytes, {}, count);
}
FakeFtpServer& FakeFtpServer::AwaitDataClosed() {
    return Add(Step::DataAwaitClose);
}
FakeFtpServer& FakeFtpServer::Do(std::function<void()> action) {
    Add(Step::Action);
    steps_.back().action = std::move(action);
    return *this;
}
FakeFtpServer& FakeFtpServer::Until(std::function<bool()> done) {
    Add(Step::Wait);
    steps_.back().done = std::move(done);
    return *this;
}

bool FakeFtpServer::ExpectsConnection() const {
    for (std::size_t i = next_; i < steps_.size(); ++i)
        if (steps_[i].kind == Step::Connection) return true;
    return false;
}

void FakeFtpServer::Accepted() {
    if (control_ && ExpectsConnection()) {
        Run(); // the connection waits for its step
        return;
    }
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        if (control_) { // one control connection per script
            s->abort();
            s->deleteLater();
            continue;
        }
        UseControlSocket(s);
        Run();
    }
}

void FakeFtpServer::UseControlSocket(QTcpSocket* s) {
    if (control_) {
        urgentNotifier_.reset();
        control_->disconnect(this);
        control_->abort();
        control_->deleteLater();
    }
    ++controlConnections_;
    control_ = s;
    partial_.clear();
    clientClosed_ = closing_ = false;
    connect(s, &QTcpSocket::readyRead, this, &FakeFtpServer::Read);
    connect(s, &QTcpSocket::disconnected, this, [this] {
        if (!closing_) clientClosed_ = true;
    });
    // The urgent-data watch goes before the descriptor does.
    connect(s, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state != QAbstractSocket::ConnectedState) urgentNotifier_.reset();
    });
    // Qt reads urgent bytes in line; here they are kept out of the stream and fetched on
    // their own, so a test sees which byte was sent as urgent.
    const int fd = static_cast<int>(s->socketDescriptor());
    const int inlined = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &inlined, sizeof inlined);
    urgentNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Exception);
    connect(urgentNotifier_.get(), &QSocketNotifier::activated, this, &FakeFtpServer::ReadUrgent);
}

void FakeFtpServer::Read() {
    const QByteArray bytes = control_->readAll();
    received_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    partial_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    for (std::size_t lf; (lf = partial_.find('\n')) != std::string::npos;) {
        std::string line = partial_.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        commands_.push_back(line);
        commandTimes_.push_back(std::chrono::steady_clock::now());
        partial_.erase(0, lf + 1);
    }
    Run();
}

void FakeFtpServer::ReadUrgent() {
    char byte;
    if (::recv(static_cast<int>(control_->socketDescriptor()), &byte, 1, MSG_OOB) == 1)
        urgent_.push_back(byte);
}

std::uint16_t FakeFtpServer::PassivePort() {
    if (!passive_) {
        passive_ = std::make_unique<QTcpServer>();
        connect(passive_.get(), &QTcpServer::newConnection, this, &FakeFtpServer::Run);
        passive_->listen(server_.serverAddress(), 0);
    }
    return passive_->serverPort();
}

// A new data connection replaces the last one.
void FakeFtpServer::UseDataSocket(QTcpSocket* socket) {
    if (data_) {
        data_->disconnect(this);
        data_->abort();
        data_->deleteLater();
    }
    ++dataConnections_;
    dataConnected_ = dataClosing_ = dataClosedByClient_ = false;
    data_ = socket;
    data_->setParent(this);
    connect(data_, &QTcpSocket::connected, this, [this] {
        dataConnected_ = true;
        Run();
    });
    connect(data_, &QTcpSocket::bytesWritten, this, &FakeFtpServer::Run);
    connect(data_, &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = data_->readAll();
        dataReceived_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        Run();
    });
    connect(data_, &QTcpSocket::disconnected, this, [this] {
        const QByteArray bytes = data_->readAll();
        dataReceived_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        if (!dataClosing_) dataClosedByClient_ = true;
        Run();
    });
}

// Connects to the address of the client's last "PORT h1,h2,h3,h4,p1,p2".
bool FakeFtpServer::StartDataConnection() {
    for (auto c = commands_.rbegin(); c != commands_.rend(); ++c) {
        unsigned h[4], p[2];
        if (std::sscanf(c->c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0],
                        &p[1]) != 6)
            continue;
        UseDataSocket(new QTcpSocket(this));
        data_->connectToHost(
            QHostAddress(QString("%1.%2.%3.%4").arg(h[0]).arg(h[1]).arg(h[2]).arg(h[3])),
            static_cast<quint16>(p[0] * 256 + p[1]));
        return true;
    }
    return false;
}

void FakeFtpServer::Run() {
    if (pacing_) return; // a bytewise write goes on from its own timer
    poll_.stop();
    while (control_ && next_ < steps_.size()) {
        Step& step = steps_[next_];
        switch (step.kind) {
        case Step::Write:
            control_->write(step.bytes.data(), static_cast<qint64>(step.bytes.size()));
            control_->flush();
            break;
        case Step::WriteBytewise:
            if (byteIndex_ < step.bytes.size()) {
                control_->write(&step.bytes[byteIndex_++], 1);
                control_->flush();
                pacing_ = true;
                QTimer::singleShot(3, this, [this] {
                    pacing_ = false;
                    Run();
                });
                return;
            }
            byteIndex_ = 0;
            break;
        case Step::Await:
            if (commands_.size() <= awaited_) return;
            ++awaited_;
            break;
        case Step::Hangup:
            closing_ = true;
            control_->disconnectFromHost();
            break;
        case Step::Connection:
            if (!server_.hasPendingConnections()) return;
            UseControlSocket(server_.nextPendingConnection());
            break;
        case Step::DataConnect:
            if (!dataStarting_) {
                if (!StartDataConnection()) return; // no PORT yet
                dataStarting_ = true;
            }
            if (!dataConnected_) return;
            dataStarting_ = false;
            break;
        case Step::DataAccept:
            if (!passive_ || !passive_->hasPendingConnections()) return;
            UseDataSocket(passive_->nextPendingConnection());
            dataConnected_ = true;
            break;
        case Step::DataWrite:
            data_->write(step.bytes.data(), static_cast<qint64>(step.bytes.size()));
            break;
        case Step::DataHangup:
            // Everything written first; then only our direction is shut, so the client's later
            // bytes are still read (a full close would answer them with a reset).
            if (data_->bytesToWrite() > 0) {
                const std::size_t at = next_;
                data_->flush();
                // flush() may emit bytesWritten at once, and that runs the script on from here.
                if (next_ != at) return;
                if (data_->bytesToWrite() > 0) return; // bytesWritten runs the script again
            }
            dataClosing_ = true;
            ::shutdown(static_cast<int>(data_->socketDescriptor()), SHUT_WR);
            break;
        case Step::DataAwaitBytes:
            if (dataReceived_.size() < step.count) return;
            break;
        case Step::DataAwaitClose:
            if (!dataClosedByClient_) return;
            break;
        case Step::Action: {
            // The action may run the event loop, and with it this script: the step is done first.
            const std::function<void()> action = step.action;
            ++next_;
            action();
            continue;
        }
        case Step::Wait:
            if (!step.done()) {
                poll_.start();
                return;
            }
            break;
        }
        ++next_;
    }
}
