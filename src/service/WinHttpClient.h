#pragma once

#include "core/BizProgress.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class CBizXmlDocument;
class QNetworkAccessManager;
class QNetworkReply;
class QEventLoop;

// Error numbers of CBizWinHttpException, one per failure kind; stable (the user sees them
// as the error code and support looks them up).
namespace HttpError {
constexpr quint32 Timeout = 12002;
constexpr quint32 InternalError = 12004;
constexpr quint32 InvalidUrl = 12005;
constexpr quint32 NameNotResolved = 12007;
constexpr quint32 Cancelled = 12017;
constexpr quint32 CannotConnect = 12029;
constexpr quint32 ConnectionAborted = 12030;
constexpr quint32 CertDateInvalid = 12037;
constexpr quint32 CertNameInvalid = 12038;
constexpr quint32 CertAuthorityInvalid = 12045;
constexpr quint32 InvalidServerResponse = 12152;
constexpr quint32 ProxyFailure = 12165;
constexpr quint32 CertInvalid = 12169;
constexpr quint32 SecureFailure = 12175;
} // namespace HttpError

// Everything of one HTTP exchange with the service, on Qt Network.
//
// Calling order: Open -> (SendForm | UploadFile) -> ReceiveResponse -> ReadText / ReadXml /
// DownloadToFile -> Close (also done by the destructor). Open..ReceiveResponse may be
// repeated after Close (the parameter and header tables persist).
//
// Every wait runs a local event loop, so a window keeps painting, and polls the attached
// progress handler: a cancel aborts the exchange (DownloadToFile and UploadFile answer
// false, the other waits raise CBizWinHttpException(Cancelled)). Transport failures raise
// CBizWinHttpException with an HttpError number and a Japanese text; HTTP error statuses
// are no failures here (the caller reads the status).
//
// Connections are reused between clients of the same thread (NetworkManagers.h). The body
// of an upload comes from CMultipartDevice, a download goes through CDownloadFile; both
// digest the file bytes on a worker thread (CDigestPipe) while they move.
class CBizWinHttpClient : public QObject, public CBizHasProgress
{
    Q_OBJECT
public:
    enum OpenFlag : unsigned { Secure = 0x00800000, Async = 0x10000000 };
    static constexpr int SendRetryLimit = 10;
    static constexpr int PieceSize = 8192;

    explicit CBizWinHttpClient(QObject *parent = nullptr);
    ~CBizWinHttpClient() override;

    // Prepares the request: "GET" with parameters gets them as query. accessType is kept
    // for callers; the proxy is chosen per request from the system configuration.
    bool Open(const QString &method, const QString &host, quint16 port, const QString &path,
              unsigned flags, const QString &agent = {}, int accessType = 0);
    // GET: headers only; POST: the form-encoded parameters as body. Retries a failed TLS
    // channel (not a refused certificate) up to SendRetryLimit times.
    bool SendForm();
    // Sends headers and the given body (for callers that build their own body).
    bool SendBody(const QByteArray &body);
    // Waits for the response headers. Each output optional.
    bool ReceiveResponse(int *status = nullptr, qint64 *contentLength = nullptr,
                         QString *rawHeaders = nullptr);
    // The response status, or -1 when none has been received.
    int StatusCode() const;
    // The whole body as UTF-8 text; false when the body is empty.
    bool ReadText(QString *text);
    // ReadText, then parses it; false when the body is empty. A parse failure raises
    // CBizXmlDomException.
    bool ReadXml(QString *text, CBizXmlDocument *document);
    // Streams the body into a temporary sibling of `path` (or the download copy set with
    // SetDownloadCopy), computing the MD5 of the whole local file; when the connection
    // breaks mid-body the rest is fetched with a ranged request. With resume the bytes
    // already present (the download copy, or `path` itself) are kept and the response must
    // continue them. When expectedDigest is given and differs, nothing is renamed and the
    // answer is false (digestHex tells the computed value). On success the copy replaces
    // `path`. Every failure removes the temporary file and leaves `path` untouched.
    bool DownloadToFile(const QString &path, bool resume, QString *digestHex, qint64 *fileLength,
                        const QString &expectedDigest = {});
    // The store's download copy to write (and resume) instead of a temporary name.
    void SetDownloadCopy(const QString &path) { m_downloadCopy = path; }
    // multipart/form-data: the form parameters, then the file as part partName, read in
    // blocks, with the MD5 of the file bytes sent. size 0: read from the file (missing:
    // CBizOsException 2; 4 GiB or more: 223). False when cancelled or the file is unreadable.
    bool UploadFile(const QString &path, qint64 size, QString *digestHex, const QString &partName);
    void Close();

    void SetParameter(const QString &name, const QString &value);
    void SetHeader(const QString &name, const QString &value);
    void SetPartHeader(const QString &part, const QString &name, const QString &value);
    QString Parameter(const QString &name) const;
    QString Header(const QString &name) const;
    const QList<QPair<QString, QString>> &parameters() const { return m_params; }
    void ClearParameters() { m_params.clear(); }

    void SetAgent(const QString &agent) { m_agent = agent; }
    QString agent() const { return m_agent; }
    // Milliseconds; 0 keeps the transport default.
    void SetTimeouts(int receiveMs, int sendMs);
    void SetIgnoreCert(bool on) { m_ignoreCert = on; }
    void SetAddCertStore(bool on) { m_addCertStore = on; }
    bool asyncMode() const { return m_flags & Async; }
    QString method() const { return m_method; }
    QUrl url() const { return m_request.url(); }
    // The body of the last request built by SendForm (tests, diagnostics).
    QByteArray lastBody() const { return m_body; }

    // Form encoding: name=value joined with "&"; UTF-8, every byte outside
    // A-Z a-z 0-9 - . / : _ ~ ! ' ( ) * as "%" and two lower-case hex digits.
    static QByteArray EncodeForm(const QList<QPair<QString, QString>> &params);
    static QByteArray PercentEncode(const QString &text);
    // The multipart boundary: "---biz-" and a new GUID without braces.
    static QString NewBoundary();

private:
    enum class Stage { Sent, Headers, Finished };

    QNetworkReply *StartReply(const QNetworkRequest &request, const QByteArray &body,
                              std::unique_ptr<QIODevice> device);
    // Starts the request (a new body device per attempt), retrying failed TLS channels and
    // an untrusted authority once after trusting it (addCertStore). False when cancelled.
    bool SendWithRetry(const QByteArray &body,
                       const std::function<std::unique_ptr<QIODevice>()> &device,
                       const std::function<void()> &onWake = {});
    // Runs the local loop until the stage is reached or the reply finished; polls the
    // progress handler (abort on cancel).
    void WaitFor(Stage stage, const std::function<void()> &onWake = {},
                 const std::function<bool()> &done = {});
    bool TransportFailed() const;
    [[noreturn]] void RaiseFailure();
    [[noreturn]] void ThrowInvalidResponse() const;
    quint32 FailureNumber() const;
    void OnSslErrors(const QList<QSslError> &errors);
    void AbortReply();
    void DiscardReply();
    QNetworkRequest BuildRequest() const;
    void Pause(int ms);
    int TlsPolicy() const { return (m_ignoreCert ? 1 : 0) | (m_addCertStore ? 2 : 0); }

    QString m_method;
    unsigned m_flags = 0;
    QString m_agent;
    QList<QPair<QString, QString>> m_params;
    QList<QPair<QString, QString>> m_headers;
    QHash<QString, QList<QPair<QString, QString>>> m_partHeaders;
    int m_receiveTimeout = 0;
    int m_sendTimeout = 0;
    bool m_ignoreCert = false;
    bool m_addCertStore = false;
    QString m_downloadCopy;

    QNetworkRequest m_request;
    QByteArray m_body;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QIODevice> m_uploadDevice;
    QEventLoop *m_loop = nullptr;
    bool m_sent = false;
    bool m_headersIn = false;
    bool m_finished = false;
    bool m_cancelled = false;
    bool m_timedOut = false;
    bool m_bodyDone = true;
    qint64 m_uploaded = 0;
    QList<QSslError> m_refusedSslErrors;
    // Optional: constructing a QSslCertificate, even a null one, looks up the TLS backend,
    // a cost every plain request would pay.
    std::optional<QSslCertificate> m_peerCertificate;
};
