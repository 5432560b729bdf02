#include "ModalRun.h"

#include "app/BizApp.h"

#include <QDialog>
#include <QLoggingCategory>

#include <utility>

Q_LOGGING_CATEGORY(lcModal, "velquor.ui.modal")

namespace {

ModalDriver g_driver;
int g_depth = 0;

// Holds the modal state for the length of one run, whatever ends it.
class CModalScope
{
public:
    explicit CModalScope(QDialog &dialog)
    {
        ++g_depth;
        if (CBizApp *app = CBizApp::instance()) {
            QWidget *owner = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
            app->BeginModalState(owner, 0);
            m_counted = true;
        }
    }
    ~CModalScope()
    {
        // The application object may be gone when a run outlives it (end of a test).
        if (m_counted && CBizApp::instance())
            CBizApp::instance()->EndModalState(true);
        --g_depth;
    }
    CModalScope(const CModalScope &) = delete;
    CModalScope &operator=(const CModalScope &) = delete;

private:
    bool m_counted = false;
};

} // namespace

int RunModal(QDialog &dialog)
{
    CModalScope scope(dialog);
    qCDebug(lcModal) << "modal run" << dialog.objectName() << "depth" << g_depth;
    if (!g_driver)
        return dialog.exec();

    // The driver gets the dialog shown and modal, as exec() would show it.
    const bool wasModal = dialog.testAttribute(Qt::WA_ShowModal);
    dialog.setAttribute(Qt::WA_ShowModal, true);
    dialog.setResult(0);
    dialog.show();
    // A copy: the driver may replace itself.
    const ModalDriver driver = g_driver;
    driver(dialog);
    // A driver that closed the dialog at once has its answer; exec() would show it again.
    const int result = dialog.isVisible() ? dialog.exec() : dialog.result();
    dialog.setAttribute(Qt::WA_ShowModal, wasModal);
    return result;
}

ModalDriver SetModalDriver(ModalDriver driver)
{
    return std::exchange(g_driver, std::move(driver));
}

int ModalDepth()
{
    return g_depth;
}
