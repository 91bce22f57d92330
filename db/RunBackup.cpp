#include "db/RunBackup.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <sqlite3.h>
#include <atomic>

namespace db {

namespace {

std::atomic<int> g_backups{0};

// Version of the file's layout, for a restore by a later program.
constexpr int kLayout = 1;

const char *const kSchema[] = {
    "CREATE TABLE sauvegarde (cle TEXT PRIMARY KEY, valeur)",
    "CREATE TABLE textes (id INTEGER PRIMARY KEY, texte TEXT NOT NULL)",
    "CREATE TABLE instructions (id INTEGER PRIMARY KEY, groupe INTEGER NOT NULL, texte INTEGER NOT NULL, parametres BLOB)",
    "CREATE TABLE formes (id INTEGER PRIMARY KEY, colonnes BLOB NOT NULL)",
    // nature: 'U' a row an UPDATE changed, 'D' a row a DELETE removed, 'I' a
    // row an INSERT added (its columns only, when the engine cannot read the
    // new row back whole).
    "CREATE TABLE images (id INTEGER PRIMARY KEY, instruction INTEGER NOT NULL, groupe INTEGER NOT NULL, "
    "nature TEXT NOT NULL, nom_table TEXT NOT NULL, table_ecrite TEXT NOT NULL, forme INTEGER NOT NULL, avant BLOB, apres BLOB)",
    // A group is applied once the practice database committed it.
    "CREATE TABLE groupes (id INTEGER PRIMARY KEY, applique INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE journal (id INTEGER PRIMARY KEY, niveau INTEGER, origine TEXT, action TEXT)",
    "CREATE TABLE restes (id INTEGER PRIMARY KEY, restauration TEXT, texte TEXT)",
};

QString fileSafe(const QString &text)
{
    QString out = text;
    out.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]+")), QStringLiteral("_"));
    out = out.left(40);
    return out.isEmpty() ? QStringLiteral("base") : out;
}

} // namespace

QString DatabaseIdentity::text() const
{
    if (engine == QLatin1String("PARADOX"))
        return QStringLiteral("Paradox : ") + location;
    if (engine == QLatin1String("SQLITE"))
        return QStringLiteral("SQLite : ") + location;
    if (engine == QLatin1String("MSSQL"))
        return QStringLiteral("SQL Server : ") + location;
    return QStringLiteral("ODBC : ") + location;
}

DatabaseIdentity identityOf(const Connection &connection)
{
    DatabaseIdentity id;
    QString driver;
    if (Engine::instance().aliasExists(connection.aliasName))
        driver = Engine::instance().alias(connection.aliasName).driver;
    id.engine = driver.toUpper();
    auto value = [&](const char *key) {
        const QString own = connection.param(QLatin1String(key));
        if (!own.isEmpty() || !Engine::instance().aliasExists(connection.aliasName))
            return own;
        return Engine::instance().alias(connection.aliasName).param(QLatin1String(key));
    };
    if (id.engine == QLatin1String("MSSQL") || id.engine == QLatin1String("ODBC")) {
        QString server = value("SERVER NAME");
        QString base = value("DATABASE NAME");
        // A data source described by its own keys: the server and the
        // database it names, never its password.
        for (const char *k : {"SERVER", "SERVERNAME", "HOST"})
            if (server.isEmpty())
                server = value(k);
        if (base.isEmpty())
            base = value("DATABASE");
        if (server.isEmpty() && base.isEmpty())
            base = value("DSN");
        id.location = server.isEmpty() ? base : server + QStringLiteral(" / ") + base;
        id.shortName = fileSafe(base.isEmpty() ? server : base);
    } else {
        QString path = QDir::fromNativeSeparators(value("PATH"));
        while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        id.location = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
        id.shortName = fileSafe(QFileInfo(path).completeBaseName().isEmpty() ? QFileInfo(path).fileName()
                                                                              : QFileInfo(path).completeBaseName());
    }
    return id;
}

QByteArray packRow(const QVariantList &values)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_6_0);
    s << values;
    return out;
}

QVariantList unpackRow(const QByteArray &bytes)
{
    QVariantList out;
    QDataStream s(bytes);
    s.setVersion(QDataStream::Qt_6_0);
    s >> out;
    if (s.status() != QDataStream::Ok)
        throw DbError(QStringLiteral("La sauvegarde est endommagée : un enregistrement ne peut pas être relu."));
    return out;
}

RunBackup::RunBackup(const QString &directory, const DatabaseIdentity &database, const QDateTime &start)
{
    auto fail = [&](const QString &why) {
        throw BackupError(QStringLiteral("La sauvegarde de ce traitement n'a pas pu être créée dans le répertoire ")
                      + QDir::toNativeSeparators(directory) + QStringLiteral(" : ") + why);
    };
    if (!QDir().mkpath(directory))
        fail(QStringLiteral("le répertoire ne peut pas être créé."));
    const QString stem = QStringLiteral("Aldurix_") + start.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))
                         + QLatin1Char('_') + database.shortName;
    QDir dir(directory);
    m_file = dir.absoluteFilePath(stem + QStringLiteral(".sqlite"));
    for (int n = 2; QFileInfo::exists(m_file) || QFileInfo::exists(companion(QStringLiteral(".pdf"))); ++n)
        m_file = dir.absoluteFilePath(stem + QStringLiteral("_%1.sqlite").arg(n));
    m_qtName = QStringLiteral("aldurix_sauvegarde_%1").arg(++g_backups);
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
    m_db.setDatabaseName(m_file);
    if (!m_db.open()) {
        const QString why = m_db.lastError().text();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_qtName);
        fail(why);
    }
    try {
        QSqlQuery q(m_db);
        // Each commit reaches the disk before the practice database commits
        // what it covers: a write-ahead log synced at every commit.
        // The log is folded into the file when the backup closes rather than
        // every thousand pages, each time with a sync of its own.
        for (const char *pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA wal_autocheckpoint=0"})
            if (!q.exec(QLatin1String(pragma)))
                throw BackupError(q.lastError().text());
        beginTransaction();
        for (const char *ddl : kSchema)
            if (!q.exec(QLatin1String(ddl)))
                throw BackupError(q.lastError().text());
        setMeta(QStringLiteral("version"), kLayout);
        setMeta(QStringLiteral("debut"), start.toString(Qt::ISODate));
        setMeta(QStringLiteral("moteur"), database.engine);
        setMeta(QStringLiteral("base"), database.location);
        setMeta(QStringLiteral("etat"), QStringLiteral("en cours"));
        commitBackup();
        const QVariant h = m_db.driver()->handle();
        if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0 || !(m_handle = *static_cast<sqlite3 *const *>(h.data())))
            throw BackupError(QStringLiteral("pilote SQLite indisponible."));
        const auto prepare = [this](const char *sql, sqlite3_stmt **st) {
            if (sqlite3_prepare_v2(m_handle, sql, -1, st, nullptr) != SQLITE_OK)
                throw BackupError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
        };
        prepare("INSERT INTO images (instruction, groupe, nature, nom_table, table_ecrite, forme, avant, apres) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                &m_insertImage);
        prepare("INSERT INTO instructions (id, groupe, texte, parametres) VALUES (?, ?, ?, ?)", &m_insertStatement);
        prepare("INSERT INTO textes (texte) VALUES (?)", &m_insertText);
        prepare("UPDATE images SET apres = ? WHERE id = ?", &m_setAfter);
    } catch (const BackupError &e) {
        for (sqlite3_stmt *st : {m_insertImage, m_insertStatement, m_insertText, m_setAfter})
            sqlite3_finalize(st);
        m_insertImage = m_insertStatement = m_insertText = m_setAfter = nullptr;
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_qtName);
        QFile::remove(m_file);
        QFile::remove(m_file + QStringLiteral("-wal"));
        QFile::remove(m_file + QStringLiteral("-shm"));
        fail(e.message());
    }
}

RunBackup::~RunBackup()
{
    if (m_inTransaction) {
        // Images of writes the practice database never committed.
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("ROLLBACK"));
    }
    for (sqlite3_stmt *st : {m_insertImage, m_insertStatement, m_insertText, m_setAfter})
        sqlite3_finalize(st);
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_qtName);
}

QString RunBackup::companion(const QString &suffix) const
{
    QString f = m_file;
    f.chop(QStringLiteral(".sqlite").size());
    return f + suffix;
}

void RunBackup::exec(QSqlQuery &q)
{
    if (!q.exec())
        throw BackupError(QStringLiteral("La sauvegarde ") + QDir::toNativeSeparators(m_file)
                      + QStringLiteral(" ne peut pas être écrite : ") + q.lastError().text());
}

void RunBackup::beginTransaction()
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("BEGIN")))
        throw BackupError(QStringLiteral("La sauvegarde ") + QDir::toNativeSeparators(m_file)
                      + QStringLiteral(" ne peut pas être écrite : ") + q.lastError().text());
    m_inTransaction = true;
    m_imagesAtWrite = m_images;
}

void RunBackup::commitBackup()
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("COMMIT"));
    exec(q);
    m_inTransaction = false;
}

void RunBackup::setMeta(const QString &key, const QVariant &value)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO sauvegarde (cle, valeur) VALUES (?, ?)"));
    q.addBindValue(key);
    q.addBindValue(value);
    exec(q);
}

int RunBackup::shapeOf(const QStringList &columns)
{
    const QString joined = columns.join(QChar(0x1f));
    const auto found = m_shapes.constFind(joined);
    if (found != m_shapes.constEnd())
        return found.value();
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO formes (colonnes) VALUES (?)"));
    QVariantList names;
    for (const QString &c : columns)
        names << c;
    q.addBindValue(packRow(names));
    exec(q);
    const int id = q.lastInsertId().toInt();
    m_shapes.insert(joined, id);
    return id;
}

void RunBackup::step(sqlite3_stmt *st)
{
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE)
        throw BackupError(QStringLiteral("La sauvegarde ") + QDir::toNativeSeparators(m_file)
                          + QStringLiteral(" ne peut pas être écrite : ") + QString::fromUtf8(sqlite3_errmsg(m_handle)));
}

namespace {

void bindText(sqlite3_stmt *st, int i, const QString &text)
{
    const QByteArray u = text.toUtf8();
    sqlite3_bind_text(st, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

void bindBlob(sqlite3_stmt *st, int i, const QByteArray &bytes)
{
    if (bytes.isNull())
        sqlite3_bind_null(st, i);
    else
        sqlite3_bind_blob(st, i, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

} // namespace

qint64 RunBackup::keepImage(char kind, const QString &table, int shape, const QByteArray &before, const QByteArray &after)
{
    sqlite3_stmt *st = m_insertImage;
    sqlite3_bind_int64(st, 1, m_statement);
    sqlite3_bind_int64(st, 2, m_group);
    const char k[2] = {kind, 0};
    sqlite3_bind_text(st, 3, k, 1, SQLITE_TRANSIENT);
    bindText(st, 4, table);
    bindText(st, 5, m_pending.table);
    sqlite3_bind_int(st, 6, shape);
    bindBlob(st, 7, before);
    bindBlob(st, 8, after);
    step(st);
    ++m_images;
    return sqlite3_last_insert_rowid(m_handle);
}

QStringList RunBackup::keyColumns(Backend &backend, const QString &table)
{
    const auto found = m_keys.constFind(table.toUpper());
    if (found != m_keys.constEnd())
        return found.value();
    const QStringList keys = backend.keyColumns(table);
    m_keys.insert(table.toUpper(), keys);
    return keys;
}

namespace {

// The column's position in a list of names, without regard to case.
int columnAt(const QStringList &columns, const QString &name)
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QSqlQuery &runRead(Backend &backend, const QString &sql, const QVariantList &values)
{
    QSqlQuery &q = backend.statement(sql);
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    if (!q.exec()) {
        const QString why = backend.message(q.lastError());
        q.finish();
        throw DbError(why);
    }
    return q;
}

// The first row a statement selects, with its column names; false when it
// selects none.
bool readOne(Backend &backend, const QString &sql, const QVariantList &values, QStringList *columns, QVariantList *row)
{
    QSqlQuery &r = runRead(backend, sql, values);
    const QSqlRecord rec = r.record();
    for (int i = 0; i < rec.count(); ++i)
        *columns << rec.fieldName(i);
    const bool found = r.next();
    if (found)
        for (int i = 0; i < rec.count(); ++i)
            *row << r.value(i);
    r.finish();
    return found;
}

} // namespace

void RunBackup::beginWrite(Backend &backend, const QSqlQuery &q, const QString &sql, const WriteStatement &w)
{
    if (m_failIn > 0 && --m_failIn == 0)
        throw BackupError(QStringLiteral("La sauvegarde ") + QDir::toNativeSeparators(m_file)
                          + QStringLiteral(" ne peut pas être écrite : défaillance provoquée par un test."));
    if (!m_inTransaction)
        beginTransaction();
    m_imagesAtWrite = m_images;
    m_writing = ++m_statement;
    m_pending = Pending{};
    m_pending.table = w.tableText;
    {
        auto text = m_texts.constFind(sql);
        if (text == m_texts.constEnd()) {
            bindText(m_insertText, 1, sql);
            step(m_insertText);
            text = m_texts.insert(sql, sqlite3_last_insert_rowid(m_handle));
        }
        QVariantList params;
        for (int i = 0; i < w.params; ++i)
            params << q.boundValue(i);
        sqlite3_stmt *st = m_insertStatement;
        sqlite3_bind_int64(st, 1, m_statement);
        sqlite3_bind_int64(st, 2, m_group);
        sqlite3_bind_int64(st, 3, text.value());
        bindBlob(st, 4, packRow(params));
        step(st);
    }
    if (!m_groupHasImages) {
        QSqlQuery g(m_db);
        g.prepare(QStringLiteral("INSERT OR IGNORE INTO groupes (id, applique) VALUES (?, 0)"));
        g.addBindValue(m_group);
        exec(g);
        m_groupHasImages = true;
    }
    if (w.kind == WriteStatement::Kind::Insert) {
        if (!backend.hasRowIdentity() && w.columns.empty())
            throw BackupError(QStringLiteral("Instruction refusée : elle ne nomme pas les colonnes qu'elle remplit, le "
                                         "programme ne pourrait pas retrouver l'enregistrement ajouté : ")
                          + sql.simplified());
        return;
    }
    const bool identity = backend.hasRowIdentity();
    QString select = (identity ? QStringLiteral("SELECT rowid, * FROM ") : QStringLiteral("SELECT * FROM ")) + w.tableText;
    if (!w.condition.isEmpty())
        select += QStringLiteral(" WHERE ") + w.condition;
    QVariantList values;
    for (int i = w.conditionParam; i < w.params; ++i)
        values << q.boundValue(i);
    QSqlQuery &r = runRead(backend, select, values);
    const QSqlRecord rec = r.record();
    const int first = identity ? 1 : 0;
    QStringList columns;
    for (int i = first; i < rec.count(); ++i)
        columns << rec.fieldName(i);
    std::vector<QVariantList> rows;
    while (r.next()) {
        QVariantList row;
        row.reserve(rec.count());
        for (int i = 0; i < rec.count(); ++i)
            row << r.value(i);
        rows.push_back(std::move(row));
    }
    const bool readError = r.lastError().isValid();
    const QString why = readError ? backend.message(r.lastError()) : QString();
    r.finish();
    if (readError)
        throw DbError(why);
    if (rows.empty())
        return;
    const int shape = shapeOf(columns);
    if (w.kind == WriteStatement::Kind::Delete) {
        for (const QVariantList &row : rows)
            keepImage('D', w.table, shape, packRow(identity ? row.mid(1) : row), QByteArray());
        return;
    }
    // An UPDATE: the rows are found again after it by their identity, or by
    // their key (as the statement leaves it) where the engine has none.
    QStringList locator;
    if (!identity) {
        locator = keyColumns(backend, w.table);
        if (locator.isEmpty())
            locator = columns;
    }
    for (const QVariantList &row : rows) {
        QVariantList where;
        if (identity) {
            where << row[0];
        } else {
            for (const QString &k : locator) {
                const int c = columnAt(columns, k);
                const auto set = std::find_if(w.columns.begin(), w.columns.end(), [&](const WriteStatement::Column &a) {
                    return a.name.compare(k, Qt::CaseInsensitive) == 0;
                });
                if (set == w.columns.end())
                    where << row[c];
                else if (set->null)
                    where << QVariant();
                else if (set->param >= 0)
                    where << q.boundValue(set->param);
                else
                    throw BackupError(QStringLiteral("Instruction refusée : elle calcule une colonne qui identifie "
                                                 "l'enregistrement (%1), le programme ne pourrait pas le retrouver : ")
                                      .arg(k)
                                  + sql.simplified());
            }
        }
        m_pending.locators.push_back(where);
        // The row before the change is in the backup before the change.
        m_pending.rows.push_back({keepImage('U', w.table, shape, packRow(identity ? row.mid(1) : row), QByteArray())});
    }
    m_pending.locator = locator;
}

void RunBackup::endWrite(Backend &backend, const QSqlQuery &q, const WriteStatement &w)
{
    const bool identity = backend.hasRowIdentity();
    if (w.kind == WriteStatement::Kind::Update && !m_pending.rows.empty()) {
        QString select = QStringLiteral("SELECT * FROM ") + w.tableText + QStringLiteral(" WHERE ");
        if (identity) {
            select += QStringLiteral("rowid = ?");
        } else {
            QStringList conds;
            for (const QString &c : m_pending.locator)
                conds << quotedIdentifier(c) + QStringLiteral(" = ?");
            select += conds.join(QStringLiteral(" AND "));
        }
        for (size_t i = 0; i < m_pending.rows.size(); ++i) {
            const QVariantList &where = m_pending.locators[i];
            // A NULL in a key never equals: such a row is left without an
            // after-image, and a restore then leaves it as it finds it.
            if (std::any_of(where.begin(), where.end(), [](const QVariant &v) { return v.isNull(); }))
                continue;
            QSqlQuery &r = runRead(backend, select, where);
            QVariantList after;
            int found = 0;
            while (r.next()) {
                if (++found > 1)
                    break;
                const int n = r.record().count();
                for (int c = 0; c < n; ++c)
                    after << r.value(c);
            }
            r.finish();
            if (found != 1)
                continue;
            bindBlob(m_setAfter, 1, packRow(after));
            sqlite3_bind_int64(m_setAfter, 2, m_pending.rows[i][0].toLongLong());
            step(m_setAfter);
        }
    } else if (w.kind == WriteStatement::Kind::Insert) {
        if (identity) {
            QStringList columns;
            QVariantList row;
            if (!readOne(backend, QStringLiteral("SELECT * FROM ") + w.tableText + QStringLiteral(" WHERE rowid = ?"),
                         {q.lastInsertId()}, &columns, &row))
                throw BackupError(QStringLiteral("La sauvegarde ne retrouve pas l'enregistrement ajouté dans la table ") + w.table);
            keepImage('I', w.table, shapeOf(columns), QByteArray(), packRow(row));
        } else {
            // The row by its key when the statement gives it, whole; otherwise
            // the columns the statement filled.
            const QStringList keys = keyColumns(backend, w.table);
            QVariantList keyValues;
            bool keyed = !keys.isEmpty();
            for (const QString &k : keys) {
                const auto c = std::find_if(w.columns.begin(), w.columns.end(), [&](const WriteStatement::Column &a) {
                    return a.name.compare(k, Qt::CaseInsensitive) == 0;
                });
                if (c == w.columns.end() || c->param < 0) {
                    keyed = false;
                    break;
                }
                keyValues << q.boundValue(c->param);
            }
            if (keyed) {
                QStringList conds;
                for (const QString &k : keys)
                    conds << quotedIdentifier(k) + QStringLiteral(" = ?");
                QStringList columns;
                QVariantList row;
                keyed = readOne(backend, QStringLiteral("SELECT * FROM ") + w.tableText + QStringLiteral(" WHERE ")
                                             + conds.join(QStringLiteral(" AND ")),
                                keyValues, &columns, &row);
                if (keyed)
                    keepImage('I', w.table, shapeOf(columns), QByteArray(), packRow(row));
            }
            if (!keyed) {
                QStringList columns;
                QVariantList row;
                for (const WriteStatement::Column &c : w.columns) {
                    if (c.param < 0 && !c.null)
                        continue;
                    columns << c.name;
                    row << (c.null ? QVariant() : q.boundValue(c.param));
                }
                keepImage('I', w.table, shapeOf(columns), QByteArray(), packRow(row));
            }
        }
    }
    m_writing = 0;
}

void RunBackup::abandonWrite()
{
    // Only what this write recorded: it may have failed before recording
    // anything, and the images of the writes before it stay.
    if (!m_inTransaction || m_writing == 0)
        return;
    // Rare enough to undo by hand rather than with a savepoint at each write.
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM images WHERE instruction = ?"));
    q.addBindValue(m_writing);
    q.exec();
    q.prepare(QStringLiteral("DELETE FROM instructions WHERE id = ?"));
    q.addBindValue(m_writing);
    q.exec();
    m_writing = 0;
    m_images = m_imagesAtWrite;
}

void RunBackup::beforeCommit()
{
    if (m_inTransaction)
        commitBackup();
}

void RunBackup::afterCommit()
{
    if (!m_groupHasImages)
        return;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE groupes SET applique = 1 WHERE id = ?"));
    q.addBindValue(m_group);
    // Not being able to mark it leaves the group to be judged row by row at
    // a restore, which is safe: nothing to stop the run for.
    q.exec();
    ++m_group;
    m_groupHasImages = false;
}

void RunBackup::afterRollback()
{
    if (m_inTransaction) {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("ROLLBACK"));
        m_inTransaction = false;
        m_images = m_imagesAtWrite;
    }
    if (m_groupHasImages) {
        ++m_group;
        m_groupHasImages = false;
    }
}

void RunBackup::keepReport(const QString &fileName)
{
    if (m_inTransaction)
        commitBackup();
    setMeta(QStringLiteral("rapport"), fileName);
}

void RunBackup::keepJournal(const QString &summary, const std::vector<JournalRow> &journal)
{
    if (m_inTransaction)
        commitBackup();
    beginTransaction();
    try {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("DELETE FROM journal"));
        exec(q);
        q.prepare(QStringLiteral("INSERT INTO journal (niveau, origine, action) VALUES (?, ?, ?)"));
        for (const JournalRow &r : journal) {
            q.bindValue(0, r.niveau);
            q.bindValue(1, r.origine);
            q.bindValue(2, r.action);
            exec(q);
        }
        setMeta(QStringLiteral("resume"), summary);
        commitBackup();
    } catch (...) {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("ROLLBACK"));
        m_inTransaction = false;
        throw;
    }
}

void RunBackup::finish(const QString &state)
{
    if (m_inTransaction)
        commitBackup();
    setMeta(QStringLiteral("fin"), QDateTime::currentDateTime().toString(Qt::ISODate));
    setMeta(QStringLiteral("etat"), state);
    m_finished = true;
}

} // namespace db
