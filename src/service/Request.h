#pragma once

// The request framework: one class per service operation.
//
//   CRequest            client, progress, server.vqr settings, operation name, retry loop
//    └ CApiRequest      path under apiPrefix ("apps/api/apis")
//       └ CAccessKeyRequest   header x-velquor-access-key
//          └ CWorkspaceRequest   parameter workspaceId (only when > 0)
//             └ CPathRequest       parameter path (only when non-empty)
//                └ CUploadRequest    multipart upload of a local file as part "file"
//   CAutoUpdateRequest  (from CRequest) path under autoupdatePrefix, with the access key
//
// Writing a request class (see also docs/requests.md):
//
//   // GET workspace/count: parameters, then two required answer elements.
//   class CWorkspaceCountRequest : public CAccessKeyRequest
//   {
//   public:
//       CWorkspaceCountRequest(const IAccessKeySource &key, qint32 workspaceId, bool recursive,
//                              CBizProgressHandler *progress = nullptr)
//           : CAccessKeyRequest(QStringLiteral("workspace/count"), key, progress),
//             m_workspaceId(workspaceId), m_recursive(recursive) {}
//       qint32 count() const { return m_count; }
//
//   protected:
//       void PrepareParams(CBizWinHttpClient &client) override
//       {
//           CAccessKeyRequest::PrepareParams(client); // the layer below first
//           if (m_workspaceId != 0)
//               client.SetParameter(QStringLiteral("workspaceId"), QString::number(m_workspaceId));
//           client.SetParameter(QStringLiteral("recursive"), BoolParam(m_recursive));
//       }
//       int ParseResponse(CBizWinHttpClient &client, int) override
//       {
//           CBizXmlDocument doc;
//           CBizXmlElement response = ReadResponseElement(client, QStringLiteral("countResponse"),
//           doc); qint32 id = 0;
//           // 0 = a required element is missing: the framework raises fault "00002".
//           return response.ChildInt(QStringLiteral("count"), &m_count) &&
//                  response.ChildInt(QStringLiteral("workspaceId"), &id);
//       }
//
//   private:
//       qint32 m_workspaceId;
//       bool m_recursive;
//       qint32 m_count = 0;
//   };
//
//   // POST file/lock on the path layer: the layer adds workspaceId and path.
//   class CFileLockRequest : public CPathRequest
//   {
//   public:
//       CFileLockRequest(const IAccessKeySource &key, qint32 workspaceId, const QString &path,
//                        CBizProgressHandler *progress = nullptr)
//           : CPathRequest(QStringLiteral("file/lock"), key, workspaceId, path, progress) {}
//   protected:
//       int ParseResponse(CBizWinHttpClient &client, int) override
//       {
//           CBizXmlDocument doc;
//           CBizXmlElement file =
//               ReadResponseElement(client, QStringLiteral("lockResponse"),
//               doc).FindChild(QStringLiteral("file"));
//           return !file.IsNull() && ParseFile(file, m_record);   // the API area's own parser
//       }
//   };
//
//   CFileLockRequest request(loginManager, id, QStringLiteral("/a.xlsx"), progress());
//   if (!request.ExecutePost())  // faults raise CRequestException, 0 = silent failure
//       return false;
//
// Results: non-zero on success. A fault answer raises CRequestException (FaultText gives the
// user's text); an error answer without a fault element, or an empty one, answers 0; a
// transport failure that outlives the retries raises CBizWinHttpException; a success answer
// that ParseResponse rejects raises fault "00002" (answers 0 when the user cancelled).

#include "MessageDigest.h"
#include "RequestException.h"
#include "ServerSettings.h"
#include "WinHttpClient.h"
#include "XmlDocument.h"
#include "core/BizProgress.h"

#include <QString>

#include <memory>

// Where the access key of the signed-in session comes from (the login manager). Read when
// the request is created.
class IAccessKeySource
{
public:
    virtual ~IAccessKeySource() = default;
    virtual QString accessKey() const = 0;
};

// A fixed key (tests, and callers that hold one already).
class CFixedAccessKey : public IAccessKeySource
{
public:
    explicit CFixedAccessKey(const QString &key)
        : m_key(key)
    {}
    QString accessKey() const override { return m_key; }

private:
    QString m_key;
};

class CRequest : public CBizHasProgress
{
public:
    static constexpr int MaxAttempts = 5;
    static constexpr int RetryPauseMs = 200;

    // Reads server.vqr afresh and prepares the client (agent, time-outs, certificates).
    explicit CRequest(const QString &operation, CBizProgressHandler *progress = nullptr);
    virtual ~CRequest();
    CRequest(const CRequest &) = delete;
    CRequest &operator=(const CRequest &) = delete;

    int ExecuteGet();
    int ExecutePost();

    CBizWinHttpClient &client() { return *m_client; }
    const SServerSettings &settings() const { return m_settings; }
    QString operation() const { return m_operation; }
    // The HTTP status of the last answer received (-1 before any). An error status with an
    // empty body makes the operation answer 0 without a fault: a caller that must not leave
    // such a failure unsaid reads it here.
    int lastStatus() const { return m_lastStatus; }

    // "velquor.v2.client(<version>)on(<os name>,<os version>)".
    static QString UserAgent();
    // "true" / "false", the form of flags in parameters.
    static QString BoolParam(bool value)
    {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    }

protected:
    virtual QString BuildPath(const QString &operation) const;
    virtual int Execute(CBizWinHttpClient &client, const QString &method);
    virtual void PrepareParams(CBizWinHttpClient &client);
    virtual void PrepareHeaders(CBizWinHttpClient &client);
    // Success status: read the body; 0 when something required is missing.
    virtual int ParseResponse(CBizWinHttpClient &client, int status);
    // Error status: raises the fault of the answer, or returns (result 0).
    virtual void HandleErrorStatus(CBizWinHttpClient &client, int status);

    // Reads the body into doc and answers the element `name` under its root (null when the
    // body is empty or the element is absent). A malformed body raises CBizXmlDomException.
    CBizXmlElement ReadResponseElement(CBizWinHttpClient &client, const QString &name,
                                       CBizXmlDocument &doc);
    // Receive, then the status decides (HandleErrorStatus / ParseResponse, "00002").
    int ReceiveAndParse(CBizWinHttpClient &client);
    unsigned OpenFlags() const;
    bool IsCancelled() const;

    SServerSettings m_settings;

private:
    std::unique_ptr<CBizWinHttpClient> m_client;
    QString m_operation;
    int m_lastStatus = -1;
};

class CApiRequest : public CRequest
{
public:
    using CRequest::CRequest;

protected:
    QString BuildPath(const QString &operation) const override;
};

class CAccessKeyRequest : public CApiRequest
{
public:
    CAccessKeyRequest(const QString &operation, const IAccessKeySource &key,
                      CBizProgressHandler *progress = nullptr);
    CAccessKeyRequest(const QString &operation, const QString &accessKey,
                      CBizProgressHandler *progress = nullptr);

protected:
    void PrepareHeaders(CBizWinHttpClient &client) override;
    QString m_accessKey;
};

class CWorkspaceRequest : public CAccessKeyRequest
{
public:
    CWorkspaceRequest(const QString &operation, const IAccessKeySource &key, qint32 workspaceId,
                      CBizProgressHandler *progress = nullptr);
    CWorkspaceRequest(const QString &operation, const QString &accessKey, qint32 workspaceId,
                      CBizProgressHandler *progress = nullptr);
    qint32 workspaceId() const { return m_workspaceId; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    qint32 m_workspaceId;
};

class CPathRequest : public CWorkspaceRequest
{
public:
    CPathRequest(const QString &operation, const IAccessKeySource &key, qint32 workspaceId,
                 const QString &path, CBizProgressHandler *progress = nullptr);
    CPathRequest(const QString &operation, const QString &accessKey, qint32 workspaceId,
                 const QString &path, CBizProgressHandler *progress = nullptr);
    QString path() const { return m_path; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    QString m_path;
};

// One attempt, no retry loop: the body is a local file that the user may change meanwhile.
class CUploadRequest : public CPathRequest
{
public:
    CUploadRequest(const QString &operation, const IAccessKeySource &key, qint32 workspaceId,
                   const QString &path, const QString &localFile, qint64 fileSize = 0,
                   CBizProgressHandler *progress = nullptr);
    // MD5 of the bytes sent (lower-case hexadecimal), after a successful upload.
    QString uploadDigest() const { return m_digest; }

protected:
    int Execute(CBizWinHttpClient &client, const QString &method) override;
    QString m_localFile;
    qint64 m_fileSize;
    QString m_digest;
};

// The auto-update operations: under autoupdatePrefix, with the access key.
class CAutoUpdateRequest : public CRequest
{
public:
    CAutoUpdateRequest(const QString &operation, const IAccessKeySource &key,
                       CBizProgressHandler *progress = nullptr);

protected:
    QString BuildPath(const QString &operation) const override;
    void PrepareHeaders(CBizWinHttpClient &client) override;
    QString m_accessKey;
};

// The access-key header name.
inline QString AccessKeyHeader()
{
    return QStringLiteral("x-velquor-access-key");
}
