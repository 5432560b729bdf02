#pragma once

#include <QString>
#include <QStringList>

// The pages of a long folder listing (page numbers from 1) and how the window shows them:
// the label "%s－%s / %s 件（%s / %s 頁）" and the page links in the link markup of the
// link control.
class CPager
{
public:
    static constexpr int DefaultPageSize = 500;
    static constexpr int DefaultLinkCount = 5;

    int pageSize() const { return m_pageSize; }
    void SetPageSize(int size); // at least 1
    int total() const { return m_total; }
    void SetTotal(int total);
    int current() const { return m_current; } // 0: none
    int firstShown() const { return m_firstShown; }
    int linkCount() const { return m_linkCount; }

    // ceil(total / page size); 0 when total <= 0.
    int PageCount() const;
    // (current − 1) × page size; min(total, current × page size) − 1.
    int FirstItemIndex() const;
    int LastItemIndex() const;
    // 0 when the first shown page is 0, else min(link count, page count − first shown + 1).
    int LinksShown() const;

    // The current page becomes min(p, page count) (0 below 1); the first shown page 1 when
    // the pages fit the links, else max(1, current − link count / 2), pulled back to
    // page count − link count + 1 when the links would run past the last page.
    void GoToPage(int page);
    // The moves answer whether the page changed: 1; current − 1 (from 2); current + 1 (below
    // the last); page count.
    bool First();
    bool Previous();
    bool Next();
    bool Last();
    // A link's id: "first", "prev", "next", "last" or a link number n (page first shown +
    // n − 1). Answers whether the page changed.
    bool Follow(const QString &linkId);
    // Total 0, current 1.
    void Reset();

    // "%s－%s / %s 件（%s / %s 頁）": first item number, last item number, total, current page,
    // page count, each grouped with ",".
    QString LabelText() const;
    // The link markup: 《 (three links or more), 〈, each page number, 〉, 》 (three or more),
    // separated by U+3000, as <A ID="…">…</A>; empty with fewer than two links.
    QString LinkMarkup() const;
    // The ids drawn disabled: the current page's link number, and first/prev on the first
    // page, next/last on the last.
    QStringList DisabledLinks() const;

private:
    int m_pageSize = DefaultPageSize;
    int m_total = 0;
    int m_current = 1;
    int m_firstShown = 1;
    int m_linkCount = DefaultLinkCount;
};
