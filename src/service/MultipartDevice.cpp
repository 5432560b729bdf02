#include "MultipartDevice.h"

#include <algorithm>
#include <cstring>

CMultipartDevice::CMultipartDevice(QByteArray preamble, const QString &path, qint64 fileSize,
                                   QByteArray trailer)
    : m_preamble(std::move(preamble))
    , m_file(path)
    , m_fileSize(fileSize)
    , m_trailer(std::move(trailer))
{}

bool CMultipartDevice::open(OpenMode mode)
{
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    m_pos = 0;
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

void CMultipartDevice::close()
{
    m_file.close();
    QIODevice::close();
}

bool CMultipartDevice::seek(qint64 pos)
{
    if (pos < 0 || pos > size())
        return false;
    m_pos = pos;
    return QIODevice::seek(pos);
}

qint64 CMultipartDevice::size() const
{
    return m_preamble.size() + m_fileSize + m_trailer.size();
}

qint64 CMultipartDevice::bytesAvailable() const
{
    return size() - m_pos + QIODevice::bytesAvailable();
}

bool CMultipartDevice::FinishDigest(QString *hex)
{
    if (m_hashed != m_fileSize)
        return false;
    if (hex)
        *hex = m_digest.Finish();
    return true;
}

qint64 CMultipartDevice::readData(char *data, qint64 maxSize)
{
    qint64 total = 0;
    while (total < maxSize) {
        const qint64 n = ReadAt(m_pos, data + total, maxSize - total);
        if (n < 0)
            return total > 0 ? total : -1;
        if (n == 0)
            break;
        total += n;
        m_pos += n;
    }
    const qint64 fileEnd = std::clamp<qint64>(m_pos - m_preamble.size(), 0, m_fileSize);
    m_fileBytesOut = std::max(m_fileBytesOut, fileEnd);
    return total;
}

qint64 CMultipartDevice::ReadAt(qint64 at, char *data, qint64 maxSize)
{
    const qint64 pre = m_preamble.size();
    if (at < pre) {
        const qint64 n = std::min(maxSize, pre - at);
        memcpy(data, m_preamble.constData() + at, size_t(n));
        return n;
    }
    if (at < pre + m_fileSize) {
        const qint64 offset = at - pre;
        if (m_block.isNull() || offset < m_blockStart || offset >= m_blockStart + m_blockSize) {
            if (!LoadBlock(offset))
                return -1; // the file shrank or failed: the upload must fail
        }
        const qint64 n = std::min(maxSize, m_blockStart + m_blockSize - offset);
        memcpy(data, m_block.constData() + (offset - m_blockStart), size_t(n));
        return n;
    }
    const qint64 t = at - pre - m_fileSize;
    if (t >= m_trailer.size())
        return 0;
    const qint64 n = std::min(maxSize, m_trailer.size() - t);
    memcpy(data, m_trailer.constData() + t, size_t(n));
    return n;
}

bool CMultipartDevice::LoadBlock(qint64 offset)
{
    QByteArray &block = m_pool.Next();
    const qint64 want = std::min<qint64>(block.size(), m_fileSize - offset);
    if (m_file.pos() != offset && !m_file.seek(offset))
        return false;
    qint64 got = 0;
    while (got < want) {
        const qint64 n = m_file.read(block.data() + got, want - got);
        if (n <= 0)
            return false;
        got += n;
    }
    m_block = block; // shared with the pool: refilled once nobody else holds it
    m_blockStart = offset;
    m_blockSize = got;
    if (offset + got > m_hashed && offset <= m_hashed) {
        const qint64 skip = m_hashed - offset;
        m_digest.Add(block, skip, got - skip);
        m_hashed = offset + got;
    }
    return true;
}
