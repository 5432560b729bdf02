#pragma once

#include "MessageDigest.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// File bytes of a transfer move in blocks of this size: large enough that the per-block
// costs (system calls, hand-over to the digest thread) vanish, small enough to stay in the
// CPU cache between the network copy, the disk write and the digest. Larger writes cost the
// kernel more per byte (256 MB downloaded: 0.2 s system time with 64 KiB writes, 1.0 s with
// 1 MiB).
constexpr qsizetype kTransferBlockSize = 64 * 1024;

// The MD5 of a transfer computed on a worker thread, so that it overlaps with the network
// and the disk instead of adding to them (at some 500 MB/s it would otherwise cost as much
// time as the transfer itself). Blocks are shared, not copied; Add waits while more than
// kBacklog bytes are pending, so memory stays bounded whatever the file size.
class CDigestPipe
{
public:
    static constexpr qint64 kBacklog = 2 << 20;

    CDigestPipe();
    ~CDigestPipe();
    CDigestPipe(const CDigestPipe &) = delete;
    CDigestPipe &operator=(const CDigestPipe &) = delete;

    // Digests bytes [offset, offset + length) of block after everything added before.
    void Add(const QByteArray &block, qsizetype offset, qsizetype length);
    // Waits for the pending blocks; the digest of everything added (once).
    QString Finish();

private:
    struct SPiece
    {
        QByteArray block;
        qsizetype offset = 0;
        qsizetype length = 0;
    };

    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake; // work for the worker
    std::condition_variable m_room; // progress for the producer
    std::deque<SPiece> m_queue;
    qint64 m_pending = 0; // bytes queued or being digested
    bool m_stop = false;
    CBizCryptMessageDigest m_digest; // the worker's until Finish has seen the queue drained
    std::thread m_thread;            // last: starts once everything above exists
};

// Block buffers for one transfer; a block the digest thread still holds is not refilled.
class CBlockPool
{
public:
    QByteArray &Next();

private:
    std::deque<QByteArray> m_blocks; // deque: references stay valid as it grows
};
