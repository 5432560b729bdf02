#include "OsUtils.h"

#include "FileSystem.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <mutex>

Q_LOGGING_CATEGORY(lcOs, "velquor.os")

namespace {

SOsInfo g_osInfo;
std::once_flag g_osOnce;

void readOsInfo()
{
    g_osInfo.distribution = QSysInfo::prettyProductName();
    g_osInfo.kernelType = QSysInfo::kernelType();
    g_osInfo.kernelVersion = QSysInfo::kernelVersion();
    g_osInfo.architecture = QSysInfo::currentCpuArchitecture();
    const QStringList parts = g_osInfo.kernelVersion.section(u'-', 0, 0).split(u'.');
    g_osInfo.major = parts.value(0).toInt();
    g_osInfo.minor = parts.value(1).toInt();
    g_osInfo.build = parts.value(2).toInt();
    g_osInfo.is64Bit
        = QSysInfo::WordSize == 64 || g_osInfo.architecture.contains(QLatin1String("64"));
}

} // namespace

quint32 TickCount()
{
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool ReadOsVersion()
{
    std::call_once(g_osOnce, readOsInfo);
    return !g_osInfo.kernelType.isEmpty();
}

const SOsInfo &OsInfo()
{
    ReadOsVersion();
    return g_osInfo;
}

bool IsSupportedOs()
{
    return ReadOsVersion() && OsInfo().kernelType == QLatin1String("linux");
}

void OsInfoText(QString *name, QString *version, QString *servicePack, QString *build)
{
    const SOsInfo &os = OsInfo();
    if (name) {
        if (os.distribution.isEmpty()) {
            *name = QStringLiteral("<unknown>");
        } else {
            *name = os.distribution;
            if (os.architecture == QLatin1String("x86_64")
                || os.architecture == QLatin1String("arm64"))
                *name += QStringLiteral(" (64-bit)");
            else if (os.architecture == QLatin1String("i386"))
                *name += QStringLiteral(" (32-bit)");
        }
    }
    if (version)
        *version = QStringLiteral("%1.%2.%3").arg(os.major).arg(os.minor).arg(os.build);
    if (servicePack)
        *servicePack = QStringLiteral("<none>");
    if (build)
        *build = QStringLiteral("%1").arg(os.build, 4, 10, QLatin1Char('0'));
}

bool ComputerName(QString &text)
{
    text = QSysInfo::machineHostName().left(260);
    return !text.isEmpty();
}

QString ProgramVersionText()
{
    return QStringLiteral(VELQUOR_VERSION_TEXT);
}

bool ParseVersionWords(const QString &text, quint32 &high, quint32 &low)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return false;
    quint32 v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint n = parts[i].toUInt(&ok);
        if (!ok || n > 0xFFFF)
            return false;
        v[i] = n;
    }
    high = v[0] << 16 | v[1];
    low = v[2] << 16 | v[3];
    return true;
}

bool GetProgramVersion(quint32 &high, quint32 &low)
{
    return ParseVersionWords(ProgramVersionText(), high, low);
}

bool ShowInExplorer(const QString &path, bool openFolder, CBizProgressHandler *)
{
    const QString native = ToNativeSeparators(path);
    if (native.isEmpty() || !PathExists(native))
        return false;
    const QString absolute = QFileInfo(native).absoluteFilePath();
    const bool folder = IsFolder(absolute);
    if (!(folder && openFolder)) {
        // Selecting an item needs the freedesktop file-manager interface.
        const QString dbusSend = QStandardPaths::findExecutable(QStringLiteral("dbus-send"));
        if (!dbusSend.isEmpty()) {
            QProcess probe;
            probe.start(dbusSend, {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                                   QStringLiteral("--dest=org.freedesktop.FileManager1"),
                                   QStringLiteral("--type=method_call"),
                                   QStringLiteral("/org/freedesktop/FileManager1"),
                                   QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
                                   QStringLiteral("array:string:")
                                       + QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded),
                                   QStringLiteral("string:")});
            if (probe.waitForFinished(3000) && probe.exitStatus() == QProcess::NormalExit
                && probe.exitCode() == 0)
                return true;
        }
    }
    const QString target = folder && openFolder ? absolute : QFileInfo(absolute).absolutePath();
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        qCWarning(lcOs) << "no xdg-open to show" << target;
        return false;
    }
    return QProcess::startDetached(opener, {target});
}

int RunAndWait(const QString &program, const QStringList &arguments, const QString &workingFolder,
               bool *started)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start();
    const bool ok = process.waitForStarted(-1);
    if (started)
        *started = ok;
    if (!ok) {
        qCWarning(lcOs) << "cannot start" << program << process.errorString();
        return -1;
    }
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

QString NewGuidText(bool withoutBraces)
{
    const QString text = QUuid::createUuid()
                             .toString(withoutBraces ? QUuid::WithoutBraces : QUuid::WithBraces)
                             .toUpper();
    return text;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return days[month - 1];
}
