#include "Files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>

#include <functional>

#include <sys/stat.h>

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size()
           && f.flush();
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Md5Of(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&f);
    return hash.result().toHex();
}

int FileMode(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

QByteArray Utf16LeWithBom(const QString &text)
{
    QByteArray b("\xff\xfe", 2);
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        b.append(char(u & 0xFF));
        b.append(char(u >> 8));
    }
    return b;
}

QStringList Listing(const QString &dir)
{
    QStringList out;
    std::function<void(const QString &, const QString &)> walk = [&](const QString &abs,
                                                                     const QString &rel) {
        const QFileInfoList entries = QDir(abs).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo &e : entries) {
            const QString r = rel.isEmpty() ? e.fileName() : rel + u'/' + e.fileName();
            if (e.isDir() && !e.isSymLink()) {
                out << r + u'/';
                walk(e.filePath(), r);
            } else {
                out << r;
            }
        }
    };
    walk(dir, {});
    return out;
}

namespace {

QString serverVqrPath(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("server.vqr"));
}

SettingList readServerVqr(const QString &dataFolder)
{
    QByteArray bytes = ReadFile(serverVqrPath(dataFolder));
    if (bytes.startsWith("\xff\xfe"))
        bytes.remove(0, 2);
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                                            bytes.size() / 2);
    SettingList settings;
    for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            settings.append({line.left(eq), line.mid(eq + 1)});
    }
    return settings;
}

} // namespace

bool WriteServerVqr(const QString &dataFolder, const SettingList &settings)
{
    QString text;
    for (const auto &[key, value] : settings)
        text += key + u'=' + value + QStringLiteral("\r\n");
    return WriteFile(serverVqrPath(dataFolder), Utf16LeWithBom(text));
}

bool UpdateServerVqr(const QString &dataFolder, const SettingList &settings)
{
    SettingList merged = readServerVqr(dataFolder);
    for (const auto &[key, value] : settings) {
        bool replaced = false;
        for (auto &line : merged) {
            if (line.first == key) {
                line.second = value;
                replaced = true;
            }
        }
        if (!replaced)
            merged.append({key, value});
    }
    return WriteServerVqr(dataFolder, merged);
}

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    return probe.serverPort();
}
