#include "TransferDigest.h"

#include <atomic>

CDigestPipe::CDigestPipe()
    : m_thread([this] { Run(); })
{
    m_digest.BeginDigest(); // before any Add: the mutex hands it over to the worker
}

CDigestPipe::~CDigestPipe()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CDigestPipe::Add(const QByteArray &block, qsizetype offset, qsizetype length)
{
    if (length <= 0)
        return;
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] { return m_pending == 0 || m_pending + length <= kBacklog; });
        m_queue.push_back({block, offset, length});
        m_pending += length;
    }
    m_wake.notify_one();
}

QString CDigestPipe::Finish()
{
    std::unique_lock lock(m_mutex);
    m_room.wait(lock, [&] { return m_pending == 0; });
    QString hex;
    m_digest.FinishDigest(&hex);
    return hex;
}

void CDigestPipe::Run()
{
    for (;;) {
        SPiece piece;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            piece = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_digest.AddToDigest(piece.block.constData() + piece.offset, piece.length);
        piece.block = QByteArray(); // the producer may refill it from now on
        {
            std::lock_guard lock(m_mutex);
            m_pending -= piece.length;
        }
        m_room.notify_one();
    }
}

QByteArray &CBlockPool::Next()
{
    for (QByteArray &b : m_blocks) {
        if (b.isDetached()) {
            // Pairs with the worker's release of its reference: its reads are done.
            std::atomic_thread_fence(std::memory_order_acquire);
            return b;
        }
    }
    m_blocks.emplace_back(kTransferBlockSize, Qt::Uninitialized);
    return m_blocks.back();
}
