#include "BenchServer.h"

#include "Processes.h"

#include "core/Paths.h"
#include "store/BizProps.h"

#include <QDir>

namespace bench {

quint16 CBenchServer::Start(const QString &seed, const QString &data, bool testHooks, int waitMs)
{
    QStringList arguments{QStringLiteral("--port"), QStringLiteral("0")};
    if (!seed.isEmpty())
        arguments << QStringLiteral("--seed") << seed;
    if (testHooks)
        arguments << QStringLiteral("--test-hooks");
    if (!data.isEmpty())
        arguments << QStringLiteral("--data") << data;
    m_process.setProgram(QStringLiteral(VELQUOR_DEVSERVER_PATH));
    m_process.setArguments(arguments);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    m_running = true;
    m_port = 0;
    while (m_port == 0 && m_process.waitForReadyRead(waitMs)) {
        while (m_port == 0 && m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("listening on")))
                m_port = quint16(line.section(u':', -1).toUInt());
        }
    }
    return m_port;
}

void CBenchServer::Stop(int waitMs)
{
    if (!m_running)
        return;
    m_running = false;
    m_process.terminate();
    m_process.waitForFinished(waitMs);
}

QString CBenchServer::base() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString CBenchServer::api() const
{
    return base() + QStringLiteral("/apps/api/apis/");
}

QString CBenchServer::Hook(const QString &name, const QStringList &args) const
{
    return Curl(args + QStringList{base() + QStringLiteral("/__devserver/") + name});
}

qint32 CBenchServer::FolderId(const QString &path) const
{
    return Hook(QStringLiteral("folder"),
                {QStringLiteral("--data-urlencode"), QStringLiteral("folderPath=") + path})
        .trimmed()
        .toInt();
}

QString CBenchServer::ReferenceKey(const QString &office, const QString &loginId,
                                   const QString &password, QString *clientKey) const
{
    return bench::ReferenceKey(api(), office, loginId, password, clientKey);
}

QString ReferenceKey(const QString &api, const QString &office, const QString &loginId,
                     const QString &password, QString *clientKey)
{
    const QString client
        = XmlValue(Curl({QStringLiteral("-d"),
                         QStringLiteral("customerCode=%1&loginId=%2").arg(office, loginId),
                         api + QStringLiteral("register")}),
                   QStringLiteral("clientKey"));
    if (clientKey)
        *clientKey = client;
    return XmlValue(
        Curl({QStringLiteral("-d"),
              QStringLiteral("clientKey=%1&password=%2&pcName=BENCH").arg(client, password),
              api + QStringLiteral("login")}),
        QStringLiteral("accessKey"));
}

bool WriteServerVqr(quint16 port)
{
    QDir().mkpath(DataPath());
    CBizProps props(DataPath({}, QStringLiteral("server.vqr")));
    props.SetValue(QStringLiteral("hostName"), QStringLiteral("127.0.0.1"));
    props.SetValue(QStringLiteral("secure"), QStringLiteral("0"));
    props.SetValue(QStringLiteral("httpPort"), QString::number(port));
    return props.Save();
}

} // namespace bench
