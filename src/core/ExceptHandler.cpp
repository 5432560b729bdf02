#include "ExceptHandler.h"

#include "Messages.h"

namespace {

QString kindName(int kind)
{
    switch (kind) {
    case 1:
        return QStringLiteral("ファイル関連");
    case 2:
        return QStringLiteral("アーカイブ関連");
    case 3:
        return QStringLiteral("XMLCOM関連");
    case 4:
        return QStringLiteral("XML関連");
    case 5:
        return QStringLiteral("インターネット関連");
    case 6:
        return QStringLiteral("OS関連");
    default:
        return {};
    }
}

} // namespace

int CBizExceptHandler::Classify(const CBizException &e) const
{
    const int kind = e.Kind();
    return kind >= 1 && kind <= 6 ? kind : 0;
}

void CBizExceptHandler::Set(const CBizException &e)
{
    m_exception = e.Clone();
    m_kind = Classify(*m_exception);
}

void CBizExceptHandler::Clear()
{
    m_exception.reset();
    m_kind = 0;
}

QString CBizExceptHandler::KindName() const
{
    return m_exception ? kindName(m_kind) : QString();
}

QString CBizExceptHandler::CodeText() const
{
    const CBizException *e = m_exception.get();
    if (!e)
        return {};
    switch (m_kind) {
    case 1:
        return QString::number(static_cast<const CBizFileException *>(e)->cause());
    case 2:
        return QString::number(static_cast<const CBizArchiveException *>(e)->cause());
    case 3:
        return QString::number(static_cast<const CBizComException *>(e)->resultCode(), 16);
    case 4:
        return QString::number(static_cast<const CBizXmlDomException *>(e)->resultCode(), 16);
    case 5:
        return QString::number(static_cast<const CBizWinHttpException *>(e)->errorNumber());
    case 6: {
        const int n = static_cast<const CBizOsException *>(e)->errorNumber();
        return n < 0 ? QString::number(quint32(n), 16) : QString::number(n);
    }
    default:
        return {};
    }
}

QString CBizExceptHandler::MessageText() const
{
    return m_exception ? m_exception->ErrorMessage().left(259) : QString();
}

qint32 CBizExceptHandler::Code() const
{
    const CBizException *e = m_exception.get();
    if (!e)
        return 0;
    switch (m_kind) {
    case 1:
        return static_cast<const CBizFileException *>(e)->cause();
    case 2:
        return static_cast<const CBizArchiveException *>(e)->cause();
    case 3:
        return qint32(static_cast<const CBizComException *>(e)->resultCode());
    case 4:
        return qint32(static_cast<const CBizXmlDomException *>(e)->resultCode());
    case 5:
        return qint32(static_cast<const CBizWinHttpException *>(e)->errorNumber());
    case 6:
        return static_cast<const CBizOsException *>(e)->errorNumber();
    default:
        return 0;
    }
}

QString CBizExceptHandler::FullMessage(const QString &leading) const
{
    QString text = leading.isNull() ? MessageText() : leading;
    const QString type = KindName();
    if (!type.isEmpty())
        text += QStringLiteral("\r\n\r\n［エラータイプ］") + type;
    const QString code = CodeText();
    if (!code.isEmpty())
        text += QStringLiteral("\r\n［エラーコード］") + code;
    return text;
}

void CBizExceptHandler::ShowError() const
{
    ShowErrorMessage(FullMessage());
}

void CBizExceptHandler::ShowWarning() const
{
    ShowWarningMessage(FullMessage());
}

bool CBizExceptHandler::IsNotFound() const
{
    if (auto *f = dynamic_cast<const CBizFileException *>(m_exception.get()))
        return f->cause() == CBizFileException::FileNotFound;
    if (auto *o = dynamic_cast<const CBizOsException *>(m_exception.get()))
        return o->errorNumber() == OsError::FileNotFound;
    return false;
}

bool CBizExceptHandler::IsInUse() const
{
    if (auto *f = dynamic_cast<const CBizFileException *>(m_exception.get()))
        return f->cause() == CBizFileException::SharingViolation;
    if (auto *o = dynamic_cast<const CBizOsException *>(m_exception.get()))
        return o->errorNumber() == OsError::SharingViolation
               || o->errorNumber() == OsError::AccessDenied;
    return false;
}

void CBizExceptHandler::RethrowPending()
{
    if (!m_exception)
        return;
    std::unique_ptr<CBizException> e = std::move(m_exception);
    m_kind = 0;
    e->Throw();
}
