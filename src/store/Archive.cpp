#include "Archive.h"

#include "AnsiCodec.h"
#include "StoreLog.h"
#include "core/BizException.h"
#include "core/FileSystem.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>

// --- writer -----------------------------------------------------------------------------

void CBizArchiveWriter::WriteByte(quint8 value)
{
    m_data->append(char(value));
}

void CBizArchiveWriter::WriteWord(quint16 value)
{
    char b[2];
    qToLittleEndian(value, b);
    m_data->append(b, 2);
}

void CBizArchiveWriter::WriteInt32(qint32 value)
{
    char b[4];
    qToLittleEndian(value, b);
    m_data->append(b, 4);
}

void CBizArchiveWriter::WriteInt64(qint64 value)
{
    char b[8];
    qToLittleEndian(value, b);
    m_data->append(b, 8);
}

void CBizArchiveWriter::WriteDouble(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    WriteInt64(qint64(bits));
}

void CBizArchiveWriter::WriteCount(quint32 count)
{
    if (count < 0xFFFF) {
        WriteWord(quint16(count));
    } else {
        WriteWord(0xFFFF);
        WriteUInt32(count);
    }
}

void CBizArchiveWriter::WriteText(const QString &text)
{
    WriteByte(0xFF);
    WriteWord(0xFFFE);
    const qsizetype length = text.size();
    if (length < 0xFF) {
        WriteByte(quint8(length));
    } else if (length < 0xFFFE) {
        WriteByte(0xFF);
        WriteWord(quint16(length));
    } else {
        WriteByte(0xFF);
        WriteWord(0xFFFF);
        WriteUInt32(quint32(length));
    }
    const qsizetype start = m_data->size();
    m_data->resize(start + length * 2);
    char *out = m_data->data() + start;
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    for (qsizetype i = 0; i < length; ++i)
        qToLittleEndian(quint16(units[i]), out + 2 * i);
}

void CBizArchiveWriter::WriteDateTime(const CDateTimeValue &value)
{
    WriteInt32(value.status);
    WriteDouble(value.value);
}

// --- reader -----------------------------------------------------------------------------

CBizArchiveReader::CBizArchiveReader(const QByteArray &data, const QString &path)
    : m_data(data)
    , m_path(path)
{}

void CBizArchiveReader::ThrowEndOfFile() const
{
    throw CBizArchiveException(CBizArchiveException::EndOfFile, m_path);
}

void CBizArchiveReader::ThrowBadFormat() const
{
    throw CBizArchiveException(CBizArchiveException::BadFormat, m_path);
}

const char *CBizArchiveReader::Take(qsizetype bytes)
{
    if (bytes < 0)
        ThrowBadFormat();
    if (bytes > remaining())
        ThrowEndOfFile();
    const char *p = m_data.constData() + m_pos;
    m_pos += bytes;
    return p;
}

quint8 CBizArchiveReader::ReadByte()
{
    return quint8(*Take(1));
}

quint16 CBizArchiveReader::ReadWord()
{
    return qFromLittleEndian<quint16>(Take(2));
}

qint32 CBizArchiveReader::ReadInt32()
{
    return qFromLittleEndian<qint32>(Take(4));
}

qint64 CBizArchiveReader::ReadInt64()
{
    return qFromLittleEndian<qint64>(Take(8));
}

double CBizArchiveReader::ReadDouble()
{
    const quint64 bits = quint64(ReadInt64());
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

quint32 CBizArchiveReader::ReadCount(qsizetype minItemBytes)
{
    quint32 count = ReadWord();
    if (count == 0xFFFF)
        count = ReadUInt32();
    if (minItemBytes > 0 && qint64(count) > remaining() / minItemBytes)
        ThrowEndOfFile();
    return count;
}

QString CBizArchiveReader::ReadText()
{
    bool utf16 = false;
    quint64 length = ReadByte();
    if (length == 0xFF) {
        quint16 w = ReadWord();
        if (w == 0xFFFE) {
            utf16 = true;
            length = ReadByte();
            if (length == 0xFF)
                w = ReadWord();
        }
        if (length == 0xFF || !utf16)
            length = w < 0xFFFF ? quint64(w) : quint64(ReadUInt32());
    }
    // Checked before anything is allocated: 0x7FFFFFFF code units claimed by a damaged file
    // end here, not in a 4 GB allocation.
    const quint64 bytes = utf16 ? length * 2 : length;
    if (bytes > quint64(remaining()))
        ThrowEndOfFile();
    const char *p = Take(qsizetype(bytes));
    if (!utf16)
        return FromAnsi(QByteArray(p, qsizetype(bytes)));
    QString text(qsizetype(length), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (quint64 i = 0; i < length; ++i)
        out[i] = char16_t(qFromLittleEndian<quint16>(p + 2 * i));
    return text;
}

CDateTimeValue CBizArchiveReader::ReadDateTime()
{
    const qint32 status = ReadInt32();
    const double value = ReadDouble();
    if (status < CDateTimeValue::Valid || status > CDateTimeValue::Null)
        ThrowBadFormat();
    return CDateTimeValue(value, status);
}

// --- files ------------------------------------------------------------------------------

namespace {

int CauseOf(const QFileDevice &file)
{
    switch (file.error()) {
    case QFileDevice::NoError:
        return CBizFileException::GenericException;
    case QFileDevice::PermissionsError:
        return CBizFileException::AccessDenied;
    case QFileDevice::ResourceError:
        return CBizFileException::DiskFull;
    default:
        return CBizFileException::CauseFromErrno(errno);
    }
}

} // namespace

QByteArray LoadArchiveFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int err = errno;
        throw CBizFileException(CBizFileException::CauseFromErrno(err), path, err);
    }
    if (file.size() > MaxArchiveFileSize) {
        qCWarning(lcStore) << "archive too large:" << path << file.size();
        throw CBizArchiveException(CBizArchiveException::BadFormat, path);
    }
    QByteArray data = file.read(MaxArchiveFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw CBizFileException(CBizFileException::HardIO, path);
    if (data.size() > MaxArchiveFileSize)
        throw CBizArchiveException(CBizArchiveException::BadFormat, path);
    return data;
}

void SaveArchiveFile(const QString &path, const QByteArray &data)
{
    // State files live in the data folder, which only the user may read.
    bool created = false;
    try {
        created = CreateFolders(path, true, FolderAccess::Private);
    } catch (const CBizOsException &) {
    }
    if (!created)
        throw CBizFileException(CBizFileException::BadPath, path);
    QSaveFile file(path);
    if (!OpenStateFile(file)) {
        const int err = errno;
        throw CBizFileException(CBizFileException::CauseFromErrno(err), path, err);
    }
    if (file.write(data) != data.size()) {
        const int cause = CauseOf(file);
        file.cancelWriting();
        throw CBizFileException(cause, path);
    }
    if (!file.commit())
        throw CBizFileException(CauseOf(file), path);
}
