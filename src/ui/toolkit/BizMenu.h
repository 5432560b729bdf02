#pragma once

#include <QPoint>
#include <QString>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QWidget;

// A pop-up menu of commands: each item has a text, a command id (kept in the action's data)
// and an icon of the image list; items can be checked. Shown at a point, it answers the chosen
// command, or 0 when none was chosen; the caller carries the command out.
class CBizMenu
{
public:
    explicit CBizMenu(QWidget *parent = nullptr);
    ~CBizMenu();

    // iconId 0: no icon.
    QAction *AddItem(const QString &text, int commandId, int iconId = 0, bool enabled = true);
    QAction *AddCheckItem(const QString &text, int commandId, bool checked, bool enabled = true);
    void AddSeparator();
    // A submenu; the commands of its items are answered like the menu's own.
    CBizMenu *AddSubMenu(const QString &text, int iconId = 0);

    QAction *action(int commandId) const;
    void SetChecked(int commandId, bool checked);
    void SetEnabled(int commandId, bool enabled);

    int Exec(const QPoint &globalPosition);

    QMenu *menu() const { return m_menu.get(); }
    static int CommandOf(const QAction *action);

private:
    std::unique_ptr<QMenu> m_menu;
    // Destroyed before the menu that is their widget parent.
    std::vector<std::unique_ptr<CBizMenu>> m_subMenus;
};
