#pragma once

#include <QString>
#include <QStringList>

class CBizProgressHandler;

// Ticks: a 32-bit millisecond counter that wraps; spans are computed modulo 2^32.
quint32 TickCount();
inline quint32 TickSpan(quint32 earlier, quint32 later)
{
    return later - earlier;
}

class CStopwatch
{
public:
    void Start() { m_tick = TickCount(); }
    // Milliseconds since Start or the previous Lap; restarts the measurement.
    quint32 Lap()
    {
        const quint32 now = TickCount();
        const quint32 span = TickSpan(m_tick, now);
        m_tick = now;
        return span;
    }

private:
    quint32 m_tick = 0;
};

// Operating-system information, read once per process.
struct SOsInfo
{
    QString distribution; // QSysInfo::prettyProductName, e.g. "Debian GNU/Linux 12 (bookworm)"
    QString kernelType;   // "linux"
    QString kernelVersion;
    QString architecture; // QSysInfo::currentCpuArchitecture
    int major = 0;        // kernel version numbers
    int minor = 0;
    int build = 0;
    bool is64Bit = false;
};
bool ReadOsVersion();
const SOsInfo &OsInfo();
// The start-up check: the platform the client is built for. Always passes on Linux.
bool IsSupportedOs();
// Each output optional: name "<distribution> (64-bit)" (or "<unknown>"), version
// "%d.%d.%d" of the kernel, service pack "<none>", build "%04d".
void OsInfoText(QString *name, QString *version = nullptr, QString *servicePack = nullptr,
                QString *build = nullptr);
// The computer's host name; false (empty text) when there is none.
bool ComputerName(QString &text);

// The program's own version (from the build), e.g. "2.0.0.1", and as the two words of a
// version resource (high = major << 16 | minor, low = build << 16 | revision).
QString ProgramVersionText();
bool GetProgramVersion(quint32 &high, quint32 &low);
// Parses "a.b.c.d" into the two words; false for anything else.
bool ParseVersionWords(const QString &text, quint32 &high, quint32 &low);

// Shows path in the desktop's file manager: a folder is opened when openFolder, otherwise
// the item is selected where the file manager supports it (else its folder is opened).
// False when the path does not exist or no file manager could be started. Nothing waits
// for the file manager: a successful start counts as ready.
bool ShowInExplorer(const QString &path, bool openFolder, CBizProgressHandler *progress = nullptr);

// Starts program with the arguments in workingFolder (empty: the current one), waits for
// it without limit and answers its exit code. A program that cannot be started or that
// crashes answers -1 (never 0, which would read as success); started tells which.
int RunAndWait(const QString &program, const QStringList &arguments,
               const QString &workingFolder = {}, bool *started = nullptr);

// A new GUID in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case, 38
// characters), or without the braces (36).
QString NewGuidText(bool withoutBraces = false);

// 28 to 31 by the Gregorian rule; 0 for a month outside 1..12.
int DaysInMonth(int year, int month);
