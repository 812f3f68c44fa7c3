#pragma once
// A small HTTP server on 127.0.0.1 inside the test process: each path answers as the test
// says, and every request that reaches it is recorded. Nothing else on the network is touched.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

namespace mailsift::ui::test {

class LoopbackHttpServer {
  public:
    struct Answer {
        int status = 200;
        QByteArray contentType = "text/plain";
        QByteArray body{};
        QByteArray location{};   // sent as a Location header when set
        bool sendLength = true;  // false: the body ends where the connection closes
        bool silent = false;     // reads the request and never answers
    };
    struct Request {
        QByteArray path;  // with the query
        QByteArray head;  // the request line and the headers
    };

    LoopbackHttpServer();

    // Paths without an answer get a 404 with a small HTML page.
    void SetAnswer(const QByteArray& path, Answer answer);
    QUrl Address(const QByteArray& path) const;
    const QList<Request>& requests() const { return requests_; }
    qsizetype RequestsFor(const QByteArray& path) const;

  private:
    void Serve(QTcpSocket* socket, QByteArray& received);

    QTcpServer server_;
    QHash<QByteArray, Answer> answers_;
    QList<Request> requests_;
};

}  // namespace mailsift::ui::test
