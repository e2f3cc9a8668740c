#include "NumberText.h"

#include "base/AppError.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <optional>
#include <string>

namespace numtext {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }
// ASCII only: other scripts' digits are not accepted in an amount.
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Out-of-range fallback for from_chars, which refuses results that underflow
// into subnormals or zero; those are still numbers. Uses the "C" locale
// explicitly, so the machine's locale cannot change the decimal point.
std::optional<Extended> readOutOfRange(const std::string &normalized)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    if (!cLocale)
        return std::nullopt;
    char *end = nullptr;
    const Extended value = strtold_l(normalized.c_str(), &end, cLocale);
    if (end != normalized.c_str() + normalized.size() || std::isinf(value))
        return std::nullopt;
    return value;
}

// A value as decimal digits: significant digits d1 d2 ... dn meaning
// d1.d2...dn × 10^exponent. No digits means zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

// |value| (finite) correctly rounded to `count` significant digits.
Decimal toDecimal(Extended value, int count)
{
    Decimal d;
    d.negative = std::signbit(value);
    if (value == 0)
        return d;
    std::string buf(std::size_t(count) + 32, '\0');
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(value),
                                   std::chars_format::scientific, count - 1);
    const char *p = buf.data();
    for (; p != res.ptr && *p != 'e'; ++p) {
        if (*p != '.')
            d.digits += *p;
    }
    ++p; // 'e'
    if (*p == '+')
        ++p;
    std::from_chars(p, res.ptr, d.exponent);
    return d;
}

// Keeps the first `keep` digits of `d`, a half (or more) in the dropped part
// going away from zero; a carry out of the first digit raises the exponent.
void roundDigits(Decimal &d, std::size_t keep)
{
    if (d.digits.size() <= keep)
        return;
    const bool up = d.digits[keep] >= '5';
    d.digits.resize(keep);
    if (!up)
        return;
    std::size_t i = keep;
    while (i > 0 && d.digits[i - 1] == '9') {
        d.digits[i - 1] = '0';
        --i;
    }
    if (i == 0) {
        d.digits.insert(d.digits.begin(), '1');
        d.digits.pop_back();
        ++d.exponent;
    } else {
        ++d.digits[i - 1];
    }
}

void dropTrailingZeros(Decimal &d)
{
    const auto last = d.digits.find_last_not_of('0');
    d.digits.resize(last == std::string::npos ? 0 : last + 1);
}

// The decimal digits every rounding starts from: the value correctly rounded
// to 18 significant digits. An extended value carries a little over 19, so
// a decimal text of up to 18 digits read into one comes back as exactly that
// text: 2.675 stays a half at its third decimal although the binary value
// lies a hair below it, and the general format and "0.00" round the same
// digits.
constexpr int kDecimalDigits = 18;

Decimal decimalDigits(Extended value)
{
    return toDecimal(value, kDecimalDigits);
}

// Digits rounded to `count` significant digits, half away from zero;
// trailing zeros dropped.
Decimal roundSignificant(Decimal d, int count)
{
    roundDigits(d, std::size_t(count));
    dropTrailingZeros(d);
    return d;
}

// General format of decimal digits already rounded to at most 15 significant
// digits.
QString generalText(const Decimal &d)
{
    if (d.digits.empty())
        return QStringLiteral("0");
    std::string out = d.negative ? "-" : "";
    const int digitCount = int(d.digits.size());
    if (d.exponent < -5 || d.exponent >= 15) {
        out += d.digits[0];
        if (digitCount > 1) {
            out += '.';
            out.append(d.digits, 1);
        }
        out += 'E';
        out += std::to_string(d.exponent);
    } else if (d.exponent < 0) {
        out += "0.";
        out.append(std::size_t(-d.exponent - 1), '0');
        out += d.digits;
    } else {
        const int wholeDigits = d.exponent + 1;
        if (digitCount <= wholeDigits) {
            out += d.digits;
            out.append(std::size_t(wholeDigits - digitCount), '0');
        } else {
            out.append(d.digits, 0, std::size_t(wholeDigits));
            out += '.';
            out.append(d.digits, std::size_t(wholeDigits));
        }
    }
    return QString::fromLatin1(out);
}

QString nonFinite(Extended value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// |value| in hundredths, as a digit string: its decimal digits rounded to
// two decimals, a half going away from zero.
std::string hundredths(Extended value)
{
    Decimal d = decimalDigits(value);
    if (d.digits.empty())
        return "0";
    // Digits worth at least 0.01: digit i is worth 10^(exponent - i).
    const int keep = d.exponent + 3;
    if (keep < 0)
        return "0";
    if (keep == 0) // the first digit is the thousandths
        return d.digits[0] >= '5' ? "1" : "0";
    if (std::size_t(keep) >= d.digits.size())
        return d.digits + std::string(std::size_t(keep) - d.digits.size(), '0');
    roundDigits(d, std::size_t(keep));
    // A carry out of the first digit (9.995 -> 10.00) adds a place.
    const std::size_t width = std::size_t(d.exponent + 3);
    return d.digits + std::string(width - d.digits.size(), '0');
}

} // namespace

std::optional<Extended> tryParse(const QString &text)
{
    qsizetype i = 0;
    qsizetype end = text.size();
    while (i < end && isBlank(text[i]))
        ++i;
    while (end > i && isBlank(text[end - 1]))
        --end;

    // Rewritten as "[-]d+.d+[e[-]d+]", a form from_chars reads, which is not
    // the case for "+1", "." or "5." as typed.
    std::string normalized;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            normalized += '-';
        ++i;
    }
    std::string whole;
    std::string fraction;
    bool point = false;
    for (; i < end && isDigit(text[i]); ++i)
        whole += char(text[i].unicode());
    if (i < end && text[i] == u'.') {
        point = true;
        for (++i; i < end && isDigit(text[i]); ++i)
            fraction += char(text[i].unicode());
    }
    if (whole.empty() && fraction.empty() && !point)
        return std::nullopt;
    normalized += whole.empty() ? "0" : whole;
    normalized += '.';
    normalized += fraction.empty() ? "0" : fraction;
    if (i < end && (text[i] == u'e' || text[i] == u'E')) {
        normalized += 'e';
        ++i;
        if (i < end && (text[i] == u'+' || text[i] == u'-')) {
            if (text[i] == u'-')
                normalized += '-';
            ++i;
        }
        if (i == end || !isDigit(text[i]))
            return std::nullopt;
        for (; i < end && isDigit(text[i]); ++i)
            normalized += char(text[i].unicode());
    }
    if (i != end)
        return std::nullopt;

    Extended value = 0;
    const char *first = normalized.data();
    const char *last = first + normalized.size();
    const auto res = std::from_chars(first, last, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range)
        return readOutOfRange(normalized);
    if (res.ec != std::errc() || res.ptr != last)
        return std::nullopt;
    return value;
}

Extended parse(const QString &text)
{
    if (const auto value = tryParse(text))
        return *value;
    throw AppError(u'\'' + text + QStringLiteral("' is not a valid floating point value"));
}

// The shortest decimal digits that read back as this (normal) double, when
// there are at most `count` (15) of them. They are then also what rounding
// its exact value to 15 significant digits gives: the double lies within half
// a unit of its 53rd bit of them (about 1.2 units of the 16th digit at most),
// far inside the rounding interval of the 15th (5 units of the 16th), so no
// tie either; and the 18 digits that rounding starts from are nearer still.
// A subnormal double has fewer bits and is left to the digits of its value.
std::optional<Decimal> shortestDigits(double value, int count)
{
    if (value != 0 && !std::isnormal(value))
        return std::nullopt;
    Decimal d;
    d.negative = std::signbit(value);
    if (value == 0)
        return d;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    const char *p = buf;
    for (; p != res.ptr && *p != 'e'; ++p) {
        if (*p != '.')
            d.digits += *p;
    }
    if (int(d.digits.size()) > count)
        return std::nullopt;
    ++p; // 'e'
    if (*p == '+')
        ++p;
    std::from_chars(p, res.ptr, d.exponent);
    dropTrailingZeros(d);
    return d;
}

QString general(Extended value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    // Every stored number is a double: most have a short text of their own,
    // found far faster than the digits of the extended value (an export
    // writes millions of them).
    const double asDouble = static_cast<double>(value);
    if (static_cast<Extended>(asDouble) == value) {
        if (const std::optional<Decimal> d = shortestDigits(asDouble, 15))
            return generalText(*d);
    }
    return generalText(roundSignificant(decimalDigits(value), 15));
}

QString fixed2(Extended value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    std::string cents = hundredths(value);
    const auto firstNonZero = cents.find_first_not_of('0');
    const bool zero = firstNonZero == std::string::npos;
    cents.erase(0, zero ? cents.size() : firstNonZero);
    if (cents.size() < 3)
        cents.insert(0, 3 - cents.size(), '0');
    cents.insert(cents.size() - 2, 1, '.');
    if (value < 0 && !zero)
        cents.insert(0, 1, '-');
    return QString::fromLatin1(cents);
}

QString grid2(Extended value)
{
    QString text = fixed2(value);
    if (!text.contains(u'.'))
        return text; // not a finite number
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

qint64 toFixed4(double value)
{
    const Extended scaled = static_cast<Extended>(value) * 10000.0L;
    // llrintl is undefined past the qint64 range; an amount that large (or
    // not a number at all) means something upstream went wrong.
    if (!(std::fabs(scaled) < 9.2e18L))
        throw AppError(QStringLiteral("金额超出范围"));
    return llrintl(scaled);
}

QString fixed4Text(qint64 fixed)
{
    // The digits of the fixed-point value are exact: they are rounded as
    // they are, never through a binary approximation of the value.
    Decimal d;
    d.negative = fixed < 0;
    // Through unsigned so that the most negative value has a magnitude too.
    const quint64 magnitude = d.negative ? 0 - quint64(fixed) : quint64(fixed);
    if (magnitude == 0)
        return QStringLiteral("0");
    d.digits = std::to_string(magnitude);
    d.exponent = int(d.digits.size()) - 1 - 4;
    return generalText(roundSignificant(d, 15));
}

std::optional<qint64> tryFixed4(double value)
{
    if (!fitsSums(value))
        return std::nullopt;
    return llrintl(static_cast<Extended>(value) * 10000.0L);
}

std::optional<qint64> addFixed4(qint64 a, qint64 b)
{
    qint64 total = 0;
    if (__builtin_add_overflow(a, b, &total) || total >= kFixed4Limit || total <= -kFixed4Limit)
        return std::nullopt;
    return total;
}

bool fitsSums(Extended value)
{
    return std::isfinite(value) && std::fabs(value) < kSumLimit;
}

QString displayRound(qint64 fixed)
{
    const std::string text = fixed4Text(fixed).toStdString();
    double read = 0;
    std::from_chars(text.data(), text.data() + text.size(), read);
    const double cent = 0.01;
    const Extended quotient = static_cast<Extended>(read) / static_cast<Extended>(cent);
    const Extended cents = rintl(quotient);
    const double rounded = static_cast<double>(cents * static_cast<Extended>(cent));
    return general(rounded);
}

} // namespace numtext
