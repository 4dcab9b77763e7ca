#include "fakeftpserver.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

FakeFtpServer::FakeFtpServer() {
    connect(&server_, &QTcpServer::newConnection, this, &FakeFtpServer::Accepted);
    server_.listen(QHostAddress::LocalHost, 0);
}

FakeFtpServer& FakeFtpServer::Add(Step::Kind kind, std::string bytes) {
    steps_.push_back({kind, std::move(bytes)});
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

void FakeFtpServer::Accepted() {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
        if (control_) { // one control connection per script
            s->abort();
            s->deleteLater();
            continue;
        }
        control_ = s;
        connect(s, &QTcpSocket::readyRead, this, &FakeFtpServer::Read);
        connect(s, &QTcpSocket::disconnected, this, [this] {
            if (!closing_) clientClosed_ = true;
        });
        Run();
    }
}

void FakeFtpServer::Read() {
    const QByteArray bytes = control_->readAll();
    received_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    partial_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    for (std::size_t lf; (lf = partial_.find('\n')) != std::string::npos;) {
        std::string line = partial_.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        commands_.push_back(line);
        partial_.erase(0, lf + 1);
    }
    Run();
}

void FakeFtpServer::Run() {
    if (pacing_) return; // a bytewise write goes on from its own timer
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
        }
        ++next_;
    }
}
