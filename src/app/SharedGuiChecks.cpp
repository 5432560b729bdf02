// The checks of names, places and limits that run before a request creates or renames a file
// or a folder. Each shows its message, or, for the error log of an operation on several
// items, writes its short text instead. The service repeats them; these spare the user a
// round trip and give the messages the limits' values.

#include "SharedGuiSystem.h"

#include "account/LoginManager.h"
#include "account/UserRecord.h"
#include "core/Messages.h"
#include "files/FileTypeManager.h"
#include "files/LocalFileManager.h"
#include "files/SharedFileManager.h"
#include "folders/SharedWorkspaceManager.h"
#include "store/Convert.h"

#include <QFileInfo>

namespace {

// The add limit of the main window when there is no user record.
constexpr int kDefaultMaxFileCreate = 500;

// A failed check: its short text into errorText when the caller collects them, else its
// message.
template<typename... Args>
bool Refuse(QString *errorText, const QString &shortText, int messageId, const Args &...args)
{
    if (errorText)
        *errorText = shortText;
    else
        ShowErrorMessage(messageId, args...);
    return false;
}

bool ContainsAnyOf(const QString &text, const QString &characters)
{
    for (const QChar c : text) {
        if (characters.contains(c))
            return true;
    }
    return false;
}

// The limits and rights of the signed-in user; without one the built-in defaults, which
// grant no right.
const CUserRecord &UserOf(const CLoginManager *login)
{
    static const CUserRecord defaults;
    const CUserRecord *user = login ? login->currentUser() : nullptr;
    return user ? *user : defaults;
}

} // namespace

const QString &CSharedGuiSystem::FileNameForbidden()
{
    static const QString set = QStringLiteral("\\/:*?\"<>|");
    return set;
}

const QString &CSharedGuiSystem::FolderNameForbidden()
{
    static const QString set = QStringLiteral("\\/:*?\"<>| ");
    return set;
}

bool CSharedGuiSystem::CheckFileName(qint32 folderId, QString *folderPath, QString *targetName,
                                     const QString &localPathOrName, bool nameOnly,
                                     const QString &subFolderPath, QString *errorText)
{
    const CUserRecord &user = UserOf(m_loginManager);
    CSharedWorkspaceManager *folders = sharedWorkspaces();
    const CWorkspaceRecord *folder = nullptr;
    QString pathText;
    if (folderId >= 0) {
        folder = folders ? folders->FindById(folderId) : nullptr;
        if (!folder)
            return Refuse(errorText, QStringLiteral("フォルダエラー"), 18232);
        pathText = folder->DisplayPath();
        if (!nameOnly && !(folder->isDataBox ? user.privFileCreateDataBox : user.privFileCreate))
            return Refuse(errorText, QStringLiteral("ファイル追加権限なし"), 18366);
    }
    if (!subFolderPath.isEmpty())
        pathText += u'/' + subFolderPath;
    if (folderPath)
        *folderPath = pathText;

    // A new name is taken as it is, so a "/" in it is a forbidden character below, not a
    // folder; a local file is known by its last component.
    const QString name = nameOnly ? localPathOrName : QFileInfo(localPathOrName).fileName();
    QString baseName;
    QString extension;
    SplitFileName(name, &baseName, &extension);
    if (extension.isEmpty())
        return Refuse(errorText, QStringLiteral("拡張子エラー"), 18233);
    const CSharedFileTypeManager *types = sharedFileTypes();
    if (!types || !types->FindByExtension(extension))
        return Refuse(errorText, QStringLiteral("ファイルタイプエラー"), 18234, extension);

    const QString target = baseName + extension;
    if (targetName)
        *targetName = target;
    const int length = int(target.size());
    if (length > user.maxFileNameLength)
        return Refuse(errorText,
                      BizFormat(QStringLiteral("ファイル名長エラー（%d/%d）"),
                                {length, user.maxFileNameLength}),
                      18239, target, length, user.maxFileNameLength);
    if (target.startsWith(u' '))
        return Refuse(errorText, QStringLiteral("禁止文字（ファイル名先頭の半角スペース）エラー"),
                      18373);
    if (ContainsAnyOf(target, FileNameForbidden()))
        return Refuse(errorText,
                      BizFormat(QStringLiteral("禁止文字（%s）エラー"), {FileNameForbidden()}),
                      18247, target, FileNameForbidden());

    if (nameOnly) {
        // A DataBox folder keeps files of the same name apart itself; a subfolder's files
        // are not in the list.
        if (subFolderPath.isEmpty() && !(folder && folder->isDataBox)) {
            if (const CSharedFileManager *files = sharedFiles()) {
                for (const CFileRecord *entry : files->list()) {
                    if (entry->workspaceId == folderId && !entry->IsFolderEntry()
                        && entry->FileName().compare(target, Qt::CaseInsensitive) == 0)
                        return Refuse(errorText, QStringLiteral("ファイル名重複"), 18235, pathText,
                                      target);
                }
            }
        }
        return true;
    }

    const QFileInfo local(localPathOrName);
    if (!local.exists() || local.isDir())
        return Refuse(errorText, QStringLiteral("ファイル未存在エラー"), 18236, name);
    const qint64 size = local.size();
    if (size > qint64(user.maxFileSize))
        return Refuse(errorText, QStringLiteral("ファイルサイズエラー（上限超過）"), 18237, name,
                      FormatByteSize(size), FormatByteSize(user.maxFileSize));
    return true;
}

bool CSharedGuiSystem::CheckFolderName(qint32 parentId, const QString &name, QString *errorText,
                                       QString *trimmedName)
{
    const QString trimmed = name.trimmed();
    if (trimmedName)
        *trimmedName = trimmed;
    if (trimmed.isEmpty()) {
        // Nothing typed is no error to tell about.
        if (errorText)
            errorText->clear();
        return false;
    }
    const CUserRecord &user = UserOf(m_loginManager);
    CSharedWorkspaceManager *folders = sharedWorkspaces();
    // The root (0) is no folder of the list: top-level folders are not created here.
    const CWorkspaceRecord *parent
        = folders && parentId > 0 ? folders->FindById(parentId) : nullptr;
    if (!parent)
        return Refuse(errorText, QStringLiteral("フォルダエラー"), 18232);
    if (!(parent->isDataBox ? user.privFolderCreateDataBox : user.privFolderCreate))
        return Refuse(errorText, QStringLiteral("フォルダ作成権限なし"), 18365);
    if (parent->Depth() >= user.maxFolderDepth)
        return Refuse(
            errorText,
            BizFormat(QStringLiteral("フォルダ階層数エラー（%d）"), {user.maxFolderDepth}), 18242,
            user.maxFolderDepth);
    const int length = int(trimmed.size());
    if (length > user.maxSubFolderLength)
        return Refuse(errorText,
                      BizFormat(QStringLiteral("フォルダ名長エラー（%d/%d）"),
                                {length, user.maxSubFolderLength}),
                      18240, trimmed, length, user.maxSubFolderLength);
    if (ContainsAnyOf(trimmed, FolderNameForbidden()))
        return Refuse(errorText,
                      BizFormat(QStringLiteral("禁止文字（%s）エラー"), {FolderNameForbidden()}),
                      18247, trimmed, FolderNameForbidden());
    if (folders->ChildByName(parentId, trimmed))
        return Refuse(errorText, QStringLiteral("フォルダ名重複"), 18334, trimmed);
    return true;
}

bool CSharedGuiSystem::CheckLocalPathLength(int length, const QString &name, QString *errorText)
{
    constexpr int limit = CLocalFileManager::MaxLocalPath;
    if (length <= limit)
        return true;
    return Refuse(errorText, BizFormat(QStringLiteral("パス名長エラー(%d/%d)"), {length, limit}),
                  18241, name, length, limit);
}

QString CSharedGuiSystem::FaultLogText(const QString &faultCode, ELogOperation kind,
                                       const CSharedFileRecord *record) const
{
    const bool add = kind == ELogOperation::Add;
    if (faultCode == u"40008") {
        const QString what = add ? QStringLiteral("上書き先ファイルエラー")
                             : kind == ELogOperation::Copy
                                 ? QStringLiteral("コピー元ファイルエラー")
                                 : QStringLiteral("移動元ファイルエラー");
        QString status = record ? record->statusText : QString();
        // A record fetched for the item has not been through the list's derivation.
        if (status.isEmpty() && record)
            status
                = FileStatusText::ForLock(record->lockKey, record->lockDispName,
                                          m_loginManager ? m_loginManager->clientKey() : QString());
        if (status.isEmpty())
            status = QStringLiteral("使用中");
        return BizFormat(QStringLiteral("%s(%s)"), {what, status});
    }
    if (faultCode == u"40012")
        return BizFormat(QStringLiteral("ファイル数上限エラー(%d)"),
                         {UserOf(m_loginManager).maxFileNum});
    if (!add)
        return {};
    if (faultCode == u"10009")
        return QStringLiteral("ファイルサイズエラー（空）");
    if (faultCode == u"30004")
        return QStringLiteral("フォルダ作成権限なし");
    if (faultCode == u"30007")
        return QStringLiteral("フォルダ階層数エラー");
    if (faultCode == u"40014")
        return QStringLiteral("ファイル追加権限なし");
    if (faultCode == u"40017")
        return QStringLiteral("容量制限エラー");
    return {};
}

bool CSharedGuiSystem::CheckAddTarget(qint32 folderId)
{
    // The favourites view is the one view with a negative id.
    if (folderId < 0) {
        ShowErrorMessage(18244);
        return false;
    }
    if (folderId == FolderId::AllFolders) {
        ShowErrorMessage(18245);
        return false;
    }
    CSharedWorkspaceManager *folders = sharedWorkspaces();
    const CWorkspaceRecord *folder = folders ? folders->FindById(folderId) : nullptr;
    if (folder && folder->IsFolderGroup()) {
        ShowErrorMessage(18246);
        return false;
    }
    // A folder that is not known any more is the name check's to report.
    return true;
}

bool CSharedGuiSystem::CheckAddCount(const QStringList &localPaths)
{
    int count = 0;
    for (const QString &path : localPaths) {
        if (!QFileInfo(path).isDir())
            ++count;
    }
    const CUserRecord *user = m_loginManager ? m_loginManager->currentUser() : nullptr;
    const int limit = user ? user->maxFileCreate : kDefaultMaxFileCreate;
    if (count <= limit)
        return true;
    ShowErrorMessage(18338, count, limit);
    return false;
}

QString CSharedGuiSystem::FieldMissingText(const QString &label)
{
    return detail::ComposeMessage(17676, label);
}

QString CSharedGuiSystem::FieldTooLongText(const QString &label, int limit)
{
    return detail::ComposeMessage(17677, label, limit);
}

QString CSharedGuiSystem::FieldForbiddenText(const QString &label, bool folderName)
{
    return detail::ComposeMessage(17680, label,
                                  folderName ? FolderNameForbidden() : FileNameForbidden());
}
