#include "BulkDownloadRun.h"

#include "BulkDownloadManager.h"
#include "BulkLog.h"

#include "core/AppState.h"
#include "core/BizException.h"
#include "core/BizProgress.h"
#include "core/Messages.h"
#include "files/FileRecord.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/WorkspaceRecord.h"
#include "service/MessageDigest.h"
#include "service/RequestException.h"
#include "service/RequestGuard.h"
#include "store/NameCheck.h"

#include <QDir>

namespace {

QString FolderNames(const CSharedFileRecord &record)
{
    return record.folder ? record.folder->pathNames.join(u'/') : QString();
}

} // namespace

CBulkDownloadRun::CBulkDownloadRun(CBulkDownloadManager &manager, CSharedFileManager &files)
    : m_manager(manager)
    , m_files(files)
{}

void CBulkDownloadRun::SetRowCallback(std::function<void(const SBulkRunRow &)> onRow)
{
    m_onRow = std::move(onRow);
}

QString CBulkDownloadRun::PathLengthText()
{
    return QStringLiteral("※エラー（パス名の長さ）");
}

QString CBulkDownloadRun::MovedOrDeletedText()
{
    return QStringLiteral("※エラー（移動、削除）");
}

QString CBulkDownloadRun::FolderLockedText()
{
    return QStringLiteral("※エラー（フォルダロック中）");
}

QString CBulkDownloadRun::UnexpectedText()
{
    return QStringLiteral("※エラー（予期せぬ）");
}

QString CBulkDownloadRun::StatusOfFault(const QString &code)
{
    if (code == u"40007" || code == u"40002")
        return MovedOrDeletedText();
    if (code == u"30014" || code == u"40013")
        return FolderLockedText();
    return {};
}

QString CBulkDownloadRun::DestinationOf(const CSharedFileRecord &record, const QString &root) const
{
    // Only names that are one valid component each: a name with ".." or a separator from
    // the service must not lead outside the run folder.
    QString path = root;
    if (record.folder) {
        for (const QString &name : record.folder->pathNames) {
            if (!IsValidPathComponent(name))
                return {};
            path += u'/' + name;
        }
    } else if (record.workspaceId != 0) {
        return {}; // a folder the tree does not know: no place for the file
    }
    const QString name = record.FileName();
    if (!IsValidPathComponent(name))
        return {};
    return path + u'/' + name;
}

bool CBulkDownloadRun::CopyFromCache(const CSharedFileRecord &record, const QString &destination)
{
    CLocalFileManager *local = m_files.local();
    if (!local)
        return false;
    const qint32 folderId = record.workspaceId;
    const QString name = record.FileName();
    const CLocalFileRecord *stored = local->EnsureRecord(folderId, name);
    // Only a cache copy with the service's content stands in for the file: never an edit
    // copy, never one changed on disk since.
    if (!stored || stored->lockedByMe)
        return false;
    SFileStates states;
    local->QueryFile(stored->storedPath, SFileStates::Digest, states, record.digest);
    if (!states.exists || !states.digestEqual)
        return false;
    if (!local->CopyOut(folderId, name, destination))
        return false;
    qCInfo(lcBulk) << "copied from the cache:" << record.workspaceId << "file" << record.size
                   << "bytes";
    return true;
}

CBulkDownloadRun::EOutcome CBulkDownloadRun::HandleFile(CSharedFileRecord &record,
                                                        const QString &destination, bool fromCache)
{
    CBizProgressHandler *progress = m_files.progress();
    try {
        CBizProgressAttach attach(*m_files.local(), progress);
        if (fromCache && CopyFromCache(record, destination))
            return EOutcome::Stored;
        if (progress && progress->isCancelled())
            return EOutcome::Cancelled;
        if (m_files.DownloadFile(record, destination, false)) {
            qCInfo(lcBulk) << "downloaded:" << record.workspaceId << "file" << record.size
                           << "bytes";
            return EOutcome::Stored;
        }
        if (progress && progress->isCancelled())
            return EOutcome::Cancelled;
        qCWarning(lcBulk) << "download answered no file";
        record.statusText = UnexpectedText();
        return EOutcome::Unexpected;
    } catch (const CRequestException &e) {
        if (IsUserCancel(e, progress))
            return EOutcome::Cancelled;
        const QString status = StatusOfFault(e.code());
        qCInfo(lcBulk) << "file not stored, fault" << e.code();
        record.statusText = status.isEmpty() ? UnexpectedText() : status;
        return status.isEmpty() ? EOutcome::Unexpected : EOutcome::Failed;
    } catch (const CBizException &e) {
        if (IsUserCancel(e, progress))
            return EOutcome::Cancelled;
        qCWarning(lcBulk) << "file not stored, kind" << e.Kind() << e.ErrorMessage();
        record.statusText = UnexpectedText();
        return EOutcome::Unexpected;
    }
}

void CBulkDownloadRun::WalkPass(SWalk &walk, SBulkRunResult &result)
{
    CBizProgressHandler *progress = m_files.progress();
    SFilePageQuery query;
    query.folderId = 0;
    query.searchMode = true;
    query.pageSize = PageSize;
    query.sortIndex = UpdateTimeSort;
    query.descending = false;
    query.withHistory = false;
    for (;;) {
        query.folderId = 0;
        if (!m_files.LoadPage(query)) {
            // A page that could not be listed may hide files: the run cannot say it is done.
            if (progress && progress->isCancelled())
                result.cancelled = true;
            else
                walk.outcome = -1; // a fault has been shown; an empty error answer has not
            return;
        }
        CFileList &page = m_files.list();
        const int rows = int(page.size());
        int row = -1;
        for (CFileRecord *entry : page) {
            ++row;
            auto *record = dynamic_cast<CSharedFileRecord *>(entry);
            if (!record || record->IsFolderEntry())
                continue;
            // A file stored as the service has it now is not fetched twice, even when the
            // paging brings it again; one changed since it was stored is fetched again.
            const QString key = record->Key();
            const auto seen = walk.stored.constFind(key);
            const bool again = seen != walk.stored.constEnd();
            if (again && DigestEquals(seen.value(), record->digest))
                continue;
            if (progress && !progress->Continue()) {
                result.cancelled = true;
                return;
            }
            if (!again)
                ++walk.files;
            const qint32 total = std::max(query.fileCount, walk.files);
            const QString folderNames = FolderNames(*record);
            const QString shownPath = folderNames.isEmpty()
                                          ? record->FileName()
                                          : folderNames + u'/' + record->FileName();
            const bool fromCache = m_manager.UsesCacheFor(record->updateTime);
            SBulkRunRow shown;
            shown.record = record;
            shown.row = row;
            shown.pageRows = rows;
            shown.number = walk.files;
            shown.total = total;
            shown.counterText = QStringLiteral("%1 / %2件").arg(walk.files).arg(total);
            shown.progressText = detail::ComposeMessage(fromCache ? 18275 : 18214, shownPath);
            if (progress)
                progress->SetText(shown.progressText);
            if (m_onRow)
                m_onRow(shown);

            const QString destination = DestinationOf(*record, walk.root);
            EOutcome handled;
            if (destination.isEmpty()) {
                qCWarning(lcBulk) << "a file whose name or folder cannot be a local name";
                record->statusText = UnexpectedText();
                handled = EOutcome::Failed;
            } else if (destination.size() > MaxPathLength || record->pathLength > MaxPathLength) {
                record->statusText = PathLengthText();
                handled = EOutcome::Failed;
            } else {
                handled = HandleFile(*record, destination, fromCache);
            }
            if (handled == EOutcome::Cancelled) {
                result.cancelled = true;
                return;
            }
            walk.stored.insert(key, record->digest);
            ++walk.handledInPass;
            m_manager.AddLogRecord(*record);
            if (handled == EOutcome::Stored) {
                ++result.succeeded;
                result.totalBytes += record->size;
            } else {
                ++result.failed;
            }
            if (handled == EOutcome::Unexpected) {
                walk.outcome = -1;
                return;
            }
        }
        if (query.cutShort) {
            // Files after the bad entry would be skipped without a trace.
            qCWarning(lcBulk) << "a page of the file list ended early: the run fails";
            walk.outcome = -1;
            return;
        }
        if (rows == 0)
            return;
        query.offset += rows;
        if (query.offset >= query.fileCount)
            return;
    }
}

SBulkRunResult CBulkDownloadRun::Run(bool clear)
{
    SBulkRunResult result;
    CBizProgressHandler *progress = m_files.progress();
    CBizProgressAttach attach(m_manager, progress);
    if (progress)
        progress->SetText(detail::ComposeMessage(18220));
    if (!m_manager.PrepareDestination(clear) || !m_manager.StartJob()) {
        result.ending = EBulkRunEnding::NotStarted;
        return result;
    }
    result.destination = m_manager.DestinationFolder();
    const bool supportMode = IsSupportMode();

    // The pages follow the update order, which changes under the walk: a file updated or
    // deleted meanwhile shifts the later ones by a place, and an offset then steps over one.
    // Closing passes list everything again and handle what no pass has stored yet, until one
    // finds nothing (list requests only: a stored file is never fetched again unchanged).
    SWalk walk;
    walk.root = result.destination;
    for (int pass = 0; pass <= MaxClosingPasses; ++pass) {
        walk.handledInPass = 0;
        WalkPass(walk, result);
        if (walk.outcome < 0 || result.cancelled || walk.handledInPass == 0)
            break;
        if (pass > 0)
            qCInfo(lcBulk) << "closing pass" << pass << "found" << walk.handledInPass
                           << "files the walk had not stored";
        if (pass == MaxClosingPasses)
            qCWarning(lcBulk) << "the files kept changing: the run ends after" << pass
                              << "closing passes";
    }
    const int outcome = walk.outcome;
    result.result = outcome;
    m_manager.EndJob(outcome < 0, result.succeeded, result.failed,
                     supportMode ? quint32(std::min<quint64>(result.totalBytes, 0xffffffffu)) : 0,
                     &result.logPath);
    if (outcome < 0)
        result.ending = EBulkRunEnding::Failed;
    else if (m_manager.IsRepeating())
        result.ending = EBulkRunEnding::WaitAgain;
    else if (result.succeeded + result.failed > 0 || m_manager.HasUpdatedTime())
        result.ending = EBulkRunEnding::Completed;
    else
        result.ending = EBulkRunEnding::Finished;
    qCInfo(lcBulk) << "bulk download run ended:" << result.succeeded << "stored" << result.failed
                   << "failed" << (result.cancelled ? "(cancelled)" : "");
    return result;
}
