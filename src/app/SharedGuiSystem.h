#pragma once

#include "System.h"

#include "bulk/BulkDownloadRun.h"
#include "files/AppLauncher.h"
#include "files/LocalFileManager.h"

#include "store/DateTimeValue.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class CBizException;
class CBulkDownloadWaitThread;
class CSharedFileRecord;

// One item of an operation on a selection: a file (its folder and "/name"), or, from the
// folder-and-files view, a subfolder entry (isFolder: folderId is the subfolder's id).
struct SItemRef
{
    qint32 folderId = 0;
    QString path;
    bool isFolder = false;
};

// How an operation on a selection ended.
struct SOperationResult
{
    int succeeded = 0;
    int failed = 0;         // failed items (logged when there were several)
    bool cancelled = false; // the user stopped it (or declined the confirmation)
    bool refresh = false;   // the list (and, for folders, the tree) must be loaded again
    QStringList names;      // what the service stored, in the order of the items (add, copy)
};

// Where a pasted path leads: the folder to show and, for a file, its page.
struct SPasteTarget
{
    qint32 folderId = 0;
    QString fileName;   // empty: the folder itself
    qint32 offset = -1; // of the file in the folder's listing
    qint32 page = 1;    // the page (from 1) that holds it, for the page size asked
};

// How the wait for the scheduled bulk download ended.
enum class EBulkWaitResult {
    Stopped, // a check before the wait stopped it (shown)
    Run,     // the time came (or the window asked to start now): run now
    Settings // the user cancelled the wait: the settings dialog opens again
};

// How the exit check's send of one unsent file ended.
enum class EExitSend {
    Sent,     // sent (or nothing to upload) and released
    SetAside, // it can no longer be sent: the edit was kept in the history and the user told
              // where; the file is no longer out for editing here
    Failed    // not sent (shown); the file stays unsent
};

// The kinds of FaultLogText.
enum class ELogOperation { Add = 0, Copy = 1, Move = 2 };

// The online system as the windows use it: every operation of the edit cycle runs under
// one exception boundary, shows its messages through the message sink (the window supplies
// only the confirmations it asks before: 18377, 18262) and tells whether the list entry
// must be fetched again (refresh).
class CSharedGuiSystem : public CSharedSystem
{
public:
    CSharedGuiSystem(CMainSystem *mainSystem, CLocalSystem *localSystem,
                     const SManagerFactory &factory = SManagerFactory::Default());
    // Stops a bulk download wait still running.
    ~CSharedGuiSystem() override;

    // Opens the file for editing and starts its application (chosen: that program; none:
    // the desktop's default). With noLaunch the caller starts it on openedPath. A file
    // another user holds is offered read-only (18248/18249; with noLaunch refused,
    // 18271/18272). A start that fails hands back what this open took: a lock taken now is
    // released with nothing uploaded; a file unsent before stays unsent.
    bool OpenForEditing(qint32 folderId, const QString &path, const SAppChoice *chosen,
                        bool noLaunch, bool *refresh = nullptr, QString *openedPath = nullptr);
    // A view copy of the current content in its application, no lock.
    bool OpenReadOnly(qint32 folderId, const QString &path, bool *refresh = nullptr);
    // Sends the file out for editing here (force: upload even unchanged, support mode).
    bool SendFile(qint32 folderId, const QString &path, bool force, int *sentCount = nullptr,
                  bool *refresh = nullptr);
    // Throws the edit away and releases the lock.
    bool ForceReleaseFile(qint32 folderId, const QString &path, bool *refresh = nullptr);
    // The exit check's send of one unsent file. An edit that can never be sent as it stands
    // (the service released the lock or another client holds it, the file is gone, or the
    // working copy vanished without related data) is kept as an ".unsent" history copy, the
    // user is told once where, and it no longer holds the window. A working copy gone with
    // related data beside it runs the related-data step.
    EExitSend SendOnExit(const SUnsentFile &file);
    // The files out for editing on this client, each with whether an application holds it.
    int CountUnsent();
    QList<SUnsentFile> ListUnsent();
    // The applications for "open with": each program of the known types once.
    QList<SAppChoice> AppChoices(const QString &wanted = {}, int *preselected = nullptr) const;
    // Send with the related data the application left beside the working copy: unless
    // always (the send after open with), only when the working copy is gone. Asks to add
    // them (and, the working copy gone, to delete the file after the send).
    bool SendWithRelatedData(qint32 folderId, const QString &path, bool always, bool force,
                             int *sentCount = nullptr, bool *refresh = nullptr);

    // --- comment edits. While a file's comment is edited this client holds the file's lock;
    // the confirmed text waits as the file's pending comment (comments.vqr) until the
    // service has it. Each shows its own messages.

    // Begins an edit: a file this client holds already (unsent) needs no request and sets
    // alreadyUnsent; one another client holds is refused (18271/18272); otherwise the file is
    // locked (a local copy in use: 18327). Progress "コメントを開いています...".
    bool BeginCommentEdit(qint32 folderId, const QString &path, bool *alreadyUnsent = nullptr,
                          bool *refresh = nullptr);
    // Sends the file's pending comment and releases the lock. A lock no longer this client's
    // refuses it (18258) and the comment stays pending. Progress "コメントを送信しています...".
    bool RegisterComment(qint32 folderId, const QString &path, bool *refresh = nullptr);
    // Releases the lock of an edit: 18328 when the service released it meanwhile, 18329 when
    // another client holds it. Progress "コメントの編集を終了しています...".
    bool CancelCommentEdit(qint32 folderId, const QString &path, bool *refresh = nullptr);
    // The end of an edit as the editors run it. confirm: text becomes the pending comment and
    // is registered, or, alreadyUnsent (the edit began on an unsent file), waits for the
    // file's Send with the lock kept. Cancel: the text is dropped and the lock released, or
    // kept when alreadyUnsent.
    bool EndCommentEdit(qint32 folderId, const QString &path, bool confirm, const QString &text,
                        bool alreadyUnsent, bool *refresh = nullptr);
    // The labels of the comment pane and editors: "コメント(%s)" (the updater's name follows
    // when it is not the signed-in user), "コメント(%d行)", "コメント残り%d文字(%d/%d)"
    // against maxFileCommentLength.
    QString CommentInfoLabel(const CSharedFileRecord &record) const;
    QString CommentLineLabel(const QString &text) const;
    QString CommentRemainingLabel(const QString &text) const;
    int maxCommentLength() const;

    // --- checks of names, places and limits. With errorText a failing check writes its
    // short text there and shows nothing; without, it shows its message.

    // For adding a local file (localPathOrName a path) or, nameOnly, a new name in the
    // folder (rename, copy, move). folderId < 0 skips the folder and right steps.
    bool CheckFileName(qint32 folderId, QString *folderPath, QString *targetName,
                       const QString &localPathOrName, bool nameOnly,
                       const QString &subFolderPath = {}, QString *errorText = nullptr);
    // A new subfolder's name (trimmed into trimmedName) under parentId.
    bool CheckFolderName(qint32 parentId, const QString &name, QString *errorText = nullptr,
                         QString *trimmedName = nullptr);
    bool CheckLocalPathLength(int length, const QString &name, QString *errorText = nullptr);
    // The error log's short text for a fault of a multi-item operation; empty when the
    // fault has none (its message is logged then).
    QString FaultLogText(const QString &faultCode, ELogOperation kind,
                         const CSharedFileRecord *record) const;
    // Where files and folders may be added: not the favourites (-1), the root (0) or a
    // folder group (18244, 18245, 18246).
    bool CheckAddTarget(qint32 folderId);
    // The number of files among dropped or chosen paths (directories not counted) against
    // maxFileCreate (18338).
    bool CheckAddCount(const QStringList &localPaths);
    // A folder moved (or copied) under dstParentId, as the folder dialogs check it before
    // any request: not below itself, not deeper than maxFolderDepth (18242) and, for a
    // move, its new mirror path within the local path limit (18240).
    bool CheckFolderPlacement(qint32 folderId, qint32 dstParentId, bool copy);
    // The dialog toolkit's field texts: 17676 empty, 17677 too long, 17680 forbidden
    // character (the folder set for folder name fields).
    static QString FieldMissingText(const QString &label);
    static QString FieldTooLongText(const QString &label, int limit);
    static QString FieldForbiddenText(const QString &label, bool folderName);
    // The forbidden characters of file names; folder names add the half-width space.
    static const QString &FileNameForbidden();
    static const QString &FolderNameForbidden();

    // --- file operations on a selection, with progress and cancel. Several items: the
    // failures go to the error log and the end asks to show it; one item: its message.

    // Adds local files to the folder (confirm: 18230 first). subfoldersLeftOut adds the
    // note that subfolders are not added.
    SOperationResult AddFiles(qint32 folderId, const QStringList &localPaths, bool confirm = true,
                              bool subfoldersLeftOut = false);
    // Downloads into destination: a file path for one item, a folder for several.
    SOperationResult DownloadFiles(const QList<SItemRef> &items, const QString &destination);
    // Moves into dstFolderId; with one item and newName, renames (a rename is a move within
    // the folder). confirm: 18238 first (not for a rename).
    SOperationResult MoveFiles(const QList<SItemRef> &items, qint32 dstFolderId,
                               const QString &newName = {}, bool confirm = true);
    // Copies into dstFolderId (the copy dialog confirms); with one item and newName, under
    // that name.
    SOperationResult CopyFiles(const QList<SItemRef> &items, qint32 dstFolderId,
                               const QString &newName = {});
    // Deletes (confirm: 18251, or 18254 for the folder-and-files view, whose subfolder
    // entries are deleted as folders).
    SOperationResult DeleteFiles(const QList<SItemRef> &items, bool folderAndFilesView,
                                 bool confirm = true);
    // A DataBox file's name (when changed) and transaction information.
    bool EditTransactionInfo(const SItemRef &item, const QString &newName,
                             const CDateTimeValue &date, std::optional<qint64> amount,
                             const QString &counterparty, bool *refresh = nullptr);
    // The text "copy path" puts on the clipboard: the folder's names joined with "/" and,
    // for a file, "/" and its name.
    QString PathText(qint32 folderId, const QString &path = {}) const;
    // Resolves a pasted path (18369 empty, 18370 not found); a file's page for pageSize.
    bool ResolvePastePath(const QString &text, qint32 pageSize, SPasteTarget &target);

    // --- folder operations; each marks the tree for reload, successful or not (refresh).
    bool CreateFolderOp(qint32 parentId, const QString &name, int colour, const QString &comment,
                        bool dataBox, qint32 *newId = nullptr);
    bool RenameFolderOp(qint32 folderId, const QString &name, int colour, const QString &comment,
                        bool applyBelow, bool nameUnchanged, bool fromFavorites);
    bool MoveFolderOp(qint32 folderId, qint32 dstParentId, bool fromFavorites);
    bool CopyFoldersOp(qint32 sourceId, qint32 dstParentId, const QString &newName,
                       qint32 *newId = nullptr);
    bool DeleteFolderOp(qint32 folderId, bool fromFavorites);
    // Asks before deleting folders: 18253 when the user may delete all their files, else
    // 18252 naming the kind of folder whose files stay; names of several become "%d件".
    bool ConfirmDeleteFolders(const QList<qint32> &folderIds);
    // --- bulk download, as the window's commands run it (progress and cancel from the
    // window's handler).

    // The checks before a run or a wait: the update check (18362 when a newer version
    // exists), then whether another client runs a bulk download (18361 with its start and
    // job id). False: the command ends (everything has been shown).
    bool CheckBeforeBulkDownload();
    // Run now: the checks, then the walk over every file into the run folder; each row is
    // handed to onRow before it is handled. An unexpected failure shows 18360; the other
    // endings are the window's (the wait again, the completion with the destination).
    SBulkRunResult RunBulkDownload(const std::function<void(const SBulkRunRow &)> &onRow = {});
    // Wait for the schedule: the checks, then a cancellable progress while the wait thread
    // waits, the window's events flowing.
    EBulkWaitResult WaitForBulkDownload();
    // The wait thread while a wait runs (the window's busy and start-now flags), else null.
    CBulkDownloadWaitThread *bulkWaitThread() const { return m_bulkWait.get(); }
    // Stops a wait (the window closes).
    void StopBulkWait();
    bool isBulkRunning() const { return m_bulkRunning; }

    // Whether the tree must be loaded again (set by every folder operation; cleared by the
    // caller once reloaded).
    bool treeNeedsReload() const { return m_treeReload; }
    void ClearTreeReload() { m_treeReload = false; }

private:
    // Runs one operation of the cycle; local failures (in use, missing) become 18327 and
    // 18326 with the file's name, any other failure the handler's message.
    bool Boundary(const QString &name, bool *refresh, const std::function<bool()> &run);
    bool FetchRecord(qint32 folderId, const QString &path, CSharedFileRecord &record);
    // The start of an operation on one file: the managers and the file's current record
    // from the service (refresh cleared).
    bool Begin(qint32 folderId, const QString &path, bool *refresh, CSharedFileManager *&files,
               CLocalFileManager *&cache, CSharedFileRecord &current);
    // The file is locked under this client's key; otherwise shows whenFree (no lock) or
    // whenOther (another's lock) and marks the entry for a refresh.
    bool HoldsOwnLock(const CSharedFileRecord &current, int whenFree, int whenOther, bool *refresh);

    // private helpers of the comment edits
    // Writes the pending comments to their file now (a failure is only logged: they stay
    // in memory for the save at the end).
    void KeepPendingComments();

    // private helpers of the checks

    // private helpers of the folder operations
    // Runs one folder operation: a failure ends in its message and false; the tree is
    // marked for reload either way.
    template<typename F>
    bool FolderBoundary(F &&run);
    // From the favourites view: the folder as the favourites info request answers it now
    // (a folder gone meanwhile raises its fault).
    bool RefetchFavoriteFolder(qint32 folderId);
    // No file below the folder is out for editing (else 17966).
    bool CheckNoLockedFiles(qint32 folderId);

    // private helpers of the file operations
    bool IsDataBoxFolder(qint32 folderId) const;
    bool HasOverwriteRight(qint32 folderId) const;
    // The send after the checks of the file's state; workingGone: the edit copy is sent as
    // it is (the user agreed to add what replaced the working copy).
    bool SendChecked(qint32 folderId, const QString &path, bool force, bool workingGone,
                     int *sentCount, bool *refresh);
    // One failed item: in log mode an entry (FaultLogText's text for a fault of kind, else
    // the failure's message), otherwise its message.
    void ReportItemFailure(const CBizException &e, bool logMode, const QString &operation,
                           const QString &source, const QString &destination,
                           std::optional<ELogOperation> kind, const CSharedFileRecord *record);
    // The common state check: the file's current record from the service; a file another
    // client holds stops the item (18260/18261, or the "40008" text in the log).
    bool CheckItemState(const SItemRef &item, std::optional<ELogOperation> kind, bool logMode,
                        const QString &operation, const QString &destination,
                        CSharedFileRecord &current);
    // The service stored another name than asked: told (18371) under the overwrite right.
    void ReportRename(const QString &requested, const CSharedFileRecord &stored, qint32 folderId,
                      bool logMode, const QString &operation, const QString &source);
    // Runs perItem(index, logMode, cancelled) for count items with progress and cancel;
    // several items end with the error log's question.
    template<typename F>
    SOperationResult RunSelection(int count, F &&perItem);
    template<typename F>
    bool RunItem(bool logMode, bool &cancelled, const QString &operation, const QString &source,
                 const QString &destination, std::optional<ELogOperation> kind,
                 const CSharedFileRecord *record, F &&call);

    bool m_treeReload = false;
    bool m_bulkRunning = false;
    std::unique_ptr<CBulkDownloadWaitThread> m_bulkWait;
};
