// The file operations of the online view on a selection: add, download, move and rename,
// copy, delete, transaction information, the paths of copy and paste, and the send with
// related data. One item reports its failure as a message; several go on past failures,
// record them in the error log and ask at the end whether to show it.

#include "SharedGuiSystem.h"

#include "account/LoginManager.h"
#include "account/UserRecord.h"
#include "app/LogManager.h"
#include "core/Messages.h"
#include "core/Strings.h"
#include "files/SharedFileManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/RequestException.h"
#include "service/RequestGuard.h"
#include "store/NameCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSystem)

namespace {

QString nameOf(const QString &path)
{
    return path.startsWith(u'/') ? path.mid(1) : path;
}

const QString kOpAdd = QStringLiteral("追加");
const QString kOpMove = QStringLiteral("移動");
const QString kOpRename = QStringLiteral("ファイル名変更");
const QString kOpCopy = QStringLiteral("コピー");
const QString kOpDelete = QStringLiteral("削除");
const QString kOpDownload = QStringLiteral("ダウンロード");

} // namespace

bool CSharedGuiSystem::IsDataBoxFolder(qint32 folderId) const
{
    const CSharedWorkspaceManager *folders = sharedWorkspaces();
    const CWorkspaceRecord *folder
        = folders ? const_cast<CSharedWorkspaceManager *>(folders)->FindById(folderId) : nullptr;
    return folder && folder->isDataBox;
}

bool CSharedGuiSystem::HasOverwriteRight(qint32 folderId) const
{
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    return user
           && (IsDataBoxFolder(folderId) ? user->privFileOverwriteDataBox
                                         : user->privFileOverwrite);
}

void CSharedGuiSystem::ReportItemFailure(const CBizException &e, bool logMode,
                                         const QString &operation, const QString &source,
                                         const QString &destination,
                                         std::optional<ELogOperation> kind,
                                         const CSharedFileRecord *record)
{
    const auto *os = dynamic_cast<const CBizOsException *>(&e);
    const bool inUse = os && os->errorNumber() == OsError::SharingViolation;
    // The file out for editing may be the one the operation would replace: the exception
    // names it.
    const bool outForEditing = os && os->errorNumber() == OsError::LockViolation;
    const QString name = QFileInfo(outForEditing ? os->path() : source).fileName();
    if (!logMode) {
        if (inUse || outForEditing) {
            ShowErrorMessage(inUse ? 18327 : 90002, name);
            return;
        }
        CExceptHandler handler;
        handler.Set(e);
        handler.ShowError();
        return;
    }
    QString text;
    if (inUse || outForEditing) {
        text = detail::ComposeMessage(inUse ? 18327 : 90002, name);
    } else if (const auto *fault = dynamic_cast<const CRequestException *>(&e); fault && kind) {
        text = FaultLogText(fault->code(), *kind, record);
    }
    if (text.isEmpty()) {
        CExceptHandler handler;
        handler.Set(e);
        text = handler.FullMessage();
    }
    mainSystem()->AddErrorLogEntry(operation, source, destination, text);
}

bool CSharedGuiSystem::CheckItemState(const SItemRef &item, std::optional<ELogOperation> kind,
                                      bool logMode, const QString &operation,
                                      const QString &destination, CSharedFileRecord &current)
{
    CSharedFileManager *files = sharedFiles();
    if (!files)
        return false;
    const QString source = PathText(item.folderId, item.path);
    CExceptHandler held;
    if (!Forward(*files, [&](CSharedFileManager &m) {
            return m.GetFileInfo(item.folderId, item.path, current, &held);
        })) {
        if (held.HasException()) {
            if (IsUserCancel(*held.Exception(), progress()))
                return false;
            if (logMode)
                mainSystem()->AddErrorLogEntry(operation, source, destination, held.FullMessage());
            else
                held.ShowError();
        }
        return false;
    }
    const QString clientKey = m_loginManager ? m_loginManager->clientKey() : QString();
    if (current.lockKey.isEmpty() || current.lockKey == clientKey)
        return true;
    const QString name = nameOf(item.path);
    if (logMode) {
        QString text = kind ? FaultLogText(QStringLiteral("40008"), *kind, &current) : QString();
        if (text.isEmpty())
            text = current.lockDispName.isEmpty()
                       ? detail::ComposeMessage(18261, name)
                       : detail::ComposeMessage(18260, name, current.lockDispName);
        mainSystem()->AddErrorLogEntry(operation, source, destination, text);
    } else if (current.lockDispName.isEmpty()) {
        ShowErrorMessage(18261, name);
    } else {
        ShowErrorMessage(18260, name, current.lockDispName);
    }
    return false;
}

void CSharedGuiSystem::ReportRename(const QString &requested, const CSharedFileRecord &stored,
                                    qint32 folderId, bool logMode, const QString &operation,
                                    const QString &source)
{
    const QString storedName = stored.FileName();
    if (storedName.isEmpty() || storedName == requested || !HasOverwriteRight(folderId))
        return;
    if (logMode)
        mainSystem()->AddErrorLogEntry(operation, source, PathText(folderId, stored.path),
                                       QStringLiteral("ファイル名変更"));
    else
        ShowInfoMessage(18371, storedName);
}

template<typename F>
SOperationResult CSharedGuiSystem::RunSelection(int count, F &&perItem)
{
    SOperationResult result;
    const bool logMode = count > 1;
    if (CBizProgressHandler *handler = progress())
        handler->Begin(count);
    for (int i = 0; i < count; ++i) {
        if (!ProgressContinue()) {
            result.cancelled = true;
            break;
        }
        bool cancelled = false;
        if (perItem(i, logMode, cancelled))
            ++result.succeeded;
        else if (cancelled)
            result.cancelled = true;
        else
            ++result.failed;
        if (result.cancelled)
            break;
        ProgressStep(i + 1);
    }
    result.refresh = true;
    if (logMode && mainSystem())
        mainSystem()->FinishErrorLog();
    return result;
}

// One item's manager call: failures reported as the mode asks; a cancel stops the run.
template<typename F>
bool CSharedGuiSystem::RunItem(bool logMode, bool &cancelled, const QString &operation,
                               const QString &source, const QString &destination,
                               std::optional<ELogOperation> kind, const CSharedFileRecord *record,
                               F &&call)
{
    CSharedFileManager *files = sharedFiles();
    if (!files)
        return false;
    try {
        return Forward(*files, std::forward<F>(call));
    } catch (const CBizException &e) {
        if (IsUserCancel(e, progress())) {
            cancelled = true;
            return false;
        }
        ReportItemFailure(e, logMode, operation, source, destination, kind, record);
        return false;
    }
}

// --- add ----------------------------------------------------------------------------------

SOperationResult CSharedGuiSystem::AddFiles(qint32 folderId, const QStringList &localPaths,
                                            bool confirm, bool subfoldersLeftOut)
{
    SOperationResult result;
    if (!CheckAddTarget(folderId) || !CheckAddCount(localPaths))
        return result;
    QStringList paths;
    for (const QString &p : localPaths)
        if (!QFileInfo(p).isDir())
            paths << p;
    if (paths.isEmpty())
        return result;
    const QString folderPath = PathText(folderId);
    if (confirm) {
        QString note;
        if (subfoldersLeftOut)
            note += QStringLiteral("\r\n※サブフォルダは追加されません。");
        if (HasOverwriteRight(folderId))
            note += QStringLiteral("\r\n※同名ファイルがある場合、そのファイルは上書きされます。");
        const QString what = paths.size() == 1 ? QFileInfo(paths.first()).fileName()
                                               : QStringLiteral("%1件の項目").arg(paths.size());
        if (AskYesNo(18230, folderPath, what, note) != IDYES) {
            result.cancelled = true;
            return result;
        }
    }
    QStringList names;
    result = RunSelection(int(paths.size()), [&](int i, bool logMode, bool &cancelled) {
        const QString &local = paths.at(i);
        SetProgressText(detail::ComposeMessage(18213, folderPath, QFileInfo(local).fileName()));
        QString targetName;
        QString checkedFolder;
        QString error;
        if (!CheckFileName(folderId, &checkedFolder, &targetName, local, false, {},
                           logMode ? &error : nullptr)) {
            if (logMode)
                mainSystem()->AddErrorLogEntry(kOpAdd, local, folderPath, error);
            return false;
        }
        CSharedFileRecord stored;
        const bool ok = RunItem(
            logMode, cancelled, kOpAdd, local, folderPath, ELogOperation::Add, nullptr,
            [&](CSharedFileManager &m) { return m.AddFile(folderId, local, targetName, stored); });
        if (!ok)
            return false;
        names << stored.FileName();
        ReportRename(targetName, stored, folderId, logMode, kOpAdd, local);
        return true;
    });
    result.names = names;
    return result;
}

// --- download -----------------------------------------------------------------------------

SOperationResult CSharedGuiSystem::DownloadFiles(const QList<SItemRef> &items,
                                                 const QString &destination)
{
    SetProgressText(18202);
    const bool several = items.size() > 1;
    SOperationResult result = RunSelection(int(items.size()), [&](int i, bool logMode,
                                                                  bool &cancelled) {
        const SItemRef &item = items.at(i);
        const QString name = nameOf(item.path);
        const QString source = PathText(item.folderId, item.path);
        SetProgressText(detail::ComposeMessage(18214, name));
        // A name the service gave that is no single path component would leave the folder.
        if (several && !IsValidPathComponent(name)) {
            ReportItemFailure(CBizOsException(OsError::InvalidName, name), logMode, kOpDownload,
                              source, destination, std::nullopt, nullptr);
            return false;
        }
        const QString target = several ? QDir(destination).filePath(name) : destination;
        CSharedFileRecord current;
        CExceptHandler held;
        CSharedFileManager *files = sharedFiles();
        if (!files || !Forward(*files, [&](CSharedFileManager &m) {
                return m.GetFileInfo(item.folderId, item.path, current, &held);
            })) {
            if (held.HasException() && !IsUserCancel(*held.Exception(), progress())) {
                if (logMode)
                    mainSystem()->AddErrorLogEntry(kOpDownload, source, target, held.FullMessage());
                else
                    held.ShowError();
            }
            return false;
        }
        return RunItem(logMode, cancelled, kOpDownload, source, target, std::nullopt, &current,
                       [&](CSharedFileManager &m) { return m.DownloadFile(current, target); });
    });
    SetProgressText(result.cancelled ? 18274 : 18215);
    return result;
}

// --- move, rename, copy -------------------------------------------------------------------

SOperationResult CSharedGuiSystem::MoveFiles(const QList<SItemRef> &items, qint32 dstFolderId,
                                             const QString &newName, bool confirm)
{
    SOperationResult result;
    const bool rename
        = items.size() == 1 && !newName.isEmpty() && items.first().folderId == dstFolderId;
    const QString dstPath = PathText(dstFolderId);
    if (confirm && !rename) {
        const QString what = items.size() == 1 ? nameOf(items.first().path)
                                               : QStringLiteral("%1件").arg(items.size());
        if (AskYesNo(18238, what, dstPath) != IDYES) {
            result.cancelled = true;
            return result;
        }
    }
    const QString operation = rename ? kOpRename : kOpMove;
    QStringList names;
    result = RunSelection(int(items.size()), [&](int i, bool logMode, bool &cancelled) {
        const SItemRef &item = items.at(i);
        const QString name = nameOf(item.path);
        const QString wanted = items.size() == 1 && !newName.isEmpty() ? newName : name;
        const QString source = PathText(item.folderId, item.path);
        SetProgressText(
            rename ? detail::ComposeMessage(
                QStringLiteral("「%s」から「%s」へ名前を変更しています..."), name, wanted)
                   : detail::ComposeMessage(18224, name, dstPath));
        CSharedFileRecord current;
        if (!CheckItemState(item, ELogOperation::Move, logMode, operation, dstPath, current))
            return false;
        QString targetName;
        QString error;
        if (!CheckFileName(dstFolderId, nullptr, &targetName, wanted, true, {},
                           logMode ? &error : nullptr)) {
            if (logMode)
                mainSystem()->AddErrorLogEntry(operation, source, dstPath, error);
            return false;
        }
        CSharedFileRecord moved;
        if (!RunItem(logMode, cancelled, operation, source, dstPath, ELogOperation::Move, &current,
                     [&](CSharedFileManager &m) {
                         return m.MoveFile(current, dstFolderId, targetName, moved);
                     }))
            return false;
        names << moved.FileName();
        ReportRename(targetName, moved, dstFolderId, logMode, operation, source);
        return true;
    });
    result.names = names;
    return result;
}

SOperationResult CSharedGuiSystem::CopyFiles(const QList<SItemRef> &items, qint32 dstFolderId,
                                             const QString &newName)
{
    SOperationResult result;
    const QString dstPath = PathText(dstFolderId);
    QStringList names;
    result = RunSelection(int(items.size()), [&](int i, bool logMode, bool &cancelled) {
        const SItemRef &item = items.at(i);
        const QString name = nameOf(item.path);
        const QString wanted = items.size() == 1 && !newName.isEmpty() ? newName : name;
        const QString source = PathText(item.folderId, item.path);
        SetProgressText(detail::ComposeMessage(18228, name, dstPath));
        CSharedFileRecord current;
        if (!CheckItemState(item, ELogOperation::Copy, logMode, kOpCopy, dstPath, current))
            return false;
        CSharedFileRecord copied;
        if (!RunItem(logMode, cancelled, kOpCopy, source, dstPath, ELogOperation::Copy, &current,
                     [&](CSharedFileManager &m) {
                         return m.CopyFile(current, dstFolderId, wanted, copied);
                     }))
            return false;
        names << copied.FileName();
        ReportRename(wanted, copied, dstFolderId, logMode, kOpCopy, source);
        return true;
    });
    result.names = names;
    return result;
}

// --- delete -------------------------------------------------------------------------------

SOperationResult CSharedGuiSystem::DeleteFiles(const QList<SItemRef> &items,
                                               bool folderAndFilesView, bool confirm)
{
    SOperationResult result;
    if (items.isEmpty())
        return result;
    if (confirm) {
        const QString what = items.size() == 1
                                 ? (items.first().isFolder ? PathText(items.first().folderId)
                                                           : nameOf(items.first().path))
                                 : QStringLiteral("%1件").arg(items.size());
        if (AskYesNo(folderAndFilesView ? 18254 : 18251, what) != IDYES) {
            result.cancelled = true;
            return result;
        }
    }
    return RunSelection(int(items.size()), [&](int i, bool logMode, bool &cancelled) {
        const SItemRef &item = items.at(i);
        if (item.isFolder) {
            SetProgressText(detail::ComposeMessage(18217, PathText(item.folderId)));
            return DeleteFolderOp(item.folderId, false);
        }
        const QString name = nameOf(item.path);
        const QString source = PathText(item.folderId, item.path);
        SetProgressText(detail::ComposeMessage(18217, name));
        CSharedFileRecord current;
        if (!CheckItemState(item, std::nullopt, logMode, kOpDelete, {}, current))
            return false;
        return RunItem(logMode, cancelled, kOpDelete, source, {}, std::nullopt, &current,
                       [&](CSharedFileManager &m) { return m.DeleteFile(current); });
    });
}

// --- transaction information --------------------------------------------------------------

bool CSharedGuiSystem::EditTransactionInfo(const SItemRef &item, const QString &newName,
                                           const CDateTimeValue &date, std::optional<qint64> amount,
                                           const QString &counterparty, bool *refresh)
{
    if (refresh)
        *refresh = true;
    SItemRef target = item;
    if (!newName.isEmpty() && newName != nameOf(item.path)) {
        const SOperationResult renamed = MoveFiles({item}, item.folderId, newName, false);
        if (renamed.succeeded != 1)
            return false;
        // The service may have stored the name differently: the record follows its answer.
        target.path = u'/' + (renamed.names.isEmpty() ? newName : renamed.names.first());
    }
    SetProgressText(QStringLiteral("取引情報を送信しています..."));
    CSharedFileRecord current;
    if (!CheckItemState(target, std::nullopt, false, kOpRename, {}, current))
        return false;
    bool cancelled = false;
    return RunItem(false, cancelled, kOpRename, PathText(target.folderId, target.path), {},
                   std::nullopt, &current, [&](CSharedFileManager &m) {
                       return m.EditTransaction(current, date, amount, counterparty);
                   });
}

// --- paths --------------------------------------------------------------------------------

QString CSharedGuiSystem::PathText(qint32 folderId, const QString &path) const
{
    QString text;
    const CSharedWorkspaceManager *folders = sharedWorkspaces();
    if (const CWorkspaceRecord *folder
        = folders ? const_cast<CSharedWorkspaceManager *>(folders)->FindById(folderId) : nullptr)
        text = folder->pathNames.join(u'/');
    if (!path.isEmpty())
        text += u'/' + nameOf(path);
    return text;
}

bool CSharedGuiSystem::ResolvePastePath(const QString &text, qint32 pageSize, SPasteTarget &target)
{
    target = SPasteTarget();
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        ShowErrorMessage(18369);
        return false;
    }
    CSharedWorkspaceManager *folders = sharedWorkspaces();
    CSharedFileManager *files = sharedFiles();
    if (!folders || !files)
        return false;
    const QStringList segments = trimmed.split(u'/', Qt::SkipEmptyParts);
    qint32 current = 0;
    int used = 0;
    for (const QString &segment : segments) {
        CWorkspaceRecord *child = folders->ChildByName(current, segment);
        if (!child)
            break;
        current = child->id;
        ++used;
    }
    const int left = int(segments.size()) - used;
    if (used == 0 || left > 1) {
        ShowErrorMessage(18370, trimmed);
        return false;
    }
    target.folderId = current;
    if (left == 0)
        return true;
    target.fileName = segments.last();
    const QString path = u'/' + target.fileName;
    CSharedFileRecord record;
    if (!FetchRecord(current, path, record))
        return false;
    // The page lists the subfolders first, then the files by name.
    qint32 folderCount = 0;
    qint32 offset = -1;
    const bool ok = Forward(*folders,
                            [&](CSharedWorkspaceManager &m) {
                                return m.CountItems(current, false, {}, folderCount);
                            })
                    && Forward(*files, [&](CSharedFileManager &m) {
                           return m.FindFileOffset(current, path, SFileListOptions(), offset);
                       });
    if (!ok)
        return false;
    if (offset < 0) {
        ShowErrorMessage(18370, trimmed);
        return false;
    }
    target.offset = offset;
    const qint32 size = pageSize > 0 ? pageSize : 500;
    target.page = (folderCount + offset) / size + 1;
    return true;
}

// --- send with related data ---------------------------------------------------------------

bool CSharedGuiSystem::SendWithRelatedData(qint32 folderId, const QString &path, bool always,
                                           bool force, int *sentCount, bool *refresh)
{
    CSharedFileManager *files = sharedFiles();
    CLocalFileManager *cache = files ? files->local() : nullptr;
    if (!cache)
        return false;
    const QString name = nameOf(path);
    SFileStates working;
    cache->QueryWorkingCopy(folderId, name, 0, working);
    const bool workingGone = !working.exists;
    if (!always && !workingGone)
        return SendFile(folderId, path, force, sentCount, refresh);

    QStringList related;
    cache->ListRelatedFiles(folderId, name, related);
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    const bool dataBox = IsDataBoxFolder(folderId);
    const bool mayDelete = user && (dataBox ? user->privFileDeleteDataBox : user->privFileDelete);
    const bool mayAdd = user && (dataBox ? user->privFileCreateDataBox : user->privFileCreate);
    bool deleteAfter = false;
    // Without related data there is nothing to send the edit copy for: a vanished working
    // copy is the manager's "missing" (18326) and the file stays unsent.
    bool sendEditCopy = false;
    if (!related.isEmpty()) {
        QString prompt
            = detail::ComposeMessage(workingGone ? 18264 : 18263, name) + related.join(u',');
        if (workingGone && mayDelete)
            prompt += detail::ComposeMessage(18265, name);
        if (!mayAdd) {
            ShowErrorMessage(LoadString(18366) + QStringLiteral("\r\n\r\n") + prompt);
            return false;
        }
        prompt += LoadString(18266);
        if (AskYesNo(prompt) == IDYES) {
            const QString dir = QFileInfo(cache->WorkingCopyPath(folderId, name)).path();
            QStringList paths;
            for (const QString &file : related)
                paths << dir + u'/' + file;
            const SOperationResult added = AddFiles(folderId, paths, false);
            if (added.succeeded < related.size()) {
                ShowErrorMessage(18355);
                return false;
            }
            // On the service and in the cache now: the copies beside the working copy go,
            // so that the edit area empties with the send.
            for (const QString &p : paths)
                QFile::remove(p);
            deleteAfter = workingGone && mayDelete;
            sendEditCopy = workingGone;
        } else if (workingGone) {
            ShowErrorMessage(18354, name);
            return false;
        }
    }
    if (!SendChecked(folderId, path, force, sendEditCopy, sentCount, refresh))
        return false;
    if (deleteAfter) {
        SetProgressText(detail::ComposeMessage(18217, name));
        DeleteFiles({SItemRef{folderId, path, false}}, false, false);
    }
    return true;
}
