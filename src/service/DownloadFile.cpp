#include "DownloadFile.h"

#include "core/BizException.h"
#include "core/FileSystem.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdio>

CDownloadFile::CDownloadFile(const QString &target, const QString &downloadCopy, bool wantDigest)
    : m_target(target)
    , m_partial(downloadCopy)
    , m_ownCopy(!downloadCopy.isEmpty())
{
    if (wantDigest)
        m_digest.emplace();
}

CDownloadFile::~CDownloadFile()
{
    m_file.close();
    if (!m_committed && !m_partial.isEmpty())
        QFile::remove(m_partial);
}

bool CDownloadFile::Open(bool resume)
{
    if (!m_ownCopy) {
        try {
            // A file written for the user: the mode of any new file of theirs, not the
            // private mode of a temporary file, survives the rename.
            m_partial = CreateTemporarySibling(m_target);
        } catch (const CBizOsException &) {
            return false;
        }
        if (resume && QFileInfo::exists(m_target)) {
            // The bytes already present are the target's; continue them in the copy.
            QFile::remove(m_partial);
            if (!QFile::copy(m_target, m_partial))
                return false;
        }
    }
    m_file.setFileName(m_partial);
    // Unbuffered: the blocks are large already, a second copy buys nothing.
    if (!m_file.open((resume ? QIODevice::ReadWrite : (QIODevice::WriteOnly | QIODevice::Truncate))
                     | QIODevice::Unbuffered))
        return false;
    m_length = resume ? m_file.size() : 0;
    return true;
}

void CDownloadFile::Restart()
{
    m_file.resize(0);
    m_file.seek(0);
    m_length = 0;
}

bool CDownloadFile::DigestPresent(const std::function<bool(qint64)> &advance)
{
    if (m_length > 0 && m_digest) {
        m_file.seek(0);
        qint64 done = 0;
        while (done < m_length) {
            QByteArray &block = m_pool.Next();
            const qint64 n
                = m_file.read(block.data(), std::min<qint64>(block.size(), m_length - done));
            if (n <= 0)
                throw CBizFileException(CBizFileException::HardIO, m_partial);
            m_digest->Add(block, 0, n);
            done += n;
            if (!advance(done))
                return false;
        }
    }
    m_file.seek(m_length);
    return true;
}

qint64 CDownloadFile::AppendFrom(QIODevice &source)
{
    // The body goes straight from the network layer's buffer into a block, from there to
    // the disk; a full block goes on to the digest thread.
    if (!m_block)
        m_block = &m_pool.Next();
    const qint64 n = source.read(m_block->data() + m_filled, m_block->size() - m_filled);
    if (n <= 0)
        return 0;
    if (m_file.write(m_block->constData() + m_filled, n) != n)
        throw CBizFileException(CBizFileException::CauseFromErrno(errno), m_partial);
    m_filled += n;
    m_length += n;
    if (m_filled == m_block->size())
        PassOn();
    return n;
}

void CDownloadFile::PassOn()
{
    if (m_digest && m_block && m_filled > 0)
        m_digest->Add(*m_block, 0, m_filled);
    m_block = nullptr;
    m_filled = 0;
}

QString CDownloadFile::Finish()
{
    if (!m_file.flush())
        throw CBizFileException(CBizFileException::CauseFromErrno(errno), m_partial);
    m_file.close();
    if (!m_digest)
        return {};
    PassOn();
    return m_digest->Finish();
}

void CDownloadFile::Commit()
{
    if (m_partial != m_target
        && std::rename(QFile::encodeName(m_partial).constData(),
                       QFile::encodeName(m_target).constData())
               != 0)
        throw CBizOsException(CBizOsException::FromErrno(errno), m_target);
    m_committed = true;
}
