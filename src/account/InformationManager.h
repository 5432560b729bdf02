#pragma once

#include "HasLoginManager.h"

#include <QtGlobal>

// The notice counters the online main window shows, as the service last counted them.
class CInformationManager : public CHasLoginManager
{
public:
    using CHasLoginManager::CHasLoginManager;

    // Fetches the three counters. A failure (false, or a fault that raises) keeps the
    // previous values.
    bool RefreshCounts();

    qint32 allInformationCount() const { return m_all; }
    qint32 unreadInformationCount() const { return m_unread; }
    // The unread important notices the main window offers to show at once.
    qint32 unreadPopupInformationCount() const { return m_unreadPopup; }

private:
    qint32 m_all = 0;
    qint32 m_unread = 0;
    qint32 m_unreadPopup = 0;
};
