#include "Strings.h"

#include <QHash>

namespace {

struct StringEntry
{
    int id;
    const char16_t *text;
};

constexpr StringEntry kStrings[] = {
#include "resources/strings.inc"
};

const QHash<int, const char16_t *> &table()
{
    static const QHash<int, const char16_t *> t = [] {
        QHash<int, const char16_t *> h;
        h.reserve(std::size(kStrings));
        for (const StringEntry &e : kStrings)
            h.insert(e.id, e.text);
        return h;
    }();
    return t;
}

} // namespace

QString LoadString(int id)
{
    const auto it = table().constFind(id);
    return it == table().constEnd() ? QString() : QString::fromUtf16(*it);
}

bool HasString(int id)
{
    return table().contains(id);
}
