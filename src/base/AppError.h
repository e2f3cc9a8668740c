#pragma once
// The one error type of the program: a failing step throws it with the text
// the user is shown; the general error display catches it at the handler edge.
#include <QString>
#include <stdexcept>

class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString &message() const noexcept { return message_; }

private:
    QString message_;
};
