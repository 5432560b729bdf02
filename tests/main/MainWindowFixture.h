#pragma once

// The online main window against a devserver per test: the program's own system objects, a
// user signed in as the login window does it (the first page loaded), the settings of the
// application object, and the window run modally with a script inside its event loop.

#include "support/DevServer.h"
#include "support/TempInstallation.h"

#include "ui/main/SharedFileListDialog.h"
#include "ui/main/WebPages.h"
#include "ui/toolkit/KeyboardState.h"
#include "ui/toolkit/ModalRun.h"
#include "ui/toolkit/TreeComboBox.h"

#include "account/LoginManager.h"
#include "app/BizApp.h"
#include "app/SharedGuiSystem.h"
#include "app/SignInFlow.h"
#include "app/System.h"
#include "core/AppState.h"
#include "files/FileRecord.h"
#include "files/SharedFileManager.h"
#include "folders/WorkspaceRecord.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

class MainWindowTest : public InstallationTest<>
{
protected:
    static constexpr int kStillOpen = -99;

    virtual QStringList ServerArgs() const { return DevServer::DemoArgs(); }

    void SetUp() override
    {
        InstallationTest::SetUp();
        // QSettings takes the user's configuration folder once per process: each test's
        // installation gets its own profile.
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (!config.isEmpty())
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
        app.emplace();
        // The demo office has an unread important notice: its question (once a day) is
        // answered already today, unless a test asks for it.
        app->WriteProfileString(QStringLiteral("FileListDialog"), QStringLiteral("lastPopupDate"),
                                QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
        previousDriver = SetModalDriver({});
        previousHeld = SetHeldModifiersQuery([this] { return held; });
        previousOpener = SetUrlOpener([this](const QString &url) {
            openedUrls << url;
            return true;
        });
        server = DevServer::StartFor(installation, ServerArgs());
        ASSERT_TRUE(server);
        SignIn(QStringLiteral("yamada"));
    }
    void TearDown() override
    {
        systems.reset();
        SetUrlOpener(previousOpener);
        SetHeldModifiersQuery(previousHeld);
        SetModalDriver(previousDriver);
        AppState::SetSupportMode(false);
    }

    // A new start of the program and the sign-in of the login window (password: login ID +
    // "-pass"), which loads the tree and the first page.
    void SignIn(const QString &loginId)
    {
        systems.reset();
        systems = std::make_unique<CSystemObjects>();
        ASSERT_TRUE(systems->main()->StartReportingErrors());
        CSignInFlow flow(*systems);
        SLoginFields fields;
        fields.officeId = QStringLiteral("demo");
        fields.loginId = loginId;
        fields.password = loginId + QStringLiteral("-pass");
        fields.savePassword = true;
        ASSERT_EQ(flow.SignInOnline(fields), 1) << messages.join(u'|').toStdString();
    }
    CSharedGuiSystem *gui() const { return systems->sharedGui(); }

    // Runs a new online window modally; script runs inside its event loop once it is shown
    // and its opening refresh is done. Dialogs the window opens (message boxes go to the
    // test's message sink) are handed to onOther. A window the script leaves open is closed
    // with kStillOpen (without the exit check).
    int Run(const std::function<void(CSharedFileListDialog &)> &script)
    {
        CSharedFileListDialog window(*gui());
        return Run(window, script);
    }
    int Run(CSharedFileListDialog &window,
            const std::function<void(CSharedFileListDialog &)> &script)
    {
        SetModalDriver([this, &window, script](QDialog &shown) {
            if (&shown != &window) {
                if (onOther)
                    onOther(shown);
                else
                    QTimer::singleShot(0, &shown, [&shown] { shown.reject(); });
                return;
            }
            WhenIdle(window, [&window, script] {
                Settle(window);
                script(window);
                if (window.isVisible())
                    static_cast<QDialog &>(window).done(kStillOpen);
            });
        });
        return RunModal(window);
    }

    // Runs then once the window is idle (no progress under way, no refresh waiting), from the
    // window's own event loop: never inside the event pump of a running progress.
    static void WhenIdle(CFileListDialog &window, std::function<void()> then)
    {
        QTimer::singleShot(20, &window, [&window, then] {
            if (window.IsBusy() || window.isRefreshPosted())
                WhenIdle(window, then);
            else
                then();
        });
    }
    // Lets posted refreshes, progress ends and the coalesced command states run.
    static void Settle(CFileListDialog &window, int maxMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        do {
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        } while ((window.isRefreshPosted() || window.IsBusy()) && clock.elapsed() < maxMs);
        if (clock.elapsed() >= maxMs)
            ADD_FAILURE() << "the window did not settle: posted " << window.isRefreshPosted()
                          << " busy " << window.IsBusy();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
    static void Key(CFileListDialog &window, QWidget *target, Qt::Key key,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(target ? target : QApplication::focusWidget(), key, modifiers);
        Settle(window);
    }
    // Selects the named rows of the list, which gets the focus; the first is the current row.
    static void SelectRows(CFileListDialog &window, const QStringList &names)
    {
        CFileListCtrl *list = window.list();
        list->setFocus();
        list->clearSelection();
        for (const QString &name : names) {
            const int row = RowOf(window, name);
            ASSERT_GE(row, 0) << name.toStdString();
            const QModelIndex index = list->model()->index(row, 0);
            list->selectionModel()->select(index,
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            if (name == names.first())
                list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
        Settle(window);
    }
    // The names of the rows (subfolders and files) in list order.
    static QStringList RowNames(const CFileListDialog &window)
    {
        QStringList names;
        for (const CFileRecord *row : window.list()->rows())
            names << (row->folderItem ? row->folderItem->name : row->FileName());
        return names;
    }
    static int RowOf(const CFileListDialog &window, const QString &name)
    {
        return int(RowNames(window).indexOf(name));
    }
    // The text the list shows in a cell (by column kind).
    static QString Cell(const CFileListDialog &window, int row, int kind)
    {
        const int column = window.list()->ColumnOfKind(kind);
        if (column < 0)
            return QStringLiteral("<hidden>");
        const QModelIndex index = window.list()->model()->index(row, column);
        return index.data(Qt::DisplayRole).toString();
    }
    static QStringList ColumnTitles(const CFileListDialog &window)
    {
        QStringList titles;
        const QAbstractItemModel *model = window.list()->model();
        for (int c = 0; c < model->columnCount(); ++c)
            titles << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        return titles;
    }
    // Chooses the folder of the path ("経理/2024") in the folder combo as a user would: the
    // drop-down opened, the item clicked.
    static void ChooseFolder(CFileListDialog &window, const QString &path)
    {
        CBizTreeComboBox *combo = window.folderCombo();
        combo->showPopup();
        QCoreApplication::processEvents();
        QStandardItemModel *model = combo->itemModel();
        QModelIndex parent = model->index(window.isFavoritesView() ? 1 : 0, 0);
        for (const QString &name : path.split(u'/')) {
            QModelIndex found;
            for (int r = 0; r < model->rowCount(parent); ++r) {
                if (model->index(r, 0, parent).data().toString() == name)
                    found = model->index(r, 0, parent);
            }
            ASSERT_TRUE(found.isValid()) << name.toStdString();
            parent = found;
        }
        QTreeView *tree = combo->treeView();
        tree->scrollTo(parent);
        const QRect rect = tree->visualRect(parent);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
        Settle(window);
    }

    // A control of the window by its id.
    template<typename T = QWidget>
    static T *Ctl(const CFileListDialog &window, int id)
    {
        T *control = window.controlAs<T>(id);
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    // Types the text into the control as a user would: focus, then the keys.
    static void TypeInto(CFileListDialog &window, QWidget *edit, const QString &text)
    {
        edit->setFocus();
        QCoreApplication::processEvents();
        // ASCII as key presses; other text arrives as the input method commits it.
        QString pending;
        auto commit = [&] {
            if (pending.isEmpty())
                return;
            QInputMethodEvent event;
            event.setCommitString(pending);
            QCoreApplication::sendEvent(edit, &event);
            pending.clear();
        };
        for (const QChar ch : text) {
            if (ch.unicode() < 0x80) {
                commit();
                QTest::keyClick(edit, char(ch.unicode()));
            } else {
                pending += ch;
            }
        }
        commit();
        Settle(window);
    }
    // Every item text of the folder combo's tree, depth first.
    static QStringList ComboNames(const CFileListDialog &window)
    {
        QStringList names;
        const QStandardItemModel *model = window.folderCombo()->itemModel();
        std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
            for (int r = 0; r < model->rowCount(parent); ++r) {
                const QModelIndex index = model->index(r, 0, parent);
                names << index.data().toString();
                walk(index);
            }
        };
        walk({});
        return names;
    }
    // The menu item (submenus included) whose text without the "&" marker is text.
    static QAction *FindAction(QMenu &menu, const QString &text)
    {
        for (QAction *action : menu.actions()) {
            if (QString(action->text()).remove(u'&') == text)
                return action;
            if (action->menu())
                if (QAction *found = FindAction(*action->menu(), text))
                    return found;
        }
        return nullptr;
    }
    // A click on the header section of the column kind.
    static void ClickHeader(CFileListDialog &window, int kind)
    {
        const int column = window.list()->ColumnOfKind(kind);
        ASSERT_GE(column, 0) << kind;
        QHeaderView *header = window.list()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        Settle(window);
    }
    // Whether the window's frame is centred in the screen's work area (within 2 pixels).
    static bool IsCentred(const QWidget &window)
    {
        const QRect area = window.screen()->availableGeometry();
        const QPoint centre = window.frameGeometry().center();
        return std::abs(centre.x() - area.center().x()) <= 2
               && std::abs(centre.y() - area.center().y()) <= 2;
    }

    std::optional<CBizApp> app;
    std::unique_ptr<DevServer> server;
    std::unique_ptr<CSystemObjects> systems;
    Qt::KeyboardModifiers held = Qt::NoModifier;
    QStringList openedUrls;
    std::function<void(QDialog &)> onOther;

private:
    ModalDriver previousDriver;
    std::function<Qt::KeyboardModifiers()> previousHeld;
    UrlOpener previousOpener;
};
