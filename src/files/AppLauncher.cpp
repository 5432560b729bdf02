#include "AppLauncher.h"

#include "AppAssociation.h"
#include "FileTypeRecord.h"
#include "FilesLog.h"

#include "core/BizProgress.h"

#include <QFileInfo>
#include <QProcess>

int LaunchFile(const QString &path, const SAppChoice *chosen, qint64 *pid,
               CBizProgressHandler *progress)
{
    QStringList command;
    if (chosen) {
        if (chosen->appPath.isEmpty())
            return LaunchCode::NoAssociation;
        // The copy's path as an argument of its own: no shell ever sees it.
        command = {chosen->appPath, path};
    } else {
        const SAppAssociation association = LookupAppAssociation(QFileInfo(path).suffix());
        if (!association.hasApplication() || association.exec.isEmpty())
            return LaunchCode::NoAssociation;
        command = ExpandDesktopExec(association.exec, path);
    }
    if (command.isEmpty() || command.first().isEmpty())
        return LaunchCode::NoAssociation;
    if (progress)
        progress->Continue();
    qint64 started = 0;
    const bool ok = QProcess::startDetached(command.first(), command.mid(1),
                                            QFileInfo(path).absolutePath(), &started);
    if (!ok) {
        qCWarning(lcFileRecords) << "the application could not be started";
        return LaunchCode::StartFailed;
    }
    if (pid)
        *pid = started;
    qCInfo(lcFileRecords) << "application started, pid" << started;
    return LaunchCode::Started;
}

QList<SAppChoice> ListAppChoices(const CFileTypeList &types, const QString &wanted,
                                 int *preselected)
{
    QList<SAppChoice> choices;
    for (const CFileTypeRecord *type : types) {
        if (type->appPath.isEmpty())
            continue;
        SAppChoice choice{type->appPath, type->appName, type->desktopFile, type->ext};
        if (!choices.contains(choice))
            choices << choice;
    }
    if (preselected) {
        *preselected = -1;
        for (qsizetype i = 0; i < choices.size(); ++i) {
            if (!wanted.isEmpty() && choices.at(i).appPath == wanted)
                *preselected = int(i);
        }
    }
    return choices;
}
