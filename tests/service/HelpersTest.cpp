// Form encoding, XML lookup, digests, server.vqr, fault texts and the kind-7 handler.
#include "ServiceFixture.h"

#include "core/Strings.h"
#include "service/CertStore.h"

#include <QRegularExpression>

TEST(FormEncoding, EscapesEveryByteOutsideTheSafeSetInLowerCase)
{
    EXPECT_EQ(CBizWinHttpClient::PercentEncode(QStringLiteral("a b&c")), "a%20b%26c");
    EXPECT_EQ(CBizWinHttpClient::PercentEncode(QStringLiteral("x=1%")), "x%3d1%25");
    EXPECT_EQ(CBizWinHttpClient::PercentEncode(QStringLiteral("経理")), "%e7%b5%8c%e7%90%86");
    EXPECT_EQ(CBizWinHttpClient::PercentEncode(QStringLiteral("A-z0.9/:_~!'()*")),
              "A-z0.9/:_~!'()*");
    EXPECT_EQ(CBizWinHttpClient::PercentEncode(QStringLiteral("+,;\"#?")), "%2b%2c%3b%22%23%3f");
    EXPECT_EQ(CBizWinHttpClient::EncodeForm(
                  {{QStringLiteral("n m"), QStringLiteral("v")}, {QStringLiteral("k"), QString()}}),
              "n%20m=v&k=");
}

TEST(FormEncoding, GetKeepsThePathWithoutParametersAndAppendsThemOtherwise)
{
    CBizWinHttpClient client;
    client.Open(QStringLiteral("GET"), QStringLiteral("h"), 80, QStringLiteral("/a/b"), 0);
    EXPECT_EQ(client.url().toString(), QStringLiteral("http://h:80/a/b"));
    client.SetParameter(QStringLiteral("q"), QStringLiteral("a b"));
    client.SetParameter(QStringLiteral("r"), QStringLiteral("1"));
    client.SetParameter(QStringLiteral("q"), QStringLiteral("c&d")); // replaces, keeps order
    client.Open(QStringLiteral("GET"), QStringLiteral("h"), 80, QStringLiteral("/a/b"), 0);
    EXPECT_EQ(client.url().query(QUrl::FullyEncoded).toLower(), QStringLiteral("q=c%26d&r=1"));
    client.Open(QStringLiteral("POST"), QStringLiteral("h"), 80, QStringLiteral("/a/b"),
                CBizWinHttpClient::Secure);
    EXPECT_EQ(client.url().toString(), QStringLiteral("https://h:80/a/b"));
    EXPECT_THROW(
        client.Open(QStringLiteral("PUT"), QStringLiteral("h"), 80, QStringLiteral("/"), 0),
        CBizWinHttpException);
}

TEST(FormEncoding, BoundaryIsBizPrefixAndUpperCaseGuid)
{
    const QString b = CBizWinHttpClient::NewBoundary();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^---biz-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                                  "[0-9A-F]{4}-[0-9A-F]{12}$"))
                    .match(b)
                    .hasMatch())
        << b.toStdString();
    EXPECT_NE(b, CBizWinHttpClient::NewBoundary());
}

TEST(Xml, FindChildReadsInOrderAndOutOfOrder)
{
    CBizXmlDocument doc = LoadXml(QStringLiteral(
        "<?xml version=\"1.0\"?>\n<velquor>\n  <r>\n    <a>1</a>\n    <b>two</b>\n    <c>3</c>\n"
        "  </r>\n</velquor>"));
    CBizXmlElement r = doc.Root().FindChild(QStringLiteral("r"));
    ASSERT_FALSE(r.IsNull());
    QString text;
    qint32 n = 0;
    EXPECT_TRUE(r.ChildInt(QStringLiteral("a"), &n));
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(r.ChildInt(QStringLiteral("c"), &n)); // skips b
    EXPECT_EQ(n, 3);
    EXPECT_TRUE(r.ChildText(QStringLiteral("b"), &text)); // back again: search by name
    EXPECT_EQ(text, QStringLiteral("two"));
    EXPECT_FALSE(r.ChildText(QStringLiteral("missing"), &text));
    EXPECT_EQ(text, QStringLiteral("two"));
    // White-space-only text never counts as a child node.
    EXPECT_EQ(r.ChildNodes().size(), 3);
    EXPECT_EQ(doc.Root().FindPath({QStringLiteral("r"), QStringLiteral("c")}).Text(),
              QStringLiteral("3"));
}

TEST(Xml, ItemsMatchIgnoringCaseAndSkipOthers)
{
    CBizXmlDocument doc = LoadXml(QStringLiteral(
        "<v><list><item>1</item><other/><ITEM>2</ITEM><!-- c --><Item>3</Item></list></v>"));
    const QList<CBizXmlElement> items
        = doc.Root().FindChild(QStringLiteral("list")).Items(QStringLiteral("item"));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[2].Text(), QStringLiteral("3"));
    EXPECT_EQ(CBizXmlElement::NextSibling(items[0], QStringLiteral("item")).Text(),
              QStringLiteral("2"));
}

TEST(Xml, FailuresCarryLineColumnAndKind)
{
    try {
        LoadXml(QStringLiteral("<a>\n<b></a>"));
        FAIL() << "no exception";
    } catch (const CBizXmlDomException &e) {
        EXPECT_EQ(e.resultCode(), XmlError::Malformed);
        EXPECT_EQ(e.line(), 2);
        EXPECT_GT(e.column(), 0);
        EXPECT_FALSE(e.reason().isEmpty());
        EXPECT_EQ(e.ErrorMessage(),
                  QStringLiteral("XMLの解析中に2行目でエラーが発生しました。\r\n理由：")
                      + e.reason());
    }
    try {
        LoadXml(QStringLiteral("Service Unavailable"));
        FAIL() << "no exception";
    } catch (const CBizXmlDomException &e) {
        EXPECT_EQ(e.resultCode(), XmlError::NotXml);
    }
    // Entities are never expanded: a document type is refused before the DOM sees it.
    try {
        LoadXml(QStringLiteral("<?xml version=\"1.0\"?><!DOCTYPE v [<!ENTITY x \"xxxxxxxx\">"
                               "<!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;\">]><v>&y;</v>"));
        FAIL() << "no exception";
    } catch (const CBizXmlDomException &e) {
        EXPECT_EQ(e.resultCode(), XmlError::DtdRefused);
    }
}

TEST(Digest, Md5LowerCaseAndCaseInsensitiveCompare)
{
    EXPECT_EQ(Md5Hex({}), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    CBizCryptMessageDigest d;
    QString hex = QStringLiteral("untouched");
    EXPECT_FALSE(d.FinishDigest(&hex));
    EXPECT_EQ(hex, QStringLiteral("untouched"));
    d.BeginDigest();
    d.AddToDigest(QByteArray("ab"));
    d.AddToDigest(QByteArray("c"));
    ASSERT_TRUE(d.FinishDigest(&hex));
    EXPECT_EQ(hex, QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_TRUE(DigestEquals(hex, hex.toUpper()));
    EXPECT_FALSE(DigestEquals(hex, Md5Hex("abd")));
    EXPECT_FALSE(DigestEquals({}, {}));
}

struct SettingsCase
{
    const char *name;
    QList<QPair<QString, QString>> lines;
    quint16 port;
    bool secure;
    const char *loginPath;
    const char *webPage;
};

class ServerSettingsTable : public ServiceTest, public ::testing::WithParamInterface<SettingsCase>
{};

TEST_P(ServerSettingsTable, EndpointPathAndWebPage)
{
    const SettingsCase &c = GetParam();
    if (!c.lines.isEmpty())
        SetServerVqr(c.lines);
    const SServerSettings s = LoadServerSettings();
    EXPECT_EQ(s.fromFile, !c.lines.isEmpty());
    EXPECT_EQ(s.port(), c.port);
    EXPECT_EQ(s.secure, c.secure);
    EXPECT_EQ(ApiPath(s, QStringLiteral("login")), QString::fromUtf8(c.loginPath));
    EXPECT_EQ(BuildWebPageUrl(s, QStringLiteral("clientPrefix"), QStringLiteral("apps/client"),
                              QStringLiteral("a/login"),
                              {{QStringLiteral("command"), QStringLiteral("info")}}),
              QString::fromUtf8(c.webPage));
    QString host;
    quint16 httpPort = 0, httpsPort = 0;
    bool secure = false;
    EXPECT_EQ(ReadEndpoint(&host, &httpPort, &httpsPort, &secure), !c.lines.isEmpty());
    EXPECT_EQ(secure, c.secure);
}

const QString kHost = QString::fromUtf16(SServerSettings::DefaultHostName);

INSTANTIATE_TEST_SUITE_P(
    Vqr, ServerSettingsTable,
    ::testing::Values(
        SettingsCase{"NoFile",
                     {},
                     443,
                     true,
                     "/apps/api/apis/login",
                     "https://api.velquor-cloud.jp:443/apps/client/a/login?command=info"},
        SettingsCase{"SecureOff",
                     {{"secure", "0"}},
                     80,
                     false,
                     "/apps/api/apis/login",
                     "http://api.velquor-cloud.jp:80/apps/client/a/login?command=info"},
        SettingsCase{"SecureNo",
                     {{"secure", "no"}, {"httpPort", "8080"}},
                     8080,
                     false,
                     "/apps/api/apis/login",
                     "http://api.velquor-cloud.jp:8080/apps/client/a/login?command=info"},
        SettingsCase{"HexPort",
                     {{"httpsPort", "0x1BB"}, {"hostName", "h.example"}},
                     443,
                     true,
                     "/apps/api/apis/login",
                     "https://h.example:443/apps/client/a/login?command=info"},
        SettingsCase{"RootPrefix",
                     {{"rootPrefix", "tenant"}},
                     443,
                     true,
                     "/tenant/apps/api/apis/login",
                     "https://api.velquor-cloud.jp:443/apps/client/a/login?command=info"},
        SettingsCase{"EmptyApiPrefixKeepsDefault",
                     {{"apiPrefix", ""}, {"clientPrefix", "c"}},
                     443,
                     true,
                     "/apps/api/apis/login",
                     "https://api.velquor-cloud.jp:443/c/a/login?command=info"},
        SettingsCase{"EqualsFirstLineChangesNothing",
                     {{"=abc", ""}},
                     443,
                     true,
                     "/apps/api/apis/login",
                     "https://api.velquor-cloud.jp:443/apps/client/a/login?command=info"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ServiceTest, ServerVqrLinesAreTrimmedAndEqualsFirstIsAKey)
{
    // Written by hand: " key = value " and "=abc" lines.
    QFile f(DataPath({}, QStringLiteral("server.vqr")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QString text
        = QStringLiteral("\ufeff  hostName =  srv.example  \r\n=abc\r\nsecure=yes\r\n"
                         "receiveTimeout=junk\r\nrootPrefix=t\r\n");
    f.write(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    f.close();
    const SServerSettings s = LoadServerSettings();
    EXPECT_EQ(s.hostName, QStringLiteral("srv.example"));
    EXPECT_TRUE(s.secure);
    EXPECT_EQ(s.receiveTimeout, 0); // unparsable: 0, the transport default
    EXPECT_TRUE(s.values.contains(QStringLiteral("=abc")));
    EXPECT_EQ(AutoUpdatePath(s, QStringLiteral("version")),
              QStringLiteral("/t/apps/api/autoupdate/version"));
    // Web pages never carry the root prefix.
    EXPECT_EQ(BuildWebPageUrl(s, QStringLiteral("managePrefix"), QStringLiteral("apps/manager"),
                              QStringLiteral("u/login.do")),
              QStringLiteral("https://srv.example:443/apps/manager/u/login.do"));
    SServerSettings bare;
    bare.apiPrefix.clear();
    EXPECT_EQ(ApiPath(bare, QStringLiteral("login")), QStringLiteral("/login"));
}

TEST(Faults, EveryCodeMapsToItsTextFollowedByTheServiceMessage)
{
    // code -> string id, in the table's order.
    const QList<QPair<QString, int>> expected
        = {{"00001", 17931}, {"00002", 17932}, {"00003", 17933}, {"10002", 17940}, {"10003", 17941},
           {"10004", 17942}, {"10007", 17943}, {"10008", 17984}, {"10009", 17944}, {"20103", 17950},
           {"20203", 17951}, {"30002", 17960}, {"30003", 17975}, {"30004", 17976}, {"30006", 17977},
           {"30007", 17978}, {"30008", 17961}, {"30009", 17962}, {"30011", 17964}, {"30012", 17965},
           {"30013", 17966}, {"30014", 17967}, {"30015", 17968}, {"30017", 17969}, {"40002", 17970},
           {"40003", 17975}, {"40005", 17971}, {"40006", 17972}, {"40007", 17973}, {"40008", 17974},
           {"40011", 17979}, {"40012", 17980}, {"40013", 17981}, {"40014", 17982}, {"40017", 17983},
           {"60001", 17985}, {"70002", 17960}, {"70005", 17981}, {"70006", 17973}, {"70009", 17986},
           {"70010", 17987}};
    int count = 0;
    const SFaultEntry *table = FaultTable(&count);
    ASSERT_EQ(count, 41);
    for (int i = 0; i < count; ++i) {
        const auto &[code, id] = expected[i];
        SCOPED_TRACE(code.toStdString());
        EXPECT_EQ(QString::fromUtf16(table[i].code), code);
        ASSERT_TRUE(HasString(id));
        const CRequestException e(code, QStringLiteral("svc msg"));
        EXPECT_TRUE(e.known());
        QString text = LoadString(id);
        if (code == QLatin1String("00001") || code == QLatin1String("00003"))
            text.replace(QStringLiteral("%s"), QStringLiteral("svc msg"));
        EXPECT_EQ(FaultText(e), text + QStringLiteral("\r\nsvc msg"));
        EXPECT_FALSE(text.contains(QStringLiteral("%s")));
    }
    // Literal checks of texts that are easy to get wrong.
    EXPECT_EQ(
        FaultText(CRequestException(QStringLiteral("40008"), QStringLiteral("m"))),
        QStringLiteral("このファイルはサーバー上でロックされています。\r\n他の人が使用中です。\r\n"
                       "処理を中止します。\r\nm"));
    EXPECT_TRUE(LoadString(17932).contains(QStringLiteral("ません。\r\r（")));
    EXPECT_EQ(FaultText(CRequestException(QStringLiteral("00001"), QStringLiteral("503"))),
              QStringLiteral(
                  "サーバーからエラー（503）が返されました。\r\nエラーの内容は解析できません。\r\n"
                  "サーバーメンテナンス中の可能性があります。\r\n※メンテナンス中の場合は、"
                  "サービス再開までお待ちください\r\n503"));
    const CRequestException unknown(QStringLiteral("99999"), QStringLiteral("x"));
    EXPECT_FALSE(unknown.known());
    EXPECT_EQ(FaultText(unknown), LoadString(17930) + QStringLiteral("\r\nx"));
    // A "%s" in a service message of another code is not a format.
    EXPECT_EQ(FaultText(CRequestException(QStringLiteral("40006"), QStringLiteral("%s"))),
              LoadString(17972) + QStringLiteral("\r\n%s"));
    EXPECT_TRUE(IsAccessKeyExpired(CRequestException(QStringLiteral("10003"), {})));
    EXPECT_FALSE(IsAccessKeyExpired(CRequestException(QStringLiteral("10002"), {})));
    EXPECT_TRUE(CRequestException(QStringLiteral("4000a"), {}).code() == QStringLiteral("4000a"));
}

TEST(Faults, HandlerReportsKindSeven)
{
    CExceptHandler handler;
    handler.Set(CRequestException(QStringLiteral("40005"), QStringLiteral("service says")));
    EXPECT_EQ(handler.GetKind(), 7);
    EXPECT_EQ(handler.KindName(), QStringLiteral("サーバー関連"));
    EXPECT_EQ(handler.CodeText(), QStringLiteral("40005"));
    EXPECT_EQ(handler.Code(), qint32(0x20009C45));
    EXPECT_EQ(handler.MessageText(), QStringLiteral("service says"));
    EXPECT_EQ(handler.FullMessage(),
              LoadString(17971)
                  + QStringLiteral("\r\nservice says\r\n\r\n［エラータイプ］サーバー関連"
                                   "\r\n［エラーコード］40005"));
    EXPECT_THROW(handler.RethrowPending(), CRequestException);
    handler.Set(CBizWinHttpException(HttpError::Timeout, QStringLiteral("t")));
    EXPECT_EQ(handler.GetKind(), 5);
    EXPECT_EQ(handler.Code(), 12002);
}

TEST_F(ServiceTest, TrustFileKeepsEachCertificateOnce)
{
    CBizCertStore store;
    EXPECT_TRUE(store.path().startsWith(DataPath()));
    EXPECT_TRUE(store.Certificates().isEmpty());
    EXPECT_FALSE(store.Add(QSslCertificate()));
}
