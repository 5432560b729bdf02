#include "Measure.h"

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Ms(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double Ratio(double a, double b)
{
    return b > 0 ? a / b : 0.0;
}

double CpuMs(int who)
{
    struct rusage usage = {};
    ::getrusage(who, &usage);
    auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void Sync()
{
    ::sync();
}

void STable::Line(const char *label, double value, const char *unit, const QString &note) const
{
    std::printf("  %-*s %*.*f %s", labelWidth, label, valueWidth, precision, value, unit);
    if (!note.isEmpty())
        std::printf("  %s", qPrintable(note));
    std::printf("\n");
}

void STable::Line(const QString &label, double value, const char *unit, const QString &note) const
{
    Line(qPrintable(label), value, unit, note);
}

} // namespace bench
