#include "ServerSettings.h"

#include "ServiceLog.h"
#include "WinHttpClient.h"
#include "core/BizException.h"
#include "core/Paths.h"
#include "store/BizProps.h"
#include "store/Convert.h"

#include <QFileInfo>

QString SServerSettings::Value(const QString &key, const QString &defaultValue) const
{
    const QString v = values.value(key);
    return v.isEmpty() ? defaultValue : v;
}

QString ServerSettingsPath()
{
    return DataPath({}, QStringLiteral("server.vqr"));
}

SServerSettings LoadServerSettings(const QString &path)
{
    SServerSettings s;
    QString file;
    try {
        file = path.isEmpty() ? ServerSettingsPath() : path;
    } catch (const CBizException &) {
        return s;
    }
    if (!QFileInfo(file).isFile())
        return s;
    CBizProps props(file);
    try {
        if (!props.Load())
            return s;
    } catch (const CBizException &) {
        qCWarning(lcService) << "server.vqr could not be read; defaults apply";
        return s;
    }
    s.fromFile = true;
    s.values = props.values();
    auto text = [&](const char *key, QString &field) {
        const QString v = props.GetValue(QString::fromLatin1(key));
        if (!v.isEmpty())
            field = v;
    };
    auto number = [&](const char *key, auto &field) {
        const QString v = props.GetValue(QString::fromLatin1(key));
        if (!v.isEmpty())
            field = static_cast<std::remove_reference_t<decltype(field)>>(ParseInt(v));
    };
    auto flag = [&](const char *key, bool &field) {
        const QString v = props.GetValue(QString::fromLatin1(key));
        if (!v.isEmpty())
            field = ParseInt(v) != 0;
    };
    text("hostName", s.hostName);
    number("httpPort", s.httpPort);
    number("httpsPort", s.httpsPort);
    flag("secure", s.secure);
    text("rootPrefix", s.rootPrefix);
    flag("ignoreCert", s.ignoreCert);
    flag("asyncMode", s.asyncMode);
    flag("addCertStore", s.addCertStore);
    number("receiveTimeout", s.receiveTimeout);
    number("sendTimeout", s.sendTimeout);
    text("apiPrefix", s.apiPrefix);
    text("autoupdatePrefix", s.autoupdatePrefix);
    text("clientPrefix", s.clientPrefix);
    text("managePrefix", s.managePrefix);
    return s;
}

bool ReadEndpoint(QString *host, quint16 *httpPort, quint16 *httpsPort, bool *secure)
{
    const SServerSettings s = LoadServerSettings();
    if (host)
        *host = s.hostName;
    if (httpPort)
        *httpPort = s.httpPort;
    if (httpsPort)
        *httpsPort = s.httpsPort;
    if (secure)
        *secure = s.secure;
    return s.fromFile;
}

QString RequestPath(const SServerSettings &settings, const QString &prefix,
                    const QString &operation)
{
    const QString inner = prefix.isEmpty() ? operation : QString(prefix + u'/' + operation);
    if (settings.rootPrefix.isEmpty())
        return u'/' + inner;
    return u'/' + settings.rootPrefix + u'/' + inner;
}

QString ApiPath(const SServerSettings &settings, const QString &operation)
{
    return RequestPath(settings, settings.apiPrefix, operation);
}

QString AutoUpdatePath(const SServerSettings &settings, const QString &operation)
{
    return RequestPath(settings, settings.autoupdatePrefix, operation);
}

QString BuildWebPageUrl(const SServerSettings &settings, const QString &prefixKey,
                        const QString &defaultPrefix, const QString &page,
                        const QList<QPair<QString, QString>> &params)
{
    QString url = QStringLiteral("%1://%2:%3/")
                      .arg(settings.scheme(), settings.hostName)
                      .arg(settings.port());
    const QString prefix = settings.Value(prefixKey, defaultPrefix);
    if (!prefix.isEmpty())
        url += prefix + u'/';
    url += page;
    if (!params.isEmpty())
        url += u'?' + QString::fromLatin1(CBizWinHttpClient::EncodeForm(params));
    return url;
}
