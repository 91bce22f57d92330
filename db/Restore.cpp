#include "db/Restore.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/RunBackup.h"

#include <QDir>
#include <QHash>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>
#include <map>

namespace db {

namespace {

std::atomic<int> g_readers{0};

// A connection to a backup file for as long as it lives.
class BackupFile {
public:
    explicit BackupFile(const QString &file) : m_name(QStringLiteral("aldurix_lecture_%1").arg(++g_readers))
    {
        if (!QFileInfo(file).isFile())
            throw DbError(QStringLiteral("La sauvegarde %1 n'existe pas.").arg(QDir::toNativeSeparators(file)));
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(file);
        if (!m_db.open())
            fail(file, m_db.lastError().text());
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("SELECT valeur FROM sauvegarde WHERE cle = 'version'")) || !q.next())
            fail(file, QStringLiteral("ce n'est pas une sauvegarde de ce programme."));
        if (q.value(0).toInt() != 1)
            fail(file, QStringLiteral("elle a été écrite par une autre version du programme."));
    }
    ~BackupFile()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    BackupFile(const BackupFile &) = delete;
    BackupFile &operator=(const BackupFile &) = delete;

    QSqlDatabase &db() { return m_db; }
    QVariant meta(const QString &key)
    {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("SELECT valeur FROM sauvegarde WHERE cle = ?"));
        q.addBindValue(key);
        return q.exec() && q.next() ? q.value(0) : QVariant();
    }
    void setMeta(const QString &key, const QVariant &value)
    {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO sauvegarde (cle, valeur) VALUES (?, ?)"));
        q.addBindValue(key);
        q.addBindValue(value);
        if (!q.exec())
            throw DbError(QStringLiteral("La sauvegarde ne peut pas être mise à jour : ") + q.lastError().text());
    }

private:
    [[noreturn]] void fail(const QString &file, const QString &why)
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw DbError(QStringLiteral("La sauvegarde %1 ne peut pas être lue : %2").arg(QDir::toNativeSeparators(file), why));
    }
    QString m_name;
    QSqlDatabase m_db;
};

QString quoted(const QString &column) { return quotedIdentifier(column); }

// Stored values compared as the engine gave them: same type and value, or
// the same number, date or text when one side went through a conversion.
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    if (a.metaType() == b.metaType())
        return a == b;
    const auto numeric = [](const QVariant &v) {
        switch (v.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Short:
        case QMetaType::Bool:
            return true;
        default:
            return false;
        }
    };
    if (numeric(a) && numeric(b))
        return QVariant::compare(a, b) == QPartialOrdering::Equivalent;
    if (a.metaType().id() == QMetaType::QDateTime || b.metaType().id() == QMetaType::QDateTime)
        return a.toDateTime() == b.toDateTime();
    return a.toString() == b.toString();
}

bool sameRow(const QVariantList &a, const QVariantList &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (!sameValue(a[i], b[i]))
            return false;
    return true;
}

struct Image {
    qint64 id = 0;
    char kind = 'U';
    QString table, written;
    QStringList columns;
    QVariantList before, after;
    bool applied = false;
};

class Restorer {
public:
    // images: newest first, as they are undone.
    Restorer(Backend &b, const std::vector<Image> &images) : m_b(b)
    {
        // The state of each row before the run: the first image the run left
        // of it. A row already in that state needs nothing (a restore made
        // twice, a row the run changed several times).
        for (const Image &im : images) {
            const QStringList keys = keysOf(im);
            if (keys.isEmpty())
                continue;
            const QVariantList &row = im.kind == 'I' ? im.after : im.before;
            m_first.insert(keyText(im, keys, row), &im);
        }
    }

    void undo(const Image &im, RestoreResult &out)
    {
        m_im = &im;
        const QStringList keys = keysOf(im);
        switch (im.kind) {
        case 'D': {
            const auto rows = fetch(keys, im.before);
            if (rows.empty() && absentBefore(keys, im.before)) {
                ++out.unchanged;
            } else if (rows.empty() || (keys.isEmpty() && im.applied)) {
                insert(im.before);
                ++out.undone;
            } else if (rows.size() == 1 && (sameRow(rows[0], im.before) || asBefore(keys, rows[0]))) {
                ++out.unchanged;
            } else {
                out.leftAlone << describe(im, im.before, keys)
                                     + QStringLiteral(" : supprimé par le traitement, un enregistrement de même clé a été créé depuis ; laissé tel quel.");
            }
            break;
        }
        case 'I': {
            const auto rows = fetch(keys, im.after);
            if (rows.empty() || (rows.size() == 1 && asBefore(keys, rows[0]))) {
                ++out.unchanged;
            } else if (rows.size() == 1 && sameRow(rows[0], im.after)) {
                remove(keys, im.after);
                ++out.undone;
            } else {
                out.leftAlone << describe(im, im.after, keys)
                                     + QStringLiteral(" : ajouté par le traitement, modifié depuis ; laissé tel quel.");
            }
            break;
        }
        default: {
            if (im.after.isEmpty()) {
                const auto rows = fetch(keys, im.before);
                if (rows.size() == 1 && sameRow(rows[0], im.before))
                    ++out.unchanged;
                else
                    out.leftAlone << describe(im, im.before, keys)
                                         + QStringLiteral(" : son état après le traitement est inconnu ; laissé tel quel.");
                break;
            }
            const auto rows = fetch(keys, im.after);
            if (rows.size() == 1 && sameRow(rows[0], im.after)) {
                update(keys, im.after, im.before);
                ++out.undone;
                break;
            }
            const auto now = fetch(keys, im.before);
            if ((now.size() == 1 && (sameRow(now[0], im.before) || asBefore(keys, now[0])))
                || (now.empty() && absentBefore(keys, im.before))) {
                ++out.unchanged;
                break;
            }
            out.leftAlone << describe(im, im.before, keys)
                                 + (rows.empty() && now.empty()
                                        ? QStringLiteral(" : modifié par le traitement, supprimé depuis ; laissé tel quel.")
                                        : QStringLiteral(" : modifié par le traitement, modifié à nouveau depuis ; laissé tel quel."));
            break;
        }
        }
    }

    static QString describe(const Image &im, const QVariantList &row, const QStringList &keys)
    {
        QStringList parts;
        const QStringList shown = keys.isEmpty() ? im.columns.mid(0, 3) : keys;
        for (const QString &k : shown) {
            const int c = int(im.columns.indexOf(k));
            if (c < 0 || c >= row.size())
                continue;
            const QVariant &v = row[c];
            parts << k + QStringLiteral(" = ")
                         + (v.isNull() ? QStringLiteral("(vide)")
                                       : v.metaType().id() == QMetaType::QDateTime ? v.toDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))
                                                                                   : v.toString());
        }
        return QStringLiteral("Table ") + im.table + QStringLiteral(", enregistrement ") + parts.join(QStringLiteral(", "));
    }

private:
    QString keyText(const Image &im, const QStringList &keys, const QVariantList &row) const
    {
        QStringList parts{im.table.toUpper()};
        for (const QString &k : keys) {
            const QVariant &v = row.value(int(im.columns.indexOf(k)));
            parts << (v.isNull() ? QStringLiteral("\u2400") : v.toString());
        }
        return parts.join(QChar(0x1f));
    }

    // Whether this row (found by its key) is as it was before the run.
    bool asBefore(const QStringList &keys, const QVariantList &row) const
    {
        if (keys.isEmpty())
            return false;
        const Image *first = m_first.value(keyText(*m_im, keys, row));
        return first && first->kind != 'I' && sameRow(row, first->before);
    }

    // Whether the row of this key did not exist before the run.
    bool absentBefore(const QStringList &keys, const QVariantList &row) const
    {
        if (keys.isEmpty())
            return false;
        const Image *first = m_first.value(keyText(*m_im, keys, row));
        return first && first->kind == 'I';
    }

    QStringList keysOf(const Image &im)
    {
        auto found = m_keys.find(im.table.toUpper());
        if (found == m_keys.end())
            found = m_keys.emplace(im.table.toUpper(), m_b.keyColumns(im.table)).first;
        for (const QString &k : found->second)
            if (!im.columns.contains(k, Qt::CaseInsensitive))
                return QStringList();
        // The image's own spelling of the key's names.
        QStringList out;
        for (const QString &k : found->second)
            for (const QString &c : im.columns)
                if (c.compare(k, Qt::CaseInsensitive) == 0)
                    out << c;
        return out;
    }

    // The condition finding a row: its key, or all its columns.
    QString where(const QStringList &keys, const QVariantList &row, QVariantList *values) const
    {
        const QStringList &cols = keys.isEmpty() ? m_im->columns : keys;
        QStringList conds;
        for (const QString &c : cols) {
            const QVariant &v = row[m_im->columns.indexOf(c)];
            if (v.isNull()) {
                conds << quoted(c) + QStringLiteral(" IS NULL");
            } else {
                conds << quoted(c) + QStringLiteral(" = ?");
                *values << v;
            }
        }
        return conds.join(QStringLiteral(" AND "));
    }

    QSqlQuery &run(const QString &sql, const QVariantList &values)
    {
        QSqlQuery &q = m_b.statement(sql);
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
        m_b.exec(q);
        return q;
    }

    std::vector<QVariantList> fetch(const QStringList &keys, const QVariantList &row)
    {
        QStringList cols;
        for (const QString &c : m_im->columns)
            cols << quoted(c);
        QVariantList values;
        const QString cond = where(keys, row, &values);
        QSqlQuery &q = run(QStringLiteral("SELECT ") + cols.join(QStringLiteral(", ")) + QStringLiteral(" FROM ")
                               + m_im->written + QStringLiteral(" WHERE ") + cond,
                           values);
        std::vector<QVariantList> out;
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < cols.size(); ++i)
                r << q.value(i);
            out.push_back(std::move(r));
            if (out.size() > 2)
                break;
        }
        q.finish();
        return out;
    }

    void insert(const QVariantList &row)
    {
        QStringList cols, holders;
        for (const QString &c : m_im->columns) {
            cols << quoted(c);
            holders << QStringLiteral("?");
        }
        run(QStringLiteral("INSERT INTO ") + m_im->written + QStringLiteral(" (") + cols.join(QStringLiteral(", "))
                + QStringLiteral(") VALUES (") + holders.join(QStringLiteral(", ")) + QLatin1Char(')'),
            row)
            .finish();
    }

    void remove(const QStringList &keys, const QVariantList &row)
    {
        QVariantList values;
        const QString cond = where(keys, row, &values);
        run(QStringLiteral("DELETE FROM ") + m_im->written + QStringLiteral(" WHERE ") + cond, values).finish();
    }

    // Only the columns the run changed are written back.
    void update(const QStringList &keys, const QVariantList &now, const QVariantList &before)
    {
        QStringList sets;
        QVariantList values;
        for (int i = 0; i < m_im->columns.size(); ++i) {
            if (sameValue(now[i], before[i]))
                continue;
            sets << quoted(m_im->columns[i]) + QStringLiteral(" = ?");
            values << before[i];
        }
        if (sets.isEmpty())
            return;
        const QString cond = where(keys, now, &values);
        run(QStringLiteral("UPDATE ") + m_im->written + QStringLiteral(" SET ") + sets.join(QStringLiteral(", "))
                + QStringLiteral(" WHERE ") + cond,
            values)
            .finish();
    }

    Backend &m_b;
    const Image *m_im = nullptr;
    std::map<QString, QStringList> m_keys;
    QHash<QString, const Image *> m_first;
};

BackupInfo infoOf(BackupFile &f, const QString &file)
{
    BackupInfo info;
    info.file = QFileInfo(file).absoluteFilePath();
    info.started = QDateTime::fromString(f.meta(QStringLiteral("debut")).toString(), Qt::ISODate);
    info.ended = QDateTime::fromString(f.meta(QStringLiteral("fin")).toString(), Qt::ISODate);
    info.engine = f.meta(QStringLiteral("moteur")).toString();
    info.database = f.meta(QStringLiteral("base")).toString();
    info.state = f.meta(QStringLiteral("etat")).toString();
    info.summary = f.meta(QStringLiteral("resume")).toString();
    const QString report = f.meta(QStringLiteral("rapport")).toString();
    if (!report.isEmpty())
        info.report = QFileInfo(file).absoluteDir().absoluteFilePath(report);
    info.restored = QDateTime::fromString(f.meta(QStringLiteral("restauree")).toString(), Qt::ISODate);
    info.noticed = f.meta(QStringLiteral("signalee")).toBool();
    QSqlQuery q(f.db());
    // The rows of groups the practice database committed; those of a group
    // it never confirmed are judged row by row at a restore.
    if (q.exec(QStringLiteral("SELECT count(*) FROM images i JOIN groupes g ON g.id = i.groupe WHERE g.applique = 1")) && q.next())
        info.changedRows = q.value(0).toLongLong();
    return info;
}

} // namespace

QString BackupInfo::databaseText() const
{
    DatabaseIdentity id;
    id.engine = engine;
    id.location = database;
    return id.text();
}

BackupInfo readBackup(const QString &file)
{
    BackupFile f(file);
    return infoOf(f, file);
}

QList<BackupInfo> listBackups(const QString &directory)
{
    QList<BackupInfo> out;
    const QDir dir(directory);
    for (const QString &name : dir.entryList({QStringLiteral("*.sqlite")}, QDir::Files)) {
        try {
            out << readBackup(dir.absoluteFilePath(name));
        } catch (const DbError &) {
        }
    }
    std::sort(out.begin(), out.end(), [](const BackupInfo &a, const BackupInfo &b) {
        return a.started != b.started ? a.started > b.started : a.file > b.file;
    });
    return out;
}

void markNoticed(const QString &file)
{
    BackupFile f(file);
    f.setMeta(QStringLiteral("signalee"), 1);
}

RestoreResult restoreBackup(Connection &connection, const QString &file, const std::function<void(int, int)> &progress)
{
    BackupFile f(file);
    const BackupInfo info = infoOf(f, file);
    const DatabaseIdentity here = identityOf(connection);
    const bool sameBase = info.engine.compare(here.engine, Qt::CaseInsensitive) == 0
                          && info.database.compare(here.location, Qt::CaseInsensitive) == 0;
    if (!sameBase)
        throw DbError(QStringLiteral("Cette sauvegarde concerne la base ") + info.databaseText()
                      + QStringLiteral(" ; la base ouverte est ") + here.text() + QStringLiteral(". Rien n'a été restauré."));

    std::vector<Image> images;
    {
        QSqlQuery q(f.db());
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT i.id, i.nature, i.nom_table, i.table_ecrite, f.colonnes, i.avant, i.apres, "
                                   "coalesce(g.applique, 0) FROM images i JOIN formes f ON f.id = i.forme "
                                   "LEFT JOIN groupes g ON g.id = i.groupe ORDER BY i.id DESC")))
            throw DbError(QStringLiteral("La sauvegarde ne peut pas être lue : ") + q.lastError().text());
        while (q.next()) {
            Image im;
            im.id = q.value(0).toLongLong();
            { const QByteArray k = q.value(1).toString().toLatin1(); im.kind = k.isEmpty() ? 'U' : k[0]; }
            im.table = q.value(2).toString();
            im.written = q.value(3).toString();
            for (const QVariant &c : unpackRow(q.value(4).toByteArray()))
                im.columns << c.toString();
            if (!q.value(5).isNull())
                im.before = unpackRow(q.value(5).toByteArray());
            if (!q.value(6).isNull())
                im.after = unpackRow(q.value(6).toByteArray());
            im.applied = q.value(7).toBool();
            const QVariantList &shown = im.kind == 'D' || im.kind == 'U' ? im.before : im.after;
            if (shown.size() != im.columns.size() || (im.kind == 'U' && !im.after.isEmpty() && im.after.size() != im.columns.size()))
                throw DbError(QStringLiteral("La sauvegarde est endommagée : une image de la table %1 ne correspond pas à ses colonnes.").arg(im.table));
            images.push_back(std::move(im));
        }
    }

    RestoreResult out;
    Backend &b = connection.backend();
    Transaction t(connection);
    Restorer r(b, images);
    const int total = int(images.size());
    int done = 0;
    for (const Image &im : images) {
        Savepoint sp(t);
        try {
            r.undo(im, out);
            sp.release();
        } catch (const DbError &e) {
            out.leftAlone << Restorer::describe(im, im.kind == 'I' ? im.after : im.before, QStringList())
                                 + QStringLiteral(" : n'a pas pu être rétabli ; laissé tel quel. Erreur : ") + e.message();
        }
        if (progress)
            progress(++done, total);
    }
    t.commit();

    // What was left is kept with the backup, for the record.
    const QString when = QDateTime::currentDateTime().toString(Qt::ISODate);
    try {
        f.setMeta(QStringLiteral("restauree"), when);
        QSqlQuery q(f.db());
        q.prepare(QStringLiteral("INSERT INTO restes (restauration, texte) VALUES (?, ?)"));
        for (const QString &line : out.leftAlone) {
            q.bindValue(0, when);
            q.bindValue(1, line);
            q.exec();
        }
    } catch (const DbError &) {
        // The database is restored; the note in the backup is only a record.
    }
    return out;
}

} // namespace db
