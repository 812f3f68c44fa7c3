#include "loopback_http_server.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <memory>
#include <stdexcept>

namespace mailsift::ui::test {

LoopbackHttpServer::LoopbackHttpServer() {
    if (!server_.listen(QHostAddress::LocalHost)) {
        throw std::runtime_error("no loopback port: " + server_.errorString().toStdString());
    }
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket, received] { Serve(socket, *received); });
        }
    });
}

void LoopbackHttpServer::SetAnswer(const QByteArray& path, Answer answer) {
    answers_.insert(path, std::move(answer));
}

QUrl LoopbackHttpServer::Address(const QByteArray& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()) +
                QString::fromLatin1(path));
}

qsizetype LoopbackHttpServer::RequestsFor(const QByteArray& path) const {
    qsizetype count = 0;
    for (const Request& request : requests_) count += request.path == path ? 1 : 0;
    return count;
}

void LoopbackHttpServer::Serve(QTcpSocket* socket, QByteArray& received) {
    received += socket->readAll();
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    if (headEnd < 0) return;
    const QByteArray head = received.left(headEnd);
    received.clear();
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray path = requestLine.value(1);
    requests_.append({path, head});

    Answer answer;
    if (auto found = answers_.constFind(path); found != answers_.constEnd()) {
        answer = *found;
    } else {
        answer = {.status = 404,
                  .contentType = "text/html",
                  .body =
                      "<html><head><title>404</title></head>"
                      "<body><h1>Not Found</h1><p>No such page.</p></body></html>"};
    }
    if (answer.silent) return;
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) + " Answer\r\n" +
                       "Content-Type: " + answer.contentType + "\r\nConnection: close\r\n";
    if (!answer.location.isEmpty()) reply += "Location: " + answer.location + "\r\n";
    if (answer.sendLength) {
        reply += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    }
    socket->write(reply + "\r\n" + answer.body);
    socket->disconnectFromHost();
}

}  // namespace mailsift::ui::test
