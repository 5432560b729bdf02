#pragma once

#include "support/Files.h"
#include "support/TempInstallation.h"

// A temporary installation of the no-UI layout (the working directory is the installation
// folder), a temporary HOME, captured messages and captured log output (every velquor
// category switched on).
class AccountFixture : public InstallationTest<>
{
protected:
    void SetUp() override
    {
        InstallationTest::SetUp();
        installation.CaptureLog();
    }

    QString base() const { return installation.installation(); }
    QString home() const { return installation.home(); }
    QString dataFolder() const { return installation.dataFolder(); }
    QString loginsFile() const { return dataFolder() + QStringLiteral("/logins.vqr"); }

    // Fails the test when a secret shows up in a message or a log line.
    void ExpectNoSecret(const QString &secret) const { installation.ExpectNoSecret(secret); }

    QStringList &log = installation.log;
};
