#pragma once

#include "service/Request.h"

#include <QString>

// The notice counters and the application update: what the auto-update and the notices of
// the account layer ask the service.

// GET information/count.
class CInformationCountRequest : public CAccessKeyRequest
{
public:
    explicit CInformationCountRequest(const QString &accessKey,
                                      CBizProgressHandler *progress = nullptr)
        : CAccessKeyRequest(QStringLiteral("information/count"), accessKey, progress)
    {}
    qint32 allCount() const { return m_all; }
    qint32 unreadCount() const { return m_unread; }
    qint32 unreadPopupCount() const { return m_unreadPopup; }

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    qint32 m_all = 0;
    qint32 m_unread = 0;
    qint32 m_unreadPopup = 0;
};

// GET version (update prefix): the newest package. Each output keeps the caller's value
// until its element is read; a missing child ends the reading without failure.
class CAutoUpdateVersionRequest : public CAutoUpdateRequest
{
public:
    struct SVersion
    {
        QString fileDigest;
        QString fileName;
        qint32 fileSize = 0;
        quint32 versionMs = 0;
        quint32 versionLs = 0;
    };
    CAutoUpdateVersionRequest(const QString &accessKey, SVersion *version,
                              CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    SVersion *m_version;
};

// GET get (update prefix): the package into destination, checked against expectedDigest
// ignoring case. A failed write, a wrong digest or no expected digest at all (an answer
// without fileDigest) leaves no file and answers 0 (fault "00002").
class CAutoUpdateGetRequest : public CAutoUpdateRequest
{
public:
    CAutoUpdateGetRequest(const QString &accessKey, const QString &destination,
                          const QString &expectedDigest, CBizProgressHandler *progress = nullptr);

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    QString m_destination;
    QString m_expected;
};
