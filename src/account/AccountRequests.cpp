#include "AccountRequests.h"

#include "UserRecord.h"

#include "core/OsUtils.h"
#include "store/Convert.h"

CRegisterRequest::CRegisterRequest(const QString &officeId, const QString &loginId,
                                   CBizProgressHandler *progress)
    : CApiRequest(QStringLiteral("register"), progress)
    , m_officeId(officeId)
    , m_loginId(loginId)
{}

void CRegisterRequest::PrepareParams(CBizWinHttpClient &client)
{
    CApiRequest::PrepareParams(client);
    client.SetParameter(QStringLiteral("customerCode"), m_officeId);
    client.SetParameter(QStringLiteral("loginId"), m_loginId);
}

int CRegisterRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response = ReadResponseElement(client, QStringLiteral("registerResponse"), doc);
    return response.ChildText(QStringLiteral("clientKey"), &m_clientKey) ? 1 : 0;
}

CLoginRequest::CLoginRequest(const QString &clientKey, const QString &password, CUserRecord *user,
                             CBizProgressHandler *progress)
    : CApiRequest(QStringLiteral("login"), progress)
    , m_clientKey(clientKey)
    , m_password(password)
    , m_user(user)
{}

void CLoginRequest::PrepareParams(CBizWinHttpClient &client)
{
    CApiRequest::PrepareParams(client);
    QString pcName;
    ComputerName(pcName); // empty when the name cannot be read
    client.SetParameter(QStringLiteral("clientKey"), m_clientKey);
    client.SetParameter(QStringLiteral("password"), m_password);
    client.SetParameter(QStringLiteral("pcName"), pcName);
}

int CLoginRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    const CBizXmlElement response
        = ReadResponseElement(client, QStringLiteral("loginResponse"), doc);
    return ParseLoginResponse(response, m_accessKey, m_user) ? 1 : 0;
}

CLogoutRequest::CLogoutRequest(const QString &accessKey, CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("logout"), accessKey, progress)
{}

int CLogoutRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    return ReadResponseElement(client, QStringLiteral("logoutResponse"), doc).IsNull() ? 0 : 1;
}

CUpdateCounterRequest::CUpdateCounterRequest(const QString &accessKey,
                                             CBizProgressHandler *progress)
    : CAccessKeyRequest(QStringLiteral("updatecounter"), accessKey, progress)
{}

int CUpdateCounterRequest::ParseResponse(CBizWinHttpClient &client, int)
{
    CBizXmlDocument doc;
    CBizXmlElement response
        = ReadResponseElement(client, QStringLiteral("updatecounterResponse"), doc);
    QString text;
    if (!response.ChildText(QStringLiteral("count"), &text))
        return 0;
    // The counter is unsigned 32-bit: read wide so values past 2^31 do not saturate.
    m_count = quint32(ParseInt64(text));
    return 1;
}
