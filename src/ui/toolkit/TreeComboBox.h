#pragma once

#include <QComboBox>
#include <QPersistentModelIndex>

class QStandardItem;
class QStandardItemModel;
class QTreeView;

// A combo box whose drop-down is a tree (the folder tree). Any item of the tree can be the
// current one. Only one tree drop-down is open in the application at a time. Backspace,
// Alt+Up and Alt+Down open it. Enter or a click on an item closes it and reports the item.
//
// The combo can be locked from outside (a busy progress window): dynamic property
// "bizLocked" true keeps it closed and deaf to keys. "bizLockable" marks the controls that
// honour it.
class CBizTreeComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit CBizTreeComboBox(QWidget *parent = nullptr);
    ~CBizTreeComboBox() override;

    QStandardItemModel *itemModel() const { return m_model; }
    QTreeView *treeView() const { return m_tree; }

    // Appends an item below parent (the top level when null).
    QStandardItem *AddItem(const QString &text, QStandardItem *parent = nullptr,
                           const QIcon &icon = {});
    // Makes the item of the index the current one (none: no current item).
    void SelectItem(const QModelIndex &index);
    QModelIndex currentModelIndex() const;

    bool isLocked() const;
    bool isPopupOpen() const;
    // The tree combo whose drop-down is open in the application, or none.
    static CBizTreeComboBox *openTreeCombo();

    void showPopup() override;
    void hidePopup() override;

Q_SIGNALS:
    // The user chose an item in the drop-down (Enter or a click).
    void itemChosen(const QModelIndex &index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void OnPopupClosed();
    void OnActivated();

    QStandardItemModel *m_model = nullptr;
    QTreeView *m_tree = nullptr;
    QPersistentModelIndex m_current;
    // The item the drop-down's view held when it closed: the one a choice names.
    QPersistentModelIndex m_viewIndexAtClose;
    bool m_open = false;
};
