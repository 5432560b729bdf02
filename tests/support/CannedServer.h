#pragma once

// The one in-process HTTP server of the tests, for what the devserver cannot be made to
// give: answers of a shape the service never sends (elements out of order or missing, a
// document cut at a chosen byte) and the exact bytes the client writes (the devserver
// decodes them). Everything else comes from the devserver.
//
// Answers are chosen by the operation, the request path after "apis/" ("workspace/list");
// an operation without an answer of its own gets the default answer (404 unless set). One
// request per connection.

#include "Files.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>
#include <QTcpServer>

class CannedServer
{
public:
    CannedServer();

    quint16 port() const { return m_server.serverPort(); }
    // The server.vqr lines that point the client here.
    SettingList serverVqr() const;

    void SetAnswer(const QString &operation, const QByteArray &body, int status = 200);
    void SetDefaultAnswer(const QByteArray &body, int status = 200);

    int calls(const QString &operation) const { return m_calls.value(operation); }
    // Set once an answer has been written completely.
    bool answered() const { return m_answered; }
    // The last request as received: the head (request line and headers) and the body.
    QByteArray head() const { return m_head; }
    QByteArray body() const { return m_body; }
    // A header of the last request (name without regard to case); empty when absent.
    QByteArray header(const QByteArray &name) const;

private:
    void Serve(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, QPair<int, QByteArray>> m_answers;
    QPair<int, QByteArray> m_default{404, QByteArray()};
    QHash<QString, int> m_calls;
    bool m_answered = false;
    QByteArray m_head;
    QByteArray m_body;
};
