#include "DevServer.h"

#include "TempInstallation.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

struct Answer
{
    int status = 0;
    QByteArray body;
    QString error;
};

// One blocking POST; the devserver's certificate is self-signed, so TLS errors are ignored.
Answer post(const QUrl &url, const QList<QPair<QString, QString>> &params)
{
    QNetworkAccessManager nam;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setTransferTimeout(30000);
    QUrlQuery query;
    for (const auto &[k, v] : params)
        query.addQueryItem(QString::fromLatin1(QUrl::toPercentEncoding(k)),
                           QString::fromLatin1(QUrl::toPercentEncoding(v)));
    QNetworkReply *reply = nam.post(request, query.toString(QUrl::FullyEncoded).toLatin1());
    QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                     [reply](const QList<QSslError> &) { reply->ignoreSslErrors(); });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Answer a;
    a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    a.body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError && a.status == 0)
        a.error = reply->errorString();
    reply->deleteLater();
    return a;
}

} // namespace

std::unique_ptr<DevServer> DevServer::Start(const QStringList &args)
{
    std::unique_ptr<DevServer> s(new DevServer);
    if (!s->m_data.isValid()) {
        ADD_FAILURE() << "devserver: cannot create a temporary data folder";
        return nullptr;
    }
    QStringList all = args;
    if (!all.contains(QStringLiteral("--port")))
        all << QStringLiteral("--port") << QStringLiteral("0");
    if (!all.contains(QStringLiteral("--data")))
        all << QStringLiteral("--data") << s->m_data.path() + QStringLiteral("/server");
    int prefix = int(all.indexOf(QStringLiteral("--root-prefix")));
    if (prefix >= 0 && prefix + 1 < all.size())
        s->m_rootPrefix = all.at(prefix + 1);
    s->m_process.setProgram(QStringLiteral(VELQUOR_DEVSERVER_PATH));
    s->m_process.setArguments(all);
    s->m_process.setProcessChannelMode(QProcess::SeparateChannels);
    s->m_process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    s->m_process.start();
    if (!s->m_process.waitForStarted(10000)) {
        ADD_FAILURE() << "devserver: cannot start " << VELQUOR_DEVSERVER_PATH << ": "
                      << s->m_process.errorString().toStdString();
        return nullptr;
    }
    QByteArray out;
    QDeadlineTimer deadline(15000);
    while (!out.contains('\n')) {
        if (deadline.hasExpired() || s->m_process.state() != QProcess::Running) {
            ADD_FAILURE() << "devserver did not report \"listening on\" within 15 s; stdout: "
                          << out.constData()
                          << " stderr: " << s->m_process.readAllStandardError().constData();
            return nullptr;
        }
        s->m_process.waitForReadyRead(100);
        out += s->m_process.readAllStandardOutput();
    }
    const QString line = QString::fromUtf8(out.left(out.indexOf('\n'))).trimmed();
    const QString marker = QStringLiteral("listening on ");
    const QUrl url(line.mid(marker.size()));
    if (!line.startsWith(marker) || !url.isValid() || url.port() <= 0) {
        ADD_FAILURE() << "devserver: unexpected first line: " << line.toStdString();
        return nullptr;
    }
    s->m_secure = url.scheme() == QLatin1String("https");
    s->m_host = url.host();
    s->m_port = quint16(url.port());
    return s;
}

std::unique_ptr<DevServer> DevServer::StartFor(const TempInstallation &installation,
                                               const QStringList &args)
{
    std::unique_ptr<DevServer> s = Start(args);
    if (s && !WriteServerVqr(installation.dataFolder(), s->serverVqr())) {
        ADD_FAILURE() << "cannot write server.vqr into " << installation.dataFolder().toStdString();
        s.reset();
    }
    return s;
}

DevServer::~DevServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QUrl DevServer::baseUrl() const
{
    QUrl u;
    u.setScheme(m_secure ? QStringLiteral("https") : QStringLiteral("http"));
    u.setHost(m_host);
    u.setPort(m_port);
    return u;
}

QUrl DevServer::apiUrl(const QString &operation, bool autoUpdate) const
{
    QUrl u = baseUrl();
    QString path = QStringLiteral("/");
    if (!m_rootPrefix.isEmpty())
        path += m_rootPrefix + QLatin1Char('/');
    path += autoUpdate ? QStringLiteral("apps/api/autoupdate/") : QStringLiteral("apps/api/apis/");
    u.setPath(path + operation);
    return u;
}

QByteArray DevServer::hook(const QString &path, const QList<QPair<QString, QString>> &params) const
{
    QUrl u = baseUrl();
    u.setPath(QStringLiteral("/__devserver/") + path);
    Answer a = post(u, params);
    if (!a.error.isEmpty())
        ADD_FAILURE() << "devserver hook " << path.toStdString() << ": " << a.error.toStdString();
    else if (a.status < 200 || a.status > 299)
        ADD_FAILURE() << "devserver hook " << path.toStdString() << " answered " << a.status << ": "
                      << a.body.constData();
    return a.body;
}

int DevServer::hookStatus(const QString &path, const QList<QPair<QString, QString>> &params) const
{
    QUrl u = baseUrl();
    u.setPath(QStringLiteral("/__devserver/") + path);
    const Answer a = post(u, params);
    if (!a.error.isEmpty())
        ADD_FAILURE() << "devserver hook " << path.toStdString() << ": " << a.error.toStdString();
    return a.status;
}

QStringList DevServer::requestLog(const QString &operation) const
{
    QList<QPair<QString, QString>> params;
    if (!operation.isEmpty())
        params.append({QStringLiteral("op"), operation});
    const QString text = QString::fromUtf8(hook(QStringLiteral("log"), params));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void DevServer::clearRequestLog() const
{
    hook(QStringLiteral("log/clear"));
}

int DevServer::folderId(const QString &path) const
{
    QUrl u = baseUrl();
    u.setPath(QStringLiteral("/__devserver/folder"));
    Answer a = post(u, {{QStringLiteral("folderPath"), path}});
    if (a.status != 200)
        return -1;
    bool ok = false;
    int id = QString::fromUtf8(a.body).toInt(&ok);
    return ok ? id : -1;
}

QStringList DevServer::fileFields(const QString &folderPath, const QString &path) const
{
    return QString::fromUtf8(
               hook(QStringLiteral("file"),
                    {{QStringLiteral("folderPath"), folderPath}, {QStringLiteral("path"), path}}))
        .trimmed()
        .split(u' ');
}

SettingList DevServer::serverVqr() const
{
    SettingList lines;
    lines.append({QStringLiteral("hostName"), host()});
    lines.append({QStringLiteral("secure"), secure() ? QStringLiteral("1") : QStringLiteral("0")});
    lines.append({secure() ? QStringLiteral("httpsPort") : QStringLiteral("httpPort"),
                  QString::number(port())});
    if (!rootPrefix().isEmpty())
        lines.append({QStringLiteral("rootPrefix"), rootPrefix()});
    if (secure())
        lines.append({QStringLiteral("ignoreCert"), QStringLiteral("1")});
    return lines;
}
