#pragma once
#include "db/Decimal.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace db {

// What a column holds, as far as the readings below care.
enum class ColumnKind { Unknown, Integer, Float, Text, DateTime, Boolean, Blob };

// One column value of the current row. A NULL reads as empty text, 0, false,
// or the zero date-time.
class Field {
public:
    Field() = default;
    Field(QString name, QVariant value, ColumnKind kind)
        : m_name(std::move(name)), m_value(std::move(value)), m_kind(kind) {}

    const QString &name() const { return m_name; }
    const QVariant &value() const { return m_value; }
    ColumnKind kind() const { return m_kind; }
    bool isNull() const;

    QString asString() const;
    qint64 asInteger() const;
    double asFloat() const;
    // The stored amount on its decimal digits; throws db::DbError for a
    // value no amount can have.
    Decimal asDecimal() const;
    // Throws db::DbError for text that is no date-time.
    QDateTime asDateTime() const;
    bool asBoolean() const;

private:
    QString m_name;
    QVariant m_value;
    ColumnKind m_kind = ColumnKind::Unknown;
};

ColumnKind kindOfDeclaredType(const QString &decl);
// The kind of a value the driver typed itself (QMetaType id); Unknown for
// any other type.
ColumnKind kindOfMetaType(int metaTypeId);

} // namespace db
