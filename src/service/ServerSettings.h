#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// The service installation this client talks to: server.vqr in the data folder, read afresh
// for every request object. Every key is optional; an absent or empty value keeps the
// default (production host over HTTPS). Numbers and flags are read with ParseInt.
struct SServerSettings
{
    static constexpr const char16_t *DefaultHostName = u"api.velquor-cloud.jp";

    QString hostName = QString::fromUtf16(DefaultHostName);
    quint16 httpPort = 80;
    quint16 httpsPort = 443;
    bool secure = true;
    QString rootPrefix;
    bool ignoreCert = false;
    bool asyncMode = false;
    bool addCertStore = false;
    int receiveTimeout = 120000;
    int sendTimeout = 120000;
    QString apiPrefix = QStringLiteral("apps/api/apis");
    QString autoupdatePrefix = QStringLiteral("apps/api/autoupdate");
    QString clientPrefix = QStringLiteral("apps/client");
    QString managePrefix = QStringLiteral("apps/manager");

    // The file existed and was read.
    bool fromFile = false;
    // Every key of the file as read (the prefixes of derived request classes come from here).
    QMap<QString, QString> values;

    quint16 port() const { return secure ? httpsPort : httpPort; }
    QString scheme() const { return secure ? QStringLiteral("https") : QStringLiteral("http"); }
    // The value of key, or defaultValue when the file has none (or an empty one).
    QString Value(const QString &key, const QString &defaultValue = {}) const;
};

// server.vqr of the data folder.
QString ServerSettingsPath();
// Reads server.vqr (the given file, or the data folder's); a missing or unreadable file
// gives the defaults with fromFile false. Never writes the file.
SServerSettings LoadServerSettings(const QString &path = {});
// False when there is no server.vqr; otherwise the four values where the file sets them.
bool ReadEndpoint(QString *host, quint16 *httpPort, quint16 *httpsPort, bool *secure);

// "/" [rootPrefix "/"] [prefix "/"] operation.
QString RequestPath(const SServerSettings &settings, const QString &prefix,
                    const QString &operation);
QString ApiPath(const SServerSettings &settings, const QString &operation);
QString AutoUpdatePath(const SServerSettings &settings, const QString &operation);
// "scheme://host:port/" [prefix "/"] page ["?" form-encoded parameters]; the prefix is the
// value of prefixKey (defaultPrefix when unset); rootPrefix is never used for web pages.
QString BuildWebPageUrl(const SServerSettings &settings, const QString &prefixKey,
                        const QString &defaultPrefix, const QString &page,
                        const QList<QPair<QString, QString>> &params = {});
