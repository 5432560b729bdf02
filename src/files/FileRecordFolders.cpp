// The parts of the file record that look into folder records.
#include "FileRecord.h"

#include "FileCommentRecord.h"
#include "FileParsers.h"
#include "FilePrepare.h"
#include "FileTypeRecord.h"
#include "account/UserRecord.h"
#include "folders/WorkspaceRecord.h"
#include "service/XmlDocument.h"
#include "store/Convert.h"
#include "store/NameCompare.h"

namespace {

int sign(qint64 v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

} // namespace

void CFileRecord::SetFolder(CWorkspaceRecord *record)
{
    folder = record;
    if (!record) {
        folderPath.clear();
        return;
    }
    workspaceId = record->id;
    folderPath = JoinStrings(record->pathNames, u'/', 0, true);
}

void CFileRecord::SetFolderItem(CWorkspaceRecord *record)
{
    folderItem = record;
    if (record)
        path = QStringLiteral("%1").arg(quint32(record->id), 8, 16, QLatin1Char('0'));
    else
        path.clear();
}

void CFileRecord::Derive()
{
    if (folderItem) {
        baseName = folderItem->name;
        extension.clear();
        return;
    }
    SplitFileName(path, &baseName, &extension);
    // The name shown is the file's own name, without the "/" of the service path.
    if (baseName.startsWith(u'/'))
        baseName.remove(0, 1);
}

std::optional<int> CSharedFileRecord::CompareHook(EFileCompareHook hook,
                                                  const CFileRecord &other) const
{
    const bool mine = IsFolderEntry();
    const bool theirs = other.IsFolderEntry();
    switch (hook) {
    case EFileCompareHook::Status:
    case EFileCompareHook::FileName:
    case EFileCompareHook::UpdateName:
        break;
    case EFileCompareHook::FileComment:
        if (!mine && !theirs) {
            // Entries without a comment first; two with comments by when it was written.
            const auto *shared = dynamic_cast<const CSharedFileRecord *>(&other);
            const bool a = !DisplayComment().isEmpty();
            const bool b = shared && !shared->DisplayComment().isEmpty();
            if (a != b)
                return a ? 1 : -1;
            if (!a)
                return 0;
            return CompareDateTime(commentUpdateTime, shared->commentUpdateTime);
        }
        break;
    default:
        return std::nullopt;
    }
    if (mine != theirs)
        return mine ? -1 : 1;
    if (!mine)
        return std::nullopt;
    const CWorkspaceRecord &a = *folderItem;
    const CWorkspaceRecord &b = *other.folderItem;
    switch (hook) {
    case EFileCompareHook::Status:
        return sign(statusText.compare(other.statusText));
    case EFileCompareHook::FileName:
        return sign(qint64(a.sortIndex) - qint64(b.sortIndex));
    case EFileCompareHook::UpdateName:
        return sign(a.updateName.compare(b.updateName));
    case EFileCompareHook::FileComment:
        return sign(a.comment.compare(b.comment));
    default:
        return std::nullopt;
    }
}

int CompareFileColumn(const CFileRecord &a, const CFileRecord &b, int columnKind)
{
    if (const std::optional<int> decided = a.CompareHook(EFileCompareHook(columnKind), b))
        return *decided;
    // Whatever the column, subfolder entries stay ahead of the files, in folder order.
    if (a.IsFolderEntry() != b.IsFolderEntry())
        return a.IsFolderEntry() ? -1 : 1;
    if (a.IsFolderEntry())
        return sign(qint64(a.folderItem->sortIndex) - qint64(b.folderItem->sortIndex));
    const auto *sa = dynamic_cast<const CSharedFileRecord *>(&a);
    const auto *sb = dynamic_cast<const CSharedFileRecord *>(&b);
    switch (columnKind) {
    case 0: // folder name
        return CompareNamesLoose(a.folderPath, b.folderPath);
    case 1: // file name
        return CompareNamesLoose(a.FileName(), b.FileName());
    case 2: // product name
        return CompareNamesLoose(a.productName, b.productName);
    case 3: // status
        return CompareNamesLoose(a.statusText, b.statusText);
    case 7: // update time
        return sa && sb ? CompareDateTime(sa->updateTime, sb->updateTime) : 0;
    case 8: // updater
        return sa && sb ? CompareNamesLoose(sa->updateDispName, sb->updateDispName) : 0;
    case 9: // comment
        return sa && sb ? CompareNamesLoose(sa->DisplayComment(), sb->DisplayComment()) : 0;
    case 10: // size, unsigned
        return a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
    default:
        return 0;
    }
}

void ApplyFileType(CFileRecord &record, const CFileTypeList *types)
{
    const CFileTypeRecord *type = types && !record.IsFolderEntry() && !record.extension.isEmpty()
                                      ? types->FindByExtension(record.extension)
                                      : nullptr;
    record.fileTypeId = type ? type->id : 0;
    record.productName = type ? type->name : QString();
    record.viewOnlyType = type && type->IsViewOnly();
}

bool MayEditIn(const CWorkspaceRecord *folder, const CUserRecord *user)
{
    const bool readOnly = folder && folder->readOnly;
    if (!user)
        return !readOnly;
    if (folder && folder->isDataBox)
        return user->privDataBox && (!readOnly || user->privReadonlyCreateDataBox);
    return !readOnly || user->privReadonlyCreate;
}

void PrepareSharedFileRecord(CSharedFileRecord &record, const SFilePrepareContext &context)
{
    record.Derive();
    if (record.IsFolderEntry()) {
        if (record.folderItem->IsFolderGroup())
            record.comment = record.folderItem->comment;
    } else {
        ApplyFileType(record, context.fileTypes);
    }
    if (context.findFolder) {
        if (CWorkspaceRecord *folder = context.findFolder(record.workspaceId))
            record.SetFolder(folder);
    }
    if (context.localSide)
        context.localSide(record);
    if (record.IsFolderEntry())
        return;
    record.statusText
        = FileStatusText::ForLock(record.lockKey, record.lockDispName, context.clientKey);
    record.lockedByMe = !record.lockKey.isEmpty() && record.lockKey == context.clientKey;
    const bool allowed = MayEditIn(record.folder, context.user);
    record.readOnlyView
        = (!record.lockKey.isEmpty() && !record.lockedByMe) || record.viewOnlyType || !allowed;
    if (!record.lockedByMe && context.withHistory && context.hasHistory)
        record.hasHistory = context.hasHistory(record);
    if (record.lockedByMe && context.editCopySize) {
        if (const std::optional<quint32> size = context.editCopySize(record))
            record.size = *size;
    }
}
