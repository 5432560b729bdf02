#pragma once

#include "BizApp.h"
#include "System.h"
#include "core/InstanceManager.h"

#include <memory>

// This product's application layer: the instance identity (settings and the lock are kept
// per installation), the server suffix of the name, the no-UI run.
class CApp : public CBizApp
{
public:
    CApp();
    ~CApp() override;

    static CApp *instance() { return static_cast<CApp *>(CBizApp::instance()); }

    bool isNoUiMode() const { return m_noUiMode; }
    // The system objects (main, local, shared), created with the application object and
    // deleted by it.
    CMainSystem &mainSystem() const { return *m_mainSystem; }
    CSystemObjects &systems() const { return *m_systems; }
    // The installation's identity: the main system's instance manager.
    virtual CInstanceManager &instanceManager() const;
    QString instanceId() const { return instanceManager().instanceId(); }

    QString GetInstanceName() const override;
    void AdjustAppName() override;
    void AddAllowedSwitches(CBizCommandLine &commandLine) override;

    // The no-UI run. Answers whether this application handles it, and its exit code.
    virtual bool RunCommandLine(qint32 &exitCode);

protected:
    bool InitInstance() override;
    int ExitInstance() override;
    QString MapProfileSection(const QString &section) const override;
    // The host name configured in the data folder's server.vqr; false without that file.
    virtual bool ReadServerHostName(QString &hostName) const;
    // Writes the no-UI run's exit code (decimal, no line end) to standard output.
    virtual void WriteExitCodeToConsole(qint32 code);

    bool m_noUiMode = false;
    std::unique_ptr<CSystemObjects> m_systems;
    CMainSystem *m_mainSystem; // the systems' main system
    // Only when the main system was built without one (a test factory).
    std::unique_ptr<CInstanceManager> m_ownInstanceManager;
};
