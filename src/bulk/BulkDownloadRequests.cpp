#include "BulkDownloadRequests.h"

#include "service/WinHttpClient.h"
#include "service/XmlDocument.h"

namespace {

QString Number(qint32 value)
{
    return QString::number(value);
}

} // namespace

CBulkDownloadInfoRequest::CBulkDownloadInfoRequest(const QString &accessKey,
                                                   CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("bulkdownload/info"), accessKey, progress)
{}

int CBulkDownloadInfoRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("infoResponse"), doc);
    QString endTime;
    QString startTime;
    // The end time must be there, though nothing reads it.
    const bool ok = !response.IsNull() && response.ChildText(QStringLiteral("endTime"), &endTime)
                    && response.ChildInt(QStringLiteral("jobId"), &m_jobId)
                    && response.ChildText(QStringLiteral("startTime"), &startTime)
                    && response.ChildInt(QStringLiteral("status"), &m_status);
    if (ok)
        m_startTime = ParseDateTime(startTime);
    ProgressContinue();
    return ok;
}

CBulkDownloadStartRequest::CBulkDownloadStartRequest(const QString &accessKey,
                                                     const CDateTimeValue &startTime,
                                                     CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("bulkdownload/start"), accessKey, progress)
    , m_startTime(startTime)
{}

void CBulkDownloadStartRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("startTime"), FormatDateTime(m_startTime));
}

int CBulkDownloadStartRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("startResponse"), doc);
    QString text;
    const bool ok = !response.IsNull() && response.ChildText(QStringLiteral("clientKey"), &text)
                    && response.ChildInt(QStringLiteral("jobId"), &m_jobId)
                    && response.ChildText(QStringLiteral("userId"), &text)
                    && response.ChildText(QStringLiteral("userName"), &text);
    if (!ok)
        m_jobId = 0;
    ProgressContinue();
    return ok;
}

CBulkDownloadEndRequest::CBulkDownloadEndRequest(const QString &accessKey,
                                                 const CDateTimeValue &endTime, qint32 jobId,
                                                 qint32 status, qint32 allCount, qint32 failedCount,
                                                 CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("bulkdownload/end"), accessKey, progress)
    , m_endTime(endTime)
    , m_jobId(jobId)
    , m_status(status)
    , m_allCount(allCount)
    , m_failedCount(failedCount)
{}

void CBulkDownloadEndRequest::PrepareParams(CBizWinHttpClient &client)
{
    CAccessKeyRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("endTime"), FormatDateTime(m_endTime));
    client.SetParameter(QStringLiteral("jobId"), Number(m_jobId));
    client.SetParameter(QStringLiteral("status"), Number(m_status));
    client.SetParameter(QStringLiteral("allCount"), Number(m_allCount));
    client.SetParameter(QStringLiteral("failedCount"), Number(m_failedCount));
}

int CBulkDownloadEndRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("endResponse"), doc);
    if (response.IsNull())
        return 0;
    QString text;
    // Nothing of the answer is used; every element must be there.
    for (const char *name :
         {"allCount", "endTime", "failedCount", "jobId", "status", "userId", "userName"}) {
        if (!response.ChildText(QString::fromLatin1(name), &text))
            return 0;
    }
    ProgressContinue();
    return 1;
}
