#pragma once
#include "db/Engine.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Every file of a directory (hidden ones too), by name, with its bytes: what
// a test compares to prove that a refused statement left the files alone.
QMap<QString, QByteArray> snapshot(const QString &dir);

// A statement through the engine, on a connection named db; failure()
// gives the engine's message (empty when it ran), column() the first column
// of every row of a query, as text.
void run(const QString &db, const QString &sql);
QString failure(const QString &db, const QString &sql);
QStringList column(const QString &db, const QString &sql);

// Connections to Paradox directories, each under its own alias so that it
// starts with a fresh cache, closed together by clear().
class ParadoxConnections {
public:
    explicit ParadoxConnections(QString prefix) : m_prefix(std::move(prefix)) {}
    // Under a new alias, or under the one given (created when missing).
    QString connect(const QString &dir, const QString &alias = QString());
    void clear() { m_conns.clear(); }

private:
    QString m_prefix;
    int m_count = 0;
    std::vector<std::unique_ptr<db::Connection>> m_conns;
};
