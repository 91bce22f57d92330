#include "app/Common.h"
#include "app/Session.h"
#include "db/DbError.h"
#include "db/Formats.h"

#include <cmath>

using db::DbError;
namespace fmt = db::formats;

QString Session::RenvoyerMontant(const QString &monnaie, double montant) const
{
    if (const auto d = db::Decimal::fromDouble(montant))
        return RenvoyerMontant(monnaie, *d);
    // No accounting amount is that large: written as the platform writes it.
    return fmt::floatToText(montant) + QLatin1Char(' ') + monnaie;
}

QString Session::RenvoyerMontant(const QString &monnaie, const db::Decimal &montant) const
{
    // Cut after the third decimal and rounded on that digit, 5 and above
    // going up for a positive amount; a negative one is cut to the hundredth
    // toward zero. Worked on the decimal digits: in binary, 2.4 is a hair
    // above 2.4 and 5.024 would come out as 5,03.
    const db::Decimal a = monnaie == QLatin1String("FRF") ? montant.multipliedBy(655957, 5) : montant;
    const qint64 milliemes = a.fractionDigits(3);
    qint64 centimes = milliemes / 10;
    if (milliemes % 10 >= 5)
        ++centimes;
    const db::Decimal t = db::Decimal::fromUnits(centimes, 2);
    const db::Decimal v = db::Decimal::fromInteger(a.integerPart()) + t;
    // A single decimal ("0,5") gets its second one; "-0,5" does not.
    if (t.toText().size() == 3)
        return v.toText() + QStringLiteral("0 ") + monnaie;
    return v.toText() + QLatin1Char(' ') + monnaie;
}

QString Session::DecrireActes() const
{
    QString s;
    for (const char *c : {"CodeACTE1", "CodeACTE2", "CodeACTE3"}) {
        const QString code = Qry1.fieldByName(QString::fromLatin1(c)).asString();
        if (!code.isEmpty())
            s += code + QStringLiteral(" + ");
    }
    const QString code4 = Qry1.fieldByName(QStringLiteral("CodeACTE4")).asString();
    if (!code4.isEmpty())
        s += code4;
    s = s.trimmed();
    if (s.endsWith(QLatin1Char('+'))) {
        s.chop(1);
        s = s.trimmed();
    }
    // Summed on the decimal digits: 0.1 + 0.2 - 0.3 is no amount at all.
    db::Decimal total;
    for (const char *m : {"Montant1", "Montant2", "Montant3", "Montant4"})
        total += Qry1.fieldByName(QString::fromLatin1(m)).asDecimal();
    if (!total.isZero())
        s += QStringLiteral(" pour une valeur de ") + total.toText() + QStringLiteral("€.");
    return s;
}
