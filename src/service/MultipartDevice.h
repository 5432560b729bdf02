#pragma once

#include "TransferDigest.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

// The body of a multipart upload: preamble, the file read ahead in blocks, trailer. Random
// access so that the network layer can rewind it; the digest covers each file byte once,
// whatever is re-read. Qt asks for 16 KiB per hand-over and waits for each one, so a
// hand-over must be a copy and nothing more: the file is read a block at a time and
// digested on a worker.
class CMultipartDevice : public QIODevice
{
public:
    CMultipartDevice(QByteArray preamble, const QString &path, qint64 fileSize, QByteArray trailer);

    bool open(OpenMode mode) override;
    void close() override;
    bool seek(qint64 pos) override;
    bool reset() override { return seek(0); }
    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool atEnd() const override { return m_pos >= size(); }
    qint64 bytesAvailable() const override;

    // File bytes handed to the network layer so far.
    qint64 fileBytesRead() const { return m_fileBytesOut; }
    // The MD5 of the file bytes; false until every file byte has been read once.
    bool FinishDigest(QString *hex);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 ReadAt(qint64 at, char *data, qint64 maxSize);
    bool LoadBlock(qint64 offset);

    QByteArray m_preamble;
    QFile m_file;
    qint64 m_fileSize;
    QByteArray m_trailer;
    CBlockPool m_pool;
    QByteArray m_block;
    qint64 m_blockStart = 0;
    qint64 m_blockSize = 0;
    qint64 m_hashed = 0;
    qint64 m_fileBytesOut = 0;
    qint64 m_pos = 0;
    CDigestPipe m_digest; // last: its worker stops before the blocks go
};
