#include "WebPages.h"

#include "files/AppAssociation.h"
#include "files/AppLauncher.h"
#include "service/ServerSettings.h"

#include <QDesktopServices>
#include <QLoggingCategory>
#include <QUrl>

Q_LOGGING_CATEGORY(lcWebPages, "velquor.ui.web")

namespace {

UrlOpener &CurrentOpener()
{
    static UrlOpener opener;
    return opener;
}

bool OpenWithDesktop(const QString &url)
{
    const QString scheme = QUrl(url).scheme().toLower();
    const SAppAssociation handler
        = LookupMimeAssociation(QStringLiteral("x-scheme-handler/")
                                + (scheme.isEmpty() ? QStringLiteral("https") : scheme));
    if (LaunchUri(handler, url) >= LaunchCode::Started) {
        qCInfo(lcWebPages) << "page opened with" << handler.desktopId;
        return true;
    }
    return QDesktopServices::openUrl(QUrl(url));
}

} // namespace

QString ServicePageUrl(const QString &accessKey, const QString &command, bool management)
{
    const SServerSettings settings = LoadServerSettings();
    const QList<QPair<QString, QString>> params{{QStringLiteral("accessKey"), accessKey},
                                                {QStringLiteral("command"), command}};
    if (management)
        return BuildWebPageUrl(settings, QStringLiteral("managePrefix"),
                               QStringLiteral("apps/manager"), QStringLiteral("u/login.do"),
                               params);
    return BuildWebPageUrl(settings, QStringLiteral("clientPrefix"), QStringLiteral("apps/client"),
                           QStringLiteral("a/login"), params);
}

bool OpenWebPage(const QString &url)
{
    if (url.isEmpty())
        return false;
    // The address carries the access key: never logged.
    if (CurrentOpener())
        return CurrentOpener()(url);
    return OpenWithDesktop(url);
}

UrlOpener SetUrlOpener(UrlOpener opener)
{
    UrlOpener previous = std::move(CurrentOpener());
    CurrentOpener() = std::move(opener);
    return previous;
}
