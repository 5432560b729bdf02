// File records and file types: the 1,000-file list answer into records, fileTypes.vqr.
#include "files/FileParsers.h"
#include "files/FileRecord.h"
#include "files/FileTypeRecord.h"

#include "service/XmlDocument.h"
#include "store/Archive.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QString listAnswer(int files)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><velquor><listResponse>"
                                 "<files>");
    for (int i = 0; i < files; ++i) {
        xml += QStringLiteral(
                   "<file><comment>コメント %1</comment><commentUpdateDispName>山田 太郎"
                   "</commentUpdateDispName><commentUpdateId>1</commentUpdateId>"
                   "<commentUpdateTime>2024/01/31 10:00:00</commentUpdateTime>"
                   "<digest>0123456789abcdef0123456789abcdef</digest><isFavorite>false"
                   "</isFavorite><lockDispName></lockDispName><lockId>0</lockId><lockKey>"
                   "</lockKey><path>/請求書_%1.xlsx</path><size>123456</size><updateDispName>"
                   "鈴木 花子</updateDispName><updateId>2</updateId><updateName>suzuki"
                   "</updateName><updateTime>2024/02/01 09:30:00</updateTime>"
                   "<transactionAmount></transactionAmount><transactionDate></transactionDate>"
                   "<transactionName></transactionName><workspaceId>26</workspaceId></file>")
                   .arg(i);
    }
    return xml + QStringLiteral("</files></listResponse></velquor>");
}

// The work of the file list request's answer handler: the streaming read, one record per
// file into the owning list.
void BM_FileListIntoRecords(benchmark::State &state)
{
    const QString answer = listAnswer(int(state.range(0)));
    for (auto _ : state) {
        CSharedFileList list(true);
        ParseFileListAnswer(answer, [&list](std::unique_ptr<CSharedFileRecord> record) {
            list.Replace(std::move(record));
            return true;
        });
        benchmark::DoNotOptimize(list.GetCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FileListIntoRecords)->Arg(1000)->Unit(benchmark::kMillisecond);

void makeTypes(CFileTypeList &list, int count)
{
    for (int i = 1; i <= count; ++i) {
        auto record = std::make_unique<CFileTypeRecord>();
        record->id = i;
        record->ext = QStringLiteral(".e%1").arg(i);
        record->name = QStringLiteral("製品 %1").arg(i);
        record->accessType = i % 7 == 0 ? 1 : 0;
        list.Replace(std::move(record));
    }
}

void BM_FileTypesSave(benchmark::State &state)
{
    QTemporaryDir dir;
    CFileTypeList list(true);
    makeTypes(list, int(state.range(0)));
    const QString path = dir.path() + QStringLiteral("/fileTypes.vqr");
    for (auto _ : state) {
        CBizArchiveWriter writer;
        list.Serialize(writer);
        SaveArchiveFile(path, writer.data());
    }
}
BENCHMARK(BM_FileTypesSave)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_FileTypesLoad(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/fileTypes.vqr");
    {
        CFileTypeList list(true);
        makeTypes(list, int(state.range(0)));
        CBizArchiveWriter writer;
        list.Serialize(writer);
        SaveArchiveFile(path, writer.data());
    }
    for (auto _ : state) {
        CFileTypeList read(true);
        CBizArchiveReader reader(LoadArchiveFile(path), path);
        read.Deserialize(reader);
        benchmark::DoNotOptimize(read.GetCount());
    }
}
BENCHMARK(BM_FileTypesLoad)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
