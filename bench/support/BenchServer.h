#pragma once

// The devserver of a benchmark: started with a seed on a port of its own, its test hooks,
// the installation's server.vqr pointed at it, and curl's own access key.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace bench {

struct SServerArgs
{
    QString seed;          // empty: the devserver's default
    QString data;          // the data folder; empty: the devserver's default
    bool testHooks = true; // /__devserver/...
    int waitMs = 60000;    // for the "listening on" line
};

class CBenchServer
{
public:
    CBenchServer() = default;
    ~CBenchServer() { Stop(); }
    CBenchServer(const CBenchServer &) = delete;
    CBenchServer &operator=(const CBenchServer &) = delete;

    // Starts the devserver on a free port with the seed and the data folder (empty: the
    // devserver's defaults), its test hooks (/__devserver/...) on or off, waiting up to
    // waitMs for its "listening on" line; the port, 0 when it did not start.
    quint16 Start(const QString &seed, const QString &data, bool testHooks = true,
                  int waitMs = 60000);
    // Terminates it (once) and waits up to waitMs for it to end.
    void Stop(int waitMs = 5000);

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>"
    QString base() const;
    // base + "/apps/api/apis/"
    QString api() const;
    // A test hook: curl args + base/__devserver/<name>; its answer.
    QString Hook(const QString &name, const QStringList &args = {}) const;
    // The id of the folder of "/"-joined names (e.g. "経理/2024"); 0 when there is none.
    qint32 FolderId(const QString &path) const;
    // The reference's own key: another installation of the user registered and signed in by
    // curl, as curl would be. *clientKey: its client key.
    QString ReferenceKey(const QString &office = QStringLiteral("demo"),
                         const QString &loginId = QStringLiteral("yamada"),
                         const QString &password = QStringLiteral("yamada-pass"),
                         QString *clientKey = nullptr) const;

private:
    QProcess m_process;
    quint16 m_port = 0;
    bool m_running = false;
};

// The reference's own key from the service at api, as CBenchServer::ReferenceKey.
QString ReferenceKey(const QString &api, const QString &office, const QString &loginId,
                     const QString &password, QString *clientKey = nullptr);

// server.vqr of the installation in the working directory: 127.0.0.1:port, plain HTTP.
bool WriteServerVqr(quint16 port);

} // namespace bench
