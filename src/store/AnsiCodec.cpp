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
    thread_local CIconv cd("CP932", "UTF-16LE");
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
    CIconv &cd = ToAnsiConverter();
    QByteArray result;
    result.reserve(text.size() * 2);
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        char16_t cp[2] = {units[i], 0};
        size_t count = 1;
        if (QChar::isHighSurrogate(cp[0]) && i + 1 < n && QChar::isLowSurrogate(units[i + 1])) {
            cp[1] = units[i + 1];
            count = 2;
        }
        i += qsizetype(count);
        if (cp[0] < 0x80) { // ASCII is the same in CP932
            result.append(char(cp[0]));
            continue;
        }
        if (!cd.ok() || (QChar::isSurrogate(cp[0]) && count == 1)) {
            result.append('?');
            continue;
        }
        // Little-endian code units for iconv, whatever the host order.
        unsigned char in[4];
        for (size_t k = 0; k < count; ++k) {
            in[2 * k] = uchar(cp[k] & 0xFF);
            in[2 * k + 1] = uchar(cp[k] >> 8);
        }
        char out[8];
        const qsizetype written
            = cd.Convert(reinterpret_cast<const char *>(in), count * 2, out, sizeof out, nullptr);
        if (written <= 0) {
            cd.Reset();
            result.append('?');
        } else {
            result.append(out, written);
        }
    }
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
