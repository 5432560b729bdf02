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
    const QString root = result.destination;
    const bool supportMode = IsSupportMode();

    SFilePageQuery query;
    query.folderId = 0;
    query.searchMode = true;
    query.pageSize = PageSize;
    query.sortIndex = UpdateTimeSort;
    query.descending = false;
    query.withHistory = false;
    int outcome = 1;
    qint32 number = 0;
    while (outcome > 0 && !result.cancelled) {
        query.folderId = 0;
        if (!m_files.LoadPage(query)) {
            outcome = -1; // the fault has been shown
            break;
        }
        CFileList &page = m_files.list();
        const int rows = int(page.size());
        int row = 0;
        for (CFileRecord *entry : page) {
            auto *record = dynamic_cast<CSharedFileRecord *>(entry);
            if (!record || record->IsFolderEntry()) {
                ++row;
                continue;
            }
            if (progress && !progress->Continue()) {
                result.cancelled = true;
                break;
            }
            ++number;
            const QString folderNames = FolderNames(*record);
            const QString shownPath = folderNames.isEmpty()
                                          ? record->FileName()
                                          : folderNames + u'/' + record->FileName();
            const bool fromCache = m_manager.UsesCacheFor(record->updateTime);
            SBulkRunRow shown;
            shown.record = record;
            shown.row = row;
            shown.pageRows = rows;
            shown.number = number;
            shown.total = query.fileCount;
            shown.counterText = QStringLiteral("%1 / %2件").arg(number).arg(query.fileCount);
            shown.progressText = detail::ComposeMessage(fromCache ? 18275 : 18214, shownPath);
            if (progress)
                progress->SetText(shown.progressText);
            if (m_onRow)
                m_onRow(shown);
            ++row;

            const QString destination = DestinationOf(*record, root);
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
                break;
            }
            m_manager.AddLogRecord(*record);
            if (handled == EOutcome::Stored) {
                ++result.succeeded;
                result.totalBytes += record->size;
            } else {
                ++result.failed;
            }
            if (handled == EOutcome::Unexpected) {
                outcome = -1;
                break;
            }
        }
        if (query.cutShort) {
            // Files after the bad entry would be skipped without a trace.
            qCWarning(lcBulk) << "a page of the file list ended early: the run fails";
            outcome = -1;
        }
        if (outcome < 0 || result.cancelled || rows == 0)
            break;
        query.offset += rows;
        if (query.offset >= query.fileCount)
            break;
    }
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
