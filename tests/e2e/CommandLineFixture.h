#pragma once

// The no-UI download run as a scheduler runs it: the real program as a process, its
// installation (vqrdata/server.vqr pointing at a devserver) as the current directory, a
// destination folder, no display.

#include "support/DevServer.h"
#include "support/Files.h"
#include "support/TempInstallation.h"

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

struct SProgramRun
{
    int status = -1; // the process exit status
    QString out;     // standard output: the full exit code
    QString err;
    bool finished = false;
};

class CommandLineFixture : public InstallationTest<>
{
protected:
    void SetUp() override;

    QString root() const { return installation.root(); }
    QString installFolder() const { return installation.installation(); }
    QString destination() const { return installation.path(QStringLiteral("dest")); }

    // The download switches for the demo office (plain password).
    QStringList downloadArgs(const QString &source, const QString &destinationFolder,
                             const QString &loginId = QStringLiteral("yamada"),
                             const QString &password = QStringLiteral("yamada-pass")) const;
    // Runs the program to its end; whileRunning (optional) is called every 20 ms and may
    // act on the run (it answers false once it has nothing more to do).
    SProgramRun runProgram(const QStringList &args,
                           const std::function<bool()> &whileRunning = {}) const;

    // Names of the files in a folder (no dot-files unless asked), sorted.
    static QStringList filesIn(const QString &folder, bool withHidden = false);
    // The digest the devserver keeps for a file ("id size digest lockKey" of the hook).
    QByteArray serverDigest(const QString &folderPath, const QString &name) const;
    // The file names of a folder in the service's list order (the order of the run).
    QStringList serviceListOrder(const QString &folderPath) const;

    static qint32 faultCode(int fault) { return qint32(0x20000000 | fault); }

    std::unique_ptr<DevServer> m_server;
};
