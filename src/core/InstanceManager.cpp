#include "InstanceManager.h"

#include "BizException.h"
#include "FileSystem.h"
#include "Messages.h"
#include "OsUtils.h"
#include "Paths.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcInstance, "velquor.instance")

namespace {
// An identity is one short line; reading stops long before a damaged huge file matters.
constexpr qint64 kMaxRead = 64 * 1024;
} // namespace

QString CInstanceManager::ReadInstanceFile(const QString &path, bool *readable)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (readable)
            *readable = false;
        return {};
    }
    if (readable)
        *readable = true;
    QByteArray bytes = file.read(kMaxRead);
    if (bytes.startsWith("\xff\xfe"))
        bytes.remove(0, 2);
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                                            bytes.size() / 2);
    qsizetype end = text.size();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' || text[i] == u'\r') {
            end = i;
            break;
        }
    }
    return text.left(end).trimmed();
}

bool CInstanceManager::WriteInstanceFile(const QString &path, const QString &instanceId)
{
    QSaveFile file(path);
    if (!OpenStateFile(file))
        return false;
    QByteArray bytes("\xff\xfe", 2);
    bytes.append(reinterpret_cast<const char *>(instanceId.utf16()), instanceId.size() * 2);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool CInstanceManager::Initialize()
{
    // The path first: a data folder too deep for its files is refused before anything of it
    // is created.
    QString path;
    try {
        path = DataPath({}, FileName());
    } catch (const CBizException &e) {
        qCInfo(lcInstance) << "instance file path unusable:" << e.ErrorMessage();
        ShowErrorMessage(17955);
        return false;
    }
    if (!EnsureDataFolder())
        return false;
    if (PathExists(path)) {
        bool readable = false;
        const QString id = ReadInstanceFile(path, &readable);
        if (!id.isEmpty()) {
            m_instanceId = id;
            return true;
        }
        qCWarning(lcInstance) << "instance file unusable, readable:" << readable;
        ShowWarningMessage(17956, FileName());
        try {
            DeleteFileIfExists(path);
        } catch (const CBizException &e) {
            qCWarning(lcInstance) << "cannot delete the instance file:" << e.ErrorMessage();
        }
    }
    m_instanceId = NewGuidText(false);
    if (!EnsureDataFolder() || m_instanceId.isEmpty())
        return false;
    if (!WriteInstanceFile(path, m_instanceId)) {
        qCWarning(lcInstance) << "cannot write the instance file";
        return false;
    }
    return true;
}

bool CInstanceManager::Save() const
{
    if (m_instanceId.isEmpty())
        return false;
    try {
        // Quietly: a failing save at exit is not worth a message box.
        if (!CreateFolders(DataPath(), false))
            return false;
        return WriteInstanceFile(DataPath({}, FileName()), m_instanceId);
    } catch (const CBizException &) {
        return false;
    }
}
