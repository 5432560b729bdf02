#pragma once

#include "CommandLine.h"

#include <QByteArray>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class CSingleInstance;
class QSettings;

// The framework layer of the application object: start-up steps up to the command line,
// settings, the single-instance check, the modal-state counter and the exit code. Exactly
// one application object exists while the program runs (instance()).
//
//     CMainApp app;
//     const qint32 code = app.Run(QCoreApplication::arguments());
//     return ProcessExitStatus(code);
class CBizApp
{
public:
    CBizApp();
    virtual ~CBizApp();
    CBizApp(const CBizApp &) = delete;
    CBizApp &operator=(const CBizApp &) = delete;

    static CBizApp *instance();

    // InitInstance, then ExitInstance; answers the full exit code. An exception that either
    // lets escape is shown and ends the run with ExitCode::SystemStartFailed (unless a code
    // was set already).
    qint32 Run(const QStringList &arguments);

    qint32 exitCode() const { return m_exitCode; }
    void SetExitCode(qint32 code) { m_exitCode = code; }
    QString registryKey() const { return m_registryKey; }
    QString profileName() const { return m_profileName; }
    bool isSupportMode() const { return m_supportMode; }
    // Shift and Ctrl held at start (the UI layer reads the keyboard).
    void SetSupportModeKeysHeld(bool held) { m_supportKeysHeld = held; }
    const CBizCommandLineInfo &commandLineInfo() const { return m_commandLineInfo; }
    const CBizCommandLine &commandLine() const { return m_commandLine; }

    // Settings of this user (QSettings("KDW", "VELQUOR.V2")); sections pass through
    // MapProfileSection.
    int GetProfileInt(const QString &section, const QString &entry, int defaultValue);
    bool WriteProfileInt(const QString &section, const QString &entry, int value);
    QString GetProfileString(const QString &section, const QString &entry,
                             const QString &defaultValue = {});
    bool WriteProfileString(const QString &section, const QString &entry, const QString &value);
    bool GetProfileBinary(const QString &section, const QString &entry, QByteArray &data);
    bool WriteProfileBinary(const QString &section, const QString &entry, const QByteArray &data);
    void SyncProfile();

    // Window placement: "style" (minimised/maximised bits) and "rect" of a section.
    void SaveWindowPlacement(const QString &section, int styleBits, const QRect &rect);
    // False when nothing usable is stored; styleBits defaults to 0.
    bool ReadWindowPlacement(const QString &section, int &styleBits, QRect &rect);

    virtual QString GetInstanceName() const;
    virtual void OnAlreadyRunning();
    virtual void AdjustAppName();
    virtual void AddAllowedSwitches(CBizCommandLine &commandLine);
    virtual bool HandleSwitches(const CBizCommandLine &commandLine);
    virtual void OnModalBegin(QObject *owner, int argument, int depth);
    virtual void OnModalEnd(QObject *owner, int argument, int oldDepth, bool activate);
    virtual void BeginModalState();
    virtual void EndModalState();

    // The modal-state counter around every modal dialog. owner nullptr: the active window.
    void BeginModalState(QObject *owner, int argument);
    void EndModalState(bool activate);
    int modalDepth() const { return m_modalDepth; }

protected:
    // Steps up to the filtered command line; false ends the program (exit code set).
    virtual bool InitInstance();
    virtual int ExitInstance();
    // The operating-system check of the start.
    virtual bool CheckOs();
    virtual QString MapProfileSection(const QString &section) const { return section; }
    // Where the single-instance lock lives.
    virtual QString InstanceLockPath() const;
    bool CheckSingleInstance();
    // Window hooks of the UI layer.
    virtual QObject *ActiveWindow() const { return nullptr; }
    virtual void ActivateWindow(QObject *) {}
    virtual void OnActivationRequested() {}
    // Fails the start: shows the text as an error and sets the exit code.
    bool FailStart(const QString &text, qint32 code);
    // Runs a step of Run inside the outermost exception boundary; false when it failed.
    bool RunGuarded(const std::function<void()> &step);

    QSettings &settings();

    QString m_registryKey;
    QString m_profileName;
    bool m_supportMode = false;
    bool m_supportKeysHeld = false;
    qint32 m_exitCode = 0;
    QStringList m_arguments;
    CBizCommandLineInfo m_commandLineInfo;
    CBizCommandLine m_commandLine;
    std::unique_ptr<CSingleInstance> m_singleInstance;
    std::unique_ptr<QSettings> m_settings;

private:
    int m_modalDepth = 0;
    QPointer<QObject> m_modalOwner;
    int m_modalArgument = 0;
};
