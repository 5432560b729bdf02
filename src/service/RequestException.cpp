#include "RequestException.h"

#include "core/BizFormat.h"
#include "core/Strings.h"
#include "store/Convert.h"

namespace {

constexpr SFaultEntry kFaults[] = {
    {u"00001", 17931}, {u"00002", 17932}, {u"00003", 17933}, {u"10002", 17940}, {u"10003", 17941},
    {u"10004", 17942}, {u"10007", 17943}, {u"10008", 17984}, {u"10009", 17944}, {u"20103", 17950},
    {u"20203", 17951}, {u"30002", 17960}, {u"30003", 17975}, {u"30004", 17976}, {u"30006", 17977},
    {u"30007", 17978}, {u"30008", 17961}, {u"30009", 17962}, {u"30011", 17964}, {u"30012", 17965},
    {u"30013", 17966}, {u"30014", 17967}, {u"30015", 17968}, {u"30017", 17969}, {u"40002", 17970},
    {u"40003", 17975}, {u"40005", 17971}, {u"40006", 17972}, {u"40007", 17973}, {u"40008", 17974},
    {u"40011", 17979}, {u"40012", 17980}, {u"40013", 17981}, {u"40014", 17982}, {u"40017", 17983},
    {u"60001", 17985}, {u"70002", 17960}, {u"70005", 17981}, {u"70006", 17973}, {u"70009", 17986},
    {u"70010", 17987},
};
static_assert(std::size(kFaults) == 41);

constexpr int kUnknownFaultText = 17930;

const SFaultEntry *findFault(const QString &code)
{
    for (const SFaultEntry &e : kFaults) {
        if (code.compare(QString::fromUtf16(e.code), Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

} // namespace

CRequestException::CRequestException(const QString &code, const QString &message)
    : m_code(code)
    , m_message(message)
    , m_known(findFault(code) != nullptr)
{}

const SFaultEntry *FaultTable(int *count)
{
    if (count)
        *count = int(std::size(kFaults));
    return kFaults;
}

QString FaultText(const CRequestException &e)
{
    QString text;
    if (const SFaultEntry *entry = findFault(e.code())) {
        text = LoadString(entry->messageId);
        // Only these two carry an argument; a "%" in another service text stays as it is.
        if (e.code() == QStringView(FaultCode::NotXml)
            || e.code() == QStringView(FaultCode::DigestMismatch))
            text = BizFormat(text, {e.message()});
    } else {
        text = LoadString(kUnknownFaultText);
    }
    return text + QStringLiteral("\r\n") + e.message();
}

bool IsAccessKeyExpired(const CRequestException &e)
{
    return e.code() == QStringView(FaultCode::AccessKeyExpired);
}

int CExceptHandler::Classify(const CBizException &e) const
{
    const int kind = CBizExceptHandler::Classify(e);
    if (kind != 0)
        return kind;
    return dynamic_cast<const CRequestException *>(&e) ? 7 : 0;
}

const CRequestException *CExceptHandler::RequestException() const
{
    return m_kind == 7 ? static_cast<const CRequestException *>(m_exception.get()) : nullptr;
}

QString CExceptHandler::KindName() const
{
    return m_kind == 7 ? QStringLiteral("サーバー関連") : CBizExceptHandler::KindName();
}

QString CExceptHandler::CodeText() const
{
    const CRequestException *e = RequestException();
    return e ? e->code() : CBizExceptHandler::CodeText();
}

QString CExceptHandler::MessageText() const
{
    const CRequestException *e = RequestException();
    return e ? e->message() : CBizExceptHandler::MessageText();
}

qint32 CExceptHandler::Code() const
{
    const CRequestException *e = RequestException();
    return e ? (ParseInt(e->code()) | 0x20000000) : CBizExceptHandler::Code();
}

QString CExceptHandler::FullMessage(const QString &leading) const
{
    const CRequestException *e = RequestException();
    if (!e || !leading.isNull())
        return CBizExceptHandler::FullMessage(leading);
    QString text = FaultText(*e);
    if (text.isEmpty())
        text = LoadString(kUnknownFaultText);
    return CBizExceptHandler::FullMessage(text);
}
