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

// A write the run's backup cannot cover: the write did not happen, and the
// run must not go on as if a repair had merely failed, so this is not a
// DbError (which the repairs catch one by one).
class BackupError : public std::runtime_error {
public:
    explicit BackupError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

} // namespace db
