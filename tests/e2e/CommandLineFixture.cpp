#include "CommandLineFixture.h"

#include <QDomDocument>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QUrlQuery>

namespace {

QByteArray call(const QUrl &url, const QByteArray &method,
                const QList<QPair<QString, QString>> &params, const QString &accessKey = {})
{
    QNetworkAccessManager nam;
    QUrl target = url;
    QUrlQuery query;
    for (const auto &[k, v] : params)
        query.addQueryItem(QString::fromLatin1(QUrl::toPercentEncoding(k)),
                           QString::fromLatin1(QUrl::toPercentEncoding(v)));
    QNetworkRequest request;
    if (method == "GET") {
        target.setQuery(query);
        request.setUrl(target);
    } else {
        request.setUrl(target);
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
    }
    if (!accessKey.isEmpty())
        request.setRawHeader("x-velquor-access-key", accessKey.toUtf8());
    QNetworkReply *reply = method == "GET"
                               ? nam.get(request)
                               : nam.post(request, query.toString(QUrl::FullyEncoded).toLatin1());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

QString firstText(const QByteArray &xml, const QString &name)
{
    QDomDocument doc;
    doc.setContent(xml);
    return doc.elementsByTagName(name).item(0).toElement().text();
}

} // namespace

void CommandLineFixture::SetUp()
{
#ifndef VELQUOR_EXE_PATH
    GTEST_SKIP() << "the program is not part of this build (no-UI-only configuration)";
#endif
    InstallationTest::SetUp();
    m_server = DevServer::StartFor(installation);
    ASSERT_TRUE(m_server);
    ASSERT_TRUE(QDir().mkpath(destination()));
}

QStringList CommandLineFixture::downloadArgs(const QString &source,
                                             const QString &destinationFolder,
                                             const QString &loginId, const QString &password) const
{
    return {QStringLiteral("/no_ui"),
            QStringLiteral("/accfirm_id"),
            QStringLiteral("demo"),
            QStringLiteral("/login_id"),
            loginId,
            QStringLiteral("/pp"),
            QStringLiteral("/pwd"),
            password,
            QStringLiteral("/src_dir"),
            source,
            QStringLiteral("/dst_dir"),
            destinationFolder};
}

SProgramRun CommandLineFixture::runProgram(const QStringList &args,
                                           const std::function<bool()> &whileRunning) const
{
    SProgramRun run;
#ifdef VELQUOR_EXE_PATH
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    const QString home = installation.home();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(installFolder());
    process.start(QStringLiteral(VELQUOR_EXE_PATH), args);
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start the program";
        return run;
    }
    bool watching = bool(whileRunning);
    while (!process.waitForFinished(20)) {
        if (process.state() == QProcess::NotRunning)
            break;
        if (watching)
            watching = whileRunning();
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
#else
    Q_UNUSED(args)
    Q_UNUSED(whileRunning)
#endif
    return run;
}

QStringList CommandLineFixture::filesIn(const QString &folder, bool withHidden)
{
    QDir::Filters filters = QDir::Files;
    if (withHidden)
        filters |= QDir::Hidden;
    return QDir(folder).entryList(filters, QDir::Name);
}

QByteArray CommandLineFixture::serverDigest(const QString &folderPath, const QString &name) const
{
    const QList<QByteArray> parts
        = m_server
              ->hook(QStringLiteral("file"), {{QStringLiteral("folderPath"), folderPath},
                                              {QStringLiteral("path"), u'/' + name}})
              .trimmed()
              .split(' ');
    return parts.size() >= 3 ? parts.at(2).toLower() : QByteArray();
}

QStringList CommandLineFixture::serviceListOrder(const QString &folderPath) const
{
    const QByteArray registered = call(m_server->apiUrl(QStringLiteral("register")), "POST",
                                       {{QStringLiteral("customerCode"), QStringLiteral("demo")},
                                        {QStringLiteral("loginId"), QStringLiteral("yamada")}});
    const QString clientKey = firstText(registered, QStringLiteral("clientKey"));
    const QByteArray login = call(m_server->apiUrl(QStringLiteral("login")), "POST",
                                  {{QStringLiteral("clientKey"), clientKey},
                                   {QStringLiteral("password"), QStringLiteral("yamada-pass")},
                                   {QStringLiteral("pcName"), QStringLiteral("test")}});
    const QString accessKey = firstText(login, QStringLiteral("accessKey"));
    const QByteArray list
        = call(m_server->apiUrl(QStringLiteral("file/list")), "GET",
               {{QStringLiteral("workspaceId"), QString::number(m_server->folderId(folderPath))}},
               accessKey);
    QDomDocument doc;
    doc.setContent(list);
    QStringList names;
    const QDomNodeList files = doc.elementsByTagName(QStringLiteral("file"));
    for (int i = 0; i < files.size(); ++i)
        names << files.item(i).firstChildElement(QStringLiteral("path")).text().mid(1);
    return names;
}
