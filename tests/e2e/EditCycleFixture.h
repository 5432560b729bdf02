#pragma once

// The edit cycle's fixture: yamada signed in to the demo office, with a fake application
// (a script with a desktop entry under the test's HOME, the default for spreadsheets, CSV and
// text) that records its arguments and does what the test asks (change the file, hold an
// flock on it while "open").

#include "SignedInSession.h"
#include "support/FakeApplication.h"

#include "core/Strings.h"
#include "files/AppAssociation.h"
#include "service/MessageDigest.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <csignal>

inline const QString kYear = QStringLiteral("経理/2024");
inline const QString kBudget = QStringLiteral("/予算計画.xlsx");     // free, a spreadsheet
inline const QString kJournal = QStringLiteral("/仕訳帳.csv");       // free
inline const QString kSales = QStringLiteral("/売上集計_2024.xlsx"); // suzuki holds it

// "/name" -> "name"
inline QString nameOf(const QString &path)
{
    return path.mid(1);
}

class EditCycle : public SignedInSession
{
protected:
    void BeforeSignIn() override
    {
        m_log = installation.path(QStringLiteral("fakeapp.log"));
        installation.SetEnv("FAKEAPP_LOG", m_log.toUtf8());
        SetMode(QStringLiteral("edit"), "edited by the application");
        ASSERT_FALSE(RegisterFakeApplication(installation, R"(#!/bin/sh
# Records its arguments, then does what the test set up.
echo "open $*" >> "$FAKEAPP_LOG"
case "$FAKEAPP_MODE" in
edit) printf '%s' "$FAKEAPP_CONTENT" > "$1"
  for f in $FAKEAPP_BESIDE; do echo data > "$(dirname "$1")/$f"; done ;;
hold) echo "pid $$" >> "$FAKEAPP_LOG"; exec flock -o "$1" sleep 60 ;;
office) # As LibreOffice works: no advisory lock, the document kept open, a lock file
  # beside it, a save written to a new file renamed over the old one.
  d=$(dirname "$1"); b=$(basename "$1")
  echo "lock" > "$d/.~lock.$b#"
  exec 3<"$1"
  printf '%s' "$FAKEAPP_CONTENT" > "$d/.$b.save" && mv "$d/.$b.save" "$1"
  exec 3<"$1"
  echo "pid $$" >> "$FAKEAPP_LOG"; echo "saved" >> "$FAKEAPP_LOG"
  exec sleep 60 ;;
esac
echo "done" >> "$FAKEAPP_LOG"
)")
                         .isEmpty());
    }
    void TearDown() override
    {
        ReleaseHolder();
        SignedInSession::TearDown();
    }

    void SetMode(const QString &mode, const QByteArray &content = {})
    {
        installation.SetEnv("FAKEAPP_MODE", mode.toUtf8());
        installation.SetEnv("FAKEAPP_CONTENT", content);
    }
    QStringList LogLines() const
    {
        return QString::fromUtf8(ReadFile(m_log)).split(u'\n', Qt::SkipEmptyParts);
    }
    // Waits until the application wrote what the test waits for (it runs detached).
    bool WaitForLog(const QString &line, int count = 1, int ms = 10000) const
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            if (LogLines().count(line) >= count)
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    // Ends a holding application, which releases its lock on the file.
    void ReleaseHolder()
    {
        for (const QString &line : LogLines()) {
            if (line.startsWith(QStringLiteral("pid ")))
                ::kill(pid_t(line.mid(4).toInt()), SIGTERM);
        }
    }

    qint32 Year() const { return Id(kYear); }
    QStringList Fields(const QString &path) const { return server->fileFields(kYear, path); }
    QString ServiceDigest(const QString &path) const { return Fields(path).value(2); }
    QString LockKey(const QString &path) const { return Fields(path).value(3); }
    QString Working(const QString &path) const
    {
        return cache()->WorkingCopyPath(Year(), nameOf(path));
    }
    QString Edit(const QString &path) const { return cache()->EditCopyPath(Year(), nameOf(path)); }
    QString Cached(const QString &path) const { return cache()->CachePath(Year(), nameOf(path)); }

    bool Open(const QString &path, bool noLaunch = false)
    {
        bool refresh = false;
        return gui()->OpenForEditing(Year(), path, nullptr, noLaunch, &refresh);
    }
    bool Send(const QString &path, int *count = nullptr)
    {
        return gui()->SendFile(Year(), path, false, count);
    }

    QString m_log;
};
