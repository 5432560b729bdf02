#include "WinHttpClient.h"

#include "CertStore.h"
#include "DownloadFile.h"
#include "MessageDigest.h"
#include "MultipartDevice.h"
#include "NetworkManagers.h"
#include "ServiceLog.h"
#include "TransferProgress.h"
#include "XmlDocument.h"
#include "core/AppState.h"
#include "core/BizException.h"
#include "core/Messages.h"
#include "core/OsUtils.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>

Q_LOGGING_CATEGORY(lcService, "velquor.service")

namespace {

constexpr int kDefaultTimeoutMs = 30000;
constexpr int kPollIntervalMs = 100;
constexpr int kMaxBodyResumes = 5;
constexpr qint64 kReadBuffer = 2 << 20;
constexpr qint64 kMaxUploadSize = Q_INT64_C(0x100000000);
constexpr int kErrorFileTooLarge = 223;

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
    DiscardReply();
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

QNetworkRequest CBizWinHttpClient::BuildRequest() const
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

QNetworkReply *CBizWinHttpClient::StartReply(const QNetworkRequest &request, const QByteArray &body,
                                             std::unique_ptr<QIODevice> device)
{
    DiscardReply();
    m_sent = m_headersIn = m_finished = m_cancelled = m_timedOut = false;
    m_bodyDone = !device;
    m_uploaded = 0;
    m_refusedSslErrors.clear();
    m_peerCertificate.reset();
    QNetworkAccessManager *nam = NetworkManagers::ForThread(TlsPolicy());
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
    connect(reply, &QNetworkReply::sslErrors, this, &CBizWinHttpClient::OnSslErrors);
    return reply;
}

void CBizWinHttpClient::OnSslErrors(const QList<QSslError> &errors)
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

void CBizWinHttpClient::WaitFor(Stage stage, const std::function<void()> &onWake,
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
                AbortReply();
                return;
            }
            continue; // events ran inside the poll: look again before sleeping
        }
        loop.exec();
    }
}

void CBizWinHttpClient::AbortReply()
{
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
}

void CBizWinHttpClient::DiscardReply()
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
    DiscardReply();
}

bool CBizWinHttpClient::TransportFailed() const
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

quint32 CBizWinHttpClient::FailureNumber() const
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
        const QList<QNetworkProxy> proxies = NetworkManagers::ForThread(TlsPolicy())
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

void CBizWinHttpClient::RaiseFailure()
{
    const quint32 number = FailureNumber();
    const QString host = m_request.url().host() + u':' + QString::number(m_request.url().port());
    qCInfo(lcService) << "transport failure" << m_method << m_request.url().path() << number
                      << (m_reply ? int(m_reply->error()) : -1);
    throw CBizWinHttpException(number, failureText(number, host));
}

void CBizWinHttpClient::Pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool CBizWinHttpClient::SendWithRetry(const QByteArray &body,
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
        QNetworkRequest request = BuildRequest();
        if (dev)
            request.setHeader(QNetworkRequest::ContentLengthHeader, dev->size());
        StartReply(request, body, std::move(dev));
        WaitFor(Stage::Sent, onWake);
        if (m_cancelled)
            return false;
        // An answer that began (a status arrived) before the connection broke was sent: the
        // receiving side judges it (a download resumes, a retry repeats the request). A busy
        // client may see the whole broken answer before it sees its request sent.
        if (!m_finished || !TransportFailed() || StatusCode() > 0)
            return true;
        const quint32 number = FailureNumber();
        if (number == HttpError::CertAuthorityInvalid && m_addCertStore && !certAdded) {
            // Trusted from now on by this installation only; one more try with it.
            bool onlyAuthority = true;
            for (const QSslError &e : std::as_const(m_refusedSslErrors))
                onlyAuthority = onlyAuthority && isAuthorityError(e.error());
            if (onlyAuthority) {
                if (!m_peerCertificate || !CBizCertStore().Add(*m_peerCertificate))
                    RaiseFailure();
                qCInfo(lcService) << "server certificate added to the installation's trust file";
                certAdded = true;
                continue;
            }
        }
        if (number != HttpError::SecureFailure)
            RaiseFailure();
        if (++failures >= SendRetryLimit) {
            // Nobody could dismiss a box in the run without user interface.
            if (!AppState::IsNoUiMode())
                ShowErrorMessage(QStringLiteral("送信時のリトライ回数が上限(%d)を越えました！"),
                                 SendRetryLimit);
            RaiseFailure();
        }
        Pause(200);
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
    if (!SendWithRetry(body, {}))
        RaiseFailure(); // cancelled
    ProgressContinue();
    return true;
}

bool CBizWinHttpClient::ReceiveResponse(int *status, qint64 *contentLength, QString *rawHeaders)
{
    if (!m_reply)
        throw CBizWinHttpException(HttpError::InternalError,
                                   failureText(HttpError::InternalError, m_request.url().host()));
    WaitFor(Stage::Headers);
    // A connection that broke after the headers is the body reader's to judge: a download
    // resumes from what arrived, any other reader raises the failure.
    if (m_cancelled || (m_finished && TransportFailed() && StatusCode() <= 0))
        RaiseFailure();
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
    WaitFor(Stage::Finished, [&] { data += m_reply->readAll(); });
    if (m_cancelled || TransportFailed())
        RaiseFailure();
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
    CDownloadFile file(path, m_downloadCopy, digestHex || !expectedDigest.isEmpty());
    if (!file.Open(resume))
        return false;

    const int status = StatusCode();
    if (file.size() > 0) {
        if (status == 200) {
            file.Restart(); // the server sent the whole file: start over
        } else if (status != 206 || contentRangeStart(m_reply) != file.size()) {
            qCWarning(lcService) << "download does not continue the local part" << status;
            ThrowInvalidResponse();
        }
    }
    const QVariant announced = m_reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 expectedTotal = announced.isValid() ? file.size() + announced.toLongLong() : -1;

    CTransferProgress meter(progress());
    meter.Begin(expectedTotal);
    if (!file.DigestPresent([&](qint64 done) { return meter.AdvanceTo(done); })) {
        AbortReply();
        return false;
    }

    bool cancelled = false;
    auto drain = [&] {
        while (!cancelled && m_reply && m_reply->bytesAvailable() > 0) {
            if (file.AppendFrom(*m_reply) <= 0)
                break;
            if (!meter.AdvanceTo(file.size())) {
                cancelled = true;
                m_cancelled = true;
                AbortReply();
            }
        }
    };
    int resumes = 0;
    for (;;) {
        WaitFor(Stage::Finished, drain);
        if (cancelled || m_cancelled)
            return false;
        drain();
        // A connection the server closed mid-body is not always reported as an error: a body
        // shorter than announced is a broken transfer as well.
        const bool failed = TransportFailed();
        const bool shortBody = !failed && expectedTotal >= 0 && file.size() < expectedTotal;
        if (!failed && !shortBody)
            break;
        const quint32 number = failed ? FailureNumber() : HttpError::ConnectionAborted;
        const bool broken = number == HttpError::ConnectionAborted || number == HttpError::Timeout;
        const int st = StatusCode();
        if (!broken || (st != 200 && st != 206) || expectedTotal < 0 || ++resumes > kMaxBodyResumes)
            break; // raised below
        // The connection broke mid-body: fetch the rest only.
        qCInfo(lcService) << "download interrupted, continuing at" << file.size();
        QNetworkRequest request = BuildRequest();
        request.setRawHeader("Range", "bytes=" + QByteArray::number(file.size()) + '-');
        StartReply(request, {}, nullptr);
        WaitFor(Stage::Headers);
        if (m_cancelled)
            return false;
        if (m_finished && TransportFailed())
            RaiseFailure();
        if (StatusCode() != 206 || contentRangeStart(m_reply) != file.size())
            ThrowInvalidResponse();
    }
    if (TransportFailed())
        RaiseFailure();
    if (expectedTotal >= 0 && file.size() != expectedTotal) {
        qCWarning(lcService) << "download ended short:" << file.size() << "of" << expectedTotal;
        throw CBizWinHttpException(
            HttpError::ConnectionAborted,
            failureText(HttpError::ConnectionAborted, m_request.url().host()));
    }
    const QString hex = file.Finish();
    if (digestHex)
        *digestHex = hex;
    if (fileLength)
        *fileLength = file.size();
    if (!expectedDigest.isEmpty() && !DigestEquals(expectedDigest, hex))
        return false;
    file.Commit();
    ProgressContinue();
    return true;
}

void CBizWinHttpClient::ThrowInvalidResponse() const
{
    throw CBizWinHttpException(
        HttpError::InvalidServerResponse,
        failureText(HttpError::InvalidServerResponse, m_request.url().host()));
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
    CTransferProgress meter(progress());
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
            AbortReply();
        }
    };
    // The whole body goes out inside the send step; progress is stepped while it waits.
    if (!SendWithRetry({}, makeDevice, advance) || cancelled)
        return false;
    // The network layer reports the request sent before it has read the whole body.
    auto *device = static_cast<CMultipartDevice *>(m_uploadDevice.get());
    WaitFor(Stage::Finished, advance, [&] { return !device || device->fileBytesRead() >= size; });
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
