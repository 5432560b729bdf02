#include "BizMenu.h"

#include "ImageList.h"

#include <QAction>
#include <QMenu>

CBizMenu::CBizMenu(QWidget *parent)
    : m_menu(std::make_unique<QMenu>(parent))
{}

CBizMenu::~CBizMenu() = default;

QAction *CBizMenu::AddItem(const QString &text, int commandId, int iconId, bool enabled)
{
    QAction *item = m_menu->addAction(text);
    item->setData(commandId);
    item->setEnabled(enabled);
    if (iconId != 0) {
        const QPixmap pixmap = CBizImageList::Instance().MenuPixmap(iconId);
        if (!pixmap.isNull())
            item->setIcon(QIcon(pixmap));
    }
    return item;
}

QAction *CBizMenu::AddCheckItem(const QString &text, int commandId, bool checked, bool enabled)
{
    QAction *item = AddItem(text, commandId, 0, enabled);
    item->setCheckable(true);
    item->setChecked(checked);
    return item;
}

void CBizMenu::AddSeparator()
{
    m_menu->addSeparator();
}

CBizMenu *CBizMenu::AddSubMenu(const QString &text, int iconId)
{
    auto sub = std::make_unique<CBizMenu>(m_menu.get());
    sub->m_menu->setTitle(text);
    if (iconId != 0)
        sub->m_menu->setIcon(QIcon(CBizImageList::Instance().MenuPixmap(iconId)));
    m_menu->addMenu(sub->m_menu.get());
    m_subMenus.push_back(std::move(sub));
    return m_subMenus.back().get();
}

QAction *CBizMenu::action(int commandId) const
{
    const QList<QAction *> actions = m_menu->findChildren<QAction *>();
    for (QAction *item : actions) {
        if (CommandOf(item) == commandId)
            return item;
    }
    return nullptr;
}

void CBizMenu::SetChecked(int commandId, bool checked)
{
    if (QAction *item = action(commandId)) {
        item->setCheckable(true);
        item->setChecked(checked);
    }
}

void CBizMenu::SetEnabled(int commandId, bool enabled)
{
    if (QAction *item = action(commandId))
        item->setEnabled(enabled);
}

int CBizMenu::Exec(const QPoint &globalPosition)
{
    return CommandOf(m_menu->exec(globalPosition));
}

int CBizMenu::CommandOf(const QAction *action)
{
    return action ? action->data().toInt() : 0;
}
