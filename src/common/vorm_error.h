// The one exception type of the program: a message for the user that names the file and the
// reason. Commands catch it (and std::exception) at their boundary and show the message.
#pragma once

#include <QString>
#include <stdexcept>

class EVormError : public std::runtime_error {
public:
    explicit EVormError(const QString& AMessage)
        : std::runtime_error(AMessage.toStdString()), FMessage(AMessage) {}
    const QString& message() const noexcept { return FMessage; }

private:
    QString FMessage;
};

// A conversion stopped by the user. Nothing has been written when it is thrown.
class ECanceled : public EVormError {
public:
    ECanceled() : EVormError(QStringLiteral("The conversion was cancelled.")) {}
};
