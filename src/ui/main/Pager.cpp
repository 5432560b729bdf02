#include "Pager.h"

#include "FileListCells.h"

#include <algorithm>

namespace {

const QString kFirst = QStringLiteral("first");
const QString kPrevious = QStringLiteral("prev");
const QString kNext = QStringLiteral("next");
const QString kLast = QStringLiteral("last");

QString NamedLink(const QString &id, const QString &text)
{
    return QStringLiteral("<A ID=\"%1\">%2</A>").arg(id, text);
}

} // namespace

void CPager::SetPageSize(int size)
{
    m_pageSize = std::max(1, size);
}

void CPager::SetTotal(int total)
{
    m_total = total;
}

int CPager::PageCount() const
{
    if (m_total <= 0)
        return 0;
    return int((qint64(m_total) + m_pageSize - 1) / m_pageSize);
}

int CPager::FirstItemIndex() const
{
    return (m_current - 1) * m_pageSize;
}

int CPager::LastItemIndex() const
{
    return int(std::min<qint64>(m_total, qint64(m_current) * m_pageSize) - 1);
}

int CPager::LinksShown() const
{
    if (m_firstShown == 0)
        return 0;
    return std::max(0, std::min(m_linkCount, PageCount() - m_firstShown + 1));
}

void CPager::GoToPage(int page)
{
    const int count = PageCount();
    m_current = std::min(page, count);
    if (m_current < 1)
        m_current = 0;
    if (count <= m_linkCount) {
        m_firstShown = 1;
        return;
    }
    m_firstShown = std::max(1, m_current - m_linkCount / 2);
    if (m_firstShown + m_linkCount - 1 > count)
        m_firstShown = count - m_linkCount + 1;
}

bool CPager::First()
{
    const int before = m_current;
    GoToPage(1);
    return m_current != before;
}

bool CPager::Previous()
{
    if (m_current < 2)
        return false;
    GoToPage(m_current - 1);
    return true;
}

bool CPager::Next()
{
    if (m_current >= PageCount())
        return false;
    GoToPage(m_current + 1);
    return true;
}

bool CPager::Last()
{
    const int before = m_current;
    if (before >= PageCount())
        return false;
    GoToPage(PageCount());
    return m_current != before;
}

bool CPager::Follow(const QString &linkId)
{
    if (linkId == kFirst)
        return First();
    if (linkId == kPrevious)
        return Previous();
    if (linkId == kNext)
        return Next();
    if (linkId == kLast)
        return Last();
    bool ok = false;
    const int number = linkId.toInt(&ok);
    if (!ok || number < 1)
        return false;
    const int before = m_current;
    GoToPage(m_firstShown + number - 1);
    return m_current != before;
}

void CPager::Reset()
{
    m_total = 0;
    m_current = 1;
}

QString CPager::LabelText() const
{
    return QStringLiteral("%1－%2 / %3 件（%4 / %5 頁）")
        .arg(GroupedNumber(qint64(FirstItemIndex()) + 1),
             GroupedNumber(qint64(LastItemIndex()) + 1), GroupedNumber(m_total),
             GroupedNumber(m_current), GroupedNumber(PageCount()));
}

QString CPager::LinkMarkup() const
{
    const int links = LinksShown();
    if (links < 2)
        return QString();
    const QChar space(0x3000);
    QString markup;
    if (links >= 3)
        markup += NamedLink(kFirst, QStringLiteral("《"));
    markup += space + NamedLink(kPrevious, QStringLiteral("〈"));
    for (int n = 1; n <= links; ++n)
        markup += space + QStringLiteral("<A ID=\"%1\">%2</A>").arg(n).arg(m_firstShown + n - 1);
    markup += space + NamedLink(kNext, QStringLiteral("〉"));
    if (links >= 3)
        markup += space + NamedLink(kLast, QStringLiteral("》"));
    return markup;
}

QStringList CPager::DisabledLinks() const
{
    const int links = LinksShown();
    if (links < 2)
        return {};
    QStringList ids;
    const bool atFirst = m_current <= 1;
    const bool atLast = m_current >= PageCount();
    if (atFirst && links >= 3)
        ids.append(kFirst);
    if (atFirst)
        ids.append(kPrevious);
    const int currentLink = m_current - m_firstShown + 1;
    if (currentLink >= 1 && currentLink <= links)
        ids.append(QString::number(currentLink));
    if (atLast)
        ids.append(kNext);
    if (atLast && links >= 3)
        ids.append(kLast);
    return ids;
}
