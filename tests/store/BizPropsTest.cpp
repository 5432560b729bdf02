#include "store/BizProps.h"

#include "core/BizException.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Utf16Le(const QString &text, bool bom = true)
{
    QByteArray out;
    if (bom)
        out.append("\xff\xfe", 2);
    for (QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

class BizPropsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Write(const QByteArray &content, const QString &name = u"server.vqr"_qs)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(BizPropsTest, LineRules)
{
    const QString path = Write(Utf16Le(u"a = b = c\r\n=text\r\nnoequals\r\n"
                                       u"  spaced key\t=\t value  \r\ndup=1\r\ndup=2\r\n"
                                       u"\r\nCase=x\r\ncase=y\r\nlast=no line end"_qs));
    CBizProps props(path);
    ASSERT_TRUE(props.Load());
    EXPECT_EQ(props.GetValue(u"a"_qs), u"b = c");
    EXPECT_TRUE(props.Contains(u"=text"_qs));
    EXPECT_EQ(props.GetValue(u"=text"_qs), u"");
    EXPECT_TRUE(props.Contains(u"noequals"_qs));
    EXPECT_EQ(props.GetValue(u"spaced key"_qs), u"value");
    EXPECT_EQ(props.GetValue(u"dup"_qs), u"2");
    EXPECT_TRUE(props.Contains(QString())); // the empty line
    EXPECT_EQ(props.GetValue(u"Case"_qs), u"x");
    EXPECT_EQ(props.GetValue(u"case"_qs), u"y");
    EXPECT_EQ(props.GetValue(u"last"_qs), u"no line end");
    EXPECT_EQ(props.GetValue(u"absent"_qs), u"");
    EXPECT_EQ(props.Count(), 9);
}

TEST_F(BizPropsTest, FileWithoutBomAndLoadAddsToTheTable)
{
    const QString path = Write(Utf16Le(u"host=example.jp\nport=443"_qs, false));
    CBizProps props;
    props.SetValue(u"port"_qs, u"80"_qs);
    props.SetValue(u"kept"_qs, u"1"_qs);
    ASSERT_TRUE(props.Load(path));
    EXPECT_EQ(props.GetValue(u"host"_qs), u"example.jp");
    EXPECT_EQ(props.GetValue(u"port"_qs), u"443");
    EXPECT_EQ(props.GetValue(u"kept"_qs), u"1");
}

TEST_F(BizPropsTest, SaveWritesBomAndCrLfAndLoadsBackTheSameEntries)
{
    CBizProps props(m_dir.filePath(u"sub/dir/version.vqr"_qs));
    props.SetValue(u"b"_qs, u"経理 = 1"_qs);
    props.SetValue(u"a"_qs, QString());
    props.SetVersion(u"version"_qs, 0x00010001, 0x00060006);
    ASSERT_TRUE(props.Save()); // creates the folders

    QFile f(props.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    EXPECT_EQ(raw, Utf16Le(u"a=\r\nb=経理 = 1\r\nversion=1.1.6.6\r\n"_qs));

    CBizProps back(props.path());
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(back.values(), props.values());
    EXPECT_EQ(QDir(m_dir.filePath(u"sub/dir"_qs)).entryList(QDir::Files).size(), 1);
}

TEST_F(BizPropsTest, EntryOfAnEmptyLineIsNotWrittenBack)
{
    // Written as "=" it would come back as the key "=": the file would grow junk entries.
    CBizProps props(Write(Utf16Le(u"a=1\r\n\r\nb=2\r\n"_qs)));
    ASSERT_TRUE(props.Load());
    EXPECT_TRUE(props.Contains(QString()));
    ASSERT_TRUE(props.Save());
    CBizProps back(props.path());
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(back.Count(), 2);
    EXPECT_FALSE(back.Contains(u"="_qs));
    EXPECT_EQ(back.GetValue(u"b"_qs), u"2");
}

TEST_F(BizPropsTest, VersionValues)
{
    CBizProps props;
    props.SetValue(u"v"_qs, u"1.1.6.6"_qs);
    quint32 ls = 0;
    EXPECT_EQ(props.GetVersion(u"v"_qs, &ls), 0x00010001u);
    EXPECT_EQ(ls, 0x00060006u);
    props.SetVersion(u"w"_qs, 0x00010001u, 0x00060006u);
    EXPECT_EQ(props.GetValue(u"w"_qs), u"1.1.6.6");
    ls = 77;
    EXPECT_EQ(props.GetVersion(u"absent"_qs, &ls), 0u);
    EXPECT_EQ(ls, 77u);
}

TEST_F(BizPropsTest, ExistsUsesTheOwnPathOnlyWhenNoneIsGiven)
{
    const QString path = Write(Utf16Le(u"x=1"_qs));
    EXPECT_FALSE(CBizProps().Exists());
    EXPECT_TRUE(CBizProps().Exists(path));
    EXPECT_TRUE(CBizProps(path).Exists());
    EXPECT_FALSE(CBizProps(path).Exists(QString()));
    EXPECT_TRUE(CBizProps().Exists(m_dir.path())); // a folder counts
    EXPECT_FALSE(CBizProps(m_dir.filePath(u"none"_qs)).Exists());
}

TEST_F(BizPropsTest, UnreadableFilesRaiseFileException)
{
    CBizProps props(m_dir.filePath(u"missing.vqr"_qs));
    try {
        props.Load();
        ADD_FAILURE() << "loaded a missing file";
    } catch (const CBizFileException &e) {
        EXPECT_EQ(e.cause(), CBizFileException::FileNotFound);
        EXPECT_EQ(e.path(), props.path());
    }
    EXPECT_THROW(CBizProps().Load(), CBizFileException);
    // A folder where the file should go.
    QDir(m_dir.path()).mkpath(u"taken.vqr"_qs);
    CBizProps blocked(m_dir.filePath(u"taken.vqr"_qs));
    blocked.SetValue(u"a"_qs, u"b"_qs);
    EXPECT_THROW(blocked.Save(), CBizFileException);
    // The folder of the path cannot be created (a file is in the way).
    const QString file = Write(Utf16Le(u"x"_qs), u"plain"_qs);
    EXPECT_FALSE(CBizProps(file + u"/sub/a.vqr").Save());
}

TEST_F(BizPropsTest, EmptyAndOddFilesNeverFail)
{
    CBizProps props;
    ASSERT_TRUE(props.Load(Write(QByteArray(), u"empty.vqr"_qs)));
    EXPECT_TRUE(props.IsEmpty());
    ASSERT_TRUE(props.Load(Write(QByteArray("\xff\xfe"
                                            "k\0=\0v\0x",
                                            9),
                                 u"odd.vqr"_qs)));
    EXPECT_EQ(props.GetValue(u"k"_qs), u"v"); // the odd last byte is dropped
}

class CountingProps : public CBizProps
{
public:
    using CBizProps::CBizProps;
    mutable QStringList gets;
    QStringList sets;

protected:
    void OnGet(const QString &key) const override { gets.append(key); }
    void OnSet(const QString &key, const QString &value) override
    {
        sets.append(key + u'=' + value);
    }
};

TEST_F(BizPropsTest, HooksSeeEveryReadAndWrite)
{
    CountingProps props;
    props.SetVersion(u"v"_qs, 0x00020000u, 0);
    props.GetVersion(u"v"_qs);
    props.GetValue(u"x"_qs);
    EXPECT_EQ(props.sets, QStringList{u"v=2.0.0.0"_qs});
    EXPECT_EQ(props.gets, (QStringList{u"v"_qs, u"x"_qs}));
}

} // namespace
