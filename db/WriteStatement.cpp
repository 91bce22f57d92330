#include "db/WriteStatement.h"
#include "db/DbError.h"

#include <QStringList>

namespace db {

namespace {

struct Token {
    enum Type { Word, QuotedName, String, Param, Symbol, Other } type;
    QString text;   // a quoted name without its quotes
    int begin = 0;
    int end = 0;
};

// The statement's tokens: words, names in quotes or brackets, strings,
// parameters and symbols; comments dropped. Nothing inside quotes counts as
// a keyword, a parameter or a parenthesis.
std::vector<Token> tokens(const QString &sql, bool *ok)
{
    std::vector<Token> out;
    *ok = true;
    const int n = int(sql.size());
    int i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            while (i < n && sql[i] != QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const int close = int(sql.indexOf(QLatin1String("*/"), i + 2));
            if (close < 0) {
                *ok = false;
                return out;
            }
            i = close + 2;
            continue;
        }
        const int begin = i;
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[') || c == QLatin1Char('`')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            QString text;
            ++i;
            bool closed = false;
            while (i < n) {
                if (sql[i] == close) {
                    if (close != QLatin1Char(']') && i + 1 < n && sql[i + 1] == close) {
                        text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                text += sql[i++];
            }
            if (!closed) {
                *ok = false;
                return out;
            }
            out.push_back({c == QLatin1Char('\'') ? Token::String : Token::QuotedName, text, begin, i});
            continue;
        }
        if (c.isLetter() || c == QLatin1Char('_')) {
            while (i < n && (sql[i].isLetterOrNumber() || sql[i] == QLatin1Char('_') || sql[i] == QLatin1Char('$')
                             || sql[i] == QLatin1Char('#')))
                ++i;
            out.push_back({Token::Word, sql.mid(begin, i - begin), begin, i});
            continue;
        }
        if (c == QLatin1Char('?')) {
            out.push_back({Token::Param, QStringLiteral("?"), begin, ++i});
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n && (sql[i + 1].isLetter() || sql[i + 1] == QLatin1Char('_'))) {
            // A named parameter left in the text: the engine layer binds by
            // position, so a statement that still has one is not ours.
            *ok = false;
            return out;
        }
        if (QStringLiteral("(),=.;").contains(c)) {
            out.push_back({Token::Symbol, QString(c), begin, ++i});
            continue;
        }
        ++i;
        out.push_back({Token::Other, QString(c), begin, i});
    }
    return out;
}

bool isWord(const Token &t, const char *word)
{
    return t.type == Token::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

bool isSymbol(const Token &t, char c) { return t.type == Token::Symbol && t.text == QLatin1Char(c); }

class Parser {
public:
    Parser(const QString &sql, std::vector<Token> t) : m_sql(sql), m_t(std::move(t))
    {
        // A statement may end with a semicolon; nothing may follow it.
        if (!m_t.empty() && isSymbol(m_t.back(), ';'))
            m_t.pop_back();
    }

    bool atEnd() const { return m_i >= m_t.size(); }
    const Token &peek() const { return m_t[m_i]; }
    bool accept(const char *word)
    {
        if (!atEnd() && isWord(peek(), word)) {
            ++m_i;
            return true;
        }
        return false;
    }
    bool acceptSymbol(char c)
    {
        if (!atEnd() && isSymbol(peek(), c)) {
            ++m_i;
            return true;
        }
        return false;
    }

    // A name, possibly owner-qualified: the last part and the text as written.
    bool name(QString *last, QString *written)
    {
        const size_t start = m_i;
        for (;;) {
            if (atEnd() || (peek().type != Token::Word && peek().type != Token::QuotedName))
                return false;
            *last = peek().text;
            ++m_i;
            if (!acceptSymbol('.'))
                break;
        }
        *written = m_sql.mid(m_t[start].begin, m_t[m_i - 1].end - m_t[start].begin);
        return true;
    }

    // Tokens up to a top-level comma, closing parenthesis or one of the
    // given words; returns them as [from, to).
    std::pair<size_t, size_t> expression(const QStringList &stopWords)
    {
        const size_t from = m_i;
        int depth = 0;
        while (!atEnd()) {
            const Token &t = peek();
            if (depth == 0) {
                if (isSymbol(t, ',') || isSymbol(t, ')'))
                    break;
                if (t.type == Token::Word && stopWords.contains(t.text, Qt::CaseInsensitive))
                    break;
            }
            if (isSymbol(t, '('))
                ++depth;
            else if (isSymbol(t, ')'))
                --depth;
            ++m_i;
        }
        return {from, m_i};
    }

    int paramsIn(size_t from, size_t to) const
    {
        int n = 0;
        for (size_t k = from; k < to; ++k)
            n += m_t[k].type == Token::Param ? 1 : 0;
        return n;
    }
    int paramsBefore() const { return paramsIn(0, m_i); }

    // An expression that is one parameter or NULL.
    WriteStatement::Column value(std::pair<size_t, size_t> range, int firstParam) const
    {
        WriteStatement::Column c;
        if (range.second - range.first == 1) {
            const Token &t = m_t[range.first];
            if (t.type == Token::Param)
                c.param = firstParam;
            else if (isWord(t, "NULL"))
                c.null = true;
        }
        return c;
    }

    QString rest() const
    {
        if (atEnd())
            return QString();
        return m_sql.mid(peek().begin, m_t.back().end - peek().begin).trimmed();
    }
    size_t position() const { return m_i; }
    void skipToEnd() { m_i = m_t.size(); }
    bool hasTopLevel(const char *word, size_t from) const
    {
        int depth = 0;
        for (size_t k = from; k < m_t.size(); ++k) {
            if (isSymbol(m_t[k], '('))
                ++depth;
            else if (isSymbol(m_t[k], ')'))
                --depth;
            else if (depth == 0 && isWord(m_t[k], word))
                return true;
        }
        return false;
    }

private:
    const QString &m_sql;
    std::vector<Token> m_t;
    size_t m_i = 0;
};

[[noreturn]] void refuse(const QString &sql)
{
    throw BackupError(QStringLiteral("Instruction refusée : le programme ne sait pas sauvegarder les enregistrements qu'elle "
                                 "modifierait, elle n'a donc pas été exécutée : ")
                  + sql.simplified());
}

// The condition after WHERE, to the end; there must be nothing else (no
// ORDER BY, no second statement) for a SELECT with it to find the same rows.
bool condition(Parser &p, WriteStatement &w)
{
    if (p.atEnd())
        return true;
    if (!p.accept("WHERE"))
        return false;
    const size_t from = p.position();
    for (const char *word : {"ORDER", "LIMIT", "RETURNING", "OUTPUT", "FROM"})
        if (p.hasTopLevel(word, from))
            return false;
    w.conditionParam = p.paramsBefore();
    w.condition = p.rest();
    p.skipToEnd();
    return !w.condition.isEmpty();
}

} // namespace

std::optional<WriteStatement> classifyWrite(const QString &sql)
{
    bool ok = true;
    std::vector<Token> all = tokens(sql, &ok);
    if (!ok)
        refuse(sql);
    size_t lead = 0;
    while (lead < all.size() && isSymbol(all[lead], '('))
        ++lead;
    if (lead < all.size() && isWord(all[lead], "SELECT")) {
        // A read, unless it writes into a table (SELECT ... INTO).
        int depth = 0;
        for (size_t k = lead; k < all.size(); ++k) {
            if (isSymbol(all[k], '('))
                ++depth;
            else if (isSymbol(all[k], ')'))
                --depth;
            else if (depth == 0 && isWord(all[k], "INTO"))
                refuse(sql);
        }
        return std::nullopt;
    }
    int params = 0;
    for (size_t k = 0; k < all.size(); ++k) {
        params += all[k].type == Token::Param ? 1 : 0;
        // One statement: a semicolon may only end it.
        if (isSymbol(all[k], ';') && k + 1 != all.size())
            refuse(sql);
    }
    Parser p(sql, std::move(all));
    WriteStatement w;
    w.params = params;
    if (p.accept("UPDATE")) {
        w.kind = WriteStatement::Kind::Update;
        if (!p.name(&w.table, &w.tableText) || !p.accept("SET"))
            refuse(sql);
        do {
            QString column, written;
            if (!p.name(&column, &written) || !p.acceptSymbol('='))
                refuse(sql);
            const int first = p.paramsBefore();
            const auto range = p.expression({QStringLiteral("WHERE"), QStringLiteral("FROM")});
            if (range.first == range.second)
                refuse(sql);
            WriteStatement::Column c = p.value(range, first);
            c.name = column;
            w.columns.push_back(c);
        } while (p.acceptSymbol(','));
        w.conditionParam = params;
        if (!condition(p, w) || !p.atEnd())
            refuse(sql);
        return w;
    }
    if (p.accept("DELETE")) {
        w.kind = WriteStatement::Kind::Delete;
        if (!p.accept("FROM") || !p.name(&w.table, &w.tableText))
            refuse(sql);
        w.conditionParam = params;
        if (!condition(p, w) || !p.atEnd())
            refuse(sql);
        return w;
    }
    if (p.accept("INSERT")) {
        w.kind = WriteStatement::Kind::Insert;
        if (!p.accept("INTO") || !p.name(&w.table, &w.tableText))
            refuse(sql);
        if (p.accept("DEFAULT")) {
            if (!p.accept("VALUES") || !p.atEnd())
                refuse(sql);
            return w;
        }
        QStringList names;
        if (p.acceptSymbol('(')) {
            do {
                QString column, written;
                if (!p.name(&column, &written))
                    refuse(sql);
                names << column;
            } while (p.acceptSymbol(','));
            if (!p.acceptSymbol(')'))
                refuse(sql);
        }
        // One row of values: an INSERT ... SELECT adds rows that no text
        // tells beforehand.
        if (!p.accept("VALUES") || !p.acceptSymbol('('))
            refuse(sql);
        int k = 0;
        do {
            const int first = p.paramsBefore();
            const auto range = p.expression({});
            if (range.first == range.second)
                refuse(sql);
            WriteStatement::Column c = p.value(range, first);
            if (!names.isEmpty()) {
                if (k >= names.size())
                    refuse(sql);
                c.name = names[k];
                w.columns.push_back(c);
            }
            ++k;
        } while (p.acceptSymbol(','));
        if (!p.acceptSymbol(')') || !p.atEnd() || (!names.isEmpty() && k != names.size()))
            refuse(sql);
        return w;
    }
    refuse(sql);
}

} // namespace db
