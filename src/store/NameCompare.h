#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// Name comparisons used across the client.
//
// Loose (sorting and searching): the Japanese collation at primary strength with
// punctuation and symbols shifted out, so letter case, character width (Ａ/a), kana type
// (ｱ/ア/あ), accents and dakuten (é/e, が/か) and symbols are ignored. Many distinct names
// compare equal: sort stably (SortNamesLoose does) when the order must be repeatable.
//
// Identity (duplicates, renames of the local mirror): letter case only.
//
// The collator is opened once per thread; every function here is safe to call from any
// thread.

// -1, 0 or 1.
int CompareNamesLoose(const QString &a, const QString &b);

// True when needle occurs in haystack under the loose comparison. An empty needle occurs
// everywhere.
bool ContainsNameLoose(const QString &haystack, const QString &needle);

// The loose collation's sort key: comparing two keys bytewise (operator<) orders like
// CompareNamesLoose. Worth it when one name takes part in many comparisons.
QByteArray NameSortKey(const QString &name);

// Stable sort of names under the loose comparison (keys computed once per name).
void SortNamesLoose(QStringList &names);

// Strict-weak "less" for std::sort and friends, holding its own collator.
class CNameLooseLess
{
public:
    CNameLooseLess();
    ~CNameLooseLess();
    CNameLooseLess(const CNameLooseLess &other);
    CNameLooseLess &operator=(const CNameLooseLess &) = delete;
    bool operator()(const QString &a, const QString &b) const;

private:
    struct Private;
    std::shared_ptr<Private> d;
};

// Identity of names: equal when they differ in letter case only.
bool EqualNamesIgnoreCase(const QString &a, const QString &b);
// Ordering of the identity rule (-1, 0, 1).
int CompareNamesIgnoreCase(const QString &a, const QString &b);
