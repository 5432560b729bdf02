#include "CommandLine.h"

int CBizCommandLineInfo::Parse(const QStringList &arguments, const QStringList &allowed)
{
    m_switches.clear();
    m_switches.reserve(10);
    m_firstPlain.clear();
    m_pending.clear();
    m_lastParameter.clear();
    m_plainCount = 0;
    m_count = 0;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        ++m_count;
        m_lastParameter = arg;
        bool isSwitch = arg.startsWith(u'/');
        if (isSwitch && !m_pending.isEmpty()) {
            // A value that is an absolute path; an allowed name still starts a switch.
            const QString body = arg.mid(1);
            const qsizetype eq = body.indexOf(u'=');
            const QString name = eq > 0 ? body.left(eq) : body;
            if (!allowed.contains(name))
                isSwitch = false;
        }
        if (isSwitch) {
            const QString body = arg.mid(1);
            const qsizetype eq = body.indexOf(u'=');
            if (eq > 0 && eq + 1 < body.size()) {
                m_switches.insert(body.left(eq), body.mid(eq + 1));
                m_pending.clear();
            } else if (eq > 0) {
                // "name=" with nothing after it: the name with an empty value.
                m_switches.insert(body.left(eq), QString());
                m_pending.clear();
            } else {
                m_switches.insert(body, QString());
                m_pending = body;
            }
            continue;
        }
        if (!m_pending.isEmpty()) {
            m_switches.insert(m_pending, arg);
            m_pending.clear();
            continue;
        }
        ++m_plainCount;
        if (m_firstPlain.isNull())
            m_firstPlain = arg; // later plain arguments are ignored
    }
    return m_count;
}

void CBizCommandLine::Allow(const QString &name)
{
    if (!m_allowed.contains(name))
        m_allowed.append(name);
}

void CBizCommandLine::Filter(const CBizCommandLineInfo &info)
{
    m_accepted.clear();
    for (const QString &name : std::as_const(m_allowed)) {
        if (info.HasSwitch(name))
            m_accepted.append({name, info.Value(name)});
    }
}

bool CBizCommandLine::IsAccepted(const QString &name) const
{
    for (const auto &entry : m_accepted)
        if (entry.first == name)
            return true;
    return false;
}

QString CBizCommandLine::Value(const QString &name) const
{
    for (const auto &entry : m_accepted)
        if (entry.first == name)
            return entry.second;
    return {};
}

bool CommandLineAsksNoUi(const QStringList &arguments)
{
    CBizCommandLineInfo info;
    info.Parse(arguments, {QStringLiteral("no_ui")});
    return info.HasSwitch(QStringLiteral("no_ui"));
}
