#pragma once
#include <QString>
#include <compare>
#include <optional>

namespace db {

// An amount held on its decimal digits: a fixed number of decimals in one
// integer, so sums, differences and comparisons are exact and rounding works
// on the digits the user reads, never on a binary fraction.
//
// A stored floating value is read as the shortest decimal that gives it back
// (10.01 is 10.01, not 10.0099999999999997868). Values whose size no amount
// can have (beyond ±10^18, infinities, NaN) have no decimal: fromDouble gives
// nothing for them.
class Decimal {
public:
    static constexpr int kDecimals = 18;

    Decimal() = default;
    static Decimal fromInteger(qint64 v);
    // Units of 10^-decimals: fromUnits(5024, 3) is 5.024.
    static Decimal fromUnits(qint64 units, int decimals);
    static std::optional<Decimal> fromDouble(double v);

    // The double nearest to this decimal: what is stored for it.
    double toDouble() const;

    Decimal operator+(const Decimal &o) const;
    Decimal operator-(const Decimal &o) const;
    Decimal &operator+=(const Decimal &o) { return *this = *this + o; }
    Decimal operator-() const;
    // Exact product by a decimal rate given as units of 10^-decimals, cut
    // toward zero after the last kept decimal.
    Decimal multipliedBy(qint64 rateUnits, int rateDecimals) const;
    Decimal abs() const { return m_units < 0 ? -*this : *this; }

    auto operator<=>(const Decimal &o) const = default;
    bool operator==(const Decimal &o) const = default;
    // Above zero as the user reads an amount: once rounded to the millionth.
    // A leftover of binary arithmetic (4.4e-16) is no payment.
    bool isPositiveAmount() const;
    bool isZero() const { return m_units == 0; }

    // Integer part, toward zero, and the first n decimals of the fractional
    // part as an integer of the amount's sign (n <= kDecimals).
    qint64 integerPart() const;
    qint64 fractionDigits(int n) const;

    // Shortest writing with at most 15 significant digits (the last one
    // rounded half away from zero), decimal comma, no exponent.
    QString toText() const;

private:
    explicit Decimal(__int128 units) : m_units(units) {}
    __int128 m_units = 0;   // the amount times 10^kDecimals
};

// The same reading for a stored floating value.
bool montantPositif(double v);

} // namespace db
