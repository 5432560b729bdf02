#pragma once

#include <QLoggingCategory>

// Operation names and statuses only: never a password, client key or access key.
Q_DECLARE_LOGGING_CATEGORY(lcService)
