#include "BizDialog.h"

#include "AppIcon.h"

#include "ModalRun.h"
#include "WidgetPlacement.h"
#include "app/BizApp.h"
#include "core/AppState.h"
#include "core/Messages.h"
#include "core/Strings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <unistd.h>

Q_LOGGING_CATEGORY(lcDialog, "velquor.ui.dialog")

namespace {

constexpr int kCloseConfirmationId = 17691;
const QString kBackgroundEntry = QStringLiteral("backgroundColor");
const QString kDefaultBackground = QStringLiteral("228,235,247");
const QString kSystemMenuName = QStringLiteral("sysmenu");
const QString kSystemMenuText = QStringLiteral("システムメニュー");
const QString kElevatedSuffix = QStringLiteral("（管理者として実行）");
const QString kDialogFamily = QStringLiteral("Noto Sans CJK JP");
constexpr int kSystemMenuMargin = 2;

// The dialog-unit rounding of the platform: value × base / divisor, rounded half up.
int ScaleRounded(int value, int base, int divisor)
{
    const qint64 product = qint64(value) * base;
    return int(product >= 0 ? (product + divisor / 2) / divisor
                            : -((-product + divisor / 2) / divisor));
}

// "%d,%d,%d" with each part 0..255; anything else is no colour.
QColor ParseColour(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 3)
        return {};
    int rgb[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        rgb[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || rgb[i] < 0 || rgb[i] > 255)
            return {};
    }
    return QColor(rgb[0], rgb[1], rgb[2]);
}

QKeyCombination CombinationOf(const QKeyEvent &event)
{
    // The keypad's Enter is the accelerator table's Enter.
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return QKeyCombination(modifiers, Qt::Key(event.key()));
}

// Three short bars: the menu symbol, drawn so that it looks the same with every style and
// icon theme (the style's title-bar menu icon is the toolkit's logo).
QIcon SystemMenuIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(64, 64, 64));
    for (int y : {3, 7, 11})
        painter.drawRect(2, y, 12, 2);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QFont DialogFont()
{
    QFont font = QApplication::font();
    static const bool installed = QFontDatabase::families().contains(kDialogFamily);
    if (installed)
        font.setFamily(kDialogFamily);
    return font;
}

SCommandString SCommandString::FromId(int stringId)
{
    return FromText(LoadString(stringId));
}

QString SCommandString::MenuTextOf(int stringId)
{
    const SCommandString parts = FromId(stringId);
    return parts.menuText.isEmpty() ? parts.prompt : parts.menuText;
}

SCommandString SCommandString::FromText(const QString &text)
{
    const QStringList parts = text.split(u'\n');
    SCommandString result;
    result.prompt = parts.value(0);
    result.menuText = parts.value(2);
    result.section = parts.value(3);
    return result;
}

const QColor &CBizDialog::DefaultThemeColour()
{
    static const QColor colour(228, 235, 247);
    return colour;
}

const QColor &CBizDialog::FocusedEditColour()
{
    static const QColor colour(255, 255, 208);
    return colour;
}

CBizDialog::CBizDialog(int commandStringId, QWidget *parent)
    : QDialog(parent)
    , m_commandStringId(commandStringId)
    , m_commandString(SCommandString::FromId(commandStringId))
    // Until the settings are read at the opening.
    , m_theme(245, 246, 247)
{
    setFont(DialogFont());
    m_commandStates = new QTimer(this);
    m_commandStates->setSingleShot(true);
    m_commandStates->setInterval(0);
    connect(m_commandStates, &QTimer::timeout, this, [this] { UpdateCommandStates(); });
    m_focusConnection
        = connect(qApp, &QApplication::focusChanged, this, &CBizDialog::OnFocusChanged);
    // Accelerators must be seen before the focused control takes their keys.
    qApp->installEventFilter(this);
    ApplyTheme();
}

CBizDialog::~CBizDialog()
{
    // The children go before QObject would cut the connection, and the focus moves as they go.
    disconnect(m_focusConnection);
    qApp->removeEventFilter(this);
}

bool CBizDialog::RunsElevated() const
{
    return ::geteuid() == 0;
}

QString CBizDialog::GetTitle() const
{
    QString title = AppState::AppName();
    if (!m_commandString.prompt.isEmpty())
        title += QStringLiteral(" - ") + m_commandString.prompt;
    if (RunsElevated())
        title += kElevatedSuffix;
    return title;
}

int CBizDialog::RunModalDialog()
{
    return RunModal(*this);
}

int CBizDialog::AverageCharWidth(const QFont &font)
{
    // The width of the Latin letters, as dialog units are measured: a Japanese font's own
    // average (its full-width glyphs) would make every dialog twice as wide as designed.
    static const QString letters
        = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int advance = QFontMetrics(font).horizontalAdvance(letters);
    return std::max(1, (advance / 26 + 1) / 2);
}

QSize CBizDialog::DialogUnitsToPixels(const QFont &font, const QSize &dialogUnits)
{
    const QFontMetrics metrics(font);
    return QSize(ScaleRounded(dialogUnits.width(), AverageCharWidth(font), 4),
                 ScaleRounded(dialogUnits.height(), metrics.height(), 8));
}

void CBizDialog::SetDesignedSize(const QSize &dialogUnits, bool resizable)
{
    m_designedUnits = dialogUnits;
    m_resizable = resizable;
    m_designedPixels = DialogUnitsToPixels(font(), dialogUnits);
    setMinimumSize(m_designedPixels);
    setMaximumSize(resizable ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : m_designedPixels);
    setSizeGripEnabled(resizable);
    resize(size().expandedTo(m_designedPixels));
}

void CBizDialog::SetThemeColour(const QColor &colour)
{
    if (!colour.isValid())
        return;
    m_theme = colour;
    ApplyTheme();
}

void CBizDialog::ApplyTheme()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_theme);
    setPalette(pal);
    setAutoFillBackground(true);
}

void CBizDialog::SetFocusHighlight(bool on)
{
    m_focusHighlight = on;
    if (!on)
        RestoreHighlightedEdit();
    else if (auto *edit = qobject_cast<QLineEdit *>(QApplication::focusWidget()))
        HighlightEdit(edit);
}

void CBizDialog::OnFocusChanged(QWidget *old, QWidget *now)
{
    const bool mine = (old && old->window() == this) || (now && now->window() == this);
    if (!mine)
        return;
    if (m_highlighted && old == m_highlighted)
        RestoreHighlightedEdit();
    if (m_focusHighlight)
        HighlightEdit(qobject_cast<QLineEdit *>(now));
    RequestCommandStates();
}

void CBizDialog::HighlightEdit(QLineEdit *edit)
{
    // Read-only edits are drawn like static texts.
    if (!edit || edit->window() != this || edit->isReadOnly() || edit == m_highlighted)
        return;
    RestoreHighlightedEdit();
    m_highlighted = edit;
    m_highlightedPalette = edit->palette();
    QPalette pal = m_highlightedPalette;
    pal.setColor(QPalette::Base, FocusedEditColour());
    edit->setPalette(pal);
}

void CBizDialog::RestoreHighlightedEdit()
{
    if (m_highlighted)
        m_highlighted->setPalette(m_highlightedPalette);
    m_highlighted = nullptr;
}

QLabel *CBizDialog::CreateIconStatic()
{
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("20737"));
    icon->setPixmap(ApplicationIcon().pixmap(48, 48));
    icon->setFixedSize(48, 48);
    icon->setAccessibleName(AppState::AppName());
    return icon;
}

QWidget *CBizDialog::control(int id) const
{
    return findChild<QWidget *>(QString::number(id));
}

void CBizDialog::AddAccelerator(const QKeySequence &key, int command)
{
    auto *action = new QAction(this);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action->setData(command);
    connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    addAction(action);
}

bool CBizDialog::IsAccelerator(const QKeyEvent &event) const
{
    const QKeySequence pressed(CombinationOf(event));
    for (const QAction *action : actions()) {
        if (!action->isEnabled())
            continue;
        for (const QKeySequence &key : action->shortcuts()) {
            if (key == pressed)
                return true;
        }
    }
    return false;
}

void CBizDialog::OnCommand(int command)
{
    qCDebug(lcDialog) << "command without handler" << command;
}

void CBizDialog::RequestCommandStates()
{
    // Every request until the loop is idle again ends in one run.
    if (!m_commandStates->isActive())
        m_commandStates->start();
}

void CBizDialog::PrepareSystemMenu(QMenu &) {}

void CBizDialog::EnableSystemMenu(bool on)
{
    if (!on) {
        delete m_systemMenuButton;
        m_systemMenuButton = nullptr;
        return;
    }
    if (m_systemMenuButton)
        return;
    m_systemMenuButton = new QToolButton(this);
    m_systemMenuButton->setObjectName(kSystemMenuName);
    m_systemMenuButton->setAutoRaise(true);
    m_systemMenuButton->setFocusPolicy(Qt::NoFocus);
    m_systemMenuButton->setIcon(SystemMenuIcon());
    m_systemMenuButton->setToolTip(kSystemMenuText);
    m_systemMenuButton->setAccessibleName(kSystemMenuText);
    connect(m_systemMenuButton, &QToolButton::clicked, this, [this] { OpenSystemMenu(); });
    PlaceSystemMenuButton();
    m_systemMenuButton->show();
}

void CBizDialog::PlaceSystemMenuButton()
{
    if (!m_systemMenuButton)
        return;
    const QSize size = m_systemMenuButton->sizeHint();
    // The button sits in the top margin, never over the first row of controls.
    if (QLayout *content = layout()) {
        QMargins margins = content->contentsMargins();
        const int needed = size.height() + 2 * kSystemMenuMargin;
        if (margins.top() < needed) {
            margins.setTop(needed);
            content->setContentsMargins(margins);
        }
    }
    m_systemMenuButton->setGeometry(width() - size.width() - kSystemMenuMargin, kSystemMenuMargin,
                                    size.width(), size.height());
    m_systemMenuButton->raise();
}

void CBizDialog::OpenSystemMenu(const std::function<QAction *(QMenu &)> &chooser)
{
    const QPoint below
        = m_systemMenuButton
              ? m_systemMenuButton->mapToGlobal(QPoint(0, m_systemMenuButton->height()))
              : mapToGlobal(QPoint(0, 0));
    OpenSystemMenuAt(below, chooser);
}

void CBizDialog::OpenSystemMenuAt(const QPoint &globalPos,
                                  const std::function<QAction *(QMenu &)> &chooser)
{
    RequestCommandStates();
    QMenu menu(this);
    PrepareSystemMenu(menu);
    if (menu.isEmpty())
        return;
    QAction *chosen = chooser ? chooser(menu) : menu.exec(globalPos);
    // A disabled item cannot be chosen by the user; a chooser is held to the same rule.
    if (chosen && chosen->isEnabled() && !chosen->isSeparator() && !chosen->menu())
        OnCommand(chosen->data().toInt());
}

void CBizDialog::LoadSettings(const QString &section)
{
    QString text = kDefaultBackground;
    CBizApp *app = CBizApp::instance();
    if (app)
        text = app->GetProfileString(QString(), kBackgroundEntry, kDefaultBackground);
    QColor colour = ParseColour(text);
    if (!colour.isValid()) {
        qCWarning(lcDialog) << "unreadable background colour in the settings:" << text;
        colour = DefaultThemeColour();
    }
    if (colour != m_theme)
        SetThemeColour(colour);
    if (!section.isEmpty())
        RestoreWindowPlacement(this, section);
}

void CBizDialog::SaveSettings(const QString &section)
{
    if (!section.isEmpty())
        SaveWindowPlacement(this, section);
}

void CBizDialog::OnInitDialog() {}

void CBizDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_initialised)
        return;
    m_initialised = true;
    setWindowTitle(GetTitle());
    LoadSettings(m_commandString.section);
    PlaceSystemMenuButton();
    OnInitDialog();
    RequestCommandStates();
}

void CBizDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
    if (IsBusy())
        return;
    if (m_confirmClose && AskYesNo(kCloseConfirmationId, window()->windowTitle()) != IDYES)
        return;
    reject();
}

void CBizDialog::closeEvent(QCloseEvent *event)
{
    if (IsBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CBizDialog::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_systemMenuButton) {
        QDialog::contextMenuEvent(event);
        return;
    }
    event->accept();
    OpenSystemMenuAt(event->globalPos(), {});
}

void CBizDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    PlaceSystemMenuButton();
}

void CBizDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // The designed size follows the font it is measured in.
    if (event->type() == QEvent::FontChange && m_designedUnits.isValid())
        SetDesignedSize(m_designedUnits, m_resizable);
}

bool CBizDialog::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyRelease
        && type != QEvent::MouseButtonRelease)
        return QDialog::eventFilter(watched, event);
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return QDialog::eventFilter(watched, event);
    if (type == QEvent::ShortcutOverride) {
        // An edit claims most keys for itself; the dialog's accelerators go first.
        if (IsAccelerator(*static_cast<QKeyEvent *>(event))) {
            event->ignore();
            return true;
        }
    } else {
        RequestCommandStates();
    }
    return QDialog::eventFilter(watched, event);
}

void CBizDialog::done(int result)
{
    if (m_initialised && isVisible())
        SaveSettings(m_commandString.section);
    QDialog::done(result);
}
