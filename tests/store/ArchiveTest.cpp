#include "store/Archive.h"

#include "core/BizException.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString TextOfLength(qsizetype length)
{
    QString text(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        text[i] = QChar(char16_t(0x3041 + i % 80)); // hiragana, never a marker byte pattern
    return text;
}

struct STextCase
{
    qsizetype length;
    const char *prefixHex; // marker and length bytes
};

class ArchiveTextTest : public ::testing::TestWithParam<STextCase>
{};

TEST_P(ArchiveTextTest, RoundTripsWithTheRightLengthForm)
{
    const STextCase &c = GetParam();
    const QString text = TextOfLength(c.length);
    CBizArchiveWriter writer;
    writer.WriteText(text);
    writer.WriteWord(0xBEEF); // the next field starts right after the code units
    const QByteArray prefix = QByteArray::fromHex(c.prefixHex);
    ASSERT_EQ(writer.size(), prefix.size() + c.length * 2 + 2);
    EXPECT_EQ(writer.data().left(prefix.size()).toHex(), prefix.toHex());

    CBizArchiveReader reader(writer.data());
    EXPECT_EQ(reader.ReadText(), text);
    EXPECT_EQ(reader.ReadWord(), 0xBEEF);
    EXPECT_TRUE(reader.atEnd());
}

INSTANTIATE_TEST_SUITE_P(LengthForms, ArchiveTextTest,
                         ::testing::Values(STextCase{0, "fffeff00"}, STextCase{1, "fffeff01"},
                                           STextCase{254, "fffefffe"},
                                           STextCase{255, "fffeffffff00"},
                                           STextCase{300, "fffeffff2c01"},
                                           STextCase{65533, "fffefffffdff"},
                                           STextCase{65534, "fffeffffffffFEFF0000"},
                                           STextCase{70000, "fffeffffffff70110100"}));

TEST(ArchiveTest, TextKeepsEveryCodeUnit)
{
    // Zero code units (a scrambled password can hold one), surrogates, a lone surrogate.
    const QString text = QString(QChar(0)) + u"a😀" + QChar(0xDC00) + QChar(0xFFFF);
    CBizArchiveWriter writer;
    writer.WriteText(text);
    CBizArchiveReader reader(writer.data());
    EXPECT_EQ(reader.ReadText(), text);
}

struct SCountCase
{
    quint32 count;
    const char *hex;
};

class ArchiveCountTest : public ::testing::TestWithParam<SCountCase>
{};

TEST_P(ArchiveCountTest, WordBelowFFFFElseEscaped)
{
    CBizArchiveWriter writer;
    writer.WriteCount(GetParam().count);
    EXPECT_EQ(writer.data().toHex(), QByteArray(GetParam().hex));
    CBizArchiveReader reader(writer.data());
    EXPECT_EQ(reader.ReadCount(0), GetParam().count);
    EXPECT_TRUE(reader.atEnd());
}

INSTANTIATE_TEST_SUITE_P(Forms, ArchiveCountTest,
                         ::testing::Values(SCountCase{0, "0000"}, SCountCase{65534, "feff"},
                                           SCountCase{65535, "ffffffff0000"},
                                           SCountCase{70000, "ffff70110100"}));

class ArchiveDateTimeTest : public ::testing::TestWithParam<CDateTimeValue>
{};

TEST_P(ArchiveDateTimeTest, StatusFirstThenValue)
{
    const CDateTimeValue v = GetParam();
    CBizArchiveWriter writer;
    writer.WriteDateTime(v);
    ASSERT_EQ(writer.size(), 12);
    CBizArchiveReader reader(writer.data());
    EXPECT_EQ(reader.ReadInt32(), v.status);
    EXPECT_EQ(reader.ReadDouble(), v.value);
    CBizArchiveReader again(writer.data());
    EXPECT_EQ(again.ReadDateTime(), v);
}

INSTANTIATE_TEST_SUITE_P(Statuses, ArchiveDateTimeTest,
                         ::testing::Values(CDateTimeValue(45322.5, CDateTimeValue::Valid),
                                           CDateTimeValue(-1.25, CDateTimeValue::Valid),
                                           CDateTimeValue(-1.0, CDateTimeValue::Invalid),
                                           CDateTimeValue(0.0, CDateTimeValue::Null)));

TEST(ArchiveTest, NullDateTimeBytes)
{
    CBizArchiveWriter writer;
    writer.WriteDateTime(CDateTimeValue::NullValue());
    EXPECT_EQ(writer.data().toHex(), QByteArray("020000000000000000000000"));
}

TEST(ArchiveTest, NumbersAreLittleEndian)
{
    QByteArray target("x");
    CBizArchiveWriter writer(target); // appends to the caller's array
    writer.WriteWord(0x1234);
    writer.WriteInt32(-2);
    writer.WriteInt64(0x0102030405060708LL);
    writer.WriteDouble(1.0);
    EXPECT_EQ(target.toHex(), QByteArray("78"
                                         "3412"
                                         "feffffff"
                                         "0807060504030201"
                                         "000000000000f03f"));
    CBizArchiveReader reader(target.mid(1));
    EXPECT_EQ(reader.ReadWord(), 0x1234);
    EXPECT_EQ(reader.ReadInt32(), -2);
    EXPECT_EQ(reader.ReadInt64(), 0x0102030405060708LL);
    EXPECT_EQ(reader.ReadDouble(), 1.0);
}

TEST(ArchiveTest, ReadsOldSingleByteCp932Texts)
{
    // Written by old versions: a length byte (or FF + word), then CP932 bytes, no marker.
    const QByteArray sjis = QByteArray::fromHex("838d834f8f6f97cd93fa8e9e"); // ログ出力日時
    QByteArray data;
    data.append(char(sjis.size()));
    data.append(sjis);
    QByteArray longForm = QByteArray::fromHex("ff");
    QByteArray body(300, 'a');
    body.replace(0, sjis.size(), sjis);
    longForm.append(QByteArray::fromHex("2c01"));
    longForm.append(body);
    data.append(longForm);

    CBizArchiveReader reader(data);
    EXPECT_EQ(reader.ReadText(), u"ログ出力日時");
    EXPECT_EQ(reader.ReadText(), u"ログ出力日時" + QString(300 - 12, u'a'));
    EXPECT_TRUE(reader.atEnd());
}

template<typename F>
void ExpectArchiveError(const QByteArray &data, F read, int cause)
{
    CBizArchiveReader reader(data, u"/x/logins.vqr"_qs);
    try {
        read(reader);
        ADD_FAILURE() << "no exception for " << data.toHex().toStdString();
    } catch (const CBizArchiveException &e) {
        EXPECT_EQ(e.cause(), cause) << data.toHex().toStdString();
        EXPECT_EQ(e.path(), u"/x/logins.vqr");
    }
}

TEST(ArchiveDamageTest, HugeLengthsAndCountsRaiseBeforeAllocating)
{
    auto text = [](CBizArchiveReader &r) { r.ReadText(); };
    // Length 0x7FFFFFFF / 0xFFFFFFFF code units with a few bytes behind them.
    ExpectArchiveError(QByteArray::fromHex("fffeffffffffffffff7f41004200"), text,
                       CBizArchiveException::EndOfFile);
    ExpectArchiveError(QByteArray::fromHex("fffeffffffffffffffff4100"), text,
                       CBizArchiveException::EndOfFile);
    // The same lengths in the old single-byte form.
    ExpectArchiveError(QByteArray::fromHex("ffffffffffff7f4142"), text,
                       CBizArchiveException::EndOfFile);
    auto count = [](CBizArchiveReader &r) { r.ReadCount(12); };
    ExpectArchiveError(QByteArray::fromHex("ffffffffff7f") + QByteArray(100, 0), count,
                       CBizArchiveException::EndOfFile);
    ExpectArchiveError(QByteArray::fromHex("0900") + QByteArray(100, 0), count,
                       CBizArchiveException::EndOfFile);
    auto dateTime = [](CBizArchiveReader &r) { r.ReadDateTime(); };
    ExpectArchiveError(QByteArray::fromHex("07000000") + QByteArray(8, 0), dateTime,
                       CBizArchiveException::BadFormat);
}

// A small record file: count, then per record two texts, a date-time and an integer.
QByteArray SampleArchive()
{
    CBizArchiveWriter writer;
    writer.WriteCount(3);
    for (int i = 0; i < 3; ++i) {
        writer.WriteText(TextOfLength(10 + i * 200));
        writer.WriteText(u"経理/請求書"_qs);
        writer.WriteDateTime(CDateTimeValue(45322.5 + i));
        writer.WriteInt32(i);
    }
    return writer.data();
}

void ReadSample(CBizArchiveReader &reader)
{
    const quint32 n = reader.ReadCount(4 + 4 + 12 + 4);
    for (quint32 i = 0; i < n; ++i) {
        reader.ReadText();
        reader.ReadText();
        reader.ReadDateTime();
        reader.ReadInt32();
    }
}

TEST(ArchiveDamageTest, EveryTruncationRaisesEndOfFile)
{
    const QByteArray full = SampleArchive();
    {
        CBizArchiveReader reader(full);
        ReadSample(reader);
        EXPECT_TRUE(reader.atEnd());
    }
    for (qsizetype cut = 0; cut < full.size(); ++cut)
        ExpectArchiveError(full.left(cut), ReadSample, CBizArchiveException::EndOfFile);
}

TEST(ArchiveDamageTest, RandomBytesRaiseOnlyTheArchiveException)
{
    QRandomGenerator rng(20240131);
    const QByteArray sample = SampleArchive();
    for (int round = 0; round < 3000; ++round) {
        QByteArray data;
        if (round % 2) {
            data = sample; // flip bytes of a valid archive
            for (int k = 0, flips = 1 + int(rng.bounded(6)); k < flips; ++k)
                data[rng.bounded(int(data.size()))] = char(rng.bounded(256));
        } else {
            data.resize(rng.bounded(64));
            for (char &c : data)
                c = char(rng.bounded(256));
        }
        CBizArchiveReader reader(data);
        try {
            ReadSample(reader);
        } catch (const CBizArchiveException &e) {
            EXPECT_TRUE(e.cause() == CBizArchiveException::EndOfFile
                        || e.cause() == CBizArchiveException::BadFormat);
        }
        // Nothing else may escape: any other exception fails the test through gtest.
        EXPECT_LE(reader.position(), data.size());
    }
}

TEST(ArchiveFileTest, SavesAtomicallyAndLoadsBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"a/b/comments.vqr"_qs);
    const QByteArray data = SampleArchive();
    SaveArchiveFile(path, data); // creates the folders
    EXPECT_EQ(LoadArchiveFile(path), data);
    SaveArchiveFile(path, QByteArray("new"));
    EXPECT_EQ(LoadArchiveFile(path), QByteArray("new"));
    EXPECT_EQ(QDir(dir.filePath(u"a/b"_qs)).entryList(QDir::Files),
              QStringList{u"comments.vqr"_qs});

    try {
        LoadArchiveFile(dir.filePath(u"missing.vqr"_qs));
        ADD_FAILURE() << "missing file loaded";
    } catch (const CBizFileException &e) {
        EXPECT_EQ(e.cause(), CBizFileException::FileNotFound);
    }
    // A folder in the way: the save fails loudly and the old content stays.
    QDir(dir.path()).mkpath(u"blocked/fileTypes.vqr"_qs);
    EXPECT_THROW(SaveArchiveFile(dir.filePath(u"blocked/fileTypes.vqr"_qs), data),
                 CBizFileException);
}

} // namespace
