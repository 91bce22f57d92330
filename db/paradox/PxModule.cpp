#include "db/paradox/PxModule.h"
#include "db/DbError.h"
#include "db/paradox/PxTable.h"

#include <map>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <vector>

namespace db::paradox {

namespace {

struct Vtab : sqlite3_vtab {
    std::shared_ptr<CommitGroup> group;   // before the table, which leaves it when destroyed
    std::unique_ptr<Table> table;
    QString broken;   // why the table cannot be read, for a file whose header is unusable
};

// The tables of one connection commit together.
std::shared_ptr<CommitGroup> groupOf(sqlite3 *db)
{
    static std::mutex mutex;
    static std::map<sqlite3 *, std::weak_ptr<CommitGroup>> groups;
    const std::lock_guard<std::mutex> lock(mutex);
    for (auto it = groups.begin(); it != groups.end();)
        it = it->second.expired() ? groups.erase(it) : std::next(it);
    std::shared_ptr<CommitGroup> g = groups[db].lock();
    if (!g) {
        g = std::make_shared<CommitGroup>();
        groups[db] = g;
    }
    return g;
}

struct Cursor : sqlite3_vtab_cursor {
    std::vector<qint64> rowids;
    size_t pos = 0;
    int slot = -1;
    unsigned generation = 0;
};

Vtab *vt(sqlite3_vtab *v) { return static_cast<Vtab *>(v); }
Table &tableOf(sqlite3_vtab_cursor *c) { return *vt(c->pVtab)->table; }

int setError(sqlite3_vtab *v, const QString &message, int rc = SQLITE_ERROR)
{
    sqlite3_free(v->zErrMsg);
    v->zErrMsg = sqlite3_mprintf("%s", message.toUtf8().constData());
    return rc;
}

QString dequote(const char *arg)
{
    QString s = QString::fromUtf8(arg).trimmed();
    if (s.size() >= 2 && (s.front() == QLatin1Char('\'') || s.front() == QLatin1Char('"')) && s.back() == s.front()) {
        const QChar q = s.front();
        s = s.mid(1, s.size() - 2);
        s.replace(QString(2, q), QString(q));
    }
    return s;
}

SqlValue fromSqlite(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return SqlValue::integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return SqlValue::real(sqlite3_value_double(v));
    case SQLITE_TEXT:
        return SqlValue::text(QByteArray(reinterpret_cast<const char *>(sqlite3_value_text(v)), sqlite3_value_bytes(v)));
    case SQLITE_BLOB:
        return SqlValue::blob(QByteArray(static_cast<const char *>(sqlite3_value_blob(v)), sqlite3_value_bytes(v)));
    default: return SqlValue();
    }
}

void toSqlite(sqlite3_context *ctx, const SqlValue &v)
{
    switch (v.type) {
    case SqlValue::Integer: sqlite3_result_int64(ctx, v.i); break;
    case SqlValue::Real: sqlite3_result_double(ctx, v.d); break;
    case SqlValue::Text: sqlite3_result_text(ctx, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT); break;
    case SqlValue::Blob: sqlite3_result_blob(ctx, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT); break;
    case SqlValue::Null: sqlite3_result_null(ctx); break;
    }
}

// Runs a table operation, turning its exception into the engine's error.
template <typename F>
int guarded(sqlite3_vtab *v, F &&f, int errorCode = SQLITE_ERROR)
{
    try {
        f();
        return SQLITE_OK;
    } catch (const DbError &e) {
        return setError(v, e.message(), errorCode);
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
}

int xConnect(sqlite3 *db, void *, int argc, const char *const *argv, sqlite3_vtab **out, char **err)
{
    if (argc < 4) {
        *err = sqlite3_mprintf("paradox : le fichier de la table manque");
        return SQLITE_ERROR;
    }
    auto v = std::make_unique<Vtab>();
    *static_cast<sqlite3_vtab *>(v.get()) = sqlite3_vtab{};
    const QString name = QString::fromUtf8(argv[2]);
    QString decl;
    TableOptions options;
    for (int i = 4; i < argc; ++i) {
        const QString arg = dequote(argv[i]);
        if (arg == QLatin1String("load"))
            options.loading = true;
        else if (arg.startsWith(QLatin1String("codepage=")))
            options.fallbackCodePage = arg.mid(9).toInt();
    }
    try {
        v->table = std::make_unique<Table>(dequote(argv[3]), name, options);
        v->group = groupOf(db);
        v->table->setGroup(v->group.get());
        decl = v->table->declaration();
    } catch (const DbError &e) {
        v->broken = e.message();
    }
    if (v->broken.isEmpty() && sqlite3_declare_vtab(db, decl.toUtf8().constData()) != SQLITE_OK) {
        v->broken = QStringLiteral("Table %1 : ses champs ne peuvent pas être décrits (%2).")
                        .arg(name, QString::fromUtf8(sqlite3_errmsg(db)));
        v->table.reset();
    }
    // A table that cannot be read still exists, so that every use of it
    // says why instead of "no such table".
    if (!v->broken.isEmpty() && sqlite3_declare_vtab(db, "CREATE TABLE x(\"?\" TEXT)") != SQLITE_OK) {
        *err = sqlite3_mprintf("%s", v->broken.toUtf8().constData());
        return SQLITE_ERROR;
    }
    *out = v.release();
    return SQLITE_OK;
}

int xDisconnect(sqlite3_vtab *v)
{
    delete vt(v);
    return SQLITE_OK;
}

int xDestroy(sqlite3_vtab *v)
{
    // The practice's tables are never dropped through this engine.
    return setError(v, QStringLiteral("La suppression d'une table Paradox n'est pas prise en charge."));
}

int xBestIndex(sqlite3_vtab *v, sqlite3_index_info *info)
{
    Vtab *t = vt(v);
    if (!t->table)
        return setError(v, t->broken);
    Table &table = *t->table;
    const double rows = double(std::max<qint64>(table.estimatedRows(), 1));
    int best = -1;
    int bestRank = 0;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        int rank = 0;
        if (c.iColumn < 0) {
            rank = 3;
        } else {
            const FieldInfo &f = table.field(c.iColumn);
            if (isBlobType(f.type) || f.type == ftBytes)
                continue;
            // Text compared under another collation than the stored bytes'
            // cannot use a hash of those bytes.
            if (f.type == ftAlpha && sqlite3_stricmp(sqlite3_vtab_collation(info, i), "BINARY") != 0)
                continue;
            rank = table.isKeyColumn(c.iColumn) ? 2 : 1;
        }
        if (rank > bestRank) {
            best = i;
            bestRank = rank;
        }
    }
    if (best < 0) {
        info->idxNum = 0;
        info->estimatedCost = rows;
        info->estimatedRows = sqlite3_int64(rows);
        return SQLITE_OK;
    }
    const auto &c = info->aConstraint[best];
    info->aConstraintUsage[best].argvIndex = 1;
    info->aConstraintUsage[best].omit = 0;   // SQLite compares again: the look-up may return more
    info->idxNum = c.iColumn < 0 ? -1 : c.iColumn + 1;
    if (bestRank >= 2) {
        info->estimatedCost = 1;
        info->estimatedRows = 1;
        info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
    } else {
        info->estimatedCost = 10;
        info->estimatedRows = std::max<sqlite3_int64>(1, sqlite3_int64(rows / 100));
    }
    return SQLITE_OK;
}

int xOpen(sqlite3_vtab *v, sqlite3_vtab_cursor **out)
{
    Vtab *t = vt(v);
    if (!t->table)
        return setError(v, t->broken);
    const int rc = guarded(v, [&] { t->table->refresh(); });
    if (rc != SQLITE_OK)
        return rc;
    auto *c = new Cursor;
    *out = c;
    return SQLITE_OK;
}

int xClose(sqlite3_vtab_cursor *c)
{
    delete static_cast<Cursor *>(c);
    return SQLITE_OK;
}

// The slot of the cursor's row, found again after the table renumbered its hits.
int currentSlot(Cursor *c)
{
    Table &t = tableOf(c);
    if (c->slot < 0 || c->generation != t.generation()) {
        c->generation = t.generation();
        c->slot = c->pos < c->rowids.size() ? t.slotOf(c->rowids[c->pos]) : -1;
    }
    return c->slot;
}

void skipGone(Cursor *c)
{
    Table &t = tableOf(c);
    while (c->pos < c->rowids.size()) {
        c->slot = -1;
        const int s = currentSlot(c);
        if (s >= 0 && t.isLive(s))
            return;
        ++c->pos;
    }
    c->slot = -1;
}

int xFilter(sqlite3_vtab_cursor *cur, int idxNum, const char *, int argc, sqlite3_value **argv)
{
    auto *c = static_cast<Cursor *>(cur);
    Table &t = tableOf(cur);
    return guarded(cur->pVtab, [&] {
        c->rowids.clear();
        c->pos = 0;
        c->slot = -1;
        std::vector<int> hits;
        bool found = false;
        if (idxNum == -1 && argc == 1 && sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
            const int s = t.slotOf(sqlite3_value_int64(argv[0]));
            if (s >= 0)
                hits.push_back(s);
            found = true;
        } else if (idxNum > 0 && argc == 1) {
            found = t.lookup(idxNum - 1, fromSqlite(argv[0]), &hits);
        }
        if (!found) {
            hits.clear();
            for (int s = 0; s < t.slotCount(); ++s)
                hits.push_back(s);
        }
        c->rowids.reserve(hits.size());
        for (int s : hits)
            if (t.isLive(s))
                c->rowids.push_back(t.rowidAt(s));
        c->generation = t.generation();
        skipGone(c);
    });
}

int xNext(sqlite3_vtab_cursor *cur)
{
    auto *c = static_cast<Cursor *>(cur);
    ++c->pos;
    skipGone(c);
    return SQLITE_OK;
}

int xEof(sqlite3_vtab_cursor *cur)
{
    auto *c = static_cast<Cursor *>(cur);
    return c->pos >= c->rowids.size();
}

int xColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int col)
{
    // An UPDATE does not need the columns it leaves alone: the table keeps
    // their stored bytes, memos included.
    if (sqlite3_vtab_nochange(ctx))
        return SQLITE_OK;
    auto *c = static_cast<Cursor *>(cur);
    const int s = currentSlot(c);
    if (s < 0) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    try {
        toSqlite(ctx, tableOf(cur).value(s, col));
    } catch (const DbError &e) {
        const QByteArray m = e.message().toUtf8();
        sqlite3_result_error(ctx, m.constData(), int(m.size()));
        return SQLITE_ERROR;
    }
    return SQLITE_OK;
}

int xRowid(sqlite3_vtab_cursor *cur, sqlite_int64 *rowid)
{
    auto *c = static_cast<Cursor *>(cur);
    *rowid = c->pos < c->rowids.size() ? c->rowids[c->pos] : 0;
    return SQLITE_OK;
}

int xUpdate(sqlite3_vtab *v, int argc, sqlite3_value **argv, sqlite_int64 *rowid)
{
    Vtab *t = vt(v);
    if (!t->table)
        return setError(v, t->broken);
    Table &table = *t->table;
    try {
        if (argc == 1) {
            const int s = table.slotOf(sqlite3_value_int64(argv[0]));
            if (s >= 0)
                table.remove(s);
            return SQLITE_OK;
        }
        std::vector<std::optional<SqlValue>> values(size_t(argc - 2));
        for (int i = 2; i < argc; ++i)
            if (!sqlite3_value_nochange(argv[i]))
                values[size_t(i - 2)] = fromSqlite(argv[i]);
        if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
            std::optional<qint64> wanted;
            if (sqlite3_value_type(argv[1]) != SQLITE_NULL)
                wanted = sqlite3_value_int64(argv[1]);
            *rowid = table.insert(values, wanted);
            return SQLITE_OK;
        }
        const qint64 old = sqlite3_value_int64(argv[0]);
        if (sqlite3_value_int64(argv[1]) != old)
            throw DbError(QStringLiteral("Table %1 : l'identifiant de ligne ne peut pas être modifié.").arg(table.name()));
        const int s = table.slotOf(old);
        if (s >= 0)
            table.update(s, values);
        return SQLITE_OK;
    } catch (const KeyViolation &e) {
        return setError(v, e.message(), SQLITE_CONSTRAINT);
    } catch (const DbError &e) {
        return setError(v, e.message());
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
}

int xBegin(sqlite3_vtab *v)
{
    Vtab *t = vt(v);
    if (!t->table)
        return setError(v, t->broken);
    return guarded(v, [&] { t->table->begin(); });
}

int xSync(sqlite3_vtab *v)
{
    Vtab *t = vt(v);
    return t->table ? guarded(v, [&] { t->table->sync(); }) : SQLITE_OK;
}

int xCommit(sqlite3_vtab *v)
{
    Vtab *t = vt(v);
    return t->table ? guarded(v, [&] { t->table->commit(); }) : SQLITE_OK;
}

int xRollback(sqlite3_vtab *v)
{
    Vtab *t = vt(v);
    return t->table ? guarded(v, [&] { t->table->rollback(); }) : SQLITE_OK;
}

int xRename(sqlite3_vtab *v, const char *)
{
    return setError(v, QStringLiteral("Une table Paradox ne peut pas être renommée par ce moteur."));
}

int xSavepoint(sqlite3_vtab *v, int level)
{
    Vtab *t = vt(v);
    if (t->table)
        t->table->savepoint(level);
    return SQLITE_OK;
}

int xRelease(sqlite3_vtab *v, int level)
{
    Vtab *t = vt(v);
    if (t->table)
        t->table->release(level);
    return SQLITE_OK;
}

int xRollbackTo(sqlite3_vtab *v, int level)
{
    Vtab *t = vt(v);
    if (t->table)
        t->table->rollbackTo(level);
    return SQLITE_OK;
}

sqlite3_module makeModule()
{
    sqlite3_module m{};
    m.iVersion = 2;
    m.xCreate = xConnect;
    m.xConnect = xConnect;
    m.xBestIndex = xBestIndex;
    m.xDisconnect = xDisconnect;
    m.xDestroy = xDestroy;
    m.xOpen = xOpen;
    m.xClose = xClose;
    m.xFilter = xFilter;
    m.xNext = xNext;
    m.xEof = xEof;
    m.xColumn = xColumn;
    m.xRowid = xRowid;
    m.xUpdate = xUpdate;
    m.xBegin = xBegin;
    m.xSync = xSync;
    m.xCommit = xCommit;
    m.xRollback = xRollback;
    m.xRename = xRename;
    m.xSavepoint = xSavepoint;
    m.xRelease = xRelease;
    m.xRollbackTo = xRollbackTo;
    return m;
}

const sqlite3_module g_module = makeModule();

} // namespace

void registerModule(sqlite3 *handle)
{
    if (sqlite3_create_module_v2(handle, "paradox", &g_module, nullptr, nullptr) != SQLITE_OK)
        throw DbError(QStringLiteral("Le pilote Paradox ne peut pas être installé : %1")
                          .arg(QString::fromUtf8(sqlite3_errmsg(handle))));
}

QString createStatement(const QString &tableName, const QString &dbFile, int fallbackCodePage, bool loading)
{
    QString name = tableName;
    name.replace(QLatin1Char('"'), QLatin1String("\"\""));
    QString path = dbFile;
    path.replace(QLatin1Char('\''), QLatin1String("''"));
    QString args = QLatin1Char('\'') + path + QLatin1Char('\'');
    if (fallbackCodePage)
        args += QStringLiteral(", 'codepage=%1'").arg(fallbackCodePage);
    if (loading)
        args += QStringLiteral(", 'load'");
    return QStringLiteral("CREATE VIRTUAL TABLE main.\"%1\" USING paradox(%2)").arg(name, args);
}

} // namespace db::paradox
