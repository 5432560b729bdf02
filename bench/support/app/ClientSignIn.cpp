#include "ClientSignIn.h"

#include "account/LoginManager.h"
#include "app/System.h"
#include "files/FileTypeManager.h"
#include "folders/SharedWorkspaceManager.h"

#include <cstdio>

namespace bench {

bool SignInAsYamada(CSystemObjects &systems, bool savePassword)
{
    CSharedSystem *shared = systems.shared();
    if (!systems.main()->StartReportingErrors()
        || !systems.main()->loginManager()->SignIn(QStringLiteral("demo"), QStringLiteral("yamada"),
                                                   QStringLiteral("yamada-pass"), savePassword)
        || !shared->Start())
        return false;
    systems.local()->AttachShared(shared);
    return shared->sharedWorkspaces()->Load() && shared->sharedFileTypes()->Load();
}

int ChildFirstSignIn()
{
    CSystemObjects systems;
    if (!SignInAsYamada(systems) || !systems.main()->loginManager()->SaveSavedLogins())
        return 2;
    std::printf("clientkey %s\n", qPrintable(systems.main()->loginManager()->clientKey()));
    return 0;
}

} // namespace bench
