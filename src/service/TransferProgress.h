#pragma once

#include "core/BizProgress.h"

#include <climits>

// Tracks the progress of one transfer in bytes; large files are counted in KiB so that the
// 32-bit positions of the progress protocol never overflow.
class CTransferProgress
{
public:
    explicit CTransferProgress(CBizProgressHandler *handler)
        : m_handler(handler)
    {}
    void Begin(qint64 total)
    {
        if (!m_handler)
            return;
        m_shift = total > INT_MAX / 2 ? 10 : 0;
        m_handler->Begin(total < 0 ? -1 : qint32(total >> m_shift));
    }
    // False once the user cancelled.
    bool AdvanceTo(qint64 bytes)
    {
        if (!m_handler)
            return true;
        const qint32 units = qint32(bytes >> m_shift);
        if (units == m_reported)
            return m_handler->Continue();
        const qint32 delta = units - m_reported;
        m_reported = units;
        return m_handler->StepBy(delta);
    }

private:
    CBizProgressHandler *m_handler;
    int m_shift = 0;
    qint32 m_reported = 0;
};
