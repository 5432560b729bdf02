#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The parsed command line: "/name=value", "/name value" and "/name" switches and the first
// plain argument. Switch names are case-sensitive; a later switch of the same name wins.
//
// A pending switch takes the next argument as its value even when that argument begins
// with "/" (absolute POSIX paths), unless the argument names an allowed switch: so
// "/dst_dir /home/u/out" works and "/login_id /pwd x" leaves login_id empty.
class CBizCommandLineInfo
{
public:
    // Parses the arguments after the program name (arguments[0] is skipped). allowed are
    // the names that always count as switches. Answers the number of arguments parsed.
    int Parse(const QStringList &arguments, const QStringList &allowed = {});

    const QHash<QString, QString> &switches() const { return m_switches; }
    bool HasSwitch(const QString &name) const { return m_switches.contains(name); }
    QString Value(const QString &name) const { return m_switches.value(name); }
    QString firstPlain() const { return m_firstPlain; }
    int plainCount() const { return m_plainCount; }
    int count() const { return m_count; }
    QString lastParameter() const { return m_lastParameter; }

private:
    QHash<QString, QString> m_switches;
    QString m_firstPlain;
    QString m_pending;
    QString m_lastParameter;
    int m_plainCount = 0;
    int m_count = 0;
};

// The switch filter: only allowed names are copied, in the order they were allowed.
class CBizCommandLine
{
public:
    void Allow(const QString &name);
    const QStringList &allowed() const { return m_allowed; }
    // Clears the accepted switches and copies every allowed one present in info.
    void Filter(const CBizCommandLineInfo &info);
    const QList<QPair<QString, QString>> &accepted() const { return m_accepted; }
    bool IsAccepted(const QString &name) const;
    QString Value(const QString &name) const;
    bool isEmpty() const { return m_accepted.isEmpty(); }

private:
    QStringList m_allowed;
    QList<QPair<QString, QString>> m_accepted;
};

// Whether the raw command line asks for the no-UI run: decides, before any Qt application
// exists, between a QCoreApplication and a QApplication.
bool CommandLineAsksNoUi(const QStringList &arguments);
