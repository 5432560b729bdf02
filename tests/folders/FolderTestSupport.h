#pragma once

// Helpers of the folder tests: a temporary installation with a current login, folder
// records built from short chains, a canned-answer HTTP server and a progress handler that
// cancels on cue.

#include "account/LoginManager.h"
#include "account/LoginRecord.h"
#include "core/AppState.h"
#include "core/BizProgress.h"
#include "core/Messages.h"
#include "core/Paths.h"
#include "folders/WorkspaceRecord.h"
#include "store/BizProps.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace FolderTest {

// A record for the chain "id:name/id:name/..." (top level first).
inline std::unique_ptr<CWorkspaceRecord> Folder(const QList<qint32> &ids, const QStringList &names)
{
    return std::make_unique<CWorkspaceRecord>(ids, names, false);
}

inline bool WriteFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file below dir, relative, sorted ("a/b.txt"); directories end with "/".
inline QStringList Listing(const QString &dir)
{
    QStringList out;
    std::function<void(const QString &, const QString &)> walk = [&](const QString &abs,
                                                                     const QString &rel) {
        const QFileInfoList entries = QDir(abs).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo &e : entries) {
            const QString r = rel.isEmpty() ? e.fileName() : rel + u'/' + e.fileName();
            if (e.isDir() && !e.isSymLink()) {
                out << r + u'/';
                walk(e.filePath(), r);
            } else {
                out << r;
            }
        }
    };
    walk(dir, {});
    return out;
}

// A temporary installation (no-UI run: the data folder is <tmp>/vqrdata) with HOME inside
// it, messages captured, and a login manager whose current login is demo/yamada, so the
// login's store is <tmp>/vqrdata/demo/yamada.
class Installation : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        m_oldHome = qgetenv("HOME");
        qputenv("HOME", m_dir.filePath(QStringLiteral("home")).toLocal8Bit());
        QDir().mkpath(m_dir.filePath(QStringLiteral("home")));
        QDir::setCurrent(m_dir.path());
        m_oldNoUi = AppState::IsNoUiMode();
        AppState::SetNoUiMode(true);
        QDir().mkpath(QStringLiteral("vqrdata"));
        m_oldSink = SetMessageSink([this](const QString &text, MsgIcon, MsgButtons) {
            messages.append(text);
            return int(IDOK);
        });
        login = std::make_unique<CLoginManager>();
        m_record = std::make_unique<CLoginRecord>(QStringLiteral("demo"), QStringLiteral("yamada"),
                                                  QString());
        login->SelectCurrent(m_record.get(), false);
    }
    void TearDown() override
    {
        login.reset();
        SetMessageSink(m_oldSink);
        AppState::SetNoUiMode(m_oldNoUi);
        QDir::setCurrent(m_oldCwd);
        qputenv("HOME", m_oldHome);
    }

    QString dir() const { return m_dir.path(); }
    // The login's store (folder root of the local mirror).
    QString store() const
    {
        return QDir::cleanPath(m_dir.filePath(QStringLiteral("vqrdata/demo/yamada")));
    }
    // Makes a directory below the store and answers its path.
    QString MakeDir(const QString &relative)
    {
        const QString path = store() + u'/' + relative;
        EXPECT_TRUE(QDir().mkpath(path)) << qPrintable(path);
        return path;
    }

    std::unique_ptr<CLoginManager> login;
    QStringList messages;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldHome;
    bool m_oldNoUi = false;
    MessageSink m_oldSink;
    std::unique_ptr<CLoginRecord> m_record;
};

// Answers every HTTP request with a canned body chosen by the request path's last part
// after "apis/" ("workspace/list"), or 404. One request per connection.
class CannedServer
{
public:
    CannedServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                Serve(socket);
        });
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
    }
    quint16 port() const { return m_server.serverPort(); }
    void SetAnswer(const QString &operation, const QByteArray &body, int status = 200)
    {
        m_answers.insert(operation, {status, body});
    }
    int calls(const QString &operation) const { return m_calls.value(operation); }
    // Set once a body has been written completely.
    bool answered() const { return m_answered; }
    // Points server.vqr of the installation's data folder at this server.
    bool WriteServerVqr() const
    {
        CBizProps props(DataPath({}, QStringLiteral("server.vqr")));
        props.SetValue(QStringLiteral("hostName"), QStringLiteral("127.0.0.1"));
        props.SetValue(QStringLiteral("secure"), QStringLiteral("0"));
        props.SetValue(QStringLiteral("httpPort"), QString::number(port()));
        return props.Save();
    }

private:
    void Serve(QTcpSocket *socket)
    {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            // Wait for a form body when one is announced.
            const QByteArray head = buffer->left(end).toLower();
            qsizetype length = 0;
            const qsizetype cl = head.indexOf("content-length:");
            if (cl >= 0)
                length = head.mid(cl + 15, head.indexOf('\n', cl) - cl - 15).trimmed().toLongLong();
            if (buffer->size() < end + 4 + length)
                return;
            const QByteArray line = buffer->left(buffer->indexOf("\r\n"));
            QByteArray path = line.split(' ').value(1);
            path = path.left(path.indexOf('?') < 0 ? path.size() : path.indexOf('?'));
            const qsizetype apis = path.indexOf("apis/");
            const QString op = QString::fromUtf8(apis < 0 ? path : path.mid(apis + 5));
            m_calls[op] += 1;
            const auto answer = m_answers.value(op, {404, QByteArray()});
            QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.first)
                               + " X\r\nContent-Type: text/xml; charset=UTF-8\r\nContent-Length: "
                               + QByteArray::number(answer.second.size())
                               + "\r\nConnection: close\r\n\r\n" + answer.second;
            socket->write(reply);
            socket->flush();
            m_answered = true;
            socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QTcpServer m_server;
    QHash<QString, QPair<int, QByteArray>> m_answers;
    QHash<QString, int> m_calls;
    bool m_answered = false;
};

// Cancels (as the user's cancel button would) at the n-th poll after armed() turns true.
class CancelOnCue : public CBizProgressHandler
{
public:
    CancelOnCue(std::function<bool()> armed, int afterPolls)
        : m_armed(std::move(armed))
        , m_after(afterPolls)
    {}
    int polls() const { return m_polls; }

protected:
    bool IsContinue() override
    {
        if (m_armed && m_armed() && ++m_polls >= m_after && !isCancelled())
            Cancel(-1);
        return !isCancelled();
    }

private:
    std::function<bool()> m_armed;
    int m_after;
    int m_polls = 0;
};

// The XML of one "workspace" element with the children in the service's order.
inline QByteArray WorkspaceXml(qint32 id, const QString &name, const QList<qint32> &parents,
                               bool readOnly = false, const QString &skip = {})
{
    auto el = [&](const char *tag, const QByteArray &value) -> QByteArray {
        if (skip == QLatin1String(tag))
            return {};
        return QByteArray("<") + tag + ">" + value + "</" + tag + ">";
    };
    QByteArray parentsXml;
    for (qint32 p : parents)
        parentsXml += "<parent><id>" + QByteArray::number(p) + "</id></parent>";
    return "<workspace>" + el("comment", "c") + el("folderStyle", "0")
           + el("id", QByteArray::number(id)) + el("isDataBox", "false") + el("isFavorite", "false")
           + el("name", name.toUtf8()) + el("parents", parentsXml)
           + el("readOnly", readOnly ? "true" : "false") + el("updateName", "山田")
           + el("updateTime", "2024/05/01 10:00:00") + "</workspace>";
}

inline QByteArray ListAnswer(const QList<QByteArray> &workspaces)
{
    QByteArray body
        = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor><listResponse><workspaces>";
    for (const QByteArray &w : workspaces)
        body += w;
    return body + "</workspaces></listResponse></velquor>";
}

} // namespace FolderTest
