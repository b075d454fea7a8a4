// The one exception type of the program: a message for the user that names the file and the
// reason. Commands catch it (and std::exception) at their boundary and show the message.
#pragma once

#include <QString>
#include <new>
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

class TProgress;
// Throws ECanceled when AProgress (if any) asks to stop: the points between the steps of long
// work that has no rows to report. Asked on the thread that runs the work.
void ThrowIfCanceled(const TProgress* AProgress);

// The message for a file that could not be read: "Cannot read "name": reason."
QString CannotReadMessage(const QString& AFileName, const QString& AReason);

// The message for a file that could not be written: "Cannot write "name": reason."
QString CannotWriteMessage(const QString& AFileName, const QString& AReason);

// Runs AWork; a failed allocation inside it leaves as an EVormError with the text AMessage()
// gives. This is the one place where running out of memory becomes a message for the user.
template <typename Message, typename Work>
decltype(auto) WithMemoryMessage(Message&& AMessage, Work&& AWork) {
    try {
        return AWork();
    } catch (const std::bad_alloc&) {
        throw EVormError(AMessage());
    }
}
