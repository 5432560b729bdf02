#pragma once

#include "BizProgress.h"

// Base of every manager (owned by a system object).
class CManager : public CBizHasProgress
{
public:
    CManager() = default;
    CManager(const CManager &) = delete;
    CManager &operator=(const CManager &) = delete;
};
