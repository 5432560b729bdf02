#include "BizProps.h"

#include "Convert.h"
#include "StoreLog.h"
#include "core/BizException.h"
#include "core/FileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace {

[[noreturn]] void ThrowFileError(const QString &path, int err)
{
    throw CBizFileException(CBizFileException::CauseFromErrno(err), path, err);
}

void AppendUtf16Le(QByteArray &out, const QString &text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size() * 2);
    char *p = out.data() + start;
    for (QChar c : text) {
        *p++ = char(c.unicode() & 0xFF);
        *p++ = char(c.unicode() >> 8);
    }
}

} // namespace

CBizProps::CBizProps(const QString &path)
    : m_path(path)
{}

bool CBizProps::Exists() const
{
    return Exists(m_path);
}

bool CBizProps::Exists(const QString &path) const
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool CBizProps::Load(const QString &path)
{
    const QString file = path.isEmpty() ? m_path : path;
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly))
        ThrowFileError(file, file.isEmpty() ? ENOENT : errno);
    // Settings files are tiny; anything beyond a megabyte is not one of them.
    constexpr qint64 limit = 1024 * 1024;
    const QByteArray content = f.read(limit);
    if (f.error() != QFileDevice::NoError)
        throw CBizFileException(CBizFileException::HardIO, file);
    if (!f.atEnd())
        qCWarning(lcStore) << "properties file truncated at" << limit << "bytes:" << file;
    ParseContent(content);
    return true;
}

bool CBizProps::Save(const QString &path) const
{
    const QString file = path.isEmpty() ? m_path : path;
    if (file.isEmpty())
        return false;
    try {
        if (!CreateFolders(file, true, FolderAccess::Private))
            return false;
    } catch (const CBizOsException &) {
        return false;
    }
    QSaveFile f(file);
    if (!OpenStateFile(f))
        ThrowFileError(file, errno);
    const QByteArray content = ToContent();
    if (f.write(content) != content.size() || !f.commit()) {
        const int err = errno;
        f.cancelWriting();
        ThrowFileError(file, err ? err : EIO);
    }
    return true;
}

void CBizProps::ParseContent(const QByteArray &content)
{
    qsizetype start = 0;
    if (content.size() >= 2 && uchar(content[0]) == 0xFF && uchar(content[1]) == 0xFE)
        start = 2;
    const qsizetype units = (content.size() - start) / 2; // an odd last byte is dropped
    QString text(units, Qt::Uninitialized);
    const char *p = content.constData() + start;
    for (qsizetype i = 0; i < units; ++i)
        text[i] = QChar(char16_t(uchar(p[2 * i]) | (uchar(p[2 * i + 1]) << 8)));

    // Text mode: CR LF is a line end; the last line needs no line end.
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf(u'\n', pos);
        if (end < 0)
            end = text.size();
        QStringView line = QStringView(text).mid(pos, end - pos);
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype eq = line.indexOf(u'=');
        QString key, value;
        if (eq > 0) {
            key = line.left(eq).trimmed().toString();
            value = line.mid(eq + 1).trimmed().toString();
        } else {
            key = line.trimmed().toString();
        }
        m_values.insert(key, value);
        pos = end + 1;
    }
}

QByteArray CBizProps::ToContent() const
{
    QByteArray out;
    out.append(char(0xFF));
    out.append(char(0xFE));
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        // An empty key would come back as the key "=value": only readable entries are kept.
        if (it.key().isEmpty())
            continue;
        AppendUtf16Le(out, it.key() + u'=' + it.value() + u"\r\n");
    }
    return out;
}

QString CBizProps::GetValue(const QString &key) const
{
    OnGet(key);
    return m_values.value(key);
}

void CBizProps::SetValue(const QString &key, const QString &value)
{
    m_values.insert(key, value);
    OnSet(key, value);
}

quint32 CBizProps::GetVersion(const QString &key, quint32 *ls) const
{
    return ParseVersion(GetValue(key), ls);
}

void CBizProps::SetVersion(const QString &key, quint32 ms, quint32 ls)
{
    SetValue(key, FormatVersion(ms, ls));
}

void CBizProps::OnGet(const QString &) const {}
void CBizProps::OnSet(const QString &, const QString &) {}
