#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// One entry of a file filter: the text shown and its patterns ("*.xls;*.xlsx").
struct SFileFilter
{
    QString label;
    QString patterns;
    bool operator==(const SFileFilter &other) const
    {
        return label == other.label && patterns == other.patterns;
    }
};

// The filter string of the file pickers: "label|patterns|" per entry and a closing "|".
QString BuildFilterString(const QList<SFileFilter> &filters);
// The entries of a filter string, up to its closing "|" (or its end).
QList<SFileFilter> ParseFilterString(const QString &filter);
// Qt's name filters for a filter string: "label (patterns)" with the patterns separated by
// spaces; "*.*" (every file on Windows) becomes "*", which on Linux also matches names
// without a dot.
QStringList QtNameFilters(const QString &filter);

// The filter of the "add files" picker: "全ての対応形式(%s)|%s|" with every extension, then
// "%s(*%s)|*%s|" per type (product name, extension with its dot), then "|".
QString SupportedTypesFilterString(const QList<QPair<QString, QString>> &productExtensions);
// The filter of a single file's save picker: "%s(*%s)|*%s|全てのﾌｧｲﾙ(*.*)|*.*||".
QString SaveTypeFilterString(const QString &product, const QString &extension);

// The file picker: Qt's own open or save dialog (never the desktop's) with the caller's
// title, start folder, default name and filter. A test hook may answer instead.
class CBizFileDialog
{
public:
    enum class Mode { Open, OpenMultiple, Save };

    explicit CBizFileDialog(Mode mode, QWidget *parent = nullptr);

    void SetTitle(const QString &title) { m_title = title; }
    void SetFolder(const QString &folder) { m_folder = folder; }
    void SetDefaultName(const QString &name) { m_defaultName = name; }
    // filter: a filter string (BuildFilterString); selected: the entry chosen at the start.
    void SetFilter(const QString &filter, int selected = 0);

    // True when the user chose; the choice is in selectedFiles().
    bool Run();

    Mode mode() const { return m_mode; }
    QString title() const { return m_title; }
    QString folder() const { return m_folder; }
    QString defaultName() const { return m_defaultName; }
    QString filter() const { return m_filter; }
    int selectedFilter() const { return m_selectedFilter; }
    QStringList selectedFiles() const { return m_selected; }
    QString selectedFile() const { return m_selected.value(0); }

    // Answers the chosen paths (none: cancelled) instead of the dialog; empty: the dialog.
    using Hook = std::function<QStringList(const CBizFileDialog &request)>;
    static Hook SetHook(Hook hook);

private:
    Mode m_mode;
    QWidget *m_parent;
    QString m_title;
    QString m_folder;
    QString m_defaultName;
    QString m_filter;
    int m_selectedFilter = 0;
    QStringList m_selected;
};

// The folder picker: Qt's own folder dialog titled with the prompt (default 17679
// "フォルダを選択してください。"), the initial folder selected when it opens.
class CBizFolderDialog
{
public:
    explicit CBizFolderDialog(QWidget *parent = nullptr);

    void SetPrompt(const QString &prompt) { m_prompt = prompt; }
    void SetFolder(const QString &folder) { m_folder = folder; }

    bool Run();

    QString prompt() const { return m_prompt; }
    QString folder() const { return m_folder; }
    QString selectedFolder() const { return m_selected; }

    // Answers the chosen folder (empty: cancelled) instead of the dialog; empty: the dialog.
    using Hook = std::function<QString(const CBizFolderDialog &request)>;
    static Hook SetHook(Hook hook);

private:
    QWidget *m_parent;
    QString m_prompt;
    QString m_folder;
    QString m_selected;
};
