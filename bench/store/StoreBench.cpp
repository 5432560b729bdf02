// Figures of the local store: archive encoding of a state file, id-path decoding of a folder
// tree, and the loose name sort of a large file list.
#include "store/Archive.h"
#include "store/IdPath.h"
#include "store/NameCompare.h"

#include <QRandomGenerator>

#include <benchmark/benchmark.h>

namespace {

QString RandomName(QRandomGenerator &rng, int minLen, int maxLen)
{
    static const QString alphabet
        = QStringLiteral("あいうえおかきくけこがぎぐげごさしすせそアイウエオカキクケコガギグゲゴ"
                         "ｱｲｳｴｵｶｷｸｹｺ経理総務請求書見積納品領収決算報告年月日部課株式会社"
                         "ABCDEFabcdefＡＢＣ0123456789０１２ -_()（）・");
    const int len = minLen + int(rng.bounded(maxLen - minLen + 1));
    QString name;
    name.reserve(len);
    for (int i = 0; i < len; ++i)
        name += alphabet.at(rng.bounded(int(alphabet.size())));
    return name;
}

void BM_ArchiveWriteRead10000Records(benchmark::State &state)
{
    QRandomGenerator rng(1);
    std::vector<std::array<QString, 5>> records(10000);
    for (auto &r : records)
        for (auto &t : r)
            t = RandomName(rng, 4, 40);
    qint64 bytes = 0;
    for (auto _ : state) {
        CBizArchiveWriter writer;
        writer.WriteCount(quint32(records.size()));
        for (const auto &r : records)
            for (const auto &t : r)
                writer.WriteText(t);
        CBizArchiveReader reader(writer.data());
        const quint32 n = reader.ReadCount(5 * 4);
        qsizetype total = 0;
        for (quint32 i = 0; i < n; ++i)
            for (int k = 0; k < 5; ++k)
                total += reader.ReadText().size();
        benchmark::DoNotOptimize(total);
        bytes = writer.size();
    }
    state.counters["archive_bytes"] = double(bytes);
}
BENCHMARK(BM_ArchiveWriteRead10000Records)->Unit(benchmark::kMillisecond);

void BM_DecodeIdPath100000(benchmark::State &state)
{
    QRandomGenerator rng(2);
    QStringList paths;
    for (int i = 0; i < 100000; ++i) {
        QList<qint32> ids;
        QStringList names;
        for (int l = 0, levels = 1 + int(rng.bounded(5)); l < levels; ++l) {
            ids.append(1 + qint32(rng.bounded(100000)));
            names.append(RandomName(rng, 2, 16));
        }
        paths.append(EncodeIdPath(ids, names));
    }
    QList<qint32> ids;
    QStringList names;
    for (auto _ : state) {
        qint64 levels = 0;
        for (const QString &p : std::as_const(paths))
            levels += DecodeIdPath(p, &ids, &names);
        benchmark::DoNotOptimize(levels);
    }
}
BENCHMARK(BM_DecodeIdPath100000)->Unit(benchmark::kMillisecond);

QStringList JapaneseNames(int count)
{
    QRandomGenerator rng(3);
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.append(RandomName(rng, 3, 20) + QStringLiteral(".xlsx"));
    return names;
}

void BM_SortNamesLoose100000(benchmark::State &state)
{
    const QStringList input = JapaneseNames(100000);
    for (auto _ : state) {
        QStringList names = input;
        SortNamesLoose(names);
        benchmark::DoNotOptimize(names.constData());
    }
}
BENCHMARK(BM_SortNamesLoose100000)->Unit(benchmark::kMillisecond);

// The share of the sort key computation in the sort.
void BM_SortKeys100000(benchmark::State &state)
{
    const QStringList input = JapaneseNames(100000);
    for (auto _ : state) {
        qsizetype total = 0;
        for (const QString &name : input)
            total += NameSortKey(name).size();
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_SortKeys100000)->Unit(benchmark::kMillisecond);

// The comparator without sort keys, for comparison (what a list-control sort would do).
void BM_StableSortWithComparator100000(benchmark::State &state)
{
    const QStringList input = JapaneseNames(100000);
    for (auto _ : state) {
        QStringList names = input;
        std::stable_sort(names.begin(), names.end(), CNameLooseLess());
        benchmark::DoNotOptimize(names.constData());
    }
}
BENCHMARK(BM_StableSortWithComparator100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
