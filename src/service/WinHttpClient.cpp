#include "WinHttpClient.h"

#include "CertStore.h"
#include "MessageDigest.h"
#include "ServiceLog.h"
#include "XmlDocument.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/Messages.h"
#include "core/OsUtils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

Q_LOGGING_CATEGORY(lcService, "velquor.service")

namespace {

constexpr int kDefaultTimeoutMs = 30000;
constexpr int kPollIntervalMs = 100;
constexpr int kMaxBodyResumes = 5;
constexpr qint64 kReadBuffer = 2 << 20;
// File bytes move in blocks of this size: large enough that the per-block costs (system
// calls, hand-over to the digest thread) vanish, small enough to stay in the CPU cache
// between the network copy, the disk write and the digest. Larger writes cost the kernel
// more per byte (256 MB downloaded: 0.2 s system time with 64 KiB writes, 1.0 s with 1 MiB).
constexpr qsizetype kBlockSize = 64 * 1024;
// Bytes waiting for the digest thread at most; the transfer waits beyond that.
constexpr qint64 kDigestBacklog = 2 << 20;
constexpr qint64 kMaxUploadSize = Q_INT64_C(0x100000000);
constexpr int kErrorFileTooLarge = 223;

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
            return automaticProxy(query);
        if (bypassed(query.peerHostName(), query.peerPort()))
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
    QList<QNetworkProxy> automaticProxy(const QNetworkProxyQuery &query)
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

    static constexpr qint64 kProxyCacheMs = 3000;
    std::mutex m_cacheMutex; // the network layer may ask from its own thread
    QString m_cachedKey;
    QElapsedTimer m_cachedAt;
    QList<QNetworkProxy> m_cached;

    static bool bypassed(const QString &host, int port)
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
};

// One manager per thread and certificate policy: a connection accepted under ignoreCert (or
// with the installation's trust file) must never carry a request of a stricter policy.
QNetworkAccessManager *threadManager(int policy = 0)
{
    static thread_local QPointer<QNetworkAccessManager> managers[4];
    QPointer<QNetworkAccessManager> &manager = managers[policy & 3];
    if (!manager) {
        auto *nam = new QNetworkAccessManager;
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

QString failureText(quint32 number, const QString &host)
{
    switch (number) {
    case HttpError::Timeout:
        return QStringLiteral("サーバー（%1）からの応答がタイムアウトしました。").arg(host);
    case HttpError::InvalidUrl:
        return QStringLiteral("接続先のアドレス（%1）が正しくありません。").arg(host);
    case HttpError::NameNotResolved:
        return QStringLiteral("サーバー名（%1）を解決できません。").arg(host);
    case HttpError::Cancelled:
        return QStringLiteral("通信は中止されました。");
    case HttpError::CannotConnect:
        return QStringLiteral("サーバー（%1）に接続できません。").arg(host);
    case HttpError::ConnectionAborted:
        return QStringLiteral("サーバー（%1）との接続が切断されました。").arg(host);
    case HttpError::CertDateInvalid:
        return QStringLiteral("サーバー（%1）の証明書は有効期限外です。").arg(host);
    case HttpError::CertNameInvalid:
        return QStringLiteral("サーバー（%1）の証明書の名前がホスト名と一致しません。").arg(host);
    case HttpError::CertAuthorityInvalid:
        return QStringLiteral("サーバー（%1）の証明書の発行元を信頼できません。").arg(host);
    case HttpError::InvalidServerResponse:
        return QStringLiteral("サーバー（%1）からの応答が正しくありません。").arg(host);
    case HttpError::ProxyFailure:
        return QStringLiteral("プロキシサーバー経由で（%1）に接続できません。").arg(host);
    case HttpError::CertInvalid:
        return QStringLiteral("サーバー（%1）の証明書が無効です。").arg(host);
    case HttpError::SecureFailure:
        return QStringLiteral("サーバー（%1）との安全な通信路を確立できません。").arg(host);
    default:
        return QStringLiteral("サーバー（%1）との通信中にエラーが発生しました。").arg(host);
    }
}

bool isAuthorityError(QSslError::SslError e)
{
    switch (e) {
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted:
        return true;
    default:
        return false;
    }
}

bool isDateError(QSslError::SslError e)
{
    return e == QSslError::CertificateExpired || e == QSslError::CertificateNotYetValid;
}

// Tracks the progress of one transfer in bytes; large files are counted in KiB so that
// the 32-bit positions of the progress protocol never overflow.
class CProgressMeter
{
public:
    explicit CProgressMeter(CBizProgressHandler *handler)
        : m_handler(handler)
    {}
    void Begin(qint64 total)
    {
        if (!m_handler)
            return;
        m_shift = total > INT_MAX / 2 ? 10 : 0;
        m_handler->Begin(total < 0 ? -1 : qint32(total >> m_shift));
    }
    // False once the user cancelled.
    bool AdvanceTo(qint64 bytes)
    {
        if (!m_handler)
            return true;
        const qint32 units = qint32(bytes >> m_shift);
        if (units == m_reported)
            return m_handler->Continue();
        const qint32 delta = units - m_reported;
        m_reported = units;
        return m_handler->StepBy(delta);
    }

private:
    CBizProgressHandler *m_handler;
    int m_shift = 0;
    qint32 m_reported = 0;
};

// The MD5 of a transfer computed on a worker thread, so that it overlaps with the network
// and the disk instead of adding to them (at some 500 MB/s it would otherwise cost as much
// time as the transfer itself). Blocks are shared, not copied; Add waits while more than
// kDigestBacklog bytes are pending, so memory stays bounded whatever the file size.
class CDigestPipe
{
public:
    CDigestPipe()
        : m_thread([this] { run(); })
    {
        m_digest.BeginDigest(); // before any Add: the mutex hands it over to the worker
    }
    ~CDigestPipe()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    CDigestPipe(const CDigestPipe &) = delete;
    CDigestPipe &operator=(const CDigestPipe &) = delete;

    // Digests bytes [offset, offset + length) of block after everything added before.
    void Add(const QByteArray &block, qsizetype offset, qsizetype length)
    {
        if (length <= 0)
            return;
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock,
                        [&] { return m_pending == 0 || m_pending + length <= kDigestBacklog; });
            m_queue.push_back({block, offset, length});
            m_pending += length;
        }
        m_wake.notify_one();
    }
    // Waits for the pending blocks; the digest of everything added (once).
    QString Finish()
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] { return m_pending == 0; });
        QString hex;
        m_digest.FinishDigest(&hex);
        return hex;
    }

private:
    struct SPiece
    {
        QByteArray block;
        qsizetype offset;
        qsizetype length;
    };

    void run()
    {
        for (;;) {
            SPiece piece;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [&] { return m_stop || !m_queue.empty(); });
                if (m_stop)
                    return;
                piece = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_digest.AddToDigest(piece.block.constData() + piece.offset, piece.length);
            piece.block = QByteArray(); // the producer may refill it from now on
            {
                std::lock_guard lock(m_mutex);
                m_pending -= piece.length;
            }
            m_room.notify_one();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake; // work for the worker
    std::condition_variable m_room; // progress for the producer
    std::deque<SPiece> m_queue;
    qint64 m_pending = 0; // bytes queued or being digested
    bool m_stop = false;
    CBizCryptMessageDigest m_digest; // the worker's until Finish has seen the queue drained
    std::thread m_thread;            // last: starts once everything above exists
};

// Block buffers for one transfer; a block the digest thread still holds is not refilled.
class CBlockPool
{
public:
    QByteArray &Next()
    {
        for (QByteArray &b : m_blocks) {
            if (b.isDetached()) {
                // Pairs with the worker's release of its reference: its reads are done.
                std::atomic_thread_fence(std::memory_order_acquire);
                return b;
            }
        }
        m_blocks.emplace_back(kBlockSize, Qt::Uninitialized);
        return m_blocks.back();
    }

private:
    std::deque<QByteArray> m_blocks; // deque: references stay valid as it grows
};

// The multipart body: preamble, the file read ahead in blocks, trailer. Random access so
// that the network layer can rewind it; the digest covers each file byte once, whatever is
// re-read. Qt asks for 16 KiB per hand-over and waits for each one, so a hand-over must be
// a copy and nothing more: the file is read a block at a time and digested on a worker.
class CMultipartDevice : public QIODevice
{
public:
    CMultipartDevice(QByteArray preamble, const QString &path, qint64 fileSize, QByteArray trailer)
        : m_preamble(std::move(preamble))
        , m_file(path)
        , m_fileSize(fileSize)
        , m_trailer(std::move(trailer))
    {}

    bool open(OpenMode mode) override
    {
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false;
        m_pos = 0;
        return QIODevice::open(mode | QIODevice::Unbuffered);
    }
    bool seek(qint64 pos) override
    {
        if (pos < 0 || pos > size())
            return false;
        m_pos = pos;
        return QIODevice::seek(pos);
    }
    bool reset() override { return seek(0); }
    // File bytes handed to the network layer so far.
    qint64 fileBytesRead() const { return m_fileBytesOut; }
    void close() override
    {
        m_file.close();
        QIODevice::close();
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_preamble.size() + m_fileSize + m_trailer.size(); }
    bool atEnd() const override { return m_pos >= size(); }
    qint64 bytesAvailable() const override { return size() - m_pos + QIODevice::bytesAvailable(); }
    bool FinishDigest(QString *hex)
    {
        if (m_hashed != m_fileSize)
            return false;
        if (hex)
            *hex = m_digest.Finish();
        return true;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        qint64 total = 0;
        while (total < maxSize) {
            const qint64 n = readAt(m_pos, data + total, maxSize - total);
            if (n < 0)
                return total > 0 ? total : -1;
            if (n == 0)
                break;
            total += n;
            m_pos += n;
        }
        const qint64 fileEnd = std::clamp<qint64>(m_pos - m_preamble.size(), 0, m_fileSize);
        m_fileBytesOut = std::max(m_fileBytesOut, fileEnd);
        return total;
    }
    qint64 readAt(qint64 at, char *data, qint64 maxSize)
    {
        const qint64 pre = m_preamble.size();
        if (at < pre) {
            const qint64 n = std::min(maxSize, pre - at);
            memcpy(data, m_preamble.constData() + at, size_t(n));
            return n;
        }
        if (at < pre + m_fileSize) {
            const qint64 offset = at - pre;
            if (m_block.isNull() || offset < m_blockStart || offset >= m_blockStart + m_blockSize) {
                if (!loadBlock(offset))
                    return -1; // the file shrank or failed: the upload must fail
            }
            const qint64 n = std::min(maxSize, m_blockStart + m_blockSize - offset);
            memcpy(data, m_block.constData() + (offset - m_blockStart), size_t(n));
            return n;
        }
        const qint64 t = at - pre - m_fileSize;
        if (t >= m_trailer.size())
            return 0;
        const qint64 n = std::min(maxSize, m_trailer.size() - t);
        memcpy(data, m_trailer.constData() + t, size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool loadBlock(qint64 offset)
    {
        QByteArray &block = m_pool.Next();
        const qint64 want = std::min<qint64>(block.size(), m_fileSize - offset);
        if (m_file.pos() != offset && !m_file.seek(offset))
            return false;
        qint64 got = 0;
        while (got < want) {
            const qint64 n = m_file.read(block.data() + got, want - got);
            if (n <= 0)
                return false;
            got += n;
        }
        m_block = block; // shared with the pool: refilled once nobody else holds it
        m_blockStart = offset;
        m_blockSize = got;
        if (offset + got > m_hashed && offset <= m_hashed) {
            const qint64 skip = m_hashed - offset;
            m_digest.Add(block, skip, got - skip);
            m_hashed = offset + got;
        }
        return true;
    }

    QByteArray m_preamble;
    QFile m_file;
    qint64 m_fileSize;
    QByteArray m_trailer;
    CBlockPool m_pool;
    QByteArray m_block;
    qint64 m_blockStart = 0;
    qint64 m_blockSize = 0;
    qint64 m_hashed = 0;
    qint64 m_fileBytesOut = 0;
    qint64 m_pos = 0;
    CDigestPipe m_digest; // last: its worker stops before the blocks go
};

QString safeHeaderText(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

QString safeQuoted(QString text)
{
    text = safeHeaderText(text);
    text.replace(u'"', QLatin1String("%22"));
    return text;
}

qint64 contentRangeStart(const QNetworkReply *reply)
{
    // "bytes START-END/TOTAL"
    static const QRegularExpression re(QStringLiteral("^\\s*bytes\\s+(\\d+)-"));
    const QRegularExpressionMatch m
        = re.match(QString::fromLatin1(reply->rawHeader("Content-Range")));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

} // namespace

CBizWinHttpClient::CBizWinHttpClient(QObject *parent)
    : QObject(parent)
{}

CBizWinHttpClient::~CBizWinHttpClient()
{
    discardReply();
}

QByteArray CBizWinHttpClient::PercentEncode(const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || (c != 0 && strchr("-./:_~!'()*", c))) {
            out.append(char(c));
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xf]);
        }
    }
    return out;
}

QByteArray CBizWinHttpClient::EncodeForm(const QList<QPair<QString, QString>> &params)
{
    QByteArray out;
    for (const auto &[name, value] : params) {
        if (!out.isEmpty())
            out.append('&');
        out.append(PercentEncode(name));
        out.append('=');
        out.append(PercentEncode(value));
    }
    return out;
}

QString CBizWinHttpClient::NewBoundary()
{
    return QStringLiteral("---biz-") + NewGuidText(true);
}

void CBizWinHttpClient::SetParameter(const QString &name, const QString &value)
{
    for (auto &p : m_params) {
        if (p.first == name) {
            p.second = value;
            return;
        }
    }
    m_params.append({name, value});
}

void CBizWinHttpClient::SetHeader(const QString &name, const QString &value)
{
    for (auto &h : m_headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0) {
            h.second = safeHeaderText(value);
            return;
        }
    }
    m_headers.append({safeHeaderText(name), safeHeaderText(value)});
}

void CBizWinHttpClient::SetPartHeader(const QString &part, const QString &name,
                                      const QString &value)
{
    m_partHeaders[part].append({safeHeaderText(name), safeHeaderText(value)});
}

QString CBizWinHttpClient::Parameter(const QString &name) const
{
    for (const auto &p : m_params) {
        if (p.first == name)
            return p.second;
    }
    return {};
}

QString CBizWinHttpClient::Header(const QString &name) const
{
    for (const auto &h : m_headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

void CBizWinHttpClient::SetTimeouts(int receiveMs, int sendMs)
{
    m_receiveTimeout = std::max(0, receiveMs);
    m_sendTimeout = std::max(0, sendMs);
}

bool CBizWinHttpClient::Open(const QString &method, const QString &host, quint16 port,
                             const QString &path, unsigned flags, const QString &agent,
                             int accessType)
{
    Q_UNUSED(accessType)
    Close();
    if (!agent.isEmpty())
        m_agent = agent;
    QUrl url;
    url.setScheme((flags & Secure) ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(host);
    url.setPort(port);
    url.setPath(path);
    if (method == QLatin1String("GET") && !m_params.isEmpty())
        url.setQuery(QString::fromLatin1(EncodeForm(m_params)), QUrl::TolerantMode);
    if (!url.isValid() || host.isEmpty()
        || (method != QLatin1String("GET") && method != QLatin1String("POST")))
        throw CBizWinHttpException(HttpError::InvalidUrl, failureText(HttpError::InvalidUrl, host));
    m_method = method;
    m_flags = flags;
    m_request = QNetworkRequest(url);
    ProgressContinue();
    return true;
}

QNetworkRequest CBizWinHttpClient::buildRequest() const
{
    QNetworkRequest r = m_request;
    r.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    r.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    r.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    r.setHeader(QNetworkRequest::UserAgentHeader,
                m_agent.isEmpty() ? QStringLiteral("redIraruv") : m_agent);
    // No content coding (Qt would offer zstd, br, gzip): the lengths, ranges and digests the
    // transport checks are those of the bytes themselves, and compressing each small answer
    // on the fly costs the server more time than the saved bytes are worth.
    r.setRawHeader("Accept-Encoding", "identity");
    for (const auto &[name, value] : m_headers)
        r.setRawHeader(name.toUtf8(), value.toUtf8());
    // One inactivity time-out per request: waiting for the answer is what it governs.
    const int timeout = m_receiveTimeout > 0 ? m_receiveTimeout : m_sendTimeout;
    r.setTransferTimeout(timeout > 0 ? timeout : kDefaultTimeoutMs);
    if (m_flags & Secure) {
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        if (m_addCertStore) {
            const QList<QSslCertificate> trusted = CBizCertStore().Certificates();
            if (!trusted.isEmpty())
                conf.addCaCertificates(trusted);
        }
        r.setSslConfiguration(conf);
    }
    return r;
}

QNetworkReply *CBizWinHttpClient::startReply(const QNetworkRequest &request, const QByteArray &body,
                                             std::unique_ptr<QIODevice> device)
{
    discardReply();
    m_sent = m_headersIn = m_finished = m_cancelled = m_timedOut = false;
    m_bodyDone = !device;
    m_uploaded = 0;
    m_refusedSslErrors.clear();
    m_peerCertificate.reset();
    QNetworkAccessManager *nam = threadManager(tlsPolicy());
    QNetworkReply *reply = nullptr;
    if (m_method == QLatin1String("GET")) {
        reply = nam->get(request);
    } else if (device) {
        m_uploadDevice = std::move(device);
        reply = nam->post(request, m_uploadDevice.get());
    } else {
        QNetworkRequest r = request;
        if (!r.hasRawHeader("Content-type"))
            r.setHeader(QNetworkRequest::ContentTypeHeader,
                        QStringLiteral("application/x-www-form-urlencoded"));
        reply = nam->post(r, body);
    }
    reply->setReadBufferSize(kReadBuffer);
    m_reply = reply;
    auto wake = [this] {
        if (m_loop)
            m_loop->quit();
    };
    connect(reply, &QNetworkReply::requestSent, this, [this, wake] {
        m_sent = true;
        wake();
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, wake] {
        m_headersIn = true;
        wake();
    });
    connect(reply, &QNetworkReply::finished, this, [this, wake] {
        m_finished = true;
        wake();
    });
    connect(reply, &QNetworkReply::readyRead, this, wake);
    connect(reply, &QNetworkReply::uploadProgress, this, [this, wake](qint64 sent, qint64 total) {
        m_uploaded = sent;
        // Every 16 KiB: waking for each would keep the thread that feeds the body busy
        // re-entering its loop; the poll tick steps the progress meanwhile.
        if (total > 0 && sent >= total) {
            m_bodyDone = true;
            wake();
        }
    });
    connect(reply, &QNetworkReply::sslErrors, this, &CBizWinHttpClient::onSslErrors);
    return reply;
}

void CBizWinHttpClient::onSslErrors(const QList<QSslError> &errors)
{
    if (!m_reply)
        return;
    bool acceptable = m_ignoreCert && (m_flags & Secure);
    for (const QSslError &e : errors) {
        const bool known = isAuthorityError(e.error()) || isDateError(e.error())
                           || e.error() == QSslError::HostNameMismatch;
        if (!known)
            acceptable = false;
        if (!e.certificate().isNull() && !m_peerCertificate)
            m_peerCertificate = e.certificate();
    }
    if (!m_peerCertificate) {
        const QSslCertificate peer = m_reply->sslConfiguration().peerCertificate();
        if (!peer.isNull())
            m_peerCertificate = peer;
    }
    if (!acceptable && m_addCertStore && (m_flags & Secure) && m_peerCertificate) {
        // A certificate of the installation's trust file is trusted exactly as it is: only
        // the authority complaints about that very certificate are accepted.
        bool onlyAuthority = true;
        for (const QSslError &e : errors)
            onlyAuthority = onlyAuthority && isAuthorityError(e.error())
                            && (e.certificate().isNull() || e.certificate() == *m_peerCertificate);
        acceptable = onlyAuthority && CBizCertStore().Certificates().contains(*m_peerCertificate);
    }
    if (acceptable) {
        m_reply->ignoreSslErrors(errors);
        return;
    }
    m_refusedSslErrors = errors;
}

void CBizWinHttpClient::waitFor(Stage stage, const std::function<void()> &onWake,
                                const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(kPollIntervalMs);
    connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Without a progress handler or a condition of its own, only the reply's signals can
    // end the wait: no timer to arm and disarm on every request.
    if (progress() || done)
        tick.start();
    m_loop = &loop;
    struct Reset
    {
        QEventLoop *&loop;
        ~Reset() { loop = nullptr; }
    } reset{m_loop};
    QElapsedTimer sincePoll;
    sincePoll.start();
    bool firstPoll = true;
    for (;;) {
        if (onWake)
            onWake();
        if (m_cancelled || !m_reply)
            return;
        const bool reached = m_finished || (done && done())
                             || (stage == Stage::Headers && m_headersIn)
                             || (stage == Stage::Sent && (m_sent || m_headersIn));
        if (reached)
            return;
        if (progress() && (firstPoll || sincePoll.elapsed() >= kPollIntervalMs)) {
            firstPoll = false;
            sincePoll.restart();
            if (!ProgressContinue()) {
                m_cancelled = true;
                abortReply();
                return;
            }
            continue; // events ran inside the poll: look again before sleeping
        }
        loop.exec();
    }
}

void CBizWinHttpClient::abortReply()
{
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
}

void CBizWinHttpClient::discardReply()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply.data();
    }
    m_reply = nullptr;
    m_uploadDevice.reset();
}

void CBizWinHttpClient::Close()
{
    discardReply();
}

bool CBizWinHttpClient::transportFailed() const
{
    if (m_cancelled || !m_reply)
        return true;
    const QNetworkReply::NetworkError err = m_reply->error();
    if (err == QNetworkReply::NoError)
        return false;
    if (err >= 1 && err <= 199)
        return true;
    return !m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

quint32 CBizWinHttpClient::failureNumber() const
{
    if (m_cancelled)
        return HttpError::Cancelled;
    if (!m_reply)
        return HttpError::InternalError;
    if (!m_refusedSslErrors.isEmpty()) {
        const QSslError::SslError first = m_refusedSslErrors.first().error();
        if (isAuthorityError(first))
            return HttpError::CertAuthorityInvalid;
        if (first == QSslError::HostNameMismatch)
            return HttpError::CertNameInvalid;
        if (isDateError(first))
            return HttpError::CertDateInvalid;
        return HttpError::CertInvalid;
    }
    switch (m_reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError: {
        // Through a proxy these are the proxy's failures.
        const QList<QNetworkProxy> proxies = threadManager(tlsPolicy())
                                                 ->proxyFactory()
                                                 ->queryProxy(QNetworkProxyQuery(m_request.url()));
        if (!proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy
            && proxies.first().type() != QNetworkProxy::DefaultProxy)
            return HttpError::ProxyFailure;
        return m_reply->error() == QNetworkReply::HostNotFoundError ? HttpError::NameNotResolved
                                                                    : HttpError::CannotConnect;
    }
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer time-out aborts this way
        return HttpError::Timeout;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return HttpError::ConnectionAborted;
    case QNetworkReply::SslHandshakeFailedError:
        return HttpError::SecureFailure;
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return HttpError::InvalidServerResponse;
    default:
        if (m_reply->error() >= 101 && m_reply->error() <= 199)
            return HttpError::ProxyFailure;
        return HttpError::InternalError;
    }
}

void CBizWinHttpClient::raiseFailure()
{
    const quint32 number = failureNumber();
    const QString host = m_request.url().host() + u':' + QString::number(m_request.url().port());
    qCInfo(lcService) << "transport failure" << m_method << m_request.url().path() << number
                      << (m_reply ? int(m_reply->error()) : -1);
    throw CBizWinHttpException(number, failureText(number, host));
}

void CBizWinHttpClient::pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool CBizWinHttpClient::sendWithRetry(const QByteArray &body,
                                      const std::function<std::unique_ptr<QIODevice>()> &device,
                                      const std::function<void()> &onWake)
{
    bool certAdded = false;
    int failures = 0;
    for (;;) {
        std::unique_ptr<QIODevice> dev;
        if (device) {
            dev = device();
            if (!dev)
                return false;
        }
        QNetworkRequest request = buildRequest();
        if (dev)
            request.setHeader(QNetworkRequest::ContentLengthHeader, dev->size());
        startReply(request, body, std::move(dev));
        waitFor(Stage::Sent, onWake);
        if (m_cancelled)
            return false;
        if (!m_finished || !transportFailed())
            return true;
        const quint32 number = failureNumber();
        if (number == HttpError::CertAuthorityInvalid && m_addCertStore && !certAdded) {
            // Trusted from now on by this installation only; one more try with it.
            bool onlyAuthority = true;
            for (const QSslError &e : std::as_const(m_refusedSslErrors))
                onlyAuthority = onlyAuthority && isAuthorityError(e.error());
            if (onlyAuthority) {
                if (!m_peerCertificate || !CBizCertStore().Add(*m_peerCertificate))
                    raiseFailure();
                qCInfo(lcService) << "server certificate added to the installation's trust file";
                certAdded = true;
                continue;
            }
        }
        if (number != HttpError::SecureFailure)
            raiseFailure();
        if (++failures >= SendRetryLimit) {
            // Nobody could dismiss a box in the run without user interface.
            if (!AppState::IsNoUiMode())
                ShowErrorMessage(QStringLiteral("送信時のリトライ回数が上限(%d)を越えました！"),
                                 SendRetryLimit);
            raiseFailure();
        }
        pause(200);
        if (CBizProgressHandler *h = progress()) {
            h->SetText(h->text() + u'.');
            if (!h->Continue()) {
                m_cancelled = true;
                return false;
            }
        }
    }
}

bool CBizWinHttpClient::SendForm()
{
    m_body = m_method == QLatin1String("POST") ? EncodeForm(m_params) : QByteArray();
    return SendBody(m_body);
}

bool CBizWinHttpClient::SendBody(const QByteArray &body)
{
    m_body = body;
    if (!sendWithRetry(body, {}))
        raiseFailure(); // cancelled
    ProgressContinue();
    return true;
}

bool CBizWinHttpClient::ReceiveResponse(int *status, qint64 *contentLength, QString *rawHeaders)
{
    if (!m_reply)
        throw CBizWinHttpException(HttpError::InternalError,
                                   failureText(HttpError::InternalError, m_request.url().host()));
    waitFor(Stage::Headers);
    if (m_cancelled || (m_finished && transportFailed()))
        raiseFailure();
    if (status)
        *status = StatusCode();
    if (contentLength)
        *contentLength = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (rawHeaders) {
        rawHeaders->clear();
        for (const auto &[name, value] : m_reply->rawHeaderPairs())
            *rawHeaders += QString::fromLatin1(name) + QStringLiteral(": ")
                           + QString::fromLatin1(value) + QStringLiteral("\r\n");
    }
    ProgressContinue();
    return true;
}

int CBizWinHttpClient::StatusCode() const
{
    if (!m_reply)
        return -1;
    const QVariant v = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return v.isValid() ? v.toInt() : -1;
}

bool CBizWinHttpClient::ReadText(QString *text)
{
    if (!m_reply)
        return false;
    QByteArray data;
    waitFor(Stage::Finished, [&] { data += m_reply->readAll(); });
    if (m_cancelled || transportFailed())
        raiseFailure();
    data += m_reply->readAll();
    if (text)
        *text = QString::fromUtf8(data);
    return !data.isEmpty();
}

bool CBizWinHttpClient::ReadXml(QString *text, CBizXmlDocument *document)
{
    QString body;
    if (!ReadText(&body))
        return false;
    if (document)
        document->Load(body);
    if (text)
        *text = body;
    return true;
}

bool CBizWinHttpClient::DownloadToFile(const QString &path, bool resume, QString *digestHex,
                                       qint64 *fileLength, const QString &expectedDigest)
{
    if (!m_reply)
        return false;
    const bool ownCopy = !m_downloadCopy.isEmpty();
    QString partial = m_downloadCopy;
    if (!ownCopy) {
        QTemporaryFile temp(QFileInfo(path).absolutePath() + QStringLiteral("/.")
                            + QFileInfo(path).fileName() + QStringLiteral(".XXXXXX.vqrtmp"));
        temp.setAutoRemove(false);
        if (!temp.open())
            return false;
        partial = temp.fileName();
    }
    struct Cleanup
    {
        QString path;
        bool keep = false;
        ~Cleanup()
        {
            if (!keep)
                QFile::remove(path);
        }
    } cleanup{partial};

    if (resume && !ownCopy && QFileInfo::exists(path)) {
        // The bytes already present are the target's; continue them in the copy.
        QFile::remove(partial);
        if (!QFile::copy(path, partial))
            return false;
    }
    QFile file(partial);
    // Unbuffered: the chunks are large already, a second copy buys nothing.
    if (!file.open((resume ? QIODevice::ReadWrite : (QIODevice::WriteOnly | QIODevice::Truncate))
                   | QIODevice::Unbuffered))
        return false;
    qint64 length = resume ? file.size() : 0;

    const int status = StatusCode();
    if (length > 0) {
        if (status == 200) {
            // The server sent the whole file: start over.
            file.resize(0);
            length = 0;
        } else if (status != 206 || contentRangeStart(m_reply) != length) {
            qCWarning(lcService) << "download does not continue the local part" << status;
            throw CBizWinHttpException(
                HttpError::InvalidServerResponse,
                failureText(HttpError::InvalidServerResponse, m_request.url().host()));
        }
    }
    const qint64 announced
        = m_reply->header(QNetworkRequest::ContentLengthHeader).isValid()
              ? m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()
              : -1;
    const qint64 expectedTotal = announced >= 0 ? length + announced : -1;

    CProgressMeter meter(progress());
    meter.Begin(expectedTotal);
    const bool wantDigest = digestHex || !expectedDigest.isEmpty();
    std::optional<CDigestPipe> digest;
    if (wantDigest)
        digest.emplace();
    CBlockPool pool;
    if (length > 0) {
        if (digest) {
            file.seek(0);
            qint64 done = 0;
            while (done < length) {
                QByteArray &block = pool.Next();
                const qint64 n
                    = file.read(block.data(), std::min<qint64>(block.size(), length - done));
                if (n <= 0)
                    throw CBizFileException(CBizFileException::HardIO, partial);
                digest->Add(block, 0, n);
                done += n;
                if (!meter.AdvanceTo(done)) {
                    abortReply();
                    return false;
                }
            }
        }
        file.seek(length);
    }

    bool cancelled = false;
    // The body goes straight from the network layer's buffer into a block, from there to
    // the disk; a full block goes on to the digest thread.
    QByteArray *block = nullptr;
    qsizetype filled = 0;
    auto passOn = [&] {
        if (digest && block && filled > 0)
            digest->Add(*block, 0, filled);
        block = nullptr;
        filled = 0;
    };
    auto drain = [&] {
        while (!cancelled && m_reply && m_reply->bytesAvailable() > 0) {
            if (!block)
                block = &pool.Next();
            const qint64 n = m_reply->read(block->data() + filled, block->size() - filled);
            if (n <= 0)
                break;
            if (file.write(block->constData() + filled, n) != n)
                throw CBizFileException(CBizFileException::CauseFromErrno(errno), partial);
            filled += n;
            if (filled == block->size())
                passOn();
            length += n;
            if (!meter.AdvanceTo(length)) {
                cancelled = true;
                m_cancelled = true;
                abortReply();
            }
        }
    };
    int resumes = 0;
    for (;;) {
        waitFor(Stage::Finished, drain);
        if (cancelled || m_cancelled)
            return false;
        drain();
        if (!transportFailed())
            break;
        const quint32 number = failureNumber();
        const bool broken = number == HttpError::ConnectionAborted || number == HttpError::Timeout;
        const int st = StatusCode();
        if (!broken || (st != 200 && st != 206) || expectedTotal < 0 || ++resumes > kMaxBodyResumes)
            raiseFailure();
        // The connection broke mid-body: fetch the rest only.
        qCInfo(lcService) << "download interrupted, continuing at" << length;
        QNetworkRequest request = buildRequest();
        request.setRawHeader("Range", "bytes=" + QByteArray::number(length) + '-');
        startReply(request, {}, nullptr);
        waitFor(Stage::Headers);
        if (m_cancelled)
            return false;
        if (m_finished && transportFailed())
            raiseFailure();
        if (StatusCode() != 206 || contentRangeStart(m_reply) != length)
            throw CBizWinHttpException(
                HttpError::InvalidServerResponse,
                failureText(HttpError::InvalidServerResponse, m_request.url().host()));
    }
    if (expectedTotal >= 0 && length != expectedTotal) {
        qCWarning(lcService) << "download ended short:" << length << "of" << expectedTotal;
        throw CBizWinHttpException(
            HttpError::ConnectionAborted,
            failureText(HttpError::ConnectionAborted, m_request.url().host()));
    }
    if (!file.flush())
        throw CBizFileException(CBizFileException::CauseFromErrno(errno), partial);
    file.close();

    QString hex;
    if (digest) {
        passOn();
        hex = digest->Finish();
    }
    if (digestHex)
        *digestHex = hex;
    if (fileLength)
        *fileLength = length;
    if (!expectedDigest.isEmpty() && !DigestEquals(expectedDigest, hex))
        return false;
    if (partial != path
        && std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(path).constData())
               != 0)
        throw CBizOsException(CBizOsException::FromErrno(errno), path);
    cleanup.keep = true;
    ProgressContinue();
    return true;
}

bool CBizWinHttpClient::UploadFile(const QString &path, qint64 size, QString *digestHex,
                                   const QString &partName)
{
    if (size <= 0) {
        const QFileInfo info(path);
        if (!info.exists())
            throw CBizOsException(OsError::FileNotFound, path);
        if (info.size() >= kMaxUploadSize)
            throw CBizOsException(kErrorFileTooLarge, path);
        size = info.size();
    }
    CProgressMeter meter(progress());
    meter.Begin(size);

    const QString boundary = NewBoundary();
    SetHeader(QStringLiteral("Content-type"),
              QStringLiteral("multipart/form-data; boundary=") + boundary);
    QString pre;
    for (const auto &[name, value] : std::as_const(m_params)) {
        pre += QStringLiteral("--") + boundary + QStringLiteral("\r\n");
        pre += QStringLiteral("content-disposition: form-data; name=\"") + safeQuoted(name)
               + QStringLiteral("\"\r\n");
        for (const auto &[hname, hvalue] : m_partHeaders.value(name))
            pre += hname + QStringLiteral(": ") + hvalue + QStringLiteral("\r\n");
        pre += QStringLiteral("\r\n") + value + QStringLiteral("\r\n");
    }
    pre += QStringLiteral("--") + boundary + QStringLiteral("\r\n");
    pre += QStringLiteral("content-disposition: form-data; name=\"") + safeQuoted(partName)
           + QStringLiteral("\"; filename=\"") + safeQuoted(QFileInfo(path).fileName())
           + QStringLiteral("\"\r\n");
    pre += QStringLiteral("Content-type: application/octet-stream\r\n\r\n");
    const QByteArray preamble = pre.toUtf8();
    const QByteArray trailer
        = (QStringLiteral("\r\n--") + boundary + QStringLiteral("--\r\n")).toUtf8();

    auto makeDevice = [&]() -> std::unique_ptr<QIODevice> {
        auto dev = std::make_unique<CMultipartDevice>(preamble, path, size, trailer);
        if (!dev->open(QIODevice::ReadOnly))
            return nullptr;
        return dev;
    };
    m_body = preamble;
    bool cancelled = false;
    // Progress of the file bytes, driven by the network layer's upload position.
    auto advance = [&] {
        auto *dev = static_cast<CMultipartDevice *>(m_uploadDevice.get());
        const qint64 fileBytes = dev ? dev->fileBytesRead() : 0;
        if (!cancelled && !meter.AdvanceTo(fileBytes)) {
            cancelled = true;
            m_cancelled = true;
            abortReply();
        }
    };
    // The whole body goes out inside the send step; progress is stepped while it waits.
    if (!sendWithRetry({}, makeDevice, advance) || cancelled)
        return false;
    // The network layer reports the request sent before it has read the whole body.
    auto *device = static_cast<CMultipartDevice *>(m_uploadDevice.get());
    waitFor(Stage::Finished, advance, [&] { return !device || device->fileBytesRead() >= size; });
    if (cancelled || m_cancelled)
        return false;
    advance();
    if (digestHex) {
        auto *dev = static_cast<CMultipartDevice *>(m_uploadDevice.get());
        QString hex;
        if (dev && dev->FinishDigest(&hex))
            *digestHex = hex;
    }
    return !cancelled;
}
