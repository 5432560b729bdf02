#include "Request.h"

#include "ServiceLog.h"
#include "core/OsUtils.h"

#include <QEventLoop>
#include <QTimer>

namespace {

void pauseMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

CRequest::CRequest(const QString &operation, CBizProgressHandler *progress)
    : m_settings(LoadServerSettings())
    , m_client(std::make_unique<CBizWinHttpClient>())
    , m_operation(operation)
{
    if (progress) {
        Attach(progress);
        m_client->Attach(progress);
    }
    m_client->SetAgent(UserAgent());
    m_client->SetTimeouts(m_settings.receiveTimeout, m_settings.sendTimeout);
    m_client->SetIgnoreCert(m_settings.ignoreCert);
    m_client->SetAddCertStore(m_settings.addCertStore);
}

CRequest::~CRequest()
{
    m_client->Close();
}

QString CRequest::UserAgent()
{
    static const QString agent = [] {
        quint32 high = 0;
        quint32 low = 0;
        GetProgramVersion(high, low);
        QString osName;
        QString osVersion;
        OsInfoText(&osName, &osVersion);
        return QStringLiteral("velquor.v2.client(%1.%2.%3.%4)on(%5,%6)")
            .arg(high >> 16)
            .arg(high & 0xffff)
            .arg(low >> 16)
            .arg(low & 0xffff)
            .arg(osName, osVersion);
    }();
    return agent;
}

int CRequest::ExecuteGet()
{
    return Execute(*m_client, QStringLiteral("GET"));
}

int CRequest::ExecutePost()
{
    return Execute(*m_client, QStringLiteral("POST"));
}

QString CRequest::BuildPath(const QString &operation) const
{
    return RequestPath(m_settings, {}, operation);
}

void CRequest::PrepareParams(CBizWinHttpClient &) {}

void CRequest::PrepareHeaders(CBizWinHttpClient &client)
{
    if (client.method() == QLatin1String("POST"))
        client.SetHeader(QStringLiteral("Content-type"),
                         QStringLiteral("application/x-www-form-urlencoded"));
}

int CRequest::ParseResponse(CBizWinHttpClient &, int)
{
    return 1;
}

unsigned CRequest::OpenFlags() const
{
    return (m_settings.secure ? CBizWinHttpClient::Secure : 0u)
           | (m_settings.asyncMode ? CBizWinHttpClient::Async : 0u);
}

bool CRequest::IsCancelled() const
{
    return progress() && progress()->isCancelled();
}

int CRequest::Execute(CBizWinHttpClient &client, const QString &method)
{
    const unsigned flags = OpenFlags();
    PrepareParams(client);
    for (int attempt = 0;; ++attempt) {
        try {
            client.Open(method, m_settings.hostName, m_settings.port(), BuildPath(m_operation),
                        flags);
            PrepareHeaders(client);
            client.SendForm();
        } catch (const CBizWinHttpException &e) {
            if (e.errorNumber() == HttpError::Cancelled)
                return 0;
            throw; // the send step has its own retries
        }
        try {
            return ReceiveAndParse(client);
        } catch (const CBizWinHttpException &e) {
            if (e.errorNumber() == HttpError::Cancelled)
                return 0;
            if (attempt + 1 >= MaxAttempts)
                throw;
            qCInfo(lcService) << m_operation << "attempt" << attempt + 1
                              << "failed:" << e.errorNumber() << "- retrying";
            client.Close();
            pauseMs(RetryPauseMs);
        }
    }
}

int CRequest::ReceiveAndParse(CBizWinHttpClient &client)
{
    int status = -1;
    client.ReceiveResponse(&status);
    m_lastStatus = status;
    qCDebug(lcService) << m_operation << "status" << status;
    if (status < 200 || status > 299) {
        HandleErrorStatus(client, status);
        return 0;
    }
    const int result = ParseResponse(client, status);
    if (result != 0)
        return result;
    if (IsCancelled())
        return 0;
    throw CRequestException(QString::fromUtf16(FaultCode::Incomplete), {});
}

void CRequest::HandleErrorStatus(CBizWinHttpClient &client, int status)
{
    const QString statusText = QString::number(status);
    CBizXmlDocument doc;
    bool hasBody = false;
    try {
        hasBody = client.ReadXml(nullptr, &doc);
    } catch (const CBizXmlDomException &) {
        // An error answer that is not an XML document (a proxy's or server's error page).
        throw CRequestException(QString::fromUtf16(FaultCode::NotXml), statusText);
    }
    if (!hasBody)
        return;
    CBizXmlElement root = doc.Root();
    if (root.IsNull() || root.Name().compare(QLatin1String("html"), Qt::CaseInsensitive) == 0)
        throw CRequestException(QString::fromUtf16(FaultCode::NotXml), statusText);
    CBizXmlElement fault = root.FindChild(QStringLiteral("apiFault"));
    if (fault.IsNull())
        return;
    QString code;
    QString message;
    fault.ChildText(QStringLiteral("code"), &code);
    fault.ChildText(QStringLiteral("message"), &message);
    qCInfo(lcService) << m_operation << "fault" << code << "status" << status;
    throw CRequestException(code, message);
}

CBizXmlElement CRequest::ReadResponseElement(CBizWinHttpClient &client, const QString &name,
                                             CBizXmlDocument &doc)
{
    if (!client.ReadXml(nullptr, &doc))
        return {};
    CBizXmlElement root = doc.Root();
    return root.FindChild(name);
}

QString CApiRequest::BuildPath(const QString &operation) const
{
    return ApiPath(m_settings, operation);
}

CAccessKeyRequest::CAccessKeyRequest(const QString &operation, const IAccessKeySource &key,
                                     CBizProgressHandler *progress)
    : CApiRequest(operation, progress)
    , m_accessKey(key.accessKey())
{}

CAccessKeyRequest::CAccessKeyRequest(const QString &operation, const QString &accessKey,
                                     CBizProgressHandler *progress)
    : CApiRequest(operation, progress)
    , m_accessKey(accessKey)
{}

void CAccessKeyRequest::PrepareHeaders(CBizWinHttpClient &client)
{
    CApiRequest::PrepareHeaders(client);
    client.SetHeader(AccessKeyHeader(), m_accessKey);
}

CWorkspaceRequest::CWorkspaceRequest(const QString &operation, const IAccessKeySource &key,
                                     qint32 workspaceId, CBizProgressHandler *progress)
    : CAccessKeyRequest(operation, key, progress)
    , m_workspaceId(workspaceId)
{}

CWorkspaceRequest::CWorkspaceRequest(const QString &operation, const QString &accessKey,
                                     qint32 workspaceId, CBizProgressHandler *progress)
    : CAccessKeyRequest(operation, accessKey, progress)
    , m_workspaceId(workspaceId)
{}

void CWorkspaceRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    if (m_workspaceId > 0)
        client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_workspaceId));
}

CPathRequest::CPathRequest(const QString &operation, const IAccessKeySource &key,
                           qint32 workspaceId, const QString &path, CBizProgressHandler *progress)
    : CWorkspaceRequest(operation, key, workspaceId, progress)
    , m_path(path)
{}

CPathRequest::CPathRequest(const QString &operation, const QString &accessKey, qint32 workspaceId,
                           const QString &path, CBizProgressHandler *progress)
    : CWorkspaceRequest(operation, accessKey, workspaceId, progress)
    , m_path(path)
{}

void CPathRequest::PrepareParams(CBizWinHttpClient &client)
{
    CWorkspaceRequest::PrepareParams(client);
    if (!m_path.isEmpty())
        client.SetParameter(QStringLiteral("path"), m_path);
}

CUploadRequest::CUploadRequest(const QString &operation, const IAccessKeySource &key,
                               qint32 workspaceId, const QString &path, const QString &localFile,
                               qint64 fileSize, CBizProgressHandler *progress)
    : CPathRequest(operation, key, workspaceId, path, progress)
    , m_localFile(localFile)
    , m_fileSize(fileSize)
{}

int CUploadRequest::Execute(CBizWinHttpClient &client, const QString &method)
{
    PrepareParams(client);
    client.Open(method, m_settings.hostName, m_settings.port(), BuildPath(operation()),
                OpenFlags());
    PrepareHeaders(client);
    try {
        if (!client.UploadFile(m_localFile, m_fileSize, &m_digest, QStringLiteral("file")))
            return 0;
        return ReceiveAndParse(client);
    } catch (const CBizWinHttpException &e) {
        if (e.errorNumber() == HttpError::Cancelled)
            return 0;
        throw;
    }
}

CAutoUpdateRequest::CAutoUpdateRequest(const QString &operation, const IAccessKeySource &key,
                                       CBizProgressHandler *progress)
    : CRequest(operation, progress)
    , m_accessKey(key.accessKey())
{}

QString CAutoUpdateRequest::BuildPath(const QString &operation) const
{
    return AutoUpdatePath(m_settings, operation);
}

void CAutoUpdateRequest::PrepareHeaders(CBizWinHttpClient &client)
{
    CRequest::PrepareHeaders(client);
    client.SetHeader(AccessKeyHeader(), m_accessKey);
}
