#include "Messages.h"

#include "AppState.h"

#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>

Q_LOGGING_CATEGORY(lcMessages, "velquor.messages")

namespace {

int defaultSink(const QString &text, MsgIcon icon, MsgButtons buttons)
{
    const char *kind = icon == MsgIcon::Error     ? "エラー"
                       : icon == MsgIcon::Warning ? "警告"
                                                  : "情報";
    QString line = AppState::AppName() + QStringLiteral(": [") + QString::fromUtf8(kind)
                   + QStringLiteral("] ") + text;
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    switch (buttons) {
    case MsgButtons::Ok:
        return IDOK;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return IDYES;
    case MsgButtons::YesNoDefaultNo:
        return IDNO;
    }
    return IDOK;
}

MessageSink &currentSink()
{
    static MessageSink sink = defaultSink;
    return sink;
}

} // namespace

MessageSink SetMessageSink(MessageSink sink)
{
    MessageSink previous = currentSink();
    currentSink() = sink ? std::move(sink) : MessageSink(defaultSink);
    return previous;
}

int ShowMessage(const QString &text, MsgIcon icon, MsgButtons buttons)
{
    try {
        return currentSink()(text, icon, buttons);
    } catch (...) {
        // A message that cannot be shown is ignored; reporting never throws.
        qCWarning(lcMessages) << "message could not be shown";
        return buttons == MsgButtons::YesNoDefaultNo ? IDNO : IDOK;
    }
}
