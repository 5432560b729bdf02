#include "Scramble.h"

QString ScrambleText(const QString &text, quint16 key)
{
    if (text.isEmpty())
        return {};
    const char16_t k = key == 0 ? SavedLoginsScrambleKey : key;
    QString result(text.size(), Qt::Uninitialized);
    const QChar *in = text.constData();
    QChar *out = result.data();
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = QChar(char16_t(in[i].unicode() ^ k));
    return result;
}
