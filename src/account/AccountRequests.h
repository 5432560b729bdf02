#pragma once

#include "service/Request.h"

#include <QString>

class CUserRecord;

// POST register: the installation registers for an office ID and login ID and receives its
// client key.
class CRegisterRequest : public CApiRequest
{
public:
    CRegisterRequest(const QString &officeId, const QString &loginId,
                     CBizProgressHandler *progress = nullptr);
    QString clientKey() const { return m_clientKey; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_officeId;
    QString m_loginId;
    QString m_clientKey;
};

// POST login with the client key, the password and this computer's name: the access key
// and, when a record is given, the user's profile (see ParseLoginResponse).
class CLoginRequest : public CApiRequest
{
public:
    CLoginRequest(const QString &clientKey, const QString &password, CUserRecord *user,
                  CBizProgressHandler *progress = nullptr);
    // Stored as soon as it was read, even when the profile then failed.
    QString accessKey() const { return m_accessKey; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_clientKey;
    QString m_password;
    CUserRecord *m_user;
    QString m_accessKey;
};

// POST logout: ends the access key.
class CLogoutRequest : public CAccessKeyRequest
{
public:
    explicit CLogoutRequest(const QString &accessKey, CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;
};

// GET updatecounter: the service's change counter of the user's office.
class CUpdateCounterRequest : public CAccessKeyRequest
{
public:
    explicit CUpdateCounterRequest(const QString &accessKey,
                                   CBizProgressHandler *progress = nullptr);
    quint32 count() const { return m_count; }

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    quint32 m_count = 0;
};
