#include "AnsiCodec.h"

#include "StoreLog.h"

#include <cerrno>
#include <iconv.h>

namespace {

// One conversion descriptor per direction and thread (iconv_t keeps shift state).
class CIconv
{
public:
    CIconv(const char *to, const char *from)
        : m_cd(iconv_open(to, from))
    {
        if (m_cd == iconv_t(-1))
            qCWarning(lcStore) << "iconv_open" << to << from << "failed, errno" << errno;
    }
    ~CIconv()
    {
        if (ok())
            iconv_close(m_cd);
    }
    CIconv(const CIconv &) = delete;
    CIconv &operator=(const CIconv &) = delete;

    bool ok() const { return m_cd != iconv_t(-1); }
    void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

    // Converts as much of in as it can, advancing the pointers; true when all of it was
    // converted, false (errno set) at the first unit it cannot take.
    bool Run(const char **in, size_t *inLeft, char **out, size_t *outLeft)
    {
        char *inPtr = const_cast<char *>(*in);
        const size_t r = iconv(m_cd, &inPtr, inLeft, out, outLeft);
        *in = inPtr;
        return r != size_t(-1);
    }

    // Converts all of in; answers the bytes written to out, or -1 with errno set.
    qsizetype Convert(const char *in, size_t inSize, char *out, size_t outSize, size_t *left)
    {
        char *inPtr = const_cast<char *>(in);
        char *outPtr = out;
        size_t inLeft = inSize;
        size_t outLeft = outSize;
        const size_t r = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (left)
            *left = inLeft;
        if (r == size_t(-1))
            return -1;
        return qsizetype(outSize - outLeft);
    }

private:
    iconv_t m_cd;
};

CIconv &ToAnsiConverter()
{
    // QString's code units as they lie in memory.
    thread_local CIconv cd("CP932", Q_BYTE_ORDER == Q_BIG_ENDIAN ? "UTF-16BE" : "UTF-16LE");
    return cd;
}

CIconv &FromAnsiConverter()
{
    thread_local CIconv cd("UTF-16LE", "CP932");
    return cd;
}

} // namespace

QByteArray ToAnsi(const QString &text)
{
    // The whole text in one call, and only where iconv stops at a character it cannot take,
    // '?' for that character and on with the rest: CP932 keeps no state between characters,
    // so this is what converting one code point at a time gives, many times faster.
    CIconv &cd = ToAnsiConverter();
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    QByteArray result;
    // CP932 needs at most two bytes for one UTF-16 unit.
    result.resize(n * 2);
    qsizetype written = 0;
    qsizetype i = 0;
    while (i < n) {
        if (cd.ok()) {
            const char *in = reinterpret_cast<const char *>(units + i);
            size_t inLeft = size_t(n - i) * 2;
            char *out = result.data() + written;
            size_t outLeft = size_t(result.size() - written);
            const bool done = cd.Run(&in, &inLeft, &out, &outLeft);
            written = qsizetype(out - result.data());
            i = n - qsizetype(inLeft / 2);
            if (done)
                break;
            if (errno == E2BIG) { // not for CP932, but never write past the end
                result.resize(result.size() + (n - i) * 2 + 16);
                continue;
            }
            cd.Reset();
        }
        // units[i] cannot be converted: an unmappable character (a surrogate pair counts as
        // one), a lone surrogate, or anything at all without a converter.
        const bool pair
            = QChar::isHighSurrogate(units[i]) && i + 1 < n && QChar::isLowSurrogate(units[i + 1]);
        if (!cd.ok() && units[i] < 0x80) // ASCII is the same in CP932
            result[written++] = char(units[i]);
        else
            result[written++] = '?';
        i += pair ? 2 : 1;
    }
    result.truncate(written);
    return result;
}

QString FromAnsi(const QByteArray &bytes)
{
    CIconv &cd = FromAnsiConverter();
    QString result;
    result.reserve(bytes.size());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar b = uchar(bytes.at(i));
        if (b < 0x80) {
            result.append(QChar(b));
            ++i;
            continue;
        }
        if (!cd.ok()) {
            result.append(u'?');
            ++i;
            continue;
        }
        // CP932 characters are one or two bytes: try one, then two.
        bool done = false;
        for (qsizetype len = 1; len <= 2 && i + len <= n && !done; ++len) {
            char out[8];
            size_t left = 0;
            const qsizetype written
                = cd.Convert(bytes.constData() + i, size_t(len), out, sizeof out, &left);
            if (written > 0 && left == 0) {
                for (qsizetype k = 0; k + 1 < written; k += 2)
                    result.append(QChar(char16_t(uchar(out[k]) | (uchar(out[k + 1]) << 8))));
                i += len;
                done = true;
            } else {
                cd.Reset();
            }
        }
        if (!done) {
            result.append(u'?');
            ++i;
        }
    }
    return result;
}
