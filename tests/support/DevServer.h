#pragma once

// A velquor-devserver process for one test: started on a free port with a fresh data
// folder, stopped by the destructor. Failures to start are reported as test failures.

#include "Files.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class TempInstallation;

class DevServer
{
public:
    // The demo office with the test hooks.
    static QStringList DemoArgs() { return {"--seed", "demo", "--test-hooks"}; }
    // Starts the devserver with the given arguments plus "--port 0" and "--data <temp>".
    // Answers null (after adding a test failure) when it does not come up within 15 s.
    static std::unique_ptr<DevServer> Start(const QStringList &args = DemoArgs());
    // Start, then points the installation's server.vqr at it (null, after a test failure,
    // when either fails).
    static std::unique_ptr<DevServer> StartFor(const TempInstallation &installation,
                                               const QStringList &args = DemoArgs());
    ~DevServer();
    DevServer(const DevServer &) = delete;
    DevServer &operator=(const DevServer &) = delete;

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    bool secure() const { return m_secure; }
    QString rootPrefix() const { return m_rootPrefix; }
    // "http(s)://host:port" without a trailing slash.
    QUrl baseUrl() const;
    // The address of an API operation, e.g. apiUrl("login") or apiUrl("version", true).
    QUrl apiUrl(const QString &operation, bool autoUpdate = false) const;
    QString dataFolder() const { return m_data.path(); }

    // Calls a test hook (/__devserver/<path>, POST, url-encoded parameters) and returns the
    // body; a non-2xx answer or a transport failure adds a test failure.
    QByteArray hook(const QString &path, const QList<QPair<QString, QString>> &params = {}) const;
    // The status a hook answers (404 for a file that is not there, ...); only a transport
    // failure adds a test failure (and answers 0).
    int hookStatus(const QString &path, const QList<QPair<QString, QString>> &params = {}) const;
    // The request log, one line per API request: "seq METHOD operation status".
    QStringList requestLog(const QString &operation = QString()) const;
    // How often the operation was called since the start (or the last clearRequestLog()).
    int callCount(const QString &operation) const { return int(requestLog(operation).size()); }
    void clearRequestLog() const;
    // Id of the folder with the given "/"-joined names path (e.g. "経理/2024"), -1 when absent.
    int folderId(const QString &path) const;
    // What the service holds of a file ("/name" in the folder of that names path): its id,
    // size, digest and lock key, in this order (the file hook's answer).
    QStringList fileFields(const QString &folderPath, const QString &path) const;
    // The server.vqr lines that point the client here: hostName, secure, httpPort or
    // httpsPort, rootPrefix when set, ignoreCert=1 for the self-signed certificate of a
    // secure server.
    SettingList serverVqr() const;

private:
    DevServer() = default;
    QProcess m_process;
    QTemporaryDir m_data;
    QString m_host;
    quint16 m_port = 0;
    bool m_secure = false;
    QString m_rootPrefix;
};
