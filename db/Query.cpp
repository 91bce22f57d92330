#include "db/Query.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Formats.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

QString Param::asString() const
{
    switch (type) {
    case ParamType::Unset:
        return QString();
    case ParamType::Date:
        return formats::dateToText(value.toDateTime().date());
    case ParamType::DateTime:
        return formats::dateTimeToText(value.toDateTime());
    case ParamType::Float:
        return formats::floatToText(value.toDouble());
    case ParamType::Boolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return value.toString();
    }
}

void Query::clearSql()
{
    close();
    m_lines.clear();
    m_params.clear();
    m_parsed = false;
}

void Query::addLine(const QString &line)
{
    close();
    m_lines << line;
    m_parsed = false;
}

void Query::setSql(const QString &text)
{
    clearSql();
    addLine(text);
}

QString Query::text() const { return m_lines.join(QLatin1Char('\n')); }

// Turns ":name" into "?" outside quoted text, remembering the names in order.
void Query::parseParams()
{
    if (m_parsed)
        return;
    const QString sql = text();
    QString out;
    out.reserve(sql.size());
    m_order.clear();
    QChar quote;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!quote.isNull()) {
            out += c;
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[')) {
            quote = (c == QLatin1Char('[')) ? QLatin1Char(']') : c;
            out += c;
            continue;
        }
        const bool startsName = i + 1 < sql.size()
            && (sql[i + 1].isLetter() || sql[i + 1] == QLatin1Char('_'));
        const bool afterWord = i > 0 && (sql[i - 1].isLetterOrNumber() || sql[i - 1] == QLatin1Char(':'));
        if (c == QLatin1Char(':') && startsName && !afterWord) {
            int j = i + 1;
            while (j < sql.size() && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_')))
                ++j;
            const QString name = sql.mid(i + 1, j - i - 1);
            m_order.push_back(name);
            bool known = false;
            for (const Param &p : m_params)
                known = known || p.name.compare(name, Qt::CaseInsensitive) == 0;
            if (!known)
                m_params.push_back(Param{name, ParamType::Unset, QVariant()});
            out += QLatin1Char('?');
            i = j - 1;
            continue;
        }
        out += c;
    }
    m_positionalSql = out;
    m_parsed = true;
}

void Query::setParam(const QString &name, ParamType type, const QVariant &value)
{
    parseParams();
    for (Param &p : m_params) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0) {
            p.type = type;
            p.value = value;
            return;
        }
    }
    throw DbError(QStringLiteral("Paramètre %1 introuvable").arg(name));
}

Param Query::param(const QString &name) const
{
    const_cast<Query *>(this)->parseParams();
    for (const Param &p : m_params)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw DbError(QStringLiteral("Paramètre %1 introuvable").arg(name));
}

QStringList Query::paramNames() const
{
    const_cast<Query *>(this)->parseParams();
    QStringList out;
    for (const Param &p : m_params)
        out << p.name;
    return out;
}

void Query::close()
{
    m_active = false;
    m_rows.clear();
    m_columns.clear();
    m_kinds.clear();
    m_pos = 0;
    m_bof = m_eof = true;
}

void Query::open() { run(true); }
void Query::execSQL() { run(false); }

void Query::run(bool select)
{
    close();
    parseParams();
    Backend &backend = Engine::instance().backend(m_database);
    QSqlQuery &q = backend.statement(m_positionalSql);
    // Lets go of the statement's reading (and its locks) whatever happens.
    struct Finish {
        QSqlQuery &q;
        ~Finish() { q.finish(); }
    } finish{q};
    for (int i = 0; i < int(m_order.size()); ++i) {
        const Param p = param(m_order[size_t(i)]);
        QVariant v;
        switch (p.type) {
        case ParamType::Unset:
            break;
        case ParamType::Date:
        case ParamType::DateTime:
            v = p.value.toDateTime();
            break;
        case ParamType::Boolean:
            v = p.value.toBool();
            break;
        case ParamType::Integer:
            v = p.value.toLongLong();
            break;
        case ParamType::Float:
            v = p.value.toDouble();
            break;
        default: {
            // Set to the empty text is the empty text; only a parameter never
            // set is NULL (a NOT NULL text column takes the first).
            const QString t = p.value.toString();
            v = t.isNull() ? QStringLiteral("") : t;
            break;
        }
        }
        q.bindValue(i, backend.toStorage(v));
    }
    backend.exec(q);
    if (!select || !q.isSelect()) {
        if (select)
            throw DbError(QStringLiteral("La requête ne renvoie aucun ensemble de résultats."));
        return;
    }
    const QSqlRecord rec = q.record();
    const int n = rec.count();
    m_kinds.assign(n, ColumnKind::Unknown);
    for (int i = 0; i < n; ++i) {
        m_columns << rec.fieldName(i);
        m_kinds[i] = backend.resultColumnKind(q, i);
    }
    // Kept as stored; a value is read as the program sees it (a date-time
    // parsed...) only when asked for, since most rows of a walk are only
    // looked at once, or not at all.
    m_reader = backend.storageReader();
    while (q.next()) {
        std::vector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            row[i] = q.value(i);
        m_rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        throw DbError(backend.message(q.lastError()));
    m_active = true;
    m_pos = 0;
    m_bof = true;
    m_eof = m_rows.empty();
}

void Query::first()
{
    m_pos = 0;
    m_bof = true;
    m_eof = m_rows.empty();
}

void Query::next()
{
    if (m_rows.empty() || m_pos + 1 >= int(m_rows.size())) {
        m_eof = true;
        return;
    }
    ++m_pos;
    m_bof = false;
}

void Query::prior()
{
    m_eof = false;
    if (m_pos == 0) {
        m_bof = true;
        return;
    }
    --m_pos;
}

void Query::last()
{
    m_pos = m_rows.empty() ? 0 : int(m_rows.size()) - 1;
    m_eof = m_rows.empty();
    m_bof = m_rows.empty();
}

bool Query::eof() const { return m_eof; }

int Query::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

Field Query::field(int index) const
{
    if (!m_active)
        throw DbError(QStringLiteral("%1 : opération impossible sur un ensemble de données fermé").arg(m_name));
    if (index < 0 || index >= m_columns.size())
        throw DbError(QStringLiteral("%1 : index de champ hors limites").arg(m_name));
    QVariant v;
    if (!m_rows.empty())
        v = m_reader(m_rows[m_pos][index], m_kinds[index]);
    ColumnKind k = m_kinds[index];
    if (k == ColumnKind::Unknown)
        k = kindOfMetaType(v.metaType().id());
    return Field(m_columns[index], v, k);
}

Field Query::fieldByName(const QString &name) const
{
    const int i = columnIndex(name);
    if (i < 0)
        throw DbError(QStringLiteral("%1 : champ '%2' non trouvé").arg(m_name, name));
    return field(i);
}

} // namespace db
