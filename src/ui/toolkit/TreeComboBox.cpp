#include "TreeComboBox.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QStandardItemModel>
#include <QTreeView>

namespace {

// The one open tree drop-down of the application.
QPointer<CBizTreeComboBox> s_openCombo;

} // namespace

CBizTreeComboBox::CBizTreeComboBox(QWidget *parent)
    : QComboBox(parent)
    , m_model(new QStandardItemModel(this))
    , m_tree(new QTreeView)
{
    setProperty("bizLockable", true);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setItemsExpandable(true);
    m_tree->setRootIsDecorated(true);
    setModel(m_model);
    setView(m_tree); // the combo owns the view from here
    m_tree->installEventFilter(this);
    connect(this, qOverload<int>(&QComboBox::activated), this, &CBizTreeComboBox::OnActivated);
}

CBizTreeComboBox::~CBizTreeComboBox()
{
    if (s_openCombo == this)
        s_openCombo = nullptr;
}

QStandardItem *CBizTreeComboBox::AddItem(const QString &text, QStandardItem *parent,
                                         const QIcon &icon)
{
    auto *item = new QStandardItem(icon, text);
    item->setEditable(false);
    if (parent)
        parent->appendRow(item);
    else
        m_model->appendRow(item);
    return item;
}

void CBizTreeComboBox::SelectItem(const QModelIndex &index)
{
    m_current = index;
    if (!m_open)
        setRootModelIndex(index.parent());
    setCurrentIndex(index.isValid() ? index.row() : -1);
    if (m_open && index.isValid())
        m_tree->setCurrentIndex(index);
}

QModelIndex CBizTreeComboBox::currentModelIndex() const
{
    if (m_open)
        return m_current;
    if (currentIndex() < 0)
        return {};
    return model()->index(currentIndex(), modelColumn(), rootModelIndex());
}

bool CBizTreeComboBox::isLocked() const
{
    return property("bizLocked").toBool();
}

bool CBizTreeComboBox::isPopupOpen() const
{
    return m_open;
}

CBizTreeComboBox *CBizTreeComboBox::openTreeCombo()
{
    return s_openCombo.data();
}

void CBizTreeComboBox::showPopup()
{
    if (isLocked() || m_open)
        return;
    if (s_openCombo && s_openCombo != this)
        s_openCombo->hidePopup();
    m_current = currentModelIndex();
    // The whole tree shows, with the current item reachable and selected.
    setRootModelIndex(QModelIndex());
    for (QModelIndex parent = m_current.parent(); parent.isValid(); parent = parent.parent())
        m_tree->expand(parent);
    m_open = true;
    s_openCombo = this;
    if (QWidget *container = m_tree->parentWidget())
        container->installEventFilter(this);
    QComboBox::showPopup();
    if (m_current.isValid()) {
        m_tree->setCurrentIndex(m_current);
        m_tree->scrollTo(m_current);
    }
}

void CBizTreeComboBox::hidePopup()
{
    QComboBox::hidePopup();
    OnPopupClosed();
}

void CBizTreeComboBox::OnPopupClosed()
{
    if (!m_open)
        return;
    m_open = false;
    m_viewIndexAtClose = m_tree->currentIndex();
    if (s_openCombo == this)
        s_openCombo = nullptr;
    // Back to the current item's level, so that the combo's row names it again.
    setRootModelIndex(m_current.parent());
}

void CBizTreeComboBox::OnActivated()
{
    // The drop-down's view holds the item chosen, at any depth.
    const QModelIndex chosen
        = m_viewIndexAtClose.isValid() ? QModelIndex(m_viewIndexAtClose) : m_tree->currentIndex();
    m_viewIndexAtClose = QPersistentModelIndex();
    if (!chosen.isValid())
        return;
    SelectItem(chosen);
    Q_EMIT itemChosen(chosen);
}

bool CBizTreeComboBox::eventFilter(QObject *watched, QEvent *event)
{
    // The drop-down also closes without hidePopup (a click outside closes the pop-up itself).
    if (watched == m_tree->parentWidget() && event->type() == QEvent::Hide)
        OnPopupClosed();
    return QComboBox::eventFilter(watched, event);
}

void CBizTreeComboBox::keyPressEvent(QKeyEvent *event)
{
    if (isLocked()) {
        event->ignore();
        return;
    }
    const bool alt = event->modifiers() & Qt::AltModifier;
    switch (event->key()) {
    case Qt::Key_Backspace:
        showPopup();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        // Alt opens; the plain arrows would step among the current item's siblings only.
        if (alt || event->key() == Qt::Key_Down)
            showPopup();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return;
    default:
        break;
    }
    if (!event->text().isEmpty() && event->text().front().isPrint())
        return; // no search among the siblings either
    QComboBox::keyPressEvent(event);
}

void CBizTreeComboBox::mousePressEvent(QMouseEvent *event)
{
    if (isLocked()) {
        event->ignore();
        return;
    }
    QComboBox::mousePressEvent(event);
}

void CBizTreeComboBox::wheelEvent(QWheelEvent *event)
{
    // Turning the wheel over the closed combo changes nothing: it would step among siblings.
    event->ignore();
}
