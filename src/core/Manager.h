#pragma once

#include "BizProgress.h"

class CLoginManager;

// Base of every manager (owned by a system object).
class CManager : public CBizHasProgress
{
public:
    CManager() = default;
    CManager(const CManager &) = delete;
    CManager &operator=(const CManager &) = delete;
};

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
