#pragma once
// The general error display: a failing step throws, the handler ends there,
// the error is shown with the error icon under the program's name, and the
// program goes on waiting for input.
#include <QObject>
#include <QString>
#include <exception>
#include <type_traits>
#include <utility>

namespace ui {

// Caption of the error box: the program file's name without its extension.
QString applicationTitle();
// The text as shown: a full stop is added when the last character sorts after
// "." and is not the Chinese full stop "。".
QString withFullStop(const QString &text);
void showError(const QString &message);
// Shows whatever a handler let escape.
void showException(std::exception_ptr error);

// Runs a handler, showing what it throws.
template <class F> void guarded(F &&handler)
{
    try {
        std::forward<F>(handler)();
    } catch (...) {
        showException(std::current_exception());
    }
}

namespace detail {
// A handler gets the signal's arguments when it takes them. Chosen in a
// function of its own: clang 14 instantiates both branches of an
// "if constexpr" in a lambda nested in a generic lambda.
template <class Handler, class... Args> void callHandler(const Handler &handler, Args &&...args)
{
    if constexpr (std::is_invocable_v<const Handler &, Args...>)
        handler(std::forward<Args>(args)...);
    else
        handler();
}
} // namespace detail

// Connects a signal to a handler run through guarded(): no exception ever
// travels through Qt's own frames.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection on(Sender *sender, Signal signal, QObject *context, Handler handler)
{
    return QObject::connect(sender, signal, context, [handler](auto &&...args) {
        guarded([&] { detail::callHandler(handler, std::forward<decltype(args)>(args)...); });
    });
}

} // namespace ui
