#pragma once
// Numbers move between boxes, labels, receipts and columns as text. These are
// the rules for reading and writing that text; every money figure depends on
// them, so they are exact and never depend on the machine's locale.
#include <QString>
#include <QtGlobal>
#include <optional>

namespace numtext {

// Arithmetic on amounts is done in 80-bit extended precision.
using Extended = long double;

// Reads a number: blanks around it are ignored, then an optional sign, digits,
// optionally "." and digits, optionally "E"/"e" with optional sign and digits.
// "." reads 0, "5." reads 5, ".5" reads 0.5; an empty text is not a number.
// Throws AppError("'<text>' is not a valid floating point value").
Extended parse(const QString &text);
// The same rule without throwing.
std::optional<Extended> tryParse(const QString &text);

// General format: shortest text with at most 15 significant digits, rounded
// at the fifteenth; no trailing zeros, no point for whole numbers; exponent
// form ("9E-6", "1E20", "1.5E-7") below 0.00001 or with more than 15 whole digits.
QString general(Extended value);

// "0.00": two decimals, a decimal half rounded away from zero on the value's
// decimal digits (18 significant digits of the extended value).
QString fixed2(Extended value);

// "#0.##": at most two decimals (same rounding as fixed2), trailing zeros and
// a bare point dropped, at least one digit before the point.
QString grid2(Extended value);

// Fixed point with four decimals, as the ticket sums keep their values:
// value × 10000 rounded to the nearest integer, ties to even.
qint64 toFixed4(double value);
// The general-format text of a fixed-point value (exact: "12.3456", "15.5", "0").
QString fixed4Text(qint64 fixed);

// Display rounding of a fixed-point sum: its text read back as a double,
// divided by 0.01 (the double) in extended precision, rounded to the nearest
// integer (ties to even), times 0.01, as a double; written in general format.
// 12.3456 -> "12.35", 0.125 -> "0.12", 12.345 -> "12.35", 2.675 -> "2.67".
QString displayRound(qint64 fixed);

} // namespace numtext
