#include "App.h"

#include "core/AppState.h"
#include "core/ExceptHandler.h"
#include "core/ExitCodes.h"
#include "core/Messages.h"
#include "core/Paths.h"

#include <QFile>
#include <QLoggingCategory>

#include <cstdio>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace {
const QString kNoUi = QStringLiteral("no_ui");
}

CApp::CApp()
    : m_systems(std::make_unique<CSystemObjects>())
    , m_mainSystem(m_systems->main())
{
    if (!m_mainSystem->instanceManager())
        m_ownInstanceManager = std::make_unique<CInstanceManager>();
}

CInstanceManager &CApp::instanceManager() const
{
    CInstanceManager *manager = m_mainSystem->instanceManager();
    return manager ? *manager : *m_ownInstanceManager;
}

CApp::~CApp() = default;

QString CApp::GetInstanceName() const
{
    QString id = instanceId();
    id.replace(u'\\', u'/');
    return CBizApp::GetInstanceName() + u'.' + id;
}

bool CApp::ReadServerHostName(QString &hostName) const
{
    // server.vqr: UTF-16LE key=value lines; only whether it exists and its hostName matter
    // for the name. The service layer reads the rest.
    QFile file(DataPath({}, QStringLiteral("server.vqr")));
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.read(1024 * 1024);
    if (bytes.startsWith("\xff\xfe"))
        bytes.remove(0, 2);
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                                            bytes.size() / 2);
    hostName.clear();
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        if (line.left(eq).trimmed() == u"hostName")
            hostName = line.mid(eq + 1).trimmed();
    }
    return true;
}

void CApp::AdjustAppName()
{
    CBizApp::AdjustAppName();
    QString host;
    // Computed before the no-UI switch is known: the data folder next to the executable.
    try {
        if (!ReadServerHostName(host))
            return;
    } catch (...) {
        return;
    }
    AppState::SetAppName(
        AppState::AppName()
        + QStringLiteral("（%1）").arg(host.isEmpty() ? QStringLiteral("PR") : host));
}

void CApp::AddAllowedSwitches(CBizCommandLine &commandLine)
{
    CBizApp::AddAllowedSwitches(commandLine);
    commandLine.Allow(kNoUi);
}

QString CApp::MapProfileSection(const QString &section) const
{
    const QString id = instanceId();
    return section.isEmpty() ? id : id + u'\\' + section;
}

bool CApp::RunCommandLine(qint32 &)
{
    return false;
}

void CApp::WriteExitCodeToConsole(qint32 code)
{
    std::fputs(QByteArray::number(code).constData(), stdout);
    std::fflush(stdout);
}

bool CApp::InitInstance()
{
    if (!CBizApp::InitInstance())
        return false;
    if (m_commandLine.IsAccepted(kNoUi)) {
        m_noUiMode = true;
        AppState::SetNoUiMode(true);
    }
    const QString instanceFailed = QStringLiteral("インスタンスマネージャの初期化に失敗しました。");
    try {
        // The lock's path is one character longer than the identity's: both are checked
        // before anything of the data folder is created.
        InstanceLockPath();
        if (!instanceManager().Initialize())
            return FailStart(instanceFailed, ExitCode::InstanceFailed);
        if (!CheckSingleInstance())
            return FailStart({}, ExitCode::AlreadyRunning);
    } catch (const CBizException &e) {
        CBizExceptHandler handler;
        handler.Set(e);
        qCInfo(lcApp) << "data folder path unusable:" << handler.MessageText();
        ShowErrorMessage(17955);
        return FailStart(instanceFailed, ExitCode::InstanceFailed);
    }
    if (m_noUiMode) {
        qint32 code = 0;
        if (!RunCommandLine(code)) {
            // Nothing was downloaded: never answer 0 for that.
            qCWarning(lcApp) << "the command-line download is not available in this build";
            code = ExitCode::NotAvailable;
        }
        m_exitCode = code;
        WriteExitCodeToConsole(code);
        return false;
    }
    return true;
}

int CApp::ExitInstance()
{
    if (!instanceId().isEmpty())
        instanceManager().Save();
    return CBizApp::ExitInstance();
}
