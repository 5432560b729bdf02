#pragma once

// Timing, medians and the printed table lines every benchmark shares.

#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>
#include <vector>

namespace bench {

// The middle value (the upper one of an even count); 0 for none.
double Median(std::vector<double> v);
double Ms(const QElapsedTimer &timer);
// a / b, 0 where b is not positive.
double Ratio(double a, double b);
// User + system time so far of this process (RUSAGE_SELF) or of its waited-for children
// (RUSAGE_CHILDREN), in ms.
double CpuMs(int who);
// Keeps the write-back of what the previous step wrote out of the next step's time.
void Sync();

// The rows of a figures table: "  <label> <value> <unit>[  <note>]", the label left-aligned
// in labelWidth, the value right-aligned in valueWidth with precision decimals.
struct STable
{
    constexpr explicit STable(int labelWidth = 52, int valueWidth = 9, int precision = 1)
        : labelWidth(labelWidth)
        , valueWidth(valueWidth)
        , precision(precision)
    {}
    int labelWidth;
    int valueWidth;
    int precision;
    void Line(const char *label, double value, const char *unit = "ms",
              const QString &note = {}) const;
    void Line(const QString &label, double value, const char *unit = "ms",
              const QString &note = {}) const;
};

} // namespace bench
