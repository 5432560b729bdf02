#pragma once

#include <QHash>
#include <QString>

#include <functional>

class CBulkDownloadManager;
class CSharedFileManager;
class CSharedFileRecord;

// One row of the walk as the window shows it: the row is selected and the texts shown.
struct SBulkRunRow
{
    const CSharedFileRecord *record = nullptr; // the row of the current page
    int row = 0;                               // in the page, from 0
    int pageRows = 0;                          // rows of the page
    qint32 number = 0;                         // of the file in the whole walk, from 1
    qint32 total = 0;                          // files of the whole walk
    QString counterText;                       // "%d / %d件"
    QString
        progressText; // "「%s」をダウンロードしています..." or "（%s）をダウンロードしています..."
};

// How a run ended, for the window.
enum class EBulkRunEnding {
    NotStarted, // preparing the destination or opening the job failed (shown)
    Failed,     // an unexpected failure ended it: the caller shows 18360
    WaitAgain,  // the schedule repeats: the window waits for the next time
    Completed,  // the window shows the completion with the destination folder
    Finished,   // nothing to show (no file handled, no updated time)
};

struct SBulkRunResult
{
    EBulkRunEnding ending = EBulkRunEnding::NotStarted;
    int result = 0; // > 0 finished, 0 not started, < 0 failed
    // Files handled, as the log has lines: a file that changed after it was stored is
    // handled (and logged) once more.
    qint32 succeeded = 0;
    qint32 failed = 0;
    quint64 totalBytes = 0;
    bool cancelled = false;
    QString destination; // the run folder
    QString logPath;     // the log under its final name
};

// The walk of a bulk download run: every file the user may read, from the root in search
// mode, oldest update first, in pages of PageSize. Changes on the service during the walk
// shift the pages, so closing passes (at most MaxClosingPasses) list everything again and
// handle each file that no pass has stored yet, or whose digest changed since it was
// stored, until a pass finds none; files stored as they are never come over again. Each file goes
// to <run folder>/<folder names>/<file name>: from the cache when it is older than the last run's
// newest update time and its cache copy (never an edit copy) has the service's digest, otherwise
// downloaded through the cache as a single download is. Each handled file is logged with its
// status; a file that cannot be stored is logged as failed and the walk goes on, unless the failure
// is unexpected (then the run fails).
//
// The caller has made the update check and the duplicate-run check, and attached a progress
// handler to both managers (its cancel ends the walk). User-interface thread only.
class CBulkDownloadRun
{
public:
    static constexpr qint32 PageSize = 500;
    static constexpr int MaxPathLength = 250;
    static constexpr int UpdateTimeSort = 2;
    static constexpr int MaxClosingPasses = 3;

    CBulkDownloadRun(CBulkDownloadManager &manager, CSharedFileManager &files);

    void SetRowCallback(std::function<void(const SBulkRunRow &)> onRow);
    // The destination is deleted first when clear (the caller passes "not support mode").
    SBulkRunResult Run(bool clear);

    // The status texts of files that could not be stored.
    static QString PathLengthText();
    static QString MovedOrDeletedText();
    static QString FolderLockedText();
    static QString UnexpectedText();
    // The status text of a fault code of a download; empty: unexpected.
    static QString StatusOfFault(const QString &code);

private:
    enum class EOutcome { Stored, Failed, Cancelled, Unexpected };

    // What the passes of one run share.
    struct SWalk
    {
        QString root;                   // the run folder
        QHash<QString, QString> stored; // file key -> the digest it was handled with
        qint32 files = 0;               // distinct files handled
        int handledInPass = 0;
        int outcome = 1; // < 0: the run failed
    };

    // One pass over every page; handles the files not yet in walk.stored (or changed).
    void WalkPass(SWalk &walk, SBulkRunResult &result);

    EOutcome HandleFile(CSharedFileRecord &record, const QString &destination, bool fromCache);
    bool CopyFromCache(const CSharedFileRecord &record, const QString &destination);
    // <run folder>/<folder names>/<name>; empty when a name cannot be a local name.
    QString DestinationOf(const CSharedFileRecord &record, const QString &root) const;

    CBulkDownloadManager &m_manager;
    CSharedFileManager &m_files;
    std::function<void(const SBulkRunRow &)> m_onRow;
};
