#pragma once

#include "TempInstallation.h"

#include <QByteArray>
#include <QString>

// A fake desktop application, registered the way a desktop registers one: the script (a
// shell script body) under the installation's bin folder, its desktop entry "fakeapp.desktop"
// under the test's XDG data home, made the default of spreadsheets, CSV and text in the
// user's mimeapps.list. XDG_DATA_DIRS and XDG_CONFIG_DIRS point at the test's own folders,
// so no application of the machine answers (the shared MIME database stays visible).
// Answers the script's path; empty when a file could not be written.
QString RegisterFakeApplication(TempInstallation &installation, const QByteArray &script);
