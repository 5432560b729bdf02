#include "NameCompare.h"

#include "StoreLog.h"

#include <unicode/ucol.h>
#include <unicode/usearch.h>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

UCollator *OpenLooseCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    // The system locale is C here: the Japanese rules must be asked for by name.
    UCollator *coll = ucol_open("ja", &status);
    if (U_FAILURE(status) || !coll) {
        qCWarning(lcStore) << "ucol_open(ja) failed:" << u_errorName(status);
        status = U_ZERO_ERROR;
        coll = ucol_open("", &status);
        if (U_FAILURE(status))
            return nullptr;
    }
    ucol_setStrength(coll, UCOL_PRIMARY);
    ucol_setAttribute(coll, UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, &status);
    ucol_setAttribute(coll, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (U_FAILURE(status))
        qCWarning(lcStore) << "collator attributes:" << u_errorName(status);
    return coll;
}

struct CollatorHolder
{
    UCollator *coll = OpenLooseCollator();
    ~CollatorHolder()
    {
        if (coll)
            ucol_close(coll);
    }
};

UCollator *ThreadCollator()
{
    thread_local CollatorHolder holder;
    return holder.coll;
}

const UChar *Utf16(const QString &s)
{
    return reinterpret_cast<const UChar *>(s.utf16());
}

int Sign(int v)
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

int Strcoll(UCollator *coll, const QString &a, const QString &b)
{
    if (!coll)
        return Sign(QString::compare(a, b, Qt::CaseInsensitive));
    switch (ucol_strcoll(coll, Utf16(a), int32_t(a.size()), Utf16(b), int32_t(b.size()))) {
    case UCOL_LESS:
        return -1;
    case UCOL_GREATER:
        return 1;
    default:
        return 0;
    }
}

QByteArray SortKeyWith(UCollator *coll, const QString &name)
{
    if (!coll)
        return name.toLower().toUtf8();
    QByteArray key(qsizetype(name.size()) * 4 + 16, Qt::Uninitialized);
    int32_t needed = ucol_getSortKey(coll, Utf16(name), int32_t(name.size()),
                                     reinterpret_cast<uint8_t *>(key.data()), int32_t(key.size()));
    if (needed > key.size()) {
        key.resize(needed);
        needed = ucol_getSortKey(coll, Utf16(name), int32_t(name.size()),
                                 reinterpret_cast<uint8_t *>(key.data()), int32_t(key.size()));
    }
    // The key ends with a zero byte, which bytewise comparison does not need.
    key.resize(std::max(needed - 1, 0));
    return key;
}

} // namespace

int CompareNamesLoose(const QString &a, const QString &b)
{
    return Strcoll(ThreadCollator(), a, b);
}

bool ContainsNameLoose(const QString &haystack, const QString &needle)
{
    if (needle.isEmpty())
        return true;
    if (haystack.isEmpty())
        return false;
    UCollator *coll = ThreadCollator();
    if (!coll)
        return haystack.contains(needle, Qt::CaseInsensitive);
    UErrorCode status = U_ZERO_ERROR;
    UStringSearch *search
        = usearch_openFromCollator(Utf16(needle), int32_t(needle.size()), Utf16(haystack),
                                   int32_t(haystack.size()), coll, nullptr, &status);
    if (U_FAILURE(status) || !search) {
        // A needle made only of ignorable characters (symbols) cannot be searched for; like
        // an empty needle it matches.
        if (search)
            usearch_close(search);
        return SortKeyWith(coll, needle).isEmpty();
    }
    const int32_t pos = usearch_first(search, &status);
    usearch_close(search);
    if (U_FAILURE(status))
        return false;
    return pos != USEARCH_DONE || SortKeyWith(coll, needle).isEmpty();
}

QByteArray NameSortKey(const QString &name)
{
    return SortKeyWith(ThreadCollator(), name);
}

void SortNamesLoose(QStringList &names)
{
    UCollator *coll = ThreadCollator();
    const qsizetype n = names.size();
    if (n < 2)
        return;
    // All keys in one buffer; each entry carries the key's first eight bytes as a number so
    // that most comparisons never touch the buffer.
    struct SEntry
    {
        quint64 prefix;
        qsizetype offset;
        qsizetype length;
        qsizetype index;
    };
    std::vector<SEntry> entries(n);
    std::vector<uint8_t> buffer;
    buffer.reserve(size_t(n) * 24);
    for (qsizetype i = 0; i < n; ++i) {
        const QString &name = names.at(i);
        const qsizetype offset = qsizetype(buffer.size());
        qsizetype room = name.size() * 4 + 16;
        buffer.resize(size_t(offset + room));
        int32_t needed = 0;
        if (coll) {
            needed = ucol_getSortKey(coll, Utf16(name), int32_t(name.size()),
                                     buffer.data() + offset, int32_t(room));
            if (needed > room) {
                room = needed;
                buffer.resize(size_t(offset + room));
                needed = ucol_getSortKey(coll, Utf16(name), int32_t(name.size()),
                                         buffer.data() + offset, int32_t(room));
            }
        }
        const qsizetype length = std::max<qsizetype>(needed - 1, 0); // without the final 0
        buffer.resize(size_t(offset + length));
        quint64 prefix = 0;
        for (int k = 0; k < 8; ++k)
            prefix = (prefix << 8) | (k < length ? buffer[size_t(offset + k)] : 0);
        entries[size_t(i)] = {prefix, offset, length, i};
    }
    const uint8_t *keys = buffer.data();
    std::stable_sort(entries.begin(), entries.end(), [keys](const SEntry &x, const SEntry &y) {
        if (x.prefix != y.prefix)
            return x.prefix < y.prefix;
        if (x.length <= 8 || y.length <= 8)
            return x.length < y.length;
        const int c = std::memcmp(keys + x.offset + 8, keys + y.offset + 8,
                                  size_t(std::min(x.length, y.length) - 8));
        return c != 0 ? c < 0 : x.length < y.length;
    });
    QStringList sorted;
    sorted.reserve(n);
    for (const SEntry &e : entries)
        sorted.append(std::move(names[e.index]));
    names = std::move(sorted);
}

struct CNameLooseLess::Private
{
    UCollator *coll = OpenLooseCollator();
    ~Private()
    {
        if (coll)
            ucol_close(coll);
    }
};

CNameLooseLess::CNameLooseLess()
    : d(std::make_shared<Private>())
{}
CNameLooseLess::~CNameLooseLess() = default;
// Copies (std::sort copies its comparator) share the collator; use one per thread.
CNameLooseLess::CNameLooseLess(const CNameLooseLess &other) = default;

bool CNameLooseLess::operator()(const QString &a, const QString &b) const
{
    return Strcoll(d->coll, a, b) < 0;
}

bool EqualNamesIgnoreCase(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

int CompareNamesIgnoreCase(const QString &a, const QString &b)
{
    return Sign(QString::compare(a, b, Qt::CaseInsensitive));
}
