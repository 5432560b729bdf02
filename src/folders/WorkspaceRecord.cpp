#include "WorkspaceRecord.h"

#include "store/Convert.h"
#include "store/NameCompare.h"

#include <QSet>

#include <algorithm>
#include <vector>

QString AllFoldersName()
{
    return QStringLiteral("<全てのフォルダ>");
}

QString FavoritesName()
{
    return QStringLiteral("お気に入り");
}

qint32 FolderStyleFromService(qint32 value)
{
    if (value >= 200)
        return value - 180;
    if (value >= 100)
        return value - 90;
    return value;
}

qint32 FolderStyleToService(qint32 stored)
{
    return stored < 20 ? stored : stored + 180;
}

// --- CWorkspaceRecord ---

CWorkspaceRecord::CWorkspaceRecord(const QList<qint32> &ids, const QStringList &names,
                                   bool readOnlyFlag)
    : readOnly(readOnlyFlag ? 1 : 0)
    , pathIds(ids)
    , pathNames(names)
{
    id = pathIds.isEmpty() ? 0 : pathIds.last();
    name = pathNames.isEmpty() ? QString() : pathNames.last();
    // Both chains have the same length, whatever the caller gave.
    while (pathNames.size() < pathIds.size())
        pathNames.append(QString());
    pathNames.resize(pathIds.size());
}

CWorkspaceRecord::CWorkspaceRecord(const CWorkspaceRecord &pathOf, bool readOnlyFlag)
    : CWorkspaceRecord(pathOf.pathIds, pathOf.pathNames, readOnlyFlag)
{}

void CWorkspaceRecord::Clear()
{
    *this = CWorkspaceRecord();
}

void CWorkspaceRecord::SetName(const QString &newName)
{
    name = newName;
    if (!pathNames.isEmpty())
        pathNames.last() = newName;
}

void CWorkspaceRecord::NormalizePath()
{
    if (pathIds.isEmpty() || pathIds.last() != id)
        pathIds.append(id);
    while (pathNames.size() < pathIds.size())
        pathNames.append(QString());
    pathNames.resize(pathIds.size());
    pathNames.last() = name;
}

QString CWorkspaceRecord::DisplayPath() const
{
    return JoinStrings(pathNames, u'/');
}

// --- CWorkspaceList ---

namespace {

// child is listed directly below parent: one level deeper, same chain up to the parent.
bool IsChildOf(const CWorkspaceRecord &child, const CWorkspaceRecord &parent)
{
    const qsizetype d = parent.pathIds.size();
    if (child.pathIds.size() != d + 1 || d == 0)
        return false;
    return std::equal(parent.pathIds.cbegin(), parent.pathIds.cend(), child.pathIds.cbegin());
}

bool SameParentChain(const CWorkspaceRecord &a, const CWorkspaceRecord &b)
{
    const qsizetype d = a.pathIds.size();
    if (b.pathIds.size() != d || d == 0)
        return false;
    return std::equal(a.pathIds.cbegin(), a.pathIds.cend() - 1, b.pathIds.cbegin());
}

// Below folder (at depth d, id): the chain holds id at position d-1.
bool IsBelowOrSelf(const CWorkspaceRecord &record, qint32 id, qsizetype d)
{
    return d > 0 && record.pathIds.size() >= d && record.pathIds.at(d - 1) == id;
}

} // namespace

CWorkspaceRecord *CWorkspaceList::FindById(qint32 id) const
{
    return Lookup(id);
}

CWorkspaceRecord *CWorkspaceList::Add(std::unique_ptr<CWorkspaceRecord> record)
{
    if (!record)
        return nullptr;
    const qint32 id = record->id;
    if (ContainsKey(id))
        Base::RemoveKey(id);
    return Base::Add(id, std::move(record));
}

CWorkspaceRecord *CWorkspaceList::AddInTree(std::unique_ptr<CWorkspaceRecord> record)
{
    CWorkspaceRecord *added = Add(std::move(record));
    m_orderPending = m_orderPending || (added && size() > 1);
    return added;
}

void CWorkspaceList::EnsureTreeOrder() const
{
    if (m_orderPending)
        const_cast<CWorkspaceList *>(this)->ArrangeTreeOrder();
}

bool CWorkspaceList::RemoveById(qint32 id)
{
    return Base::RemoveKey(id);
}

int CWorkspaceList::RemoveSubtree(qint32 id)
{
    const CWorkspaceRecord *folder = FindById(id);
    if (!folder)
        return 0;
    const qsizetype d = folder->Depth();
    // One pass rebuilding the list: removing records one by one costs a scan each.
    std::vector<std::unique_ptr<CWorkspaceRecord>> all = TakeAll();
    int removed = 0;
    for (auto &record : all) {
        if (IsBelowOrSelf(*record, id, d)) {
            ++removed;
            record.reset();
        } else {
            const qint32 key = record->id;
            Base::Add(key, std::move(record));
        }
    }
    m_positions.clear();
    return removed;
}

qsizetype CWorkspaceList::PositionOf(const CWorkspaceRecord *record) const
{
    if (!record)
        return -1;
    const auto it = m_positions.constFind(record);
    if (it != m_positions.cend() && At(*it) == record)
        return *it;
    // The list changed since the positions were taken: take them again.
    m_positions.clear();
    m_positions.reserve(size());
    qsizetype found = -1;
    for (qsizetype i = 0; i < size(); ++i) {
        const CWorkspaceRecord *r = At(i);
        m_positions.insert(r, i);
        if (r == record)
            found = i;
    }
    return found;
}

CWorkspaceRecord *CWorkspaceList::FirstChild(qint32 id) const
{
    EnsureTreeOrder();
    if (id <= 0)
        return GetHead();
    const CWorkspaceRecord *folder = FindById(id);
    const qsizetype pos = PositionOf(folder);
    if (pos < 0)
        return nullptr;
    CWorkspaceRecord *next = At(pos + 1);
    return next && IsChildOf(*next, *folder) ? next : nullptr;
}

CWorkspaceRecord *CWorkspaceList::NextSibling(const CWorkspaceRecord *record) const
{
    EnsureTreeOrder();
    const qsizetype pos = PositionOf(record);
    if (pos < 0)
        return nullptr;
    const qsizetype d = record->Depth();
    for (qsizetype i = pos + 1; i < size(); ++i) {
        CWorkspaceRecord *r = At(i);
        if (r->Depth() > d)
            continue;
        if (r->Depth() < d)
            return nullptr;
        return SameParentChain(*r, *record) ? r : nullptr;
    }
    return nullptr;
}

QList<CWorkspaceRecord *> CWorkspaceList::Children(qint32 id) const
{
    QList<CWorkspaceRecord *> children;
    CWorkspaceRecord *child = FirstChild(id);
    // The head of the list is a top-level folder unless the list holds only records cut
    // off from their parents.
    if (id <= 0 && child && child->Depth() != 1)
        child = nullptr;
    for (; child; child = NextSibling(child))
        children.append(child);
    return children;
}

CWorkspaceRecord *CWorkspaceList::ChildByName(qint32 id, const QString &childName) const
{
    const QList<CWorkspaceRecord *> children = Children(id);
    for (CWorkspaceRecord *child : children) {
        if (EqualNamesIgnoreCase(child->name, childName))
            return child;
    }
    return nullptr;
}

int CWorkspaceList::SubtreeDepth(qint32 id) const
{
    int deepest = 0;
    for (const CWorkspaceRecord *r : *this) {
        if (r->HasInPath(id))
            deepest = std::max(deepest, r->Depth() - 1);
    }
    return deepest;
}

void CWorkspaceList::PropagateName(qint32 id, const QString &newName)
{
    CWorkspaceRecord *folder = FindById(id);
    if (!folder)
        return;
    const qsizetype d = folder->Depth();
    folder->SetName(newName);
    for (CWorkspaceRecord *r : *this) {
        if (r != folder && r->Depth() > d && IsBelowOrSelf(*r, id, d))
            r->pathNames[d - 1] = newName;
    }
}

void CWorkspaceList::RefreshPathNames(CWorkspaceRecord *record) const
{
    record->NormalizePath();
    for (qsizetype i = record->pathIds.size() - 2; i >= 0; --i) {
        if (const CWorkspaceRecord *ancestor = FindById(record->pathIds.at(i)))
            record->pathNames[i] = ancestor->name;
    }
}

void CWorkspaceList::RefreshPathNames()
{
    for (CWorkspaceRecord *r : *this)
        RefreshPathNames(r);
}

void CWorkspaceList::Search(qint32 id, const QString &text, CWorkspaceRefList &result) const
{
    result.RemoveAll();
    QList<CWorkspaceRecord *> scope;
    if (id == 0) {
        scope = items();
    } else {
        const CWorkspaceRecord *folder = FindById(id);
        if (!folder)
            return;
        for (qint32 ancestor : folder->pathIds) {
            if (CWorkspaceRecord *r = FindById(ancestor); r && r != folder)
                scope.append(r);
        }
        const qsizetype d = folder->Depth();
        for (CWorkspaceRecord *r : *this) {
            if (IsBelowOrSelf(*r, id, d))
                scope.append(r);
        }
    }

    QSet<const CWorkspaceRecord *> present;
    auto addOnce = [&](CWorkspaceRecord *r) {
        if (r && !present.contains(r)) {
            present.insert(r);
            result.AddTail(r);
        }
    };
    if (text.isEmpty()) {
        for (CWorkspaceRecord *r : std::as_const(scope))
            addOnce(r);
        return;
    }
    for (const CWorkspaceRecord *r : std::as_const(scope)) {
        const int matched = FindStringLoose(r->pathNames, text, 0);
        if (matched < 0)
            continue;
        for (qsizetype k = matched; k < r->pathIds.size(); ++k)
            addOnce(FindById(r->pathIds.at(k)));
    }
}

void CWorkspaceList::ArrangeTreeOrder()
{
    m_orderPending = false;
    const qsizetype n = size();
    std::vector<std::vector<qsizetype>> children(static_cast<size_t>(n));
    std::vector<qsizetype> roots;
    std::vector<bool> placed(static_cast<size_t>(n), false);

    for (qsizetype i = 0; i < n; ++i) {
        const CWorkspaceRecord *r = At(i);
        const qsizetype d = r->Depth();
        if (d == 0 || r->pathIds.last() != r->id)
            continue;
        if (d == 1) {
            roots.push_back(i);
            continue;
        }
        const CWorkspaceRecord *parent = FindById(r->pathIds.at(d - 2));
        if (parent && IsChildOf(*r, *parent))
            children[size_t(PositionOf(parent))].push_back(i);
    }

    std::vector<qsizetype> order;
    order.reserve(size_t(n));
    std::vector<qsizetype> stack;
    for (auto root = roots.crbegin(); root != roots.crend(); ++root)
        stack.push_back(*root);
    while (!stack.empty()) {
        const qsizetype i = stack.back();
        stack.pop_back();
        if (placed[size_t(i)])
            continue;
        placed[size_t(i)] = true;
        order.push_back(i);
        const auto &kids = children[size_t(i)];
        for (auto kid = kids.crbegin(); kid != kids.crend(); ++kid)
            stack.push_back(*kid);
    }
    for (qsizetype i = 0; i < n; ++i) {
        if (!placed[size_t(i)])
            order.push_back(i);
    }

    bool unchanged = true;
    for (qsizetype i = 0; i < n && unchanged; ++i)
        unchanged = order[size_t(i)] == i;
    if (unchanged)
        return;

    std::vector<std::unique_ptr<CWorkspaceRecord>> all = TakeAll();
    for (qsizetype i : order) {
        const qint32 key = all[size_t(i)]->id;
        Base::Add(key, std::move(all[size_t(i)]));
    }
    m_positions.clear();
}

void CWorkspaceList::SortByName()
{
    m_orderPending = false;
    const qsizetype n = size();
    if (n < 2)
        return;
    struct SEntry
    {
        CWorkspaceRecord *record;
        std::vector<QByteArray> keys;
    };
    std::vector<SEntry> entries;
    entries.reserve(size_t(n));
    bool allNumbered = true;
    bool noneNumbered = true;
    for (CWorkspaceRecord *r : *this) {
        SEntry e{r, {}};
        e.keys.reserve(size_t(r->pathNames.size()));
        for (const QString &part : std::as_const(r->pathNames))
            e.keys.push_back(NameSortKey(part));
        entries.push_back(std::move(e));
        allNumbered = allNumbered && r->sortIndex >= 0;
        noneNumbered = noneNumbered && r->sortIndex < 0;
    }

    auto less = [](const SEntry &a, const SEntry &b) {
        const CWorkspaceRecord &ra = *a.record;
        const CWorkspaceRecord &rb = *b.record;
        if (ra.sortIndex >= 0 && rb.sortIndex >= 0)
            return ra.sortIndex < rb.sortIndex;
        const size_t common = std::min(std::min(a.keys.size(), b.keys.size()),
                                       size_t(std::min(ra.pathIds.size(), rb.pathIds.size())));
        for (size_t i = 0; i < common; ++i) {
            const int c = a.keys[i].compare(b.keys[i]);
            if (c != 0)
                return c < 0;
            const qint32 ia = ra.pathIds.at(qsizetype(i));
            const qint32 ib = rb.pathIds.at(qsizetype(i));
            if (ia != ib)
                return ia < ib;
        }
        return a.keys.size() < b.keys.size();
    };

    if (allNumbered || noneNumbered) {
        // Either rule alone is a strict weak order.
        std::stable_sort(entries.begin(), entries.end(), less);
    } else {
        // Mixed numbered and new records: the two rules together are not transitive, so
        // sort by plain insertion, which gives a well-defined stable result regardless.
        for (size_t i = 1; i < entries.size(); ++i) {
            size_t j = i;
            while (j > 0 && less(entries[i], entries[j - 1]))
                --j;
            if (j != i)
                std::rotate(entries.begin() + qsizetype(j), entries.begin() + qsizetype(i),
                            entries.begin() + qsizetype(i) + 1);
        }
    }

    QHash<const CWorkspaceRecord *, qsizetype> wanted;
    wanted.reserve(n);
    for (size_t i = 0; i < entries.size(); ++i)
        wanted.insert(entries[i].record, qsizetype(i));
    std::vector<std::unique_ptr<CWorkspaceRecord>> all = TakeAll();
    std::vector<std::unique_ptr<CWorkspaceRecord>> sorted(all.size());
    for (auto &record : all) {
        const qsizetype at = wanted.value(record.get());
        sorted[size_t(at)] = std::move(record);
    }
    for (auto &record : sorted) {
        const qint32 key = record->id;
        Base::Add(key, std::move(record));
    }
    m_positions.clear();
}

void CWorkspaceList::NumberRecords()
{
    qint32 i = 0;
    for (CWorkspaceRecord *r : *this)
        r->sortIndex = i++;
}
