#include "db/TableCursor.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Query.h"
#include "db/backends/SqliteBackend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlField>
#include <QRegularExpression>

namespace db {

namespace {

QString sqlType(const FieldDef &f)
{
    switch (f.type) {
    case FieldType::Integer: return QStringLiteral("INTEGER");
    case FieldType::AutoInc: return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case FieldType::Text: return QStringLiteral("VARCHAR(%1)").arg(f.size > 0 ? f.size : 255);
    case FieldType::Memo: return QStringLiteral("MEMO");
    case FieldType::DateTime: return QStringLiteral("DATETIME");
    case FieldType::Boolean: return QStringLiteral("BOOLEAN");
    case FieldType::Float: return QStringLiteral("FLOAT");
    }
    return QString();
}

QString sqlTypeOfKind(ColumnKind k)
{
    switch (k) {
    case ColumnKind::Integer: return QStringLiteral("INTEGER");
    case ColumnKind::Float: return QStringLiteral("FLOAT");
    case ColumnKind::Text: return QStringLiteral("VARCHAR(255)");
    case ColumnKind::DateTime: return QStringLiteral("DATETIME");
    case ColumnKind::Boolean: return QStringLiteral("BOOLEAN");
    case ColumnKind::Blob: return QStringLiteral("BLOB");
    case ColumnKind::Unknown: break;
    }
    return QString();
}

QString baseName(const QString &table)
{
    const int dot = table.indexOf(QLatin1Char('.'));
    return dot < 0 ? table : table.left(dot);
}

} // namespace

TableCursor::TableCursor(const QString &name) : m_name(name) {}

TableCursor::~TableCursor() { close(); }

void TableCursor::setDatabaseName(const QString &name)
{
    close();
    m_database = name;
}

void TableCursor::setTableName(const QString &table)
{
    close();
    m_table = table;
}

bool TableCursor::isLocal() const { return Engine::instance().connection(m_database) == nullptr; }

QString TableCursor::localFile() const
{
    QString file = m_table;
    if (!file.contains(QLatin1Char('.')))
        file += QStringLiteral(".DB");
    return QDir::fromNativeSeparators(m_database) + QLatin1Char('/') + file;
}

bool TableCursor::exists() const
{
    if (isLocal())
        return QFileInfo(localFile()).isFile();
    return Engine::instance().database(m_database).tables().contains(baseName(m_table), Qt::CaseInsensitive);
}

Backend &TableCursor::backend()
{
    if (!isLocal())
        return Engine::instance().backend(m_database);
    const QString file = localFile();
    const QString wanted = QStringLiteral("local:") + file;
    if (!m_local || m_localName != wanted) {
        m_local.reset();
        m_localName = wanted;
        m_local = std::make_unique<SqliteBackend>(m_localName);
    }
    if (!QSqlDatabase::contains(m_localName) && !QFileInfo(QDir::fromNativeSeparators(m_database)).isDir())
        throw DbError(QStringLiteral("Le répertoire %1 n'existe pas.").arg(m_database));
    m_local->openWorkFile(file);
    return *m_local;
}

int TableCursor::columnIndex(const QString &field) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TableCursor::quotedColumn(const QString &field) const
{
    // The program names columns in its own letter case; the database may
    // store them in another, which a quoted name must match exactly.
    const int c = columnIndex(field);
    return quotedIdentifier(c < 0 ? field : m_columns[c]);
}

void TableCursor::createTable()
{
    close();
    Backend &b = backend();
    QSqlQuery q(b.database());
    b.exec(q, QStringLiteral("DROP TABLE IF EXISTS %1").arg(b.tableIdentifier(baseName(m_table))));
    QStringList cols;
    for (const FieldDef &f : m_defs)
        cols << quotedIdentifier(f.name) + QLatin1Char(' ') + sqlType(f) + (f.required && f.type != FieldType::AutoInc ? QStringLiteral(" NOT NULL") : QString());
    b.exec(q, QStringLiteral("CREATE TABLE %1 (%2)").arg(b.tableIdentifier(baseName(m_table)), cols.join(QStringLiteral(", "))));
}

void TableCursor::copyFrom(Query &source)
{
    close();
    Backend &b = backend();
    QSqlQuery q(b.database());
    b.exec(q, QStringLiteral("DROP TABLE IF EXISTS %1").arg(b.tableIdentifier(baseName(m_table))));
    // From a SQLite database (the Paradox tables are one too) into a work
    // file, the engine copies the rows itself, as stored, and the source's
    // rows need not be read here: its columns are learnt from its first row.
    auto *sqliteSource = dynamic_cast<SqliteBackend *>(&Engine::instance().backend(source.databaseName()));
    const bool bulk = sqliteSource && isLocal() && source.paramNames().isEmpty() && !source.active();
    Query probe(source.name());
    Query &described = bulk ? probe : source;
    if (bulk) {
        probe.setDatabaseName(source.databaseName());
        probe.setSql(QStringLiteral("SELECT * FROM (%1) LIMIT 1").arg(source.text()));
        probe.open();
    } else if (!source.active()) {
        source.open();
    }
    const QStringList names = described.fieldNames();
    std::vector<ColumnKind> kinds;
    QStringList cols, holders;
    described.first();
    for (int i = 0; i < names.size(); ++i) {
        kinds.push_back(described.field(i).kind());
        cols << quotedIdentifier(names[i]) + QLatin1Char(' ') + sqlTypeOfKind(kinds.back());
        holders << QStringLiteral("?");
    }
    b.exec(q, QStringLiteral("CREATE TABLE %1 (%2)").arg(b.tableIdentifier(baseName(m_table)), cols.join(QStringLiteral(", "))));
    if (bulk) {
        sqliteSource->copyInto(localFile(), baseName(m_table), source.text());
        return;
    }
    Transaction copy(b);
    QSqlQuery ins(b.database());
    b.prepare(ins, QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(b.tableIdentifier(baseName(m_table)), holders.join(QLatin1Char(','))));
    for (source.first(); !source.eof(); source.next()) {
        for (int i = 0; i < names.size(); ++i) {
            const Field f = source.field(i);
            // Read as the column's kind: a date or a flag that the source
            // holds as text is stored as one.
            QVariant v = f.value();
            if (!f.isNull() && kinds[i] == ColumnKind::DateTime)
                v = f.asDateTime();
            else if (!f.isNull() && kinds[i] == ColumnKind::Boolean)
                v = f.asBoolean();
            ins.addBindValue(b.toStorage(v, kinds[i]));
        }
        b.exec(ins);
    }
    source.first();
    copy.commit();
}

void TableCursor::addIndex(const QString &name, const QString &fields, int options)
{
    Backend &b = backend();
    QSqlQuery q(b.database());
    loadSchema();
    const QString table = baseName(m_table);
    const QString indexName = (options & ixPrimary) ? table + QStringLiteral("_PRIMARY") : name;
    QStringList parts;
    for (const QString &f : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QString p = quotedIdentifier(f.trimmed());
        if ((options & ixCaseInsensitive) && kindOf(f.trimmed()) == ColumnKind::Text)
            p += QStringLiteral(" COLLATE NOCASE");
        parts << p;
    }
    const bool unique = options & (ixPrimary | ixUnique);
    b.exec(q, QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                  .arg(unique ? QStringLiteral("UNIQUE ") : QString(), quotedIdentifier(indexName), quotedIdentifier(table),
                       parts.join(QStringLiteral(", "))));
}

void TableCursor::loadSchema()
{
    Backend &b = backend();
    const QString table = baseName(m_table);
    const QSqlRecord rec = b.tableRecord(table);
    if (rec.isEmpty())
        throw DbError(QStringLiteral("Table %1 introuvable.").arg(m_table));
    m_columns.clear();
    for (int i = 0; i < rec.count(); ++i)
        m_columns << rec.fieldName(i);
    m_kindByColumn = b.tableColumnKinds(table);
}

ColumnKind TableCursor::kindOf(const QString &field) const { return m_kindByColumn.value(field.toUpper(), ColumnKind::Unknown); }

void TableCursor::open()
{
    if (m_active)
        return;
    loadSchema();
    m_active = true;
    m_loaded = false;
    m_state = State::Browse;
    setIndexName(QString());
}

void TableCursor::close()
{
    m_active = false;
    m_loaded = false;
    m_firstPending = false;
    m_rows.clear();
    m_posByRowid.clear();
    m_pending.clear();
    m_state = State::Browse;
    m_pos = 0;
    m_bof = m_eof = true;
}

void TableCursor::requireActive() const
{
    if (!m_active)
        throw DbError(QStringLiteral("%1 : opération impossible sur un ensemble de données fermé").arg(m_name.isEmpty() ? m_table : m_name));
}

void TableCursor::setIndexName(const QString &name)
{
    requireActive();
    m_indexFields.clear();
    m_indexNoCase.clear();
    const QString index = name.isEmpty() ? baseName(m_table) + QStringLiteral("_PRIMARY") : name;
    const QList<IndexColumn> columns = backend().indexColumns(index);
    if (columns.isEmpty() && !name.isEmpty())
        throw DbError(QStringLiteral("Index %1 introuvable pour la table %2.").arg(name, m_table));
    for (const IndexColumn &c : columns) {
        m_indexFields << c.name;
        m_indexNoCase << c.noCase;
    }
    m_loaded = false;
    first();
}

void TableCursor::setIndexFieldNames(const QString &fields)
{
    requireActive();
    m_indexFields.clear();
    m_indexNoCase.clear();
    for (const QString &f : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        m_indexFields << f.trimmed();
        m_indexNoCase << false;
    }
    m_loaded = false;
    first();
}

QString TableCursor::orderBy()
{
    QStringList parts;
    for (int i = 0; i < m_indexFields.size(); ++i)
        parts << quotedColumn(m_indexFields[i]) + (m_indexNoCase[i] ? QStringLiteral(" COLLATE NOCASE") : QString());
    if (backend().hasRowIdentity())
        parts << QStringLiteral("rowid");
    return parts.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + parts.join(QStringLiteral(", "));
}

void TableCursor::reload()
{
    Backend &b = backend();
    QSqlQuery q(b.database());
    q.setForwardOnly(true);
    const bool rowid = b.hasRowIdentity();
    b.exec(q, QStringLiteral("SELECT %1* FROM %2%3").arg(rowid ? QStringLiteral("rowid, ") : QString(),
                                                         b.tableIdentifier(baseName(m_table)), orderBy()));
    m_rows.clear();
    m_posByRowid.clear();
    std::vector<ColumnKind> kinds;
    for (const QString &c : m_columns)
        kinds.push_back(kindOf(c));
    const int n = int(kinds.size());
    while (q.next()) {
        // The first value is the row's identity, or nothing without one.
        std::vector<QVariant> row;
        row.reserve(n + 1);
        row.push_back(rowid ? q.value(0) : QVariant());
        for (int i = 0; i < n; ++i)
            row.push_back(q.value(rowid ? i + 1 : i));   // read as the program sees it when asked
        if (rowid)
            m_posByRowid.insert(row[0].toLongLong(), int(m_rows.size()));
        m_rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        throw DbError(b.message(q.lastError()));
    m_loaded = true;
    m_keyIndex = KeyIndex::Unbuilt;
}

void TableCursor::ensureLoaded()
{
    requireActive();
    if (!m_loaded)
        reload();
    if (m_firstPending) {
        m_firstPending = false;
        m_pos = 0;
        m_bof = true;
        m_eof = m_rows.empty();
    }
}

void TableCursor::settle() const
{
    // Positions are taken lazily (a table opened and never read is never
    // loaded); asking where the cursor stands settles them.
    if (m_active && (m_firstPending || !m_loaded))
        const_cast<TableCursor *>(this)->ensureLoaded();
}

bool TableCursor::findKey(const QVariantList &values)
{
    ensureLoaded();
    if (m_indexFields.isEmpty())
        throw DbError(QStringLiteral("%1 : aucun index actif pour la recherche.").arg(m_table));
    const int n = std::min<int>(values.size(), m_indexFields.size());
    if (n == 1) {
        bool found = false;
        if (findIntegerKey(values[0], &found))
            return found;
    }
    Backend &b = backend();
    if (b.hasRowIdentity()) {
        QStringList conds;
        for (int i = 0; i < n; ++i)
            conds << quotedColumn(m_indexFields[i]) + QStringLiteral(" = ?") + (m_indexNoCase[i] ? QStringLiteral(" COLLATE NOCASE") : QString());
        QSqlQuery &q = b.statement(QStringLiteral("SELECT rowid FROM %1 WHERE %2%3 LIMIT 1")
                                       .arg(b.tableIdentifier(baseName(m_table)), conds.join(QStringLiteral(" AND ")), orderBy()));
        for (int i = 0; i < n; ++i)
            q.bindValue(i, b.toStorage(values[i], kindOf(m_indexFields[i])));
        b.exec(q);
        const bool found = q.next();
        const qint64 rowid = found ? q.value(0).toLongLong() : 0;
        q.finish();
        if (!found)
            return false;
        const auto it = m_posByRowid.constFind(rowid);
        if (it == m_posByRowid.constEnd())
            return false;
        m_pos = it.value();
        m_bof = m_eof = false;
        return true;
    }
    for (int r = 0; r < int(m_rows.size()); ++r) {
        bool same = true;
        for (int i = 0; i < n && same; ++i) {
            const int c = columnIndex(m_indexFields[i]);
            const QVariant v = b.fromStorage(m_rows[r][c + 1], kindOf(m_columns[c]));
            same = v.toString() == values[i].toString();
        }
        if (same) {
            m_pos = r;
            m_bof = m_eof = false;
            return true;
        }
    }
    return false;
}

// True when the search could be answered from the rows in memory; *found
// then says whether a row was found (and the cursor stands on it).
bool TableCursor::findIntegerKey(const QVariant &value, bool *found)
{
    const int id = value.metaType().id();
    if (id != QMetaType::Int && id != QMetaType::LongLong && id != QMetaType::UInt)
        return false;
    if (m_keyIndex == KeyIndex::Unbuilt) {
        m_keyIndex = KeyIndex::Unusable;
        const int c = columnIndex(m_indexFields.value(0));
        if (c < 0 || kindOf(m_columns[c]) != ColumnKind::Integer)
            return false;
        m_posByKey.clear();
        for (int r = int(m_rows.size()) - 1; r >= 0; --r) {
            const QVariant &v = m_rows[size_t(r)][size_t(c) + 1];
            if (v.isNull())
                continue;   // equal to nothing
            const int t = v.metaType().id();
            if (t != QMetaType::Int && t != QMetaType::LongLong && t != QMetaType::UInt)
                return false;   // a stored value SQL would compare otherwise
            m_posByKey.insert(v.toLongLong(), r);   // the earliest row last, so it stays
        }
        m_keyIndex = KeyIndex::Built;
    }
    if (m_keyIndex != KeyIndex::Built)
        return false;
    const auto it = m_posByKey.constFind(value.toLongLong());
    *found = it != m_posByKey.constEnd();
    if (*found) {
        m_pos = it.value();
        m_bof = m_eof = false;
    }
    return true;
}

void TableCursor::first()
{
    requireActive();
    if (!m_loaded) {
        m_firstPending = true;
        return;
    }
    m_firstPending = false;
    m_pos = 0;
    m_bof = true;
    m_eof = m_rows.empty();
}

void TableCursor::next()
{
    ensureLoaded();
    if (m_rows.empty() || m_pos + 1 >= int(m_rows.size())) {
        m_eof = true;
        return;
    }
    ++m_pos;
    m_bof = false;
}

void TableCursor::prior()
{
    ensureLoaded();
    m_eof = false;
    if (m_pos == 0) {
        m_bof = true;
        return;
    }
    --m_pos;
}

void TableCursor::last()
{
    ensureLoaded();
    m_pos = m_rows.empty() ? 0 : int(m_rows.size()) - 1;
    m_eof = m_bof = m_rows.empty();
}

int TableCursor::recordCount()
{
    ensureLoaded();
    return int(m_rows.size());
}

int TableCursor::recNo() const
{
    settle();
    return m_rows.empty() ? 0 : m_pos + 1;
}

bool TableCursor::eof() const
{
    settle();
    return m_eof;
}

bool TableCursor::bof() const
{
    settle();
    return m_bof;
}

void TableCursor::append()
{
    requireActive();
    m_pending.clear();
    m_state = State::Insert;
}

void TableCursor::edit()
{
    ensureLoaded();
    if (m_rows.empty())
        throw DbError(QStringLiteral("%1 : aucun enregistrement à modifier.").arg(m_table));
    m_pending.clear();
    m_editOriginal = m_rows[m_pos];
    m_state = State::Edit;
}

void TableCursor::setFieldValue(const QString &field, const QVariant &value)
{
    requireActive();
    if (m_state == State::Browse)
        throw DbError(QStringLiteral("%1 : l'ensemble de données n'est pas en mode édition ou insertion").arg(m_table));
    if (!m_columns.contains(field, Qt::CaseInsensitive))
        throw DbError(QStringLiteral("%1 : champ '%2' non trouvé").arg(m_table, field));
    m_pending.insert(field.toUpper(), value);
}

void TableCursor::post()
{
    requireActive();
    if (m_state == State::Browse)
        return;
    Backend &b = backend();
    const QString table = b.tableIdentifier(baseName(m_table));
    QStringList cols, holders;
    QVariantList values;
    for (const QString &c : m_columns) {
        const auto it = m_pending.constFind(c.toUpper());
        if (it == m_pending.constEnd())
            continue;
        cols << quotedIdentifier(c);
        holders << QStringLiteral("?");
        values << b.toStorage(it.value(), kindOf(c));
    }
    if (m_state == State::Insert) {
        const QString sql = cols.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                           : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols.join(QStringLiteral(", ")), holders.join(QStringLiteral(", ")));
        QSqlQuery &q = b.statement(sql);
        int i = 0;
        for (const QVariant &v : values)
            q.bindValue(i++, v);
        b.exec(q);
        q.finish();
        // The new row takes its place in the index order on the next move.
        m_loaded = false;
    } else {
        if (!cols.isEmpty()) {
            QStringList sets;
            for (const QString &c : cols)
                sets << c + QStringLiteral(" = ?");
            QString where;
            QVariantList keys;
            if (b.hasRowIdentity()) {
                where = QStringLiteral("rowid = ?");
                keys << m_editOriginal[0];
            } else {
                QStringList conds;
                for (const QString &f : m_indexFields) {
                    const int c = columnIndex(f);
                    if (c < 0)
                        throw DbError(QStringLiteral("%1 : champ '%2' non trouvé").arg(m_table, f));
                    conds << quotedColumn(f) + QStringLiteral(" = ?");
                    keys << b.toStorage(b.fromStorage(m_editOriginal[c + 1], kindOf(f)), kindOf(f));
                }
                if (conds.isEmpty())
                    throw DbError(QStringLiteral("%1 : aucun index pour identifier l'enregistrement.").arg(m_table));
                where = conds.join(QStringLiteral(" AND "));
            }
            QSqlQuery &q = b.statement(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, sets.join(QStringLiteral(", ")), where));
            int i = 0;
            for (const QVariant &v : values)
                q.bindValue(i++, v);
            for (const QVariant &k : keys)
                q.bindValue(i++, k);
            b.exec(q);
            q.finish();
            // The row as a reload would read it.
            for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it) {
                const int c = m_columns.indexOf(QRegularExpression(QStringLiteral("^%1$").arg(QRegularExpression::escape(it.key())), QRegularExpression::CaseInsensitiveOption));
                if (c >= 0) {
                    const ColumnKind k = kindOf(m_columns[c]);
                    m_rows[m_pos][c + 1] = b.toStorage(it.value(), k);
                }
            }
            m_keyIndex = KeyIndex::Unbuilt;
        }
    }
    m_pending.clear();
    m_state = State::Browse;
}

void TableCursor::cancel()
{
    m_pending.clear();
    m_state = State::Browse;
}

Field TableCursor::fieldByName(const QString &field)
{
    requireActive();
    int c = -1;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(field, Qt::CaseInsensitive) == 0)
            c = i;
    if (c < 0)
        throw DbError(QStringLiteral("%1 : champ '%2' non trouvé").arg(m_table, field));
    if (m_state != State::Browse) {
        const auto it = m_pending.constFind(field.toUpper());
        if (it != m_pending.constEnd())
            return Field(m_columns[c], it.value(), kindOf(field));
        if (m_state == State::Insert)
            return Field(m_columns[c], QVariant(), kindOf(field));
    }
    ensureLoaded();
    if (m_rows.empty())
        return Field(m_columns[c], QVariant(), kindOf(field));
    const ColumnKind k = kindOf(field);
    return Field(m_columns[c], backend().fromStorage(m_rows[m_pos][c + 1], k), k);
}

QStringList TableCursor::fieldNames()
{
    if (!m_active)
        loadSchema();
    return m_columns;
}

void TableCursor::emptyTable()
{
    Backend &b = backend();
    QSqlQuery q(b.database());
    b.exec(q, QStringLiteral("DELETE FROM %1").arg(b.tableIdentifier(baseName(m_table))));
    m_loaded = false;
    m_rows.clear();
    m_posByRowid.clear();
    m_pos = 0;
    m_bof = m_eof = true;
}

void TableCursor::deleteTable()
{
    close();
    if (!isLocal()) {
        Backend &b = backend();
        QSqlQuery q(b.database());
        b.exec(q, QStringLiteral("DROP TABLE %1").arg(b.tableIdentifier(baseName(m_table))));
        return;
    }
    const QString file = localFile();
    m_local.reset();   // lets go of the file
    m_localName.clear();
    Engine::instance().releaseDirectory(m_database);
    for (const QString &suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile f(file + suffix);
        if (f.exists() && !f.remove())
            throw DbError(QStringLiteral("Impossible de supprimer la table %1 : %2").arg(file + suffix, f.errorString()));
    }
}

} // namespace db
