#pragma once
#include <QString>
#include <stdexcept>

namespace db {

// Every engine failure travels as this exception; its text is what the user
// reads after "Erreur : ", so it must be the engine's own message, untouched.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

} // namespace db
