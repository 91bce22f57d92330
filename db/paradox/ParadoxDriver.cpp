#include "db/paradox/ParadoxDriver.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Formats.h"
#include "db/paradox/PxCodePage.h"
#include "db/paradox/PxFiles.h"
#include "db/paradox/PxLib.h"
#include "db/paradox/PxModule.h"
#include "db/paradox/PxSecondary.h"
#include "db/paradox/PxTable.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <sqlite3.h>

namespace db::paradox {

namespace {

bool isDbFile(const QString &name) { return name.endsWith(QLatin1String(".db"), Qt::CaseInsensitive); }

QString sqliteMessage(sqlite3 *db, char *err = nullptr)
{
    const QString m = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
    sqlite3_free(err);
    return m;
}

void exec(sqlite3 *db, const QString &sql)
{
    char *err = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK)
        throw DbError(sqliteMessage(db, err));
}

// The file beside dbFile with the given extension, in the case of dbFile's own.
QString sibling(const QString &dbFile, const char *ext)
{
    const QFileInfo fi(dbFile);
    const bool lower = fi.suffix() == fi.suffix().toLower();
    const QString e = QString::fromLatin1(ext);
    return fi.absoluteDir().filePath(fi.completeBaseName() + QLatin1Char('.') + (lower ? e.toLower() : e.toUpper()));
}

void removeTableFiles(const QString &dbFile)
{
    const QFileInfo fi(dbFile);
    QDir dir = fi.absoluteDir();
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const QFileInfo c(name);
        const QString ext = c.suffix().toUpper();
        if (c.completeBaseName().compare(fi.completeBaseName(), Qt::CaseInsensitive) == 0
            && (ext == QLatin1String("DB") || ext == QLatin1String("MB") || ext == QLatin1String("PX")))
            dir.remove(name);
    }
    // The indexes of a table replaced would describe rows it no longer has.
    for (const QString &x : secondaryIndexFiles(dbFile))
        QFile::remove(x);
}

NewField fieldOf(const ColumnSpec &c, const CodePage &cp, const QString &table)
{
    auto refusal = [&](const QString &why) {
        return DbError(QStringLiteral("Table %1, champ %2 : %3").arg(table, c.name, why));
    };
    NewField f;
    bool ok = true;
    QString bad;
    f.rawName = cp.encode(c.name, &ok, &bad);
    if (!ok)
        throw refusal(QStringLiteral("le caractère « %1 » du nom ne peut pas être représenté dans la page de codes %2.")
                   .arg(bad).arg(cp.number()));
    if (c.name.isEmpty() || c.name.size() > 25)
        throw refusal(QStringLiteral("un nom de champ compte de 1 à 25 caractères."));
    const int inlineBytes = c.size == 0 ? 50 : c.size;
    switch (c.type) {
    case ColumnType::Alpha:
    case ColumnType::Bytes:
        if (c.size < 1 || c.size > 255)
            throw refusal(QStringLiteral("la longueur doit aller de 1 à 255."));
        f.type = c.type == ColumnType::Alpha ? ftAlpha : ftBytes;
        f.size = c.size;
        break;
    case ColumnType::Number: f.type = ftNumber; f.size = 8; break;
    case ColumnType::Currency: f.type = ftCurrency; f.size = 8; break;
    case ColumnType::Bcd:
        if (c.size < 0 || c.size > 32)
            throw refusal(QStringLiteral("le nombre de décimales doit aller de 0 à 32."));
        f.type = ftBcd;
        f.size = 17;
        f.decimals = c.size;
        break;
    case ColumnType::Short: f.type = ftShort; f.size = 2; break;
    case ColumnType::Long: f.type = ftLong; f.size = 4; break;
    case ColumnType::AutoInc: f.type = ftAutoInc; f.size = 4; break;
    case ColumnType::Logical: f.type = ftLogical; f.size = 1; break;
    case ColumnType::Date: f.type = ftDate; f.size = 4; break;
    case ColumnType::Time: f.type = ftTime; f.size = 4; break;
    case ColumnType::Timestamp: f.type = ftTimestamp; f.size = 8; break;
    case ColumnType::Memo:
    case ColumnType::Binary:
    case ColumnType::Graphic:
        if (inlineBytes < 1 || inlineBytes > 240)
            throw refusal(QStringLiteral("la part gardée dans l'enregistrement doit aller de 1 à 240 octets."));
        f.type = c.type == ColumnType::Memo ? ftMemo : c.type == ColumnType::Binary ? ftBlob : ftGraphic;
        f.size = inlineBytes + 10;
        break;
    }
    return f;
}

QVariant bindable(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::QDate: return formats::storageText(QDateTime(v.toDate(), QTime(0, 0)));
    case QMetaType::QDateTime: return formats::storageText(v.toDateTime());
    case QMetaType::QTime:
        return v.toTime().toString(v.toTime().msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
    case QMetaType::Bool: return v.toBool() ? 1 : 0;
    default: return v;
    }
}

void bind(sqlite3_stmt *st, int i, const QVariant &raw)
{
    const QVariant v = bindable(raw);
    if (v.isNull() || !v.isValid()) {
        sqlite3_bind_null(st, i);
        return;
    }
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        sqlite3_bind_int64(st, i, v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(st, i, v.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        sqlite3_bind_blob(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        break;
    }
    }
}

ColumnSpec columnOfDeclared(const QString &name, const QString &declared)
{
    const QString d = declared.toUpper();
    ColumnSpec c{name, ColumnType::Alpha, 255};
    const int open = d.indexOf(QLatin1Char('('));
    const int length = open >= 0 ? d.mid(open + 1, d.indexOf(QLatin1Char(')'), open) - open - 1).toInt() : 0;
    if (d.contains(QLatin1String("AUTOINC")))
        c.type = ColumnType::AutoInc;
    else if (d.contains(QLatin1String("INT")))
        c.type = ColumnType::Long;
    else if (d.contains(QLatin1String("DATETIME")) || d.contains(QLatin1String("TIMESTAMP")))
        c.type = ColumnType::Timestamp;
    else if (d.contains(QLatin1String("DATE")))
        c.type = ColumnType::Date;
    else if (d.contains(QLatin1String("TIME")))
        c.type = ColumnType::Time;
    else if (d.contains(QLatin1String("BOOL")))
        c.type = ColumnType::Logical;
    else if (d.contains(QLatin1String("MONEY")) || d.contains(QLatin1String("CURRENCY")))
        c.type = ColumnType::Currency;
    else if (d.contains(QLatin1String("FLOA")) || d.contains(QLatin1String("REAL")) || d.contains(QLatin1String("DOUB"))
             || d.contains(QLatin1String("NUM")) || d.contains(QLatin1String("DEC")))
        c.type = ColumnType::Number;
    else if (d.contains(QLatin1String("CHAR")) && length > 255)
        c.type = ColumnType::Memo;
    else if (d.contains(QLatin1String("CHAR")))
        c.size = length > 0 ? length : 255;
    else if (d.contains(QLatin1String("BLOB")))
        c.type = ColumnType::Binary;
    else if (d.contains(QLatin1String("MEMO")) || d.contains(QLatin1String("TEXT")) || d.contains(QLatin1String("CLOB")))
        c.type = ColumnType::Memo;
    if (c.type != ColumnType::Alpha)
        c.size = 0;
    return c;
}

} // namespace

void attachDirectory(sqlite3 *handle, const QString &directory, int fallbackCodePage)
{
    const QDir dir(directory);
    if (!dir.exists())
        throw DbError(QStringLiteral("Répertoire de base de données invalide : %1").arg(directory));
    registerModule(handle);
    QHash<QString, QString> seen;
    for (const QString &file : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (!isDbFile(file))
            continue;
        const QString base = QFileInfo(file).completeBaseName();
        const QString upper = base.toUpper();
        if (seen.contains(upper))
            throw DbError(QStringLiteral("Les tables %1 et %2 du répertoire %3 ne diffèrent que par la casse de leur nom.")
                              .arg(seen.value(upper), file, directory));
        seen.insert(upper, file);
        exec(handle, createStatement(base, dir.filePath(file), fallbackCodePage));
    }
}

void createTable(const QString &dbFile, const std::vector<ColumnSpec> &columns, const QString &key, int codePage,
                 qint64 expectedRows)
{
    const QString table = QFileInfo(dbFile).completeBaseName();
    if (columns.empty() || columns.size() > 255)
        throw DbError(QStringLiteral("Table %1 : une table compte de 1 à 255 champs.").arg(table));
    const CodePage cp(codePage, table);
    std::vector<NewField> fields;
    QSet<QString> names;
    for (const ColumnSpec &c : columns) {
        if (names.contains(c.name.toUpper()))
            throw DbError(QStringLiteral("Table %1 : deux champs s'appellent %2.").arg(table, c.name));
        names.insert(c.name.toUpper());
        fields.push_back(fieldOf(c, cp, table));
    }
    const QStringList keys = key.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (int i = 0; i < keys.size(); ++i) {
        if (i >= int(columns.size()) || columns[size_t(i)].name.compare(keys[i].trimmed(), Qt::CaseInsensitive) != 0)
            throw DbError(QStringLiteral("Table %1 : la clé (%2) doit porter sur les premiers champs, dans l'ordre.").arg(table, key));
        if (isBlobType(fields[size_t(i)].type) || fields[size_t(i)].type == ftBytes)
            throw DbError(QStringLiteral("Table %1 : le champ %2 ne peut pas faire partie d'une clé.").arg(table, keys[i]));
    }
    // Refused before any file is touched when no block size can hold the rows.
    int recordSize = 0, keySize = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        recordSize += fields[i].size;
        keySize += int(i) < keys.size() ? fields[i].size : 0;
    }
    blockSizeFor(recordSize, keySize, expectedRows, table);
    removeTableFiles(dbFile);
    createEmptyTable(dbFile, sibling(dbFile, "MB"), fields, int(keys.size()), codePage, table, expectedRows);
    if (!keys.isEmpty()) {
        QFile f(dbFile);
        if (!f.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("Table %1 : le fichier créé ne peut pas être relu.").arg(table));
        const QByteArray bytes = f.readAll();
        const Header h = parseHeader(bytes, bytes.size(), table);
        QFile px(sibling(dbFile, "PX"));
        const QByteArray index = buildPrimaryIndex(primaryIndexHeader(h, table), h, {}, table);
        if (!px.open(QIODevice::WriteOnly | QIODevice::Truncate) || px.write(index) != index.size())
            throw DbError(QStringLiteral("Table %1 : impossible de créer l'index primaire %2.").arg(table, px.fileName()));
    }
}

void createTable(const QString &dbFile, const std::vector<FieldDef> &fields, const QString &key)
{
    std::vector<ColumnSpec> cols;
    for (const FieldDef &f : fields) {
        ColumnSpec c{f.name, ColumnType::Alpha, 0};
        switch (f.type) {
        case db::FieldType::Integer: c.type = ColumnType::Long; break;
        case db::FieldType::AutoInc: c.type = ColumnType::AutoInc; break;
        case db::FieldType::Text: c.size = f.size > 0 ? f.size : 255; break;
        case db::FieldType::Memo: c.type = ColumnType::Memo; break;
        case db::FieldType::DateTime: c.type = ColumnType::Timestamp; break;
        case db::FieldType::Boolean: c.type = ColumnType::Logical; break;
        case db::FieldType::Float: c.type = ColumnType::Number; break;
        }
        cols.push_back(c);
    }
    createTable(dbFile, cols, key);
}

void appendRows(const QString &dbFile, const std::vector<QVariantList> &rows)
{
    if (rows.empty())
        return;
    sqlite3 *db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw DbError(QStringLiteral("Mémoire insuffisante."));
    }
    sqlite3_stmt *st = nullptr;
    try {
        registerModule(db);
        exec(db, createStatement(QStringLiteral("t"), QFileInfo(dbFile).absoluteFilePath(), 0, true));
        const int n = int(rows.front().size());
        QStringList holders;
        for (int i = 0; i < n; ++i)
            holders << QStringLiteral("?");
        exec(db, QStringLiteral("BEGIN"));
        const QByteArray sql = QStringLiteral("INSERT INTO t VALUES (%1)").arg(holders.join(QLatin1Char(','))).toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
            throw DbError(sqliteMessage(db));
        for (const QVariantList &row : rows) {
            for (int i = 0; i < n; ++i)
                bind(st, i + 1, i < row.size() ? row[i] : QVariant());
            if (sqlite3_step(st) != SQLITE_DONE)
                throw DbError(sqliteMessage(db));
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        st = nullptr;
        exec(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_finalize(st);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

void addSecondaryIndex(const QString &dbFile, const QStringList &columns, bool caseless)
{
    const QString name = QFileInfo(dbFile).completeBaseName();
    std::vector<int> cols;
    Header header;
    {
        Table t(dbFile, name);
        t.refresh();
        header = t.header();
        for (int i = 0; i < t.columnCount() && i < int(header.fields.size()); ++i)
            header.fields[size_t(i)].name = t.field(i).name;
    }
    for (const QString &c : columns) {
        int found = -1;
        for (size_t i = 0; i < header.fields.size(); ++i)
            if (header.fields[i].name.compare(c, Qt::CaseInsensitive) == 0)
                found = int(i);
        if (found < 0)
            throw DbError(QStringLiteral("Table %1 : pas de champ %2 pour l'index secondaire.").arg(name, c));
        cols.push_back(found);
    }
    const QString x = createSecondaryIndexFiles(dbFile, header, cols, caseless, columns.join(QLatin1Char('_')).toLatin1(), name);
    try {
        Table t(dbFile, name);
        t.rebuildSecondaryIndexes(caseless);
    } catch (...) {
        QFile::remove(x);
        QFile::remove(QFileInfo(x).absoluteDir().filePath(QFileInfo(x).completeBaseName() + QLatin1Char('.')
                                                            + QStringLiteral("Y") + QFileInfo(x).suffix().mid(1)));
        throw;
    }
}

QString writeRefusal(const QString &dbFile, int fallbackCodePage)
{
    try {
        TableOptions options;
        options.fallbackCodePage = fallbackCodePage;
        Table t(dbFile, QFileInfo(dbFile).completeBaseName(), options);
        return t.writeRefusal();
    } catch (const DbError &e) {
        return e.message();
    }
}

QStringList keyColumns(const QString &dbFile)
{
    Table t(dbFile, QFileInfo(dbFile).completeBaseName());
    QStringList out;
    for (int i = 0; i < t.keyFields() && i < t.columnCount(); ++i)
        out << t.field(i).name;
    return out;
}

void exportSqliteDatabase(QSqlDatabase source, const QString &directory, const std::vector<SecondaryIndexSpec> &indexes)
{
    if (!QDir().mkpath(directory))
        throw DbError(QStringLiteral("Le répertoire %1 ne peut pas être créé.").arg(directory));
    for (const QString &table : source.tables(QSql::Tables)) {
        if (table.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive))
            continue;
        QSqlQuery info(source);
        if (!info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(table))))
            throw DbError(info.lastError().text());
        std::vector<std::pair<int, ColumnSpec>> keyCols;
        std::vector<ColumnSpec> others;
        while (info.next()) {
            const ColumnSpec c = columnOfDeclared(info.value(1).toString(), info.value(2).toString());
            if (info.value(5).toInt() > 0)
                keyCols.emplace_back(info.value(5).toInt(), c);
            else
                others.push_back(c);
        }
        std::sort(keyCols.begin(), keyCols.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        std::vector<ColumnSpec> cols;
        QStringList key, names;
        for (const auto &k : keyCols) {
            cols.push_back(k.second);
            key << k.second.name;
        }
        cols.insert(cols.end(), others.begin(), others.end());
        for (const ColumnSpec &c : cols)
            names << quotedIdentifier(c.name);
        const QString file = QDir(directory).filePath(table + QStringLiteral(".DB"));
        QSqlQuery count(source);
        if (!count.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quotedIdentifier(table))) || !count.next())
            throw DbError(count.lastError().text());
        createTable(file, cols, key.join(QLatin1Char(';')), 1252, count.value(0).toLongLong());

        QSqlQuery q(source);
        q.setForwardOnly(true);
        QString sql = QStringLiteral("SELECT %1 FROM %2").arg(names.join(QStringLiteral(", ")), quotedIdentifier(table));
        if (!key.isEmpty()) {
            QStringList ordre;
            for (const QString &k : std::as_const(key))
                ordre << quotedIdentifier(k);
            sql += QStringLiteral(" ORDER BY ") + ordre.join(QStringLiteral(", "));
        }
        if (!q.exec(sql))
            throw DbError(q.lastError().text());
        std::vector<QVariantList> rows;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < int(cols.size()); ++i)
                row << q.value(i);
            rows.push_back(std::move(row));
        }
        appendRows(file, rows);
        for (const SecondaryIndexSpec &ix : indexes)
            if (ix.table.compare(table, Qt::CaseInsensitive) == 0)
                addSecondaryIndex(file, ix.columns, ix.caseless);
    }
}

} // namespace db::paradox
