#include "SignInFlow.h"

#include "BizApp.h"
#include "SharedGuiSystem.h"
#include "System.h"
#include "UpdateStep.h"

#include "account/LoginManager.h"
#include "account/LoginRecord.h"
#include "core/BizException.h"
#include "core/BizProgress.h"
#include "core/Messages.h"
#include "folders/SharedWorkspaceManager.h"
#include "service/RequestException.h"

#include <QLoggingCategory>

#include <limits>

Q_LOGGING_CATEGORY(lcSignIn, "velquor.signin")

namespace {

// Where the online (and the offline) window keeps its navigation.
const QString kListSection = QStringLiteral("FileListDialog");

int ProfileInt(const QString &entry, int defaultValue)
{
    CBizApp *app = CBizApp::instance();
    return app ? app->GetProfileInt(kListSection, entry, defaultValue) : defaultValue;
}

void WriteProfileInt(const QString &entry, int value)
{
    if (CBizApp *app = CBizApp::instance())
        app->WriteProfileInt(kListSection, entry, value);
}

void SetText(CBizProgressHandler *progress, int stringId)
{
    if (progress)
        progress->SetText(detail::ComposeMessage(stringId));
}

// Runs a step; a failure is shown and answers false (a cancel only logged).
template<typename F>
bool Shown(CBizProgressHandler *progress, F &&step)
{
    try {
        return step();
    } catch (const CBizException &e) {
        if (progress && progress->isCancelled()) {
            qCInfo(lcSignIn) << "sign-in step cancelled";
            return false;
        }
        CExceptHandler handler;
        handler.Set(e);
        handler.ShowError();
        return false;
    }
}

} // namespace

CSignInFlow::CSignInFlow(CSystemObjects &systems)
    : m_systems(systems)
{}

QString CSignInFlow::FieldName(ELoginField field)
{
    switch (field) {
    case ELoginField::OfficeId:
        return QStringLiteral("事業所ID");
    case ELoginField::LoginId:
        return QStringLiteral("ログインID");
    case ELoginField::Password:
        return QStringLiteral("パスワード");
    case ELoginField::None:
        break;
    }
    return {};
}

ELoginField CSignInFlow::Validate(const SLoginFields &fields, bool withOfficeId) const
{
    const struct
    {
        ELoginField field;
        const QString &text;
        int limit;
        bool used;
    } checks[] = {
        {ELoginField::OfficeId, fields.officeId, MaxOfficeId, withOfficeId},
        {ELoginField::LoginId, fields.loginId, MaxLoginId, true},
        {ELoginField::Password, fields.password, MaxPassword, true},
    };
    for (const auto &check : checks) {
        if (!check.used)
            continue;
        if (check.text.isEmpty()) {
            ShowErrorMessage(17676, FieldName(check.field));
            return check.field;
        }
        if (check.text.size() > check.limit) {
            ShowErrorMessage(17677, FieldName(check.field), check.limit);
            return check.field;
        }
    }
    return ELoginField::None;
}

int CSignInFlow::SignInOnline(const SLoginFields &fields, CBizProgressHandler *progress)
{
    CMainSystem *main = m_systems.main();
    CLoginManager *login = main->loginManager();
    CBizProgressAttach attachMain(*main, progress);
    SetText(progress, 18192);
    try {
        if (!login->SignIn(fields.officeId, fields.loginId, fields.password, fields.savePassword)) {
            ShowErrorMessage(18193);
            return 0;
        }
        login->SaveSavedLogins();
    } catch (const CRequestException &e) {
        qCInfo(lcSignIn) << "sign-in refused, fault" << e.code();
        if (CLoginManager::IsLoginRejected(e.code()))
            ShowErrorMessage(18193);
        else
            ShowErrorMessage(FaultText(e));
        return 0;
    } catch (const CBizException &e) {
        CExceptHandler handler;
        handler.Set(e);
        handler.ShowError();
        return 0;
    }

    SetText(progress, 18206);
    switch (RunUpdateStep(*main, progress)) {
    case EUpdateStepResult::CloseApplication:
        return 2;
    case EUpdateStepResult::Stop:
        return 0;
    case EUpdateStepResult::Continue:
        break;
    }
    return LoadFirstData(progress) ? 1 : 0;
}

bool CSignInFlow::LoadFirstData(CBizProgressHandler *progress)
{
    CSharedGuiSystem *shared = m_systems.sharedGui();
    CBizProgressAttach attach(*shared, progress);
    return Shown(progress, [&] {
        if (!shared->Start())
            return false;
        // The cache's folder tree follows the service's, which deletes a mirrored folder only
        // against a tree loaded completely: a load stopped or cut short deletes nothing.
        m_systems.local()->AttachShared(shared);

        // The folder and page the online window showed last.
        const qint32 stored = ProfileInt(QStringLiteral("filterWorkspace"), 0);
        const bool paging = ProfileInt(QStringLiteral("pagiEnalbed"), 1) != 0
                            && ProfileInt(QStringLiteral("saveExitMode"), 0) == 0;
        SFileListPage page;
        if (paging) {
            page.pageSize = std::max(1, ProfileInt(QStringLiteral("pagiLimit"), 500));
            page.page
                = std::max(0, ProfileInt(QStringLiteral("pagiOffset"), 0)) / page.pageSize + 1;
        } else {
            page.pageSize = std::numeric_limits<qint32>::max() / 2;
        }
        if (!shared->OpenFolder(true, true, stored, page))
            return false;
        m_folderId = stored;
        if (m_folderId > 0
            && (!shared->sharedWorkspaces() || !shared->sharedWorkspaces()->FindById(m_folderId))) {
            // The folder is gone: the window opens at the root from now on.
            m_folderId = 0;
            WriteProfileInt(QStringLiteral("filterWorkspace"), 0);
            WriteProfileInt(QStringLiteral("pagiOffset"), 0);
        }

        SetText(progress, 18207);
        return shared->AttachShared(m_folderId, page);
    });
}

int CSignInFlow::StartOfflineWork(const SLoginFields &fields, CBizProgressHandler *progress)
{
    CMainSystem *main = m_systems.main();
    CLoginManager *login = main->loginManager();
    bool signedIn = false;
    if (!Shown(progress, [&] {
            signedIn = login->SignInOffline(fields.officeId, fields.loginId, fields.password,
                                            fields.savePassword);
            if (signedIn)
                login->SaveSavedLogins();
            return true;
        }))
        return 0;
    if (!signedIn) {
        ShowErrorMessage(18193);
        return 0;
    }
    SetText(progress, 18207);
    CLocalSystem *local = m_systems.local();
    CBizProgressAttach attach(*local, progress);
    bool opened = false;
    try {
        local->AttachShared(nullptr);
        m_folderId = ProfileInt(QStringLiteral("saveExitMode"), 0) != 0
                         ? 0
                         : ProfileInt(QStringLiteral("filterWorkspace"), 0);
        opened = local->Start() && local->OpenFolder(false, true, m_folderId);
    } catch (const CBizException &e) {
        qCWarning(lcSignIn) << "local files unreadable, kind" << e.Kind();
    }
    if (!opened) {
        ShowErrorMessage(
            QStringLiteral("ローカルファイルの読込に失敗しました！\r\n処理を続行できません。"));
        return 0;
    }
    return 21265;
}

QList<CLoginRecord *> CSignInFlow::OfficeChoices() const
{
    QList<CLoginRecord *> choices;
    QStringList names;
    for (CLoginRecord *login : m_systems.main()->loginManager()->officeList()) {
        const QString name = login->customerLoginDispName;
        if (name.isEmpty())
            continue;
        bool listed = false;
        for (const QString &known : names)
            listed = listed || known.compare(name, Qt::CaseInsensitive) == 0;
        if (listed)
            continue;
        names << name;
        choices << login;
    }
    return choices;
}

int CSignInFlow::ChoiceOf(const QList<CLoginRecord *> &choices, const QString &officeId)
{
    if (officeId.isEmpty())
        return -1;
    for (int i = 0; i < choices.size(); ++i)
        if (choices.at(i)->customerCode.compare(officeId, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

SLoginFields CSignInFlow::FieldsOf(const CLoginRecord &login)
{
    SLoginFields fields;
    fields.officeId = login.customerCode;
    fields.loginId = login.loginId;
    fields.savePassword = login.savePassword != 0;
    if (fields.savePassword)
        fields.password = login.password;
    return fields;
}

bool CSignInFlow::DeleteOffice(const CLoginRecord &choice)
{
    if (AskYesNo(18194) != IDYES)
        return false;
    const QString name = choice.customerLoginDispName;
    return Shown(nullptr, [&] { return m_systems.main()->loginManager()->RemoveOffice(name); });
}
