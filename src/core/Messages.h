#pragma once

#include "BizFormat.h"
#include "Strings.h"

#include <QString>

#include <functional>

// Every message the user sees goes through one replaceable sink. With a display the UI
// layer installs a QMessageBox sink titled with the application name; without one the
// default sink writes to standard error and answers the default button. Tests install a
// capturing sink.
enum class MsgIcon { Error, Warning, Information, Question };
enum class MsgButtons { Ok, YesNo, YesNoCancel, YesNoDefaultNo };

// Answers, numbered like the platform's button ids.
enum MsgAnswer { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

using MessageSink = std::function<int(const QString &text, MsgIcon icon, MsgButtons buttons)>;

// Installs a sink; an empty function restores the default (standard error) sink.
// Returns the previous sink.
MessageSink SetMessageSink(MessageSink sink);
// Shows one message through the current sink. Never throws.
int ShowMessage(const QString &text, MsgIcon icon, MsgButtons buttons);

// The helpers take either a text or a string id. With arguments, the text is a printf-style
// format (BizFormat); without arguments it is shown verbatim, so a "%s" in a composed text
// (a fault message, a path) is never read as a format.
namespace detail {
inline QString MessageTextOf(const QString &text)
{
    return text;
}
inline QString MessageTextOf(int id)
{
    return LoadString(id);
}
inline QString MessageTextOf(const char *text)
{
    return QString::fromUtf8(text);
}
inline QString MessageTextOf(const char16_t *text)
{
    return QString::fromUtf16(text);
}
inline QVariant ToVariant(const QString &s)
{
    return s;
}
inline QVariant ToVariant(const char *s)
{
    return QString::fromUtf8(s);
}
inline QVariant ToVariant(const char16_t *s)
{
    return QString::fromUtf16(s);
}
template<typename T>
QVariant ToVariant(const T &v)
{
    return QVariant::fromValue(v);
}
template<typename T, typename... Args>
QString ComposeMessage(const T &textOrId, const Args &...args)
{
    if constexpr (sizeof...(Args) == 0)
        return MessageTextOf(textOrId);
    else
        return BizFormat(MessageTextOf(textOrId), {ToVariant(args)...});
}
} // namespace detail

template<typename T, typename... Args>
void ShowErrorMessage(const T &textOrId, const Args &...args)
{
    ShowMessage(detail::ComposeMessage(textOrId, args...), MsgIcon::Error, MsgButtons::Ok);
}
template<typename T, typename... Args>
void ShowWarningMessage(const T &textOrId, const Args &...args)
{
    ShowMessage(detail::ComposeMessage(textOrId, args...), MsgIcon::Warning, MsgButtons::Ok);
}
template<typename T, typename... Args>
void ShowInfoMessage(const T &textOrId, const Args &...args)
{
    ShowMessage(detail::ComposeMessage(textOrId, args...), MsgIcon::Information, MsgButtons::Ok);
}
template<typename T, typename... Args>
int AskYesNo(const T &textOrId, const Args &...args)
{
    return ShowMessage(detail::ComposeMessage(textOrId, args...), MsgIcon::Question,
                       MsgButtons::YesNo);
}
template<typename T, typename... Args>
int AskYesNoCancel(const T &textOrId, const Args &...args)
{
    return ShowMessage(detail::ComposeMessage(textOrId, args...), MsgIcon::Question,
                       MsgButtons::YesNoCancel);
}
template<typename T, typename... Args>
int AskYesNoDefaultNo(const T &textOrId, const Args &...args)
{
    return ShowMessage(detail::ComposeMessage(textOrId, args...), MsgIcon::Warning,
                       MsgButtons::YesNoDefaultNo);
}
