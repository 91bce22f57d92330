#include "db/Decimal.h"
#include "db/DbError.h"
#include "db/Formats.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace db {

namespace {

constexpr __int128 pow10(int n)
{
    __int128 p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

constexpr __int128 kUnit = pow10(Decimal::kDecimals);

[[noreturn]] void horsLimites()
{
    throw DbError(QStringLiteral("Montant hors des limites d'un montant comptable."));
}

// Decimal digits of a non-negative integer, without leading zeros ("0" for 0).
std::string digitsOf(__int128 v)
{
    std::string s;
    do {
        s.insert(s.begin(), char('0' + int(v % 10)));
        v /= 10;
    } while (v > 0);
    return s;
}

} // namespace

Decimal Decimal::fromInteger(qint64 v) { return Decimal(__int128(v) * kUnit); }

Decimal Decimal::fromUnits(qint64 units, int decimals)
{
    if (decimals < 0 || decimals > kDecimals)
        horsLimites();
    return Decimal(__int128(units) * pow10(kDecimals - decimals));
}

std::optional<Decimal> Decimal::fromDouble(double v)
{
    if (!std::isfinite(v) || std::fabs(v) >= 1e18)
        return std::nullopt;
    // The shortest fixed writing that reads back as the same double: the
    // decimal the value was stored from.
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc())
        return std::nullopt;
    const std::string text(buf, r.ptr);
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        ++i;
    __int128 units = 0;
    for (; i < text.size() && text[i] != '.'; ++i)
        units = units * 10 + (text[i] - '0');
    units *= kUnit;
    if (i < text.size() && text[i] == '.') {
        ++i;
        __int128 scale = kUnit;
        for (int n = 0; i < text.size() && n < kDecimals; ++i, ++n) {
            scale /= 10;
            units += scale * (text[i] - '0');
        }
        // Digits beyond the kept decimals only exist for values far below a
        // cent; the first one dropped rounds the last one kept.
        if (i < text.size() && text[i] >= '5')
            units += 1;
    }
    return Decimal(negative ? -units : units);
}

double Decimal::toDouble() const
{
    // strtod rounds a decimal writing correctly: the nearest double.
    const __int128 a = m_units < 0 ? -m_units : m_units;
    std::string s = digitsOf(a / kUnit) + '.';
    std::string frac = digitsOf(a % kUnit);
    s += std::string(kDecimals - frac.size(), '0') + frac;
    if (m_units < 0)
        s.insert(s.begin(), '-');
    return std::strtod(s.c_str(), nullptr);
}

Decimal Decimal::operator+(const Decimal &o) const
{
    __int128 r;
    if (__builtin_add_overflow(m_units, o.m_units, &r))
        horsLimites();
    return Decimal(r);
}

Decimal Decimal::operator-(const Decimal &o) const
{
    __int128 r;
    if (__builtin_sub_overflow(m_units, o.m_units, &r))
        horsLimites();
    return Decimal(r);
}

Decimal Decimal::operator-() const { return Decimal(-m_units); }

Decimal Decimal::multipliedBy(qint64 rateUnits, int rateDecimals) const
{
    if (rateDecimals < 0 || rateDecimals > kDecimals)
        horsLimites();
    // Split so that neither product can overflow for any amount in range;
    // both parts share the amount's sign, so the cut is toward zero.
    const __int128 scale = pow10(rateDecimals);
    const __int128 q = m_units / scale;
    const __int128 r = m_units % scale;
    __int128 whole;
    if (__builtin_mul_overflow(q, __int128(rateUnits), &whole))
        horsLimites();
    return Decimal(whole) + Decimal(r * rateUnits / scale);
}

qint64 Decimal::integerPart() const { return qint64(m_units / kUnit); }

qint64 Decimal::fractionDigits(int n) const
{
    if (n < 0 || n > kDecimals)
        horsLimites();
    return qint64((m_units % kUnit) / pow10(kDecimals - n));
}

QString Decimal::toText() const
{
    if (m_units == 0)
        return QStringLiteral("0");
    const __int128 a = m_units < 0 ? -m_units : m_units;
    // All the digits, the last kDecimals of them after the point.
    std::string digits = digitsOf(a);
    if (digits.size() <= std::size_t(kDecimals))
        digits.insert(0, kDecimals + 1 - digits.size(), '0');
    std::size_t point = digits.size() - kDecimals;
    const std::size_t first = digits.find_first_not_of('0');
    const std::size_t keep = first + 15;
    if (keep < digits.size()) {
        const bool up = digits[keep] >= '5';
        digits.resize(keep);
        if (up) {
            std::size_t k = keep;
            while (k > 0 && digits[k - 1] == '9')
                digits[--k] = '0';
            if (k == 0) {
                digits.insert(digits.begin(), '1');
                ++point;
            } else {
                ++digits[k - 1];
            }
        }
        if (digits.size() < point)
            digits.append(point - digits.size(), '0');
    }
    std::string intPart = digits.substr(0, point);
    std::string frac = digits.substr(point);
    const std::size_t lead = intPart.find_first_not_of('0');
    intPart = lead == std::string::npos ? "0" : intPart.substr(lead);
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    QString out = QString::fromLatin1(intPart.c_str());
    if (!frac.empty())
        out += formats::decimalSeparator() + QString::fromLatin1(frac.c_str());
    if (m_units < 0)
        out.prepend(QLatin1Char('-'));
    return out;
}

bool Decimal::isPositiveAmount() const { return m_units >= kUnit / 2000000; }

bool montantPositif(double v)
{
    if (const auto d = Decimal::fromDouble(v))
        return d->isPositiveAmount();
    return v > 0;
}

} // namespace db
