#pragma once

#include "DateTimeValue.h"

#include <QByteArray>
#include <QString>

// The binary encoding of the archive state files (logins.vqr, fileTypes.vqr, comments.vqr,
// bulkDownload.vqr): fields one after the other, little-endian, no header, no padding.
//
//   word 2 bytes | int32 4 | int64 8 | double 8 (IEEE 754)
//   count: word below 0xFFFF, else FF FF and the count as int32
//   text: marker FF FE FF, length, UTF-16LE code units; length below 0xFF one byte, below
//         0xFFFE FF + word, else FF FF FF + int32 ("" is FF FE FF 00)
//   date-time: status int32 (0 valid, 1 invalid, 2 null), then the value as double
//
// Old versions wrote texts without the marker as single-byte CP932; the reader accepts them.

// Appends fields to a byte array: its own, or one the caller gives.
class CBizArchiveWriter
{
public:
    CBizArchiveWriter()
        : m_data(&m_own)
    {}
    explicit CBizArchiveWriter(QByteArray &target)
        : m_data(&target)
    {}
    CBizArchiveWriter(const CBizArchiveWriter &) = delete;
    CBizArchiveWriter &operator=(const CBizArchiveWriter &) = delete;

    void WriteByte(quint8 value);
    void WriteWord(quint16 value);
    void WriteInt32(qint32 value);
    void WriteUInt32(quint32 value) { WriteInt32(qint32(value)); }
    void WriteInt64(qint64 value);
    void WriteDouble(double value);
    void WriteBool(bool value) { WriteInt32(value ? 1 : 0); }
    void WriteCount(quint32 count);
    void WriteText(const QString &text);
    void WriteDateTime(const CDateTimeValue &value);

    const QByteArray &data() const { return *m_data; }
    qsizetype size() const { return m_data->size(); }

private:
    QByteArray m_own;
    QByteArray *m_data;
};

// Reads fields from a byte array. Every read checks the bytes left first, and every length
// and count is checked against them before anything is allocated, so a damaged file ends in
// CBizArchiveException (EndOfFile when a field needs more bytes than remain, BadFormat for
// a malformed field) and never in a crash or a huge allocation. The path only labels the
// exception.
class CBizArchiveReader
{
public:
    explicit CBizArchiveReader(const QByteArray &data, const QString &path = {});
    CBizArchiveReader(const CBizArchiveReader &) = delete;
    CBizArchiveReader &operator=(const CBizArchiveReader &) = delete;

    quint8 ReadByte();
    quint16 ReadWord();
    qint32 ReadInt32();
    quint32 ReadUInt32() { return quint32(ReadInt32()); }
    qint64 ReadInt64();
    double ReadDouble();
    bool ReadBool() { return ReadInt32() != 0; }
    // A count of items each at least minItemBytes long when encoded: a count that the
    // remaining bytes cannot hold raises EndOfFile, so callers may reserve() with it.
    quint32 ReadCount(qsizetype minItemBytes = 1);
    QString ReadText();
    // A status other than valid, invalid or null raises BadFormat.
    CDateTimeValue ReadDateTime();

    qsizetype position() const { return m_pos; }
    qsizetype remaining() const { return m_data.size() - m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    QString path() const { return m_path; }

    [[noreturn]] void ThrowEndOfFile() const;
    [[noreturn]] void ThrowBadFormat() const;

private:
    const char *Take(qsizetype bytes);

    QByteArray m_data;
    QString m_path;
    qsizetype m_pos = 0;
};

// Largest archive file read; state files are a few kilobytes, a bigger one is damaged.
constexpr qint64 MaxArchiveFileSize = 64 * 1024 * 1024;

// The whole file. A missing or unreadable file raises CBizFileException (cause and path);
// a file larger than MaxArchiveFileSize raises CBizArchiveException BadFormat.
QByteArray LoadArchiveFile(const QString &path);

// Replaces the file atomically (temporary file, then rename), creating missing folders.
// A failure raises CBizFileException and leaves the previous file as it was.
void SaveArchiveFile(const QString &path, const QByteArray &data);
