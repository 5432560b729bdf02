#pragma once

#include <QString>

// Names from the service become local file or folder names only through this check, so a
// hostile name ("..", "a/../../x", "C:") can never leave the login's store.
//
// True only for a non-empty name that is not "." or "..", holds no '/' or '\', none of
// : * ? " < > | and no control character (U+0000-U+001F, U+007F-U+009F).
bool IsValidPathComponent(const QString &name);
