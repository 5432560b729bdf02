#include "CannedServer.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

CannedServer::CannedServer()
{
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            Serve(socket);
    });
    EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
}

SettingList CannedServer::serverVqr() const
{
    return {{QStringLiteral("hostName"), QStringLiteral("127.0.0.1")},
            {QStringLiteral("secure"), QStringLiteral("0")},
            {QStringLiteral("httpPort"), QString::number(port())}};
}

void CannedServer::SetAnswer(const QString &operation, const QByteArray &body, int status)
{
    m_answers.insert(operation, {status, body});
}

void CannedServer::SetDefaultAnswer(const QByteArray &body, int status)
{
    m_default = {status, body};
}

QByteArray CannedServer::header(const QByteArray &name) const
{
    const QByteArray wanted = name.toLower() + ':';
    for (const QByteArray &line : m_head.split('\n')) {
        if (line.toLower().startsWith(wanted))
            return line.mid(wanted.size()).trimmed();
    }
    return {};
}

void CannedServer::Serve(QTcpSocket *socket)
{
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        // Wait for the body the head announces.
        qint64 length = 0;
        for (const QByteArray &line : buffer->left(end).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer->size() < end + 4 + length)
            return;
        m_head = buffer->left(end);
        m_body = buffer->mid(end + 4);
        QByteArray path = m_head.left(m_head.indexOf("\r\n")).split(' ').value(1);
        if (path.contains('?'))
            path.truncate(path.indexOf('?'));
        const qsizetype apis = path.indexOf("apis/");
        const QString operation = QString::fromUtf8(apis < 0 ? path : path.mid(apis + 5));
        m_calls[operation] += 1;
        const QPair<int, QByteArray> answer = m_answers.value(operation, m_default);
        socket->write("HTTP/1.1 " + QByteArray::number(answer.first)
                      + " X\r\nContent-Type: text/xml; charset=UTF-8\r\nContent-Length: "
                      + QByteArray::number(answer.second.size()) + "\r\nConnection: close\r\n\r\n"
                      + answer.second);
        socket->flush();
        m_answered = true;
        socket->disconnectFromHost();
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}
