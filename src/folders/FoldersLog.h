#pragma once

#include <QLoggingCategory>

// Folder ids, counts and fault codes only: never an access key. Folder names are the
// office's data and are logged at debug level only.
Q_DECLARE_LOGGING_CATEGORY(lcFolders)
