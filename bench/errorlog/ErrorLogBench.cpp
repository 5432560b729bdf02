// The error log of a large operation: 10,000 entries with Japanese paths and messages (local
// sources, a tenth of them existing folders, and service paths; short texts of the checks
// and full fault messages with their type and code lines) written by the main system's
// WriteErrorLog into a desktop under a temporary HOME. Each round fills the log again and
// times only the write (the CSV text, the CP932 conversion, the classification's look at
// the disk, the temporary file and its rename); the conversion of the same text alone and
// the building of the CSV bytes without the file are timed beside it. Figures are medians
// of the rounds (the machine is shared). Nothing is asserted.
//
//   bench_errorlog [rounds=9] [entries=10000]

#include "app/LogManager.h"
#include "app/System.h"
#include "store/AnsiCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

struct SEntry
{
    QString operation, source, destination, message;
};

std::vector<SEntry> MakeEntries(int count, const QString &root)
{
    static const QString operations[]
        = {QStringLiteral("追加"), QStringLiteral("移動"), QStringLiteral("コピー"),
           QStringLiteral("ファイル名変更")};
    static const QString folders[]
        = {QStringLiteral("経理/2024/01月"), QStringLiteral("給与/2024年度"),
           QStringLiteral("電子帳簿/請求書"), QStringLiteral("共有/テンプレート")};
    static const QString messages[]
        = {QStringLiteral("ファイル名重複"),
           QStringLiteral("ファイル名長エラー（57/50）"),
           QStringLiteral("禁止文字（\\/:*?\"<>|）エラー"),
           QStringLiteral("移動元ファイルエラー(使用中（鈴木 花子）)"),
           QStringLiteral("ファイルは他のユーザーが使用中のため、処理できません。\r\n\r\n"
                          "［エラータイプ］サーバー関連\r\n［エラーコード］40008"),
           QStringLiteral("「/home/yamada/ドキュメント/見積書.xlsx」は使用されています。\r\n"
                          "使用しているアプリを終了してから再度実行してください。")};
    std::vector<SEntry> entries;
    entries.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        SEntry e;
        e.operation = operations[i % 4];
        const QString folder = folders[i % 4];
        if (i % 10 == 0) {
            // A folder dropped with the files: it exists when the log is written.
            e.source = root + QStringLiteral("/取引先フォルダ_%1").arg(i, 5, 10, QLatin1Char('0'));
            QDir().mkpath(e.source);
        } else if (i % 2 == 0) {
            e.source = root
                       + QStringLiteral("/ドキュメント/請求書_株式会社サンプル商事_%1.pdf")
                             .arg(i, 5, 10, QLatin1Char('0'));
        } else {
            e.source = folder
                       + QStringLiteral("/月次報告_第%1号（確定版）.xlsx")
                             .arg(i, 5, 10, QLatin1Char('0'));
        }
        e.destination = i % 3 == 0 ? QString() : folders[(i + 1) % 4];
        e.message = messages[i % 6];
        entries.push_back(e);
    }
    return entries;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    // One line per write would be timed with the rest.
    qputenv("QT_LOGGING_RULES", "velquor.errorlog.info=false");
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rounds = args.size() > 1 ? std::max(1, args[1].toInt()) : 9;
    const int count = args.size() > 2 ? std::max(1, args[2].toInt()) : 10000;

    const std::vector<SEntry> entries = MakeEntries(count, home.path() + QStringLiteral("/src"));
    CMainSystem main;
    std::vector<double> write, bytes, convert;
    qint64 size = 0;
    for (int r = 0; r < rounds; ++r) {
        for (const SEntry &e : entries)
            main.AddErrorLogEntry(e.operation, e.source, e.destination, e.message);

        QElapsedTimer timer;
        timer.start();
        const QByteArray csv = main.errorLog()->CsvBytes();
        bytes.push_back(double(timer.nsecsElapsed()) / 1e6);

        const QString text = FromAnsi(csv);
        timer.restart();
        const QByteArray again = ToAnsi(text);
        convert.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (again.size() != csv.size())
            std::fprintf(stderr, "conversion differs: %lld vs %lld bytes\n",
                         static_cast<long long>(again.size()), static_cast<long long>(csv.size()));

        timer.restart();
        const QString path = main.WriteErrorLog();
        write.push_back(double(timer.nsecsElapsed()) / 1e6);
        size = QFileInfo(path).size();
        QFile::remove(path);
    }
    std::printf("error log of %d entries, %d rounds (medians)\n", count, rounds);
    std::printf("  WriteErrorLog           %8.2f ms\n", Median(write));
    std::printf("  CSV bytes alone         %8.2f ms\n", Median(bytes));
    std::printf("  ToAnsi of the text      %8.2f ms\n", Median(convert));
    std::printf("  file size               %8lld bytes (%.1f KiB)\n", static_cast<long long>(size),
                double(size) / 1024.0);
    return 0;
}
