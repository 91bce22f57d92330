#include "db/Field.h"
#include "db/DbError.h"
#include "db/Formats.h"

namespace db {

ColumnKind kindOfDeclaredType(const QString &declared)
{
    const QString d = declared.toUpper();
    if (d.isEmpty())
        return ColumnKind::Unknown;
    if (d.contains(QLatin1String("DATE")) || d.contains(QLatin1String("TIME")))
        return ColumnKind::DateTime;
    if (d.contains(QLatin1String("BOOL")) || d == QLatin1String("BIT") || d.contains(QLatin1String("LOGICAL")))
        return ColumnKind::Boolean;
    if (d.contains(QLatin1String("INT")) || d.contains(QLatin1String("AUTOINC")))
        return ColumnKind::Integer;
    if (d.contains(QLatin1String("REAL")) || d.contains(QLatin1String("FLOA")) || d.contains(QLatin1String("DOUB"))
        || d.contains(QLatin1String("NUM")) || d.contains(QLatin1String("DEC")) || d.contains(QLatin1String("MONEY"))
        || d.contains(QLatin1String("CURRENCY")) || d.contains(QLatin1String("BCD")))
        return ColumnKind::Float;
    if (d.contains(QLatin1String("BLOB")) || d.contains(QLatin1String("BINARY")) || d.contains(QLatin1String("GRAPHIC"))
        || d.contains(QLatin1String("BYTES")))
        return ColumnKind::Blob;
    return ColumnKind::Text;
}

ColumnKind kindOfMetaType(int id)
{
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return ColumnKind::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return ColumnKind::Float;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
    case QMetaType::QTime:
        return ColumnKind::DateTime;
    case QMetaType::Bool:
        return ColumnKind::Boolean;
    case QMetaType::QByteArray:
        return ColumnKind::Blob;
    case QMetaType::QString:
        return ColumnKind::Text;
    default:
        return ColumnKind::Unknown;
    }
}

bool Field::isNull() const { return m_value.isNull() || !m_value.isValid(); }

static std::optional<QDateTime> toDateTime(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.metaType().id() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    return formats::fromStorageText(v.toString());
}

QString Field::asString() const
{
    if (isNull())
        return QString();
    const int t = m_value.metaType().id();
    if (m_kind == ColumnKind::DateTime || t == QMetaType::QDateTime || t == QMetaType::QDate) {
        if (auto dt = toDateTime(m_value))
            return formats::dateTimeToText(*dt);
        return m_value.toString();
    }
    if (m_kind == ColumnKind::Boolean || t == QMetaType::Bool)
        return asBoolean() ? QStringLiteral("True") : QStringLiteral("False");
    if (t == QMetaType::Double || t == QMetaType::Float)
        return formats::floatToText(m_value.toDouble());
    if (m_kind == ColumnKind::Float && (t == QMetaType::LongLong || t == QMetaType::Int))
        return QString::number(m_value.toLongLong());
    if (t == QMetaType::QByteArray && m_kind != ColumnKind::Blob)
        return QString::fromUtf8(m_value.toByteArray());
    return m_value.toString();
}

qint64 Field::asInteger() const
{
    if (isNull())
        return 0;
    const int t = m_value.metaType().id();
    if (t == QMetaType::Double || t == QMetaType::Float)
        return qRound64(m_value.toDouble());
    if (t == QMetaType::Bool)
        return m_value.toBool() ? 1 : 0;
    bool ok = false;
    const qint64 v = m_value.toLongLong(&ok);
    if (ok)
        return v;
    const QString s = m_value.toString().trimmed();
    const qint64 w = s.toLongLong(&ok);
    if (ok)
        return w;
    throw DbError(QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(m_value.toString()));
}

double Field::asFloat() const
{
    if (isNull())
        return 0.0;
    bool ok = false;
    const double v = m_value.toDouble(&ok);
    if (ok)
        return v;
    QString s = m_value.toString().trimmed();
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    const double w = s.toDouble(&ok);
    if (ok)
        return w;
    throw DbError(QStringLiteral("'%1' n'est pas une valeur à virgule flottante correcte").arg(m_value.toString()));
}

Decimal Field::asDecimal() const
{
    const double v = asFloat();
    if (auto d = Decimal::fromDouble(v))
        return *d;
    throw DbError(QStringLiteral("'%1' n'est pas un montant correct").arg(m_value.toString()));
}

QDateTime Field::asDateTime() const
{
    if (isNull())
        return formats::zeroDateTime();
    if (auto dt = toDateTime(m_value))
        return *dt;
    if (auto dt = formats::textToDateTime(m_value.toString()))
        return *dt;
    throw DbError(QStringLiteral("'%1' n'est pas une date et heure correcte").arg(m_value.toString()));
}

bool Field::asBoolean() const
{
    if (isNull())
        return false;
    const int t = m_value.metaType().id();
    if (t == QMetaType::Bool)
        return m_value.toBool();
    if (t == QMetaType::QString) {
        const QString s = m_value.toString().trimmed().toUpper();
        return s == QLatin1String("TRUE") || s == QLatin1String("T") || s == QLatin1String("1")
            || s == QLatin1String("Y") || s == QLatin1String("YES");
    }
    return m_value.toLongLong() != 0;
}

} // namespace db
