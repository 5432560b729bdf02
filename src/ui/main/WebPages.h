#pragma once

#include <QString>

#include <functional>

// The service's web pages in the user's browser.

// The client page "a/login" (clientPrefix) with accessKey and command ("info", "popup",
// "recent"), or, management, the administration log-in "u/login.do" (managePrefix) with the
// command "loginClient": the form-encoded query appended with "%s?%s".
QString ServicePageUrl(const QString &accessKey, const QString &command, bool management = false);

// Opens an address in the desktop's browser: the default handler of x-scheme-handler/https
// (or http), started detached with the address; without one, Qt's desktop services. False
// when nothing could be started. Tests replace the opener.
using UrlOpener = std::function<bool(const QString &url)>;
bool OpenWebPage(const QString &url);
// Replaces the opener (empty: the desktop's); answers the previous one.
UrlOpener SetUrlOpener(UrlOpener opener);
