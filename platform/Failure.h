#pragma once

#include <QString>

#include <exception>

namespace platform {

// A failure with a text meant for the user. Commands let it reach the application's
// error report, which shows the text in a message box titled "Trawlex".
class Failure : public std::exception {
public:
    explicit Failure(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The text a caught exception shows in the error report.
inline QString failureText(const std::exception& e) {
    if (auto* f = dynamic_cast<const Failure*>(&e))
        return f->message();
    return QString::fromUtf8(e.what());
}

} // namespace platform
