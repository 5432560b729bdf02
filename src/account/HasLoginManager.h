#pragma once

#include "core/Manager.h"

class CLoginManager;

// A manager that works for the signed-in user; refers to the one login manager, never
// owns it.
class CHasLoginManager : public CManager
{
public:
    explicit CHasLoginManager(CLoginManager *loginManager)
        : m_loginManager(loginManager)
    {}
    CLoginManager *loginManager() const { return m_loginManager; }

protected:
    CLoginManager *m_loginManager;
};
