#include "UpdateRequests.h"

#include "AccountLog.h"

#include "service/XmlDocument.h"
#include "store/Convert.h"

int CInformationCountRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("countResponse"), doc);
    const bool ok
        = !response.IsNull() && response.ChildInt(QStringLiteral("allInformationCount"), &m_all)
          && response.ChildInt(QStringLiteral("unreadInformationCount"), &m_unread)
          && response.ChildInt(QStringLiteral("unreadPopupInformationCount"), &m_unreadPopup);
    ProgressContinue();
    return ok;
}

CAutoUpdateVersionRequest::CAutoUpdateVersionRequest(const QString &accessKey, SVersion *version,
                                                     CBizProgressHandler *progress)
    : CAutoUpdateRequest(QStringLiteral("version"), CFixedAccessKey(accessKey), progress)
    , m_version(version)
{}

int CAutoUpdateVersionRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("versionResponse"), doc);
    if (response.IsNull())
        return 0;
    SVersion scratch;
    SVersion &v = m_version ? *m_version : scratch;
    QString version;
    // Each child on its own: an answer that leaves one out (the size, say) must not hide
    // the version after it, or the users would never see the update.
    response.ChildText(QStringLiteral("fileDigest"), &v.fileDigest);
    response.ChildText(QStringLiteral("fileName"), &v.fileName);
    response.ChildInt(QStringLiteral("fileSize"), &v.fileSize);
    if (response.ChildText(QStringLiteral("version"), &version))
        v.versionMs = ParseVersion(version, &v.versionLs);
    return 1;
}

CAutoUpdateGetRequest::CAutoUpdateGetRequest(const QString &accessKey, const QString &destination,
                                             const QString &expectedDigest,
                                             CBizProgressHandler *progress)
    : CAutoUpdateRequest(QStringLiteral("get"), CFixedAccessKey(accessKey), progress)
    , m_destination(destination)
    , m_expected(expectedDigest)
{}

int CAutoUpdateGetRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    // Without the announced digest nothing can vouch for the bytes: an installer that was
    // never checked must not be stored, let alone started.
    if (m_expected.trimmed().isEmpty()) {
        qCWarning(lcAccount) << "update package not stored: the answer announced no digest";
        return 0;
    }
    QString digest;
    qint64 length = 0;
    if (client.DownloadToFile(m_destination, false, &digest, &length, m_expected))
        return 1;
    qCWarning(lcAccount) << "update package not stored (cancelled, not written or digest mismatch)";
    return 0;
}
