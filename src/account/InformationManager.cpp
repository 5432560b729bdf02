#include "InformationManager.h"

#include "LoginManager.h"
#include "UpdateRequests.h"

bool CInformationManager::RefreshCounts()
{
    CInformationCountRequest request(m_loginManager ? m_loginManager->accessKey() : QString(),
                                     progress());
    // The request reads into its own fields: a partial answer never reaches the counters.
    if (!request.ExecuteGet())
        return false;
    m_all = request.allCount();
    m_unread = request.unreadCount();
    m_unreadPopup = request.unreadPopupCount();
    return true;
}
