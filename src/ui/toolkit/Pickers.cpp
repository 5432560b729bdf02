#include "Pickers.h"

#include "ModalRun.h"
#include "core/Strings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>

#include <utility>

Q_LOGGING_CATEGORY(lcPickers, "velquor.ui.pickers")

namespace {

constexpr int kDefaultFolderPromptId = 17679;
const QString kAllSupportedLabel = QStringLiteral("全ての対応形式(%1)");
const QString kAllFilesEntry = QStringLiteral("全てのﾌｧｲﾙ(*.*)|*.*|");

CBizFileDialog::Hook g_fileHook;
CBizFolderDialog::Hook g_folderHook;

} // namespace

QString BuildFilterString(const QList<SFileFilter> &filters)
{
    QString text;
    for (const SFileFilter &entry : filters)
        text += entry.label + u'|' + entry.patterns + u'|';
    return text + u'|';
}

QList<SFileFilter> ParseFilterString(const QString &filter)
{
    QList<SFileFilter> entries;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        entries.append({parts[i], parts[i + 1]});
    }
    return entries;
}

QStringList QtNameFilters(const QString &filter)
{
    QStringList result;
    for (const SFileFilter &entry : ParseFilterString(filter)) {
        QStringList patterns;
        for (const QString &pattern : entry.patterns.split(u';', Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            patterns.append(trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed);
        }
        result.append(entry.label + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return result;
}

QString SupportedTypesFilterString(const QList<QPair<QString, QString>> &productExtensions)
{
    QStringList all;
    for (const auto &[product, extension] : productExtensions)
        all.append(u'*' + extension);
    const QString joined = all.join(u';');
    QList<SFileFilter> filters{{kAllSupportedLabel.arg(joined), joined}};
    for (const auto &[product, extension] : productExtensions)
        filters.append({product + QStringLiteral("(*") + extension + u')', u'*' + extension});
    return BuildFilterString(filters);
}

QString SaveTypeFilterString(const QString &product, const QString &extension)
{
    return product + QStringLiteral("(*") + extension + QStringLiteral(")|*") + extension + u'|'
           + kAllFilesEntry + u'|';
}

CBizFileDialog::CBizFileDialog(Mode mode, QWidget *parent)
    : m_mode(mode)
    , m_parent(parent)
{}

void CBizFileDialog::SetFilter(const QString &filter, int selected)
{
    m_filter = filter;
    m_selectedFilter = selected;
}

CBizFileDialog::Hook CBizFileDialog::SetHook(Hook hook)
{
    return std::exchange(g_fileHook, std::move(hook));
}

bool CBizFileDialog::Run()
{
    m_selected.clear();
    if (g_fileHook) {
        m_selected = g_fileHook(*this);
        return !m_selected.isEmpty();
    }
    QFileDialog dialog(m_parent, m_title, m_folder);
    // The desktop's dialog may be a portal outside the process, which no test can drive.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // The labels name their patterns already.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    switch (m_mode) {
    case Mode::Open:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        break;
    case Mode::OpenMultiple:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        break;
    case Mode::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        break;
    }
    const QStringList filters = QtNameFilters(m_filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(m_selectedFilter, filters.first()));
    }
    if (!m_defaultName.isEmpty())
        dialog.selectFile(m_defaultName);
    if (RunModal(dialog) != QDialog::Accepted)
        return false;
    m_selected = dialog.selectedFiles();
    // Without the details the dialog names its filter by the label alone.
    const QString chosenFilter = dialog.selectedNameFilter();
    for (qsizetype i = 0; i < filters.size(); ++i) {
        if (filters[i] == chosenFilter
            || filters[i].startsWith(chosenFilter + QStringLiteral(" ("))) {
            m_selectedFilter = int(i);
            break;
        }
    }
    qCDebug(lcPickers) << "chosen" << m_selected.size() << "files";
    return !m_selected.isEmpty();
}

CBizFolderDialog::CBizFolderDialog(QWidget *parent)
    : m_parent(parent)
    , m_prompt(LoadString(kDefaultFolderPromptId))
{}

CBizFolderDialog::Hook CBizFolderDialog::SetHook(Hook hook)
{
    return std::exchange(g_folderHook, std::move(hook));
}

bool CBizFolderDialog::Run()
{
    m_selected.clear();
    if (g_folderHook) {
        m_selected = g_folderHook(*this);
        return !m_selected.isEmpty();
    }
    QFileDialog dialog(m_parent, m_prompt);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QFileInfo initial(m_folder);
    if (!m_folder.isEmpty() && initial.isDir()) {
        // Opened in the parent with the folder itself selected, as the desktop's browser
        // shows it; OK at once answers the initial folder.
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.absoluteFilePath());
    } else if (!m_folder.isEmpty()) {
        dialog.setDirectory(m_folder);
    }
    if (RunModal(dialog) != QDialog::Accepted)
        return false;
    m_selected = QDir::cleanPath(dialog.selectedFiles().value(0));
    return !m_selected.isEmpty();
}
