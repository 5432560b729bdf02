#include "BizApp.h"

#include "SingleInstance.h"
#include "WindowPlacement.h"
#include "core/AppState.h"
#include "core/ExceptHandler.h"
#include "core/ExitCodes.h"
#include "core/Messages.h"
#include "core/OsUtils.h"
#include "core/Paths.h"
#include "core/Strings.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>

Q_LOGGING_CATEGORY(lcApp, "velquor.app")

namespace {

CBizApp *g_app = nullptr;

constexpr int kAppNameId = 57344;
constexpr int kRegistryKeyId = 17664;
constexpr int kProfileNameId = 17665;

const QString kBadArguments = QStringLiteral("コマンド引数が間違っています。\r\n※起動できません");
const QString kUnexpected = QStringLiteral("予期しないエラーのため終了します。");
const QString kWrongProgram
    = QStringLiteral("起動するプログラムが異なっています。\r\n※起動できません");

QString settingsKey(const QString &section, const QString &entry)
{
    QString s = section;
    s.replace(u'\\', u'/');
    return s.isEmpty() ? entry : s + u'/' + entry;
}

// A document handed to the program: one argument with an extension, given plainly or as
// an absolute path of an existing file (which begins with "/" like a switch).
bool isDocumentArgument(const CBizCommandLineInfo &info, const QStringList &arguments)
{
    if (info.count() != 1 || arguments.size() != 2)
        return false;
    const QString arg = arguments[1];
    const bool plain = info.plainCount() == 1;
    const bool existingPath = arg.startsWith(u'/') && QFileInfo(arg).isFile();
    return (plain || existingPath) && !QFileInfo(arg).suffix().isEmpty();
}

} // namespace

CBizApp::CBizApp()
{
    Q_ASSERT(!g_app);
    g_app = this;
}

CBizApp::~CBizApp()
{
    if (g_app == this)
        g_app = nullptr;
}

CBizApp *CBizApp::instance()
{
    return g_app;
}

qint32 CBizApp::Run(const QStringList &arguments)
{
    m_arguments = arguments;
    // The outermost boundary: whatever a step lets escape ends the run with its message and
    // a failure code, never with an exception leaving the program.
    RunGuarded([this] { InitInstance(); });
    qint32 code = 0;
    if (!RunGuarded([this, &code] { code = ExitInstance(); }))
        code = m_exitCode;
    return code;
}

bool CBizApp::RunGuarded(const std::function<void()> &step)
{
    QString text;
    try {
        step();
        return true;
    } catch (const CBizException &e) {
        CBizExceptHandler handler;
        handler.Set(e);
        text = handler.FullMessage();
    } catch (const std::exception &e) {
        qCCritical(lcApp) << "unexpected failure:" << e.what();
        text = kUnexpected;
    } catch (...) {
        qCCritical(lcApp) << "unexpected failure of an unknown kind";
        text = kUnexpected;
    }
    ShowErrorMessage(text);
    if (m_exitCode == 0)
        m_exitCode = ExitCode::SystemStartFailed;
    return false;
}

bool CBizApp::FailStart(const QString &text, qint32 code)
{
    if (!text.isEmpty())
        ShowErrorMessage(text);
    if (m_exitCode == 0)
        m_exitCode = code;
    return false;
}

bool CBizApp::CheckOs()
{
    return IsSupportedOs();
}

bool CBizApp::InitInstance()
{
    // Support mode: the keys, or the environment where no keyboard can be read.
    m_supportMode = m_supportKeysHeld || qEnvironmentVariable("VELQUOR_SUPPORT_MODE") == u"1";
    AppState::SetSupportMode(m_supportMode);
    m_registryKey = LoadString(kRegistryKeyId);
    m_profileName = LoadString(kProfileNameId);
    AdjustAppName();

    if (!CheckOs()) {
        ShowErrorMessage(17671, AppState::AppName());
        m_exitCode = ExitCode::UnsupportedOs;
        return false;
    }

    // The allowed names are known before parsing: a pending switch takes an absolute path
    // as its value unless the path is itself an allowed switch.
    AddAllowedSwitches(m_commandLine);
    const int count = m_commandLineInfo.Parse(m_arguments, m_commandLine.allowed());
    if (count == 0)
        return true;
    m_commandLine.Filter(m_commandLineInfo);
    if (!m_commandLine.isEmpty() && HandleSwitches(m_commandLine))
        return true;
    qCInfo(lcApp) << "command line refused";
    return FailStart(isDocumentArgument(m_commandLineInfo, m_arguments) ? kWrongProgram
                                                                        : kBadArguments,
                     ExitCode::BadArguments);
}

int CBizApp::ExitInstance()
{
    SyncProfile();
    return m_exitCode;
}

QString CBizApp::GetInstanceName() const
{
    return QStringLiteral("%1.%2.window.class").arg(m_registryKey, m_profileName);
}

void CBizApp::OnAlreadyRunning()
{
    ShowWarningMessage(17673, AppState::AppName());
    if (!CSingleInstance::RequestActivation(GetInstanceName()))
        qCInfo(lcApp) << "the running copy did not answer the activation request";
}

void CBizApp::AdjustAppName()
{
    QString name = LoadString(kAppNameId);
    if (m_supportMode)
        name += QStringLiteral(".scrt");
    AppState::SetAppName(name);
}

void CBizApp::AddAllowedSwitches(CBizCommandLine &) {}

bool CBizApp::HandleSwitches(const CBizCommandLine &)
{
    return true;
}

QString CBizApp::InstanceLockPath() const
{
    return DataPath({}, QStringLiteral("instance.lock"));
}

bool CBizApp::CheckSingleInstance()
{
    m_singleInstance = std::make_unique<CSingleInstance>();
    if (m_singleInstance->Acquire(InstanceLockPath(), GetInstanceName())) {
        QObject::connect(m_singleInstance.get(), &CSingleInstance::activationRequested,
                         m_singleInstance.get(), [this] { OnActivationRequested(); });
        return true;
    }
    m_singleInstance.reset();
    OnAlreadyRunning();
    return false;
}

QSettings &CBizApp::settings()
{
    if (!m_settings) {
        const QString key = m_registryKey.isEmpty() ? LoadString(kRegistryKeyId) : m_registryKey;
        const QString profile
            = m_profileName.isEmpty() ? LoadString(kProfileNameId) : m_profileName;
        m_settings = std::make_unique<QSettings>(key, profile);
    }
    return *m_settings;
}

int CBizApp::GetProfileInt(const QString &section, const QString &entry, int defaultValue)
{
    bool ok = false;
    const int v = settings().value(settingsKey(MapProfileSection(section), entry)).toInt(&ok);
    return ok ? v : defaultValue;
}

bool CBizApp::WriteProfileInt(const QString &section, const QString &entry, int value)
{
    settings().setValue(settingsKey(MapProfileSection(section), entry), value);
    return settings().status() == QSettings::NoError;
}

QString CBizApp::GetProfileString(const QString &section, const QString &entry,
                                  const QString &defaultValue)
{
    const QVariant v = settings().value(settingsKey(MapProfileSection(section), entry));
    return v.isValid() ? v.toString() : defaultValue;
}

bool CBizApp::WriteProfileString(const QString &section, const QString &entry, const QString &value)
{
    settings().setValue(settingsKey(MapProfileSection(section), entry), value);
    return settings().status() == QSettings::NoError;
}

bool CBizApp::GetProfileBinary(const QString &section, const QString &entry, QByteArray &data)
{
    const QVariant v = settings().value(settingsKey(MapProfileSection(section), entry));
    if (!v.isValid())
        return false;
    data = v.toByteArray();
    return true;
}

bool CBizApp::WriteProfileBinary(const QString &section, const QString &entry,
                                 const QByteArray &data)
{
    settings().setValue(settingsKey(MapProfileSection(section), entry), data);
    return settings().status() == QSettings::NoError;
}

void CBizApp::SyncProfile()
{
    if (m_settings)
        m_settings->sync();
}

void CBizApp::SaveWindowPlacement(const QString &section, int styleBits, const QRect &rect)
{
    WriteProfileInt(section, QStringLiteral("style"),
                    styleBits
                        & (WindowPlacement::StyleMinimized | WindowPlacement::StyleMaximized));
    WriteProfileString(section, QStringLiteral("rect"), WindowPlacement::RectText(rect));
}

bool CBizApp::ReadWindowPlacement(const QString &section, int &styleBits, QRect &rect)
{
    styleBits = GetProfileInt(section, QStringLiteral("style"), 0);
    rect = WindowPlacement::ParseRectText(GetProfileString(section, QStringLiteral("rect")));
    return (styleBits & (WindowPlacement::StyleMinimized | WindowPlacement::StyleMaximized))
           || !rect.isEmpty();
}

void CBizApp::OnModalBegin(QObject *, int, int) {}
void CBizApp::OnModalEnd(QObject *, int, int, bool) {}

void CBizApp::BeginModalState(QObject *owner, int argument)
{
    if (m_modalDepth == 0) {
        m_modalOwner = owner ? owner : ActiveWindow();
        m_modalArgument = argument;
    }
    ++m_modalDepth;
    OnModalBegin(m_modalOwner, m_modalArgument, m_modalDepth);
}

void CBizApp::EndModalState(bool activate)
{
    if (m_modalDepth <= 0)
        return;
    const int oldDepth = m_modalDepth--;
    OnModalEnd(m_modalOwner, m_modalArgument, oldDepth, activate);
    if (m_modalDepth == 0) {
        if (activate && m_modalOwner)
            ActivateWindow(m_modalOwner);
        m_modalOwner = nullptr;
        m_modalArgument = 0;
    }
}

void CBizApp::BeginModalState()
{
    BeginModalState(nullptr, 0);
}

void CBizApp::EndModalState()
{
    EndModalState(true);
}
