#include "NetworkManagers.h"

#include "LowDelaySockets.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <mutex>

namespace {

// Proxy choice per URL from the system configuration: the environment (http_proxy,
// https_proxy, no_proxy) when it names a proxy, otherwise libproxy's automatic
// configuration. Unlike Qt's own system factory this also proxies loopback when the
// environment says so (no_proxy decides).
class CSystemProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QString scheme = query.url().scheme().toLower();
        QByteArray value = qgetenv(scheme == QLatin1String("https") ? "https_proxy" : "http_proxy");
        if (value.isEmpty())
            value = qgetenv(scheme == QLatin1String("https") ? "HTTPS_PROXY" : "HTTP_PROXY");
        if (value.isEmpty())
            value = qgetenv("all_proxy");
        if (value.isEmpty())
            return AutomaticProxy(query);
        if (Bypassed(query.peerHostName(), query.peerPort()))
            return {QNetworkProxy::NoProxy};
        QString text = QString::fromLocal8Bit(value).trimmed();
        if (!text.contains(QLatin1String("://")))
            text.prepend(QLatin1String("http://"));
        const QUrl proxyUrl(text);
        if (!proxyUrl.isValid() || proxyUrl.host().isEmpty())
            return {QNetworkProxy::NoProxy};
        const bool socks = proxyUrl.scheme().startsWith(QLatin1String("socks"));
        QNetworkProxy proxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
                            proxyUrl.host(), quint16(proxyUrl.port(socks ? 1080 : 8080)),
                            proxyUrl.userName(), proxyUrl.password());
        return {proxy};
    }

private:
    // libproxy answers through a thread of its own: some 0.1 ms and two thread switches per
    // request. Its answer for a server is kept a few seconds, so a change of the system
    // configuration still applies to the next transfer.
    QList<QNetworkProxy> AutomaticProxy(const QNetworkProxyQuery &query)
    {
        const QString key = query.url().scheme() + u' ' + query.peerHostName() + u' '
                            + QString::number(query.peerPort());
        std::lock_guard lock(m_cacheMutex);
        if (key != m_cachedKey || !m_cachedAt.isValid() || m_cachedAt.hasExpired(kProxyCacheMs)) {
            m_cached = systemProxyForQuery(query);
            m_cachedKey = key;
            m_cachedAt.start();
        }
        return m_cached;
    }

    static bool Bypassed(const QString &host, int port)
    {
        QByteArray list = qgetenv("no_proxy");
        if (list.isEmpty())
            list = qgetenv("NO_PROXY");
        const QString lowerHost = host.toLower();
        for (QString entry : QString::fromLocal8Bit(list).split(u',', Qt::SkipEmptyParts)) {
            entry = entry.trimmed().toLower();
            if (entry == QLatin1String("*"))
                return true;
            const int colon = entry.lastIndexOf(u':');
            if (colon > 0 && !entry.contains(u']') && entry.count(u':') == 1) {
                if (entry.mid(colon + 1).toInt() != port)
                    continue;
                entry.truncate(colon);
            }
            if (entry.startsWith(u'.'))
                entry.remove(0, 1);
            if (entry.isEmpty())
                continue;
            if (lowerHost == entry || lowerHost.endsWith(u'.' + entry))
                return true;
        }
        return false;
    }

    static constexpr qint64 kProxyCacheMs = 3000;
    std::mutex m_cacheMutex; // the network layer may ask from its own thread
    QString m_cachedKey;
    QElapsedTimer m_cachedAt;
    QList<QNetworkProxy> m_cached;
};

QMutex g_factoryMutex;
NetworkManagers::Factory g_factory;
// Bumped by every SetFactory: a thread whose managers are older makes new ones.
std::atomic<int> g_generation{0};

QNetworkAccessManager *makeManager()
{
    static const bool lowDelay = EnableLowDelaySockets();
    Q_UNUSED(lowDelay);
    NetworkManagers::Factory factory;
    {
        QMutexLocker lock(&g_factoryMutex);
        factory = g_factory;
    }
    QNetworkAccessManager *nam = factory ? factory() : nullptr;
    return nam ? nam : new QNetworkAccessManager;
}

} // namespace

QNetworkAccessManager *NetworkManagers::ForThread(int tlsPolicy)
{
    static thread_local QPointer<QNetworkAccessManager> managers[4];
    static thread_local int generation = 0;
    const int current = g_generation.load(std::memory_order_acquire);
    if (generation != current) {
        for (QPointer<QNetworkAccessManager> &m : managers) {
            if (m)
                m->deleteLater(); // a reply in progress may still refer to it
            m = nullptr;
        }
        generation = current;
    }
    QPointer<QNetworkAccessManager> &manager = managers[tlsPolicy & 3];
    if (!manager) {
        QNetworkAccessManager *nam = makeManager();
        QCoreApplication *app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread())
            nam->setParent(app);
        else
            QObject::connect(QThread::currentThread(), &QThread::finished, nam,
                             &QObject::deleteLater);
        nam->setProxyFactory(new CSystemProxyFactory);
        nam->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        nam->setStrictTransportSecurityEnabled(false);
        manager = nam;
    }
    return manager;
}

NetworkManagers::Factory NetworkManagers::SetFactory(Factory factory)
{
    Factory previous;
    {
        QMutexLocker lock(&g_factoryMutex);
        previous = std::exchange(g_factory, std::move(factory));
    }
    g_generation.fetch_add(1, std::memory_order_release);
    return previous;
}
