#pragma once

#include "service/Request.h"
#include "store/DateTimeValue.h"

// The bulk download run as a job of the service: it refuses a second run of the same
// office at the same time and keeps a record of the runs.

// Job status values.
namespace BulkJobStatus {
constexpr qint32 Running = 1;
constexpr qint32 Finished = 9;
constexpr qint32 Failed = 99;
} // namespace BulkJobStatus

// GET bulkdownload/info: the office's current or last job.
class CBulkDownloadInfoRequest : public CAccessKeyRequest
{
public:
    explicit CBulkDownloadInfoRequest(const QString &accessKey,
                                      CBizProgressHandler *progress = nullptr);
    CDateTimeValue startTime() const { return m_startTime; }
    qint32 jobId() const { return m_jobId; }
    qint32 status() const { return m_status; }

protected:
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CDateTimeValue m_startTime;
    qint32 m_jobId = 0;
    qint32 m_status = 0;
};

// POST bulkdownload/start: opens the job; answers its id.
class CBulkDownloadStartRequest : public CAccessKeyRequest
{
public:
    CBulkDownloadStartRequest(const QString &accessKey, const CDateTimeValue &startTime,
                              CBizProgressHandler *progress = nullptr);
    qint32 jobId() const { return m_jobId; }

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CDateTimeValue m_startTime;
    qint32 m_jobId = 0;
};

// POST bulkdownload/end: closes the job with its status and counts.
class CBulkDownloadEndRequest : public CAccessKeyRequest
{
public:
    CBulkDownloadEndRequest(const QString &accessKey, const CDateTimeValue &endTime, qint32 jobId,
                            qint32 status, qint32 allCount, qint32 failedCount,
                            CBizProgressHandler *progress = nullptr);

protected:
    void PrepareParams(CBizWinHttpClient &client) override;
    int ParseResponse(CBizWinHttpClient &client, int status) override;

private:
    CDateTimeValue m_endTime;
    qint32 m_jobId;
    qint32 m_status;
    qint32 m_allCount;
    qint32 m_failedCount;
};
