#include "FileRecord.h"

#include "FileCommentRecord.h"
#include "store/NameCompare.h"

namespace FileStatusText {

QString Unsent()
{
    return QStringLiteral("未送信");
}

QString InUse(const QString &holderName)
{
    return holderName.isEmpty() ? QStringLiteral("使用中")
                                : QStringLiteral("使用中（%1）").arg(holderName);
}

QString ViewOnly()
{
    return QStringLiteral("閲覧のみ");
}

QString ForLock(const QString &lockKey, const QString &lockDispName, const QString &clientKey)
{
    if (lockKey.isEmpty())
        return {};
    if (lockKey == clientKey)
        return Unsent();
    return InUse(lockDispName);
}

} // namespace FileStatusText

void SplitFileName(const QString &path, QString *baseName, QString *extension)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype nameStart = slash + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    // A dot that starts the name (".profile") does not begin an extension.
    if (dot > nameStart) {
        *baseName = path.left(dot);
        *extension = path.mid(dot);
    } else {
        *baseName = path;
        extension->clear();
    }
}

QString CFileRecord::FileName() const
{
    return path.startsWith(u'/') ? path.mid(1) : path;
}

std::optional<int> CFileRecord::CompareHook(EFileCompareHook, const CFileRecord &) const
{
    return std::nullopt;
}

void CFileRecord::CopyFrom(const CFileRecord &other)
{
    *this = other;
}

void CSharedFileRecord::CopyFrom(const CFileRecord &other)
{
    if (auto *shared = dynamic_cast<const CSharedFileRecord *>(&other))
        *this = *shared;
    else
        CFileRecord::CopyFrom(other);
}

void CLocalFileRecord::CopyFrom(const CFileRecord &other)
{
    if (auto *local = dynamic_cast<const CLocalFileRecord *>(&other))
        *this = *local;
    else
        CFileRecord::CopyFrom(other);
}

void CLocalFileRecord::Derive()
{
    CFileRecord::Derive();
    if (IsFolderEntry()) {
        statusText.clear();
        readOnlyView = false;
        return;
    }
    if (lockedByMe) {
        statusText = FileStatusText::Unsent();
    } else {
        // Offline a cached file can only be viewed.
        statusText = FileStatusText::ViewOnly();
        readOnlyView = true;
    }
}

QString CSharedFileRecord::DisplayComment() const
{
    return pendingComment ? pendingComment->text : comment;
}

CFileRecord *CFileList::Replace(CFileRecord *record)
{
    const QString key = record->Key();
    RemoveKey(key);
    return Add(key, record);
}

CFileRecord *CFileList::Replace(std::unique_ptr<CFileRecord> record)
{
    Q_ASSERT(ownsElements());
    return Replace(record.release());
}
