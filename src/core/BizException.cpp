#include "BizException.h"

#include <QHash>

#include <cerrno>

const char *CBizException::what() const noexcept
{
    try {
        m_what = ErrorMessage().toUtf8();
        return m_what.constData();
    } catch (...) {
        return "CBizException";
    }
}

namespace {

QString withPath(const QString &text, const QString &path)
{
    return path.isEmpty() ? text : text + QStringLiteral("\r\n") + path;
}

} // namespace

CBizFileException::CBizFileException(int cause, const QString &path, int osError)
    : m_cause(cause)
    , m_path(path)
    , m_osError(osError)
{}

int CBizFileException::CauseFromErrno(int err)
{
    switch (err) {
    case ENOENT:
        return FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
        return BadPath;
    case EMFILE:
    case ENFILE:
        return TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
        return AccessDenied;
    case EISDIR:
        return InvalidFile;
    case ENOSPC:
    case EDQUOT:
        return DiskFull;
    case EBUSY:
    case ETXTBSY:
        return SharingViolation;
    case EIO:
        return HardIO;
    default:
        return GenericException;
    }
}

QString CBizFileException::ErrorMessage() const
{
    QString text;
    switch (m_cause) {
    case FileNotFound:
        text = QStringLiteral("ファイルが見つかりません。");
        break;
    case BadPath:
        text = QStringLiteral("パスが正しくありません。");
        break;
    case TooManyOpenFiles:
        text = QStringLiteral("開いているファイルが多すぎます。");
        break;
    case AccessDenied:
        text = QStringLiteral("ファイルへのアクセスが拒否されました。");
        break;
    case InvalidFile:
        text = QStringLiteral("ファイルが正しくありません。");
        break;
    case DirectoryFull:
        text = QStringLiteral("ディレクトリがいっぱいです。");
        break;
    case BadSeek:
        text = QStringLiteral("ファイルの位置を設定できません。");
        break;
    case HardIO:
        text = QStringLiteral("ファイルの読み書き中にハードウェアエラーが発生しました。");
        break;
    case SharingViolation:
    case LockViolation:
        text = QStringLiteral("ファイルは他のプログラムで使用されています。");
        break;
    case DiskFull:
        text = QStringLiteral("ディスクの空き容量が不足しています。");
        break;
    case EndOfFile:
        text = QStringLiteral("ファイルの終わりを超えて読み込もうとしました。");
        break;
    default:
        text = QStringLiteral("ファイルの処理中にエラーが発生しました。");
        break;
    }
    return withPath(text, m_path);
}

CBizArchiveException::CBizArchiveException(int cause, const QString &path)
    : m_cause(cause)
    , m_path(path)
{}

QString CBizArchiveException::ErrorMessage() const
{
    QString text;
    switch (m_cause) {
    case EndOfFile:
        text = QStringLiteral("ファイルの終わりを超えて読み込もうとしました。");
        break;
    case ReadOnly:
        text = QStringLiteral("読み込み専用のファイルに書き込もうとしました。");
        break;
    case WriteOnly:
        text = QStringLiteral("書き込み専用のファイルから読み込もうとしました。");
        break;
    case BadSchema:
    case BadClass:
    case BadIndex:
        text = QStringLiteral("ファイルの形式が正しくありません。");
        break;
    default:
        text = QStringLiteral("ファイルの内容が正しくありません。");
        break;
    }
    return withPath(text, m_path);
}

CBizComException::CBizComException(quint32 resultCode, const QString &message)
    : m_resultCode(resultCode)
    , m_message(message)
{}

QString CBizComException::ErrorMessage() const
{
    return m_message.isEmpty() ? OsMessageText(int(m_resultCode)) : m_message;
}

CBizXmlDomException::CBizXmlDomException(quint32 resultCode, const QString &reason, int line,
                                         int column)
    : m_resultCode(resultCode)
    , m_reason(reason)
    , m_line(line)
    , m_column(column)
{}

QString CBizXmlDomException::ErrorMessage() const
{
    return QStringLiteral("XMLの解析中に%1行目でエラーが発生しました。\r\n理由：%2")
        .arg(m_line)
        .arg(m_reason)
        .left(259);
}

CBizWinHttpException::CBizWinHttpException(quint32 errorNumber, const QString &message)
    : m_errorNumber(errorNumber)
    , m_message(message)
{}

CBizOsException::CBizOsException(int errorNumber, const QString &path)
    : m_errorNumber(errorNumber)
    , m_path(path)
{}

QString CBizOsException::ErrorMessage() const
{
    return withPath(OsMessageText(m_errorNumber), m_path).left(259);
}

int CBizOsException::FromErrno(int err)
{
    switch (err) {
    case 0:
        return OsError::Success;
    case ENOENT:
        return OsError::FileNotFound;
    case ENOTDIR:
        return OsError::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return OsError::AccessDenied;
    case EBUSY:
    case ETXTBSY:
        return OsError::SharingViolation;
    case ENOSPC:
    case EDQUOT:
        return OsError::DiskFull;
    case EEXIST:
        return OsError::AlreadyExists;
    case ENAMETOOLONG:
        return OsError::FilenameExcedRange;
    case EINVAL:
        return OsError::InvalidName;
    case ENOTEMPTY:
        return OsError::DirNotEmpty;
    default:
        return 31; // ERROR_GEN_FAILURE
    }
}

QString OsMessageText(int errorNumber)
{
    static const QHash<int, QString> texts = {
        {0, QStringLiteral("この操作を正しく終了しました。")},
        {1, QStringLiteral("ファンクションが間違っています。")},
        {2, QStringLiteral("指定されたファイルが見つかりません。")},
        {3, QStringLiteral("指定されたパスが見つかりません。")},
        {4, QStringLiteral("ファイルを開くことができません。")},
        {5, QStringLiteral("アクセスが拒否されました。")},
        {8, QStringLiteral("このコマンドを実行するのに十分な記憶域がありません。")},
        {15, QStringLiteral("指定されたドライブが見つかりません。")},
        {31, QStringLiteral("システムに接続されたデバイスが機能していません。")},
        {32, QStringLiteral("プロセスはファイルにアクセスできません。別のプロセスが使用中です。")},
        {33, QStringLiteral("プロセスはファイルにアクセスできません。別のプロセスがファイルの一部を"
                            "ロックしています。")},
        {39, QStringLiteral("ディスクがいっぱいです。")},
        {80, QStringLiteral("ファイルが存在します。")},
        {87, QStringLiteral("パラメーターが間違っています。")},
        {112, QStringLiteral("ディスクに十分な空き領域がありません。")},
        {123, QStringLiteral(
                  "ファイル名、ディレクトリ名、またはボリューム ラベルの構文が間違っています。")},
        {145, QStringLiteral("ディレクトリが空ではありません。")},
        {183, QStringLiteral("既に存在するファイルを作成することはできません。")},
        {206, QStringLiteral("ファイル名または拡張子が長すぎます。")},
        {1223, QStringLiteral("この操作はユーザーによって取り消されました。")},
        // The HTTP client library's own table (transport errors, kind 5).
        {12001, QStringLiteral("これ以上ハンドルを生成できません。")},
        {12002, QStringLiteral("操作はタイムアウトしました")},
        {12004, QStringLiteral("内部エラーが発生しました")},
        {12005, QStringLiteral("URL が無効です")},
        {12006, QStringLiteral("URL が認識可能なプロトコルを使用していません")},
        {12007, QStringLiteral("サーバー名またはアドレスは解決されませんでした")},
        {12009, QStringLiteral("オプションの値が無効です")},
        {12011, QStringLiteral("要求したオプションは設定できません。照会のみ可能です")},
        {12012, QStringLiteral("HTTP サービスはシャットダウン中です")},
        {12015, QStringLiteral("ログインは失敗しました")},
        {12017, QStringLiteral("操作は取り消されました")},
        {12018, QStringLiteral("指定されたハンドルの種類がこの操作には不適切です")},
        {12019, QStringLiteral("指定されたハンドルの状態が不適切なため、操作を実行できません")},
        {12029, QStringLiteral("サーバーとの接続を確立できませんでした")},
        {12030, QStringLiteral("サーバーとの接続が異常終了しました")},
        {12032, QStringLiteral("データを再送信する必要があります")},
        {12037, QStringLiteral("証明書の日付が無効であるか、期限が切れています")},
        {12038, QStringLiteral("証明書のホスト名が無効であるか、一致しません")},
        {12044, QStringLiteral("クライアント認証証明書が必要です")},
        {12045, QStringLiteral("証明機関が無効であるか、正しくありません")},
        {12057, QStringLiteral("証明書の失効を確認できませんでした")},
        {12150, QStringLiteral("要求されたヘッダーが見つかりませんでした")},
        {12152, QStringLiteral("サーバーから無効な応答、または認識できない応答が返されました")},
        {12156, QStringLiteral("リダイレクトに失敗しました")},
        {12166, QStringLiteral("自動プロキシ スクリプトにエラーがあります")},
        {12167, QStringLiteral("自動プロキシ スクリプトをダウンロードできませんでした")},
        {12169, QStringLiteral("証明書が無効です")},
        {12170, QStringLiteral("証明書は失効しています")},
        {12175, QStringLiteral("セキュリティ エラーが発生しました")},
        {12178, QStringLiteral("プロキシの自動検出に失敗しました")},
        {-2147467259, QStringLiteral("エラーを特定できません")},   // 0x80004005
        {-2147024882, QStringLiteral("メモリが不足しています。")}, // 0x8007000E
    };
    const auto it = texts.constFind(errorNumber);
    if (it != texts.constEnd())
        return *it;
    return QStringLiteral("*** FormatMessage(%1) failed(%2)! ***\r\n%3")
        .arg(errorNumber)
        .arg(317)
        .arg(QStringLiteral("システムにメッセージ番号 0x%1 のメッセージ テキストがありません。")
                 .arg(quint32(errorNumber), 0, 16));
}
