#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QKeySequence>
#include <QPalette>
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>

class QAction;
class QLineEdit;
class QLabel;
class QMenu;
class QTimer;
class QToolButton;

// The font of every dialog: the application font, in "Noto Sans CJK JP" when it is installed
// (the Japanese face that stands for the designed "MS UI Gothic"), so Japanese texts never fall
// back to Chinese glyphs.
QFont DialogFont();

// The four parts of a dialog's command string ("prompt\n\nmenu text\nsection").
struct SCommandString
{
    QString prompt;
    QString menuText;
    QString section;
    // From the string table; a missing id gives empty parts.
    static SCommandString FromId(int stringId);
    static SCommandString FromText(const QString &text);
    // What a menu item of the command shows: its menu text, else its prompt (a string without
    // parts is its own menu text).
    static QString MenuTextOf(int stringId);
};

// The base of every dialog: the title from the product name and the command string's prompt,
// the theme colour as the dialog's palette, the highlighted focused edit, the settings of the
// dialog's profile section (its placement and the root section's backgroundColor), the
// designed minimum size in dialog units, accelerators tried before the focused control's keys,
// Esc (ignored while busy, confirmed with 17691 where asked), and the system menu (a small
// menu button "sysmenu" at the top right, also opened by a right click on the dialog's
// background, because Qt cannot add to the window manager's menu).
//
// Controls carry their template ids as objectName ("21262"); control(id) finds them.
class CBizDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int DefaultIconId = 21504;
    static const QColor &DefaultThemeColour(); // 228, 235, 247 (the profile's default)
    static const QColor &FocusedEditColour();  // 255, 255, 208

    explicit CBizDialog(int commandStringId, QWidget *parent = nullptr);
    ~CBizDialog() override;

    int commandStringId() const { return m_commandStringId; }
    const SCommandString &commandString() const { return m_commandString; }

    // "VELQUOR" (the application name) + " - prompt" when there is a prompt, +
    // "（管理者として実行）" when the effective user is root.
    virtual QString GetTitle() const;

    // The modal run of the toolkit (RunModal): opening steps, exec, settings saved.
    int RunModalDialog();

    // --- layout and looks ---
    // The designed size in dialog units: x × average character width / 4, y × height / 8 of
    // the dialog's font (AverageCharWidth). It becomes the minimum size; without a sizing frame
    // also the maximum.
    void SetDesignedSize(const QSize &dialogUnits, bool resizable);
    static QSize DialogUnitsToPixels(const QFont &font, const QSize &dialogUnits);
    // The average character width of dialog units: that of the Latin letters of the font.
    static int AverageCharWidth(const QFont &font);
    QSize designedPixelSize() const { return m_designedPixels; }

    // The theme colour becomes the window background of the dialog's palette (ApplyTheme).
    void SetThemeColour(const QColor &colour);
    QColor themeColour() const { return m_theme; }
    virtual void ApplyTheme();
    // The edit with the focus is drawn on FocusedEditColour().
    void SetFocusHighlight(bool on);

    // The icon static 20737: the application's icon at 48 × 48, named by the application.
    QLabel *CreateIconStatic();

    // The child control whose objectName is the id's number; nullptr when there is none.
    QWidget *control(int id) const;
    template<typename T>
    T *controlAs(int id) const
    {
        return qobject_cast<T *>(control(id));
    }

    // --- commands ---
    // An accelerator: the key runs OnCommand(command) before the focused control sees it.
    void AddAccelerator(const QKeySequence &key, int command);
    // Runs a command (accelerators, system menu items, buttons that post commands).
    virtual void OnCommand(int command);

    // --- command states ---
    // The "enabled while idle" rules of the dialog, all in one place. Never polled: run from
    // one coalesced 0 ms single-shot timer that input, focus, selection and progress changes
    // (and the opening of a menu) arm through RequestCommandStates.
    virtual void UpdateCommandStates() {}
    void RequestCommandStates();

    // --- system menu ---
    // Builds the items each time the menu opens: items carry their ids in QAction::data.
    // The base adds nothing; dialogs with system-menu items override and call
    // EnableSystemMenu(true).
    virtual void PrepareSystemMenu(QMenu &menu);
    void EnableSystemMenu(bool on);
    QToolButton *systemMenuButton() const { return m_systemMenuButton; }
    // Opens the system menu below its button (also what a right click on the background
    // does) and runs the chosen item's command. Tests call it with a chooser that picks the
    // item instead of the user.
    void OpenSystemMenu(const std::function<QAction *(QMenu &)> &chooser = {});

    // Esc asks 17691 with the top-level window's title first (the main windows).
    void SetCloseConfirmation(bool on) { m_confirmClose = on; }
    // While busy (a progress runs) Esc and the close button do nothing.
    virtual bool IsBusy() const { return false; }

protected:
    // The settings of the dialog's profile section: the base reads backgroundColor
    // ("%d,%d,%d", default "228,235,247") from the root section and the window placement.
    virtual void LoadSettings(const QString &section);
    virtual void SaveSettings(const QString &section);
    // After the dialog has been shown and laid out for the first time.
    virtual void OnInitDialog();
    // Whether the program runs with the rights of the administrator (root).
    virtual bool RunsElevated() const;

    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void done(int result) override;
    void changeEvent(QEvent *event) override;

private:
    void PlaceSystemMenuButton();
    void OpenSystemMenuAt(const QPoint &globalPos,
                          const std::function<QAction *(QMenu &)> &chooser);
    bool IsAccelerator(const QKeyEvent &event) const;
    void OnFocusChanged(QWidget *old, QWidget *now);
    void HighlightEdit(QLineEdit *edit);
    void RestoreHighlightedEdit();

    int m_commandStringId;
    SCommandString m_commandString;
    QColor m_theme;
    QSize m_designedPixels;
    QSize m_designedUnits;
    bool m_resizable = true;
    QPointer<QLineEdit> m_highlighted;
    QPalette m_highlightedPalette;
    bool m_focusHighlight = false;
    bool m_confirmClose = false;
    bool m_initialised = false;
    QToolButton *m_systemMenuButton = nullptr;
    QTimer *m_commandStates = nullptr;
    QMetaObject::Connection m_focusConnection;
};
