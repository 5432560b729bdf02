#pragma once

#include "support/Files.h"
#include "support/TempInstallation.h"

// A temporary installation of the no-UI layout (the installation folder is the working
// directory) with HOME inside it; every message is captured.
class CoreFixture : public InstallationTest<>
{
protected:
    QString root() const { return installation.root(); }
    QString base() const { return installation.installation(); }
    QString home() const { return installation.home(); }

    std::vector<SShownMessage> &shown = installation.shown;
};
