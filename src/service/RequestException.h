#pragma once

#include "core/BizException.h"
#include "core/ExceptHandler.h"

#include <QString>

// A fault of the service (kind 7): the code as the service sent it ("40008", or one of the
// client's own "00001" non-XML error answer, "00002" incomplete success answer, "00003"
// digest mismatch after a download) and the service's message.
class CRequestException : public CBizExceptionImpl<CRequestException>
{
public:
    CRequestException(const QString &code, const QString &message);

    int Kind() const override { return 7; }
    // The service's own message; may be empty.
    QString ErrorMessage() const override { return m_message; }

    QString code() const { return m_code; }
    QString message() const { return m_message; }
    // The code is one of the fault table (ignoring case).
    bool known() const { return m_known; }

private:
    QString m_code;
    QString m_message;
    bool m_known;
};

// The codes the client raises itself.
namespace FaultCode {
inline constexpr char16_t NotXml[] = u"00001";
inline constexpr char16_t Incomplete[] = u"00002";
inline constexpr char16_t DigestMismatch[] = u"00003";
inline constexpr char16_t AccessKeyExpired[] = u"10003";
} // namespace FaultCode

struct SFaultEntry
{
    const char16_t *code;
    int messageId;
};
// The fault table in its order (41 entries); texts are string-table ids.
const SFaultEntry *FaultTable(int *count);

// The user's text of a fault: the table text (formatted with the fault's message for 00001
// and 00003; 17930 for an unknown code), then CR LF and the fault's message.
QString FaultText(const CRequestException &e);
// The access key is no longer valid: code exactly "10003".
bool IsAccessKeyExpired(const CRequestException &e);

// The exception handler of every operation that talks to the service: adds kind 7
// ("サーバー関連", code text as sent, code ParseInt(code) | 0x20000000).
class CExceptHandler : public CBizExceptHandler
{
public:
    int Classify(const CBizException &e) const override;
    QString KindName() const override;
    QString CodeText() const override;
    QString MessageText() const override;
    qint32 Code() const override;
    // For a fault the leading text is FaultText (the generic text when that is empty).
    QString FullMessage(const QString &leading = {}) const override;

    const CRequestException *RequestException() const;
};
