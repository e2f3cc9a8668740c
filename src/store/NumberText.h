#pragma once
// Numbers move between boxes, labels, receipts and columns as text. These are
// the rules for reading and writing that text; every money figure depends on
// them, so they are exact and never depend on the machine's locale.
#include <QString>
#include <QtGlobal>
#include <limits>
#include <optional>

namespace numtext {

// Arithmetic on amounts is done in 80-bit extended precision: a 64-bit
// mantissa keeps every decimal text of up to 18 digits exact on the way
// through, which the rounding below relies on.
using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits == 64 && std::numeric_limits<Extended>::max_exponent == 16384,
              "amounts rely on the 80-bit extended type (x87 long double)");

// Reads a number: blanks around it are ignored, then an optional sign, digits,
// optionally "." and digits, optionally "E"/"e" with optional sign and digits.
// "." reads 0, "5." reads 5, ".5" reads 0.5; an empty text is not a number.
// Throws AppError("'<text>' is not a valid floating point value").
Extended parse(const QString &text);
// The same rule without throwing.
std::optional<Extended> tryParse(const QString &text);

// General format: shortest text with at most 15 significant digits, rounded
// at the fifteenth (a half away from zero); no trailing zeros, no point for
// whole numbers; exponent form ("9E-6", "1E20", "1.5E-7") below 0.00001 or
// with more than 15 whole digits.
//
// Every rounding of an extended value here (general, "0.00", "#0.##") starts
// from the same decimal digits: the value rounded to 18 significant digits.
QString general(Extended value);

// "0.00": two decimals, a decimal half rounded away from zero.
QString fixed2(Extended value);

// "#0.##": at most two decimals (same rounding as fixed2), trailing zeros and
// a bare point dropped, at least one digit before the point.
QString grid2(Extended value);

// Fixed point with four decimals, as the ticket sums keep their values:
// value × 10000 rounded to the nearest integer, ties to even. Throws past
// what 64 bits hold.
qint64 toFixed4(double value);
// The general-format text of a fixed-point value, rounded on its exact
// digits: "12.3456", "15.5", "0", 123456789012.3455 -> "123456789012.346".
QString fixed4Text(qint64 fixed);

// What the sums hold: every counted value and every total stays below
// 9×10^14 in magnitude, so value × 10000 always fits 64 bits.
inline constexpr Extended kSumLimit = 9e14L;
inline constexpr qint64 kFixed4Limit = 9'000'000'000'000'000'000;
// Finite and below the limit in magnitude.
bool fitsSums(Extended value);
// toFixed4 for a value that fits the sums; nothing otherwise.
std::optional<qint64> tryFixed4(double value);
// a + b, or nothing when the total would reach the limit (checked: never
// wraps around).
std::optional<qint64> addFixed4(qint64 a, qint64 b);

// A running sum as every total of the program keeps it (the engine's sum
// function, the grids' footers, the ticket's totals): each value by tryFixed4,
// added by addFixed4. A value or a total out of range makes the sum unfit:
// its result is then empty. A plain struct: zeroed memory is an empty sum
// (the engine keeps one in memory it zeroes).
struct Fixed4Sum {
    qint64 total = 0;
    bool unfit = false;

    void add(double value) { addFixed(tryFixed4(value)); }
    // Nothing (a value that cannot be counted) makes the sum unfit.
    void addFixed(std::optional<qint64> fixed)
    {
        if (unfit)
            return;
        const auto next = fixed ? addFixed4(total, *fixed) : std::nullopt;
        if (next)
            total = *next;
        else
            unfit = true;
    }
    std::optional<qint64> result() const { return unfit ? std::nullopt : std::optional<qint64>(total); }
};

// Display rounding of a fixed-point sum: its text read back as a double,
// divided by 0.01 (the double) in extended precision, rounded to the nearest
// integer (ties to even), times 0.01, as a double; written in general format.
// 12.3456 -> "12.35", 0.125 -> "0.12", 12.345 -> "12.35", 2.675 -> "2.67".
QString displayRound(qint64 fixed);

} // namespace numtext
