#pragma once

#include <QString>

#include <exception>
#include <memory>

// The exception family of the client. Every failure the user must see travels as one of
// these and ends in one CBizExceptHandler at the boundary of the user's operation.
//
// Kinds (the handler's classification):
//   1 CBizFileException      "ファイル関連"       cause, "%d"
//   2 CBizArchiveException   "アーカイブ関連"     cause, "%d"
//   3 CBizComException       "XMLCOM関連"         result code, "%x"
//   4 CBizXmlDomException    "XML関連"            result code, "%x"
//   5 CBizWinHttpException   "インターネット関連" error number, "%u"
//   6 CBizOsException        "OS関連"             error number, "%d" ("%x" when negative)
//   7 CRequestException      "サーバー関連"       fault code (service layer)
class CBizException : public std::exception
{
public:
    ~CBizException() override = default;

    virtual int Kind() const = 0;
    // The exception's own message (what the user reads above the type and code lines).
    virtual QString ErrorMessage() const = 0;
    virtual std::unique_ptr<CBizException> Clone() const = 0;
    // Throws a copy of this exception as its own class.
    [[noreturn]] virtual void Throw() const = 0;

    const char *what() const noexcept override;

private:
    mutable QByteArray m_what;
};

// Helper that implements Clone() and Throw() for a concrete class.
template<typename Derived, typename Base = CBizException>
class CBizExceptionImpl : public Base
{
public:
    using Base::Base;
    std::unique_ptr<CBizException> Clone() const override
    {
        return std::make_unique<Derived>(static_cast<const Derived &>(*this));
    }
    [[noreturn]] void Throw() const override { throw static_cast<const Derived &>(*this); }
};

// Kind 1: a file could not be opened, read or written.
class CBizFileException : public CBizExceptionImpl<CBizFileException>
{
public:
    enum Cause {
        None = 0,
        GenericException = 1,
        FileNotFound = 2,
        BadPath = 3,
        TooManyOpenFiles = 4,
        AccessDenied = 5,
        InvalidFile = 6,
        RemoveCurrentDir = 7,
        DirectoryFull = 8,
        BadSeek = 9,
        HardIO = 10,
        SharingViolation = 11,
        LockViolation = 12,
        DiskFull = 13,
        EndOfFile = 14,
    };

    CBizFileException(int cause, const QString &path, int osError = 0);

    int Kind() const override { return 1; }
    QString ErrorMessage() const override;
    int cause() const { return m_cause; }
    QString path() const { return m_path; }
    int osError() const { return m_osError; }

    // Cause for a QFileDevice error (or errno when given).
    static int CauseFromErrno(int err);

private:
    int m_cause;
    QString m_path;
    int m_osError;
};

// Kind 2: a binary state file is truncated or malformed.
class CBizArchiveException : public CBizExceptionImpl<CBizArchiveException>
{
public:
    enum Cause {
        None = 0,
        GenericException = 1, // also used for malformed content ("bad format")
        ReadOnly = 2,
        EndOfFile = 3,
        WriteOnly = 4,
        BadIndex = 5,
        BadClass = 6,
        BadSchema = 7,
    };
    static constexpr int BadFormat = GenericException;

    explicit CBizArchiveException(int cause, const QString &path = {});

    int Kind() const override { return 2; }
    QString ErrorMessage() const override;
    int cause() const { return m_cause; }
    QString path() const { return m_path; }

private:
    int m_cause;
    QString m_path;
};

// Kind 3: a component failure with a result code.
class CBizComException : public CBizExceptionImpl<CBizComException>
{
public:
    explicit CBizComException(quint32 resultCode, const QString &message = {});
    int Kind() const override { return 3; }
    QString ErrorMessage() const override;
    quint32 resultCode() const { return m_resultCode; }

private:
    quint32 m_resultCode;
    QString m_message;
};

// Kind 4: an XML answer could not be parsed or lacks what the reader needs.
class CBizXmlDomException : public CBizExceptionImpl<CBizXmlDomException>
{
public:
    CBizXmlDomException(quint32 resultCode, const QString &reason, int line = 0, int column = 0);
    int Kind() const override { return 4; }
    QString ErrorMessage() const override;
    quint32 resultCode() const { return m_resultCode; }
    QString reason() const { return m_reason; }
    int line() const { return m_line; }
    int column() const { return m_column; }

private:
    quint32 m_resultCode;
    QString m_reason;
    int m_line;
    int m_column;
};

// Kind 5: an HTTP transport failure (connection, name lookup, time-out, TLS, cancel ...).
class CBizWinHttpException : public CBizExceptionImpl<CBizWinHttpException>
{
public:
    CBizWinHttpException(quint32 errorNumber, const QString &message);
    int Kind() const override { return 5; }
    QString ErrorMessage() const override { return m_message; }
    quint32 errorNumber() const { return m_errorNumber; }

private:
    quint32 m_errorNumber;
    QString m_message;
};

// Kind 6: an operating-system error, numbered as the Windows error codes the rest of the
// client relies on (2 not found, 5 access denied, 32 in use, 123 bad name, 183 exists,
// 206 path too long, ...). The message is OsMessageText of the number, plus the path.
class CBizOsException : public CBizExceptionImpl<CBizOsException>
{
public:
    explicit CBizOsException(int errorNumber, const QString &path = {});
    int Kind() const override { return 6; }
    QString ErrorMessage() const override;
    int errorNumber() const { return m_errorNumber; }
    QString path() const { return m_path; }

    // Windows error number for a POSIX errno value.
    static int FromErrno(int err);

private:
    int m_errorNumber;
    QString m_path;
};

// Windows-compatible error numbers used across the client.
namespace OsError {
constexpr int Success = 0;
constexpr int FileNotFound = 2;
constexpr int PathNotFound = 3;
constexpr int AccessDenied = 5;
constexpr int SharingViolation = 32;
// A file out for editing on this client (its edit must be sent or released first).
constexpr int LockViolation = 33;
constexpr int HandleDiskFull = 39;
constexpr int FileExists = 80;
constexpr int DiskFull = 112;
constexpr int InvalidName = 123;
constexpr int DirNotEmpty = 145;
constexpr int AlreadyExists = 183;
constexpr int FilenameExcedRange = 206;
constexpr int Cancelled = 1223;
} // namespace OsError

// System message text for a Windows-style error number (Japanese), at most 259 characters.
QString OsMessageText(int errorNumber);
