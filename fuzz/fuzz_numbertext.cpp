// libFuzzer target: the number-text rules that every money figure goes
// through. Each input is read as a typed text, as the bits of a double, or
// as two fixed-point sums, and the rules are held against what they promise:
// no crash, reading agrees with the grammar and with the C library, every
// format gives back the value it rounded, fixed-point text is exact, and the
// sums' addition never wraps. A broken promise prints what broke and aborts,
// so libFuzzer keeps the input.
#include "base/AppError.h"
#include "store/NumberText.h"
#include "store/SumList.h"

#include <QRegularExpression>
#include <QString>
#include <QVariant>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

using numtext::Extended;

namespace {

[[noreturn]] void broken(const char *rule, const std::string &detail)
{
    std::fprintf(stderr, "\n*** %s\n    %s\n", rule, detail.c_str());
    std::abort();
}

void require(bool holds, const char *rule, const std::string &detail)
{
    if (!holds)
        broken(rule, detail);
}

std::string show(const QString &text)
{
    std::string out = "\"";
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f && c != u'"' && c != u'\\') {
            out += char(c.unicode());
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04x", c.unicode());
            out += buf;
        }
    }
    return out + "\"";
}

std::string show(Extended v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", v);
    return buf;
}

const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));

// A decimal value: significant digits d1 d2 ... meaning d1.d2... × 10^exp;
// no leading zeros, no trailing zeros; no digits means zero.
struct Decimal {
    bool negative = false;
    std::string digits;
    long exp = 0;
    bool operator==(const Decimal &o) const
    {
        if (digits.empty() || o.digits.empty())
            return digits.empty() && o.digits.empty();
        return negative == o.negative && digits == o.digits && exp == o.exp;
    }
};

void normalise(Decimal &d)
{
    const auto first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        d.digits.clear();
        d.exp = 0;
        return;
    }
    d.digits.erase(0, first);
    d.exp -= long(first);
    d.digits.erase(d.digits.find_last_not_of('0') + 1);
}

std::string show(const Decimal &d)
{
    return (d.negative ? "-" : "") + (d.digits.empty() ? std::string("0") : d.digits) + "e" + std::to_string(d.exp);
}

// The exact decimal value of a finite extended value, to 18 significant
// digits, through the C library's printf (correctly rounded in glibc).
Decimal decimalOf(Extended v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", v);
    Decimal d;
    const char *p = buf;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p) {
        if (*p != '.')
            d.digits += *p;
    }
    d.exp = std::strtol(p + 1, nullptr, 10);
    normalise(d);
    return d;
}

// A decimal text as this file's checks write it ("-123.45", "1.5E-7").
Decimal decimalOfText(const std::string &text)
{
    Decimal d;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        d.negative = true;
        ++i;
    }
    long point = -1;
    std::string all;
    for (; i < text.size() && text[i] != 'E' && text[i] != 'e'; ++i) {
        if (text[i] == '.')
            point = long(all.size());
        else
            all += text[i];
    }
    const long e = i < text.size() ? std::strtol(text.c_str() + i + 1, nullptr, 10) : 0;
    if (point < 0)
        point = long(all.size());
    d.digits = all;
    d.exp = point - 1 + e;
    normalise(d);
    return d;
}

// Rounds to `count` significant digits, a half going away from zero.
Decimal roundedSignificant(Decimal d, std::size_t count)
{
    if (d.digits.size() <= count)
        return d;
    const bool up = d.digits[count] >= '5';
    d.digits.resize(count);
    if (up) {
        // Add one at the last kept place, carrying to the left.
        std::size_t i = count;
        for (; i > 0; --i) {
            if (d.digits[i - 1] != '9') {
                ++d.digits[i - 1];
                break;
            }
            d.digits[i - 1] = '0';
        }
        if (i == 0) {
            d.digits.insert(0, 1, '1');
            ++d.exp;
        }
    }
    normalise(d);
    return d;
}

// Rounds to a multiple of 10^place (place -2: cents), half away from zero.
Decimal roundedAt(const Decimal &d, long place)
{
    if (d.digits.empty())
        return d;
    const long keep = d.exp - place + 1; // digits at or above 10^place
    if (keep < 0)
        return Decimal{};
    if (keep == 0) {
        if (d.digits[0] < '5')
            return Decimal{};
        return Decimal{d.negative, "1", place};
    }
    return roundedSignificant(d, std::size_t(keep));
}

// The shapes the formats may take.
const QRegularExpression generalPlain(QStringLiteral("\\A-?(0|[1-9][0-9]*|0\\.[0-9]*[1-9]|[1-9][0-9]*\\.[0-9]*[1-9])\\z"));
const QRegularExpression generalExponent(QStringLiteral("\\A-?[1-9](\\.[0-9]*[1-9])?E-?[1-9][0-9]*\\z"));
const QRegularExpression fixed2Shape(QStringLiteral("\\A-?(0|[1-9][0-9]*)\\.[0-9][0-9]\\z"));
const QRegularExpression grid2Shape(QStringLiteral("\\A-?(0|[1-9][0-9]*)(\\.[0-9]?[1-9])?\\z"));
// The reading rule, told once more as a grammar.
const QRegularExpression numberGrammar(
    QStringLiteral("\\A[ \\t]*([+-]?)([0-9]*)(\\.?)([0-9]*)([eE][+-]?[0-9]+)?[ \\t]*\\z"));

int significantDigits(const QString &text)
{
    const Decimal d = decimalOfText(text.toStdString());
    return int(d.digits.size());
}

// general, fixed2 and grid2 of one finite value.
void checkFormats(Extended v)
{
    const Decimal exact = decimalOf(v);
    const std::string where = "value " + show(v) + " = " + show(exact);

    const QString g = numtext::general(v);
    const bool plain = generalPlain.match(g).hasMatch();
    require(plain || generalExponent.match(g).hasMatch(), "general: shape", where + " -> " + show(g));
    require(g != QLatin1String("-0"), "general: no negative zero", where);
    const Decimal gd = decimalOfText(g.toStdString());
    require(gd == roundedSignificant(exact, 15), "general: the value rounded at 15 significant digits",
            where + " -> " + show(g));
    require(significantDigits(g) <= 15, "general: at most 15 significant digits", show(g));
    if (!gd.digits.empty())
        require(plain == (gd.exp >= -5 && gd.exp < 15), "general: exponent form exactly outside 1E-5..1E15",
                where + " -> " + show(g));
    const auto back = numtext::tryParse(g);
    require(back.has_value(), "general: its text reads back", show(g));
    require(numtext::general(*back) == g, "general: reading its text back gives the same text",
            show(g) + " -> " + show(numtext::general(*back)));

    const QString f = numtext::fixed2(v);
    require(fixed2Shape.match(f).hasMatch(), "fixed2: shape", where + " -> " + show(f));
    const Decimal fd = decimalOfText(f.toStdString());
    require(fd == roundedAt(exact, -2), "fixed2: the value rounded at cents, a half away from zero",
            where + " -> " + show(f));
    require(f != QLatin1String("-0.00"), "fixed2: no negative zero", where);

    const QString grid = numtext::grid2(v);
    require(grid2Shape.match(grid).hasMatch(), "grid2: shape", where + " -> " + show(grid));
    QString trimmed = f;
    while (trimmed.endsWith(u'0'))
        trimmed.chop(1);
    if (trimmed.endsWith(u'.'))
        trimmed.chop(1);
    require(grid == trimmed, "grid2: fixed2 without trailing zeros", show(f) + " vs " + show(grid));
}

// Reading a typed text.
void checkReading(const QString &text)
{
    const auto value = numtext::tryParse(text);
    bool thrown = false;
    try {
        const Extended p = numtext::parse(text);
        require(value && (p == *value || (std::isnan(p) && std::isnan(*value))),
                "parse agrees with tryParse", show(text));
    } catch (const AppError &e) {
        thrown = true;
        require(e.message() == u'\'' + text + QStringLiteral("' is not a valid floating point value"),
                "parse: the refusal names the text", show(text));
    }
    require(thrown == !value.has_value(), "parse throws exactly when tryParse finds no number", show(text));

    // What the grammar and the C library say.
    const auto m = numberGrammar.match(text);
    bool expected = m.hasMatch() && (!m.captured(2).isEmpty() || !m.captured(3).isEmpty() || !m.captured(4).isEmpty());
    Extended reference = 0;
    if (expected) {
        if (m.captured(2).isEmpty() && m.captured(4).isEmpty()) {
            // "." and "-." read as zero.
            reference = m.captured(1) == u'-' ? -0.0L : 0.0L;
        } else {
            const std::string body = (m.captured(1) + m.captured(2) + m.captured(3) + m.captured(4)
                                      + m.captured(5)).toStdString();
            // The C library wants a digit before the exponent ("5.e3" it reads, ".e3" not).
            char *end = nullptr;
            reference = strtold_l(body.c_str(), &end, cLocale);
            require(end == body.c_str() + body.size(), "reference: the C library reads the whole text", body);
        }
        expected = std::isfinite(reference);
    }
    require(value.has_value() == expected, "reading: a number exactly when the grammar says so and it is finite",
            show(text) + (value ? " read " + show(*value) : " refused"));
    if (!value)
        return;
    require(*value == reference && std::signbit(*value) == std::signbit(reference),
            "reading: the value the C library reads", show(text) + " -> " + show(*value) + " vs " + show(reference));

    // A decimal text of up to 18 significant digits is held exactly: its
    // digits are what the formats round.
    if (!m.captured(2).isEmpty() || !m.captured(4).isEmpty()) {
        const QString exponentText = m.captured(5);
        const bool smallExponent = exponentText.size() < 7;
        Decimal typed = decimalOfText((m.captured(1) == u'-' ? QStringLiteral("-") : QString()).toStdString()
                                      + (m.captured(2) + m.captured(3) + m.captured(4)).toStdString()
                                      + (smallExponent ? exponentText.toStdString() : std::string()));
        if (smallExponent && typed.digits.size() <= 18 && typed.exp > -4900 && typed.exp < 4900)
            require(decimalOf(*value) == typed, "reading: 18 significant digits come back exactly",
                    show(text) + " -> " + show(decimalOf(*value)));
    }
    checkFormats(*value);
}

// A text in a number column, as the sums count it: counted exactly when it
// reads as a number that fits the sums.
void checkCountedText(const QString &text)
{
    const auto counted = SumList::fixedOf(QVariant(text));
    const auto value = numtext::tryParse(text);
    const bool countable = text.isEmpty() || (value && numtext::fitsSums(static_cast<double>(*value)));
    require(counted.has_value() == countable, "fixedOf: a text counts exactly when it is a number that fits",
            show(text));
    if (text.isEmpty())
        require(*counted == 0, "fixedOf: an empty text counts as nothing", show(text));
}

// value × 10000 rounded to the nearest integer, ties to even, in integers:
// a double is m × 2^e with an integer m of at most 53 bits.
__int128 scaledExactly(double value)
{
    int e = 0;
    const double fraction = std::frexp(std::fabs(value), &e);
    const auto m = static_cast<__int128>(std::ldexp(fraction, 53));
    e -= 53;
    __int128 n = m * 10000;
    if (e >= 0) {
        n <<= e;
    } else if (-e >= 100) {
        n = 0; // below 2^-30 after scaling: rounds to 0
    } else {
        const int s = -e;
        const __int128 q = n >> s;
        const __int128 r = n - (q << s);
        const __int128 half = __int128(1) << (s - 1);
        n = q + ((r > half || (r == half && (q & 1))) ? 1 : 0);
    }
    return value < 0 ? -n : n;
}

void checkFixed4(double value)
{
    const std::string where = "value " + show(Extended(value));
    const bool fits = numtext::fitsSums(value);
    require(fits == (std::isfinite(value) && std::fabs(value) < 9e14), "fitsSums: finite and below 9E14", where);
    const auto tried = numtext::tryFixed4(value);
    require(tried.has_value() == fits, "tryFixed4: a result exactly for what fits the sums", where);
    bool thrown = false;
    qint64 fixed = 0;
    try {
        fixed = numtext::toFixed4(value);
    } catch (const AppError &) {
        thrown = true;
    }
    if (fits)
        require(!thrown, "toFixed4: what fits the sums converts", where);
    if (!std::isfinite(value) || std::fabs(value) >= 9.3e14)
        require(thrown, "toFixed4: refuses what 64 bits cannot hold", where);
    if (!thrown) {
        const __int128 exact = scaledExactly(value);
        require(exact == fixed, "toFixed4: value x 10000 rounded half to even, exactly",
                where + " -> " + std::to_string(fixed));
    }
    if (tried) {
        require(*tried == fixed, "tryFixed4 agrees with toFixed4", where);
        require(*tried < numtext::kFixed4Limit && *tried > -numtext::kFixed4Limit,
                "tryFixed4: a value that fits gives a sum below the limit", where);
        require(numtext::addFixed4(*tried, 0) == tried, "addFixed4: adding nothing", where);
    }
    // As the sums count a stored value and a text in a number column.
    require(SumList::fixedOf(QVariant(value)) == tried, "fixedOf a number agrees with tryFixed4", where);
}

void checkFixedText(qint64 fixed)
{
    const std::string where = "fixed " + std::to_string(fixed);
    const QString text = numtext::fixed4Text(fixed);
    require(generalPlain.match(text).hasMatch() || generalExponent.match(text).hasMatch(), "fixed4Text: shape",
            where + " -> " + show(text));
    // The exact digits of fixed / 10^4, rounded at 15 significant digits.
    Decimal exact;
    exact.negative = fixed < 0;
    const auto magnitude = static_cast<unsigned __int128>(fixed < 0 ? -static_cast<__int128>(fixed) : fixed);
    exact.digits = std::to_string(static_cast<unsigned long long>(magnitude));
    exact.exp = long(exact.digits.size()) - 1 - 4;
    normalise(exact);
    require(decimalOfText(text.toStdString()) == roundedSignificant(exact, 15),
            "fixed4Text: the exact digits rounded at 15 significant digits", where + " -> " + show(text));
    // A sum of up to 15 digits written as text and stored as a double comes
    // back as the same sum.
    if (fixed > -1'000'000'000'000'000 && fixed < 1'000'000'000'000'000) {
        const auto again = numtext::tryFixed4(static_cast<double>(numtext::parse(text)));
        require(again == fixed, "fixed4Text: read back and counted again, the same sum", where + " -> " + show(text));
    }

    const QString shown = numtext::displayRound(fixed);
    const auto read = numtext::tryParse(shown);
    require(read.has_value(), "displayRound: its text reads back", where + " -> " + show(shown));
    const Extended value = static_cast<Extended>(fixed) / 10000.0L;
    // Half a cent, or half a unit of the fifteenth digit where that is more
    // (above 10^13 the general format has no room for cents).
    const Extended slack = 0.005L + std::fabs(value) * 6e-15L;
    require(std::fabs(*read - value) <= slack, "displayRound: within half a cent", where + " -> " + show(shown));
    if (std::fabs(value) < 1e13L) {
        const int dot = shown.indexOf(u'.');
        require(dot < 0 || shown.size() - dot - 1 <= 2, "displayRound: at most two decimals",
                where + " -> " + show(shown));
    }
    // Away from a half cent it rounds as the grid does.
    if (fixed > -1'000'000'000'000'000 && fixed < 1'000'000'000'000'000 && std::abs(fixed % 100) != 50) {
        const QString grid = numtext::grid2(numtext::parse(text));
        require(shown == grid, "displayRound agrees with grid2 away from a half cent",
                where + " -> " + show(shown) + " vs " + show(grid));
    }
}

void checkAddition(qint64 a, qint64 b)
{
    const std::string where = std::to_string(a) + " + " + std::to_string(b);
    const __int128 exact = static_cast<__int128>(a) + b;
    const bool fits = exact < numtext::kFixed4Limit && exact > -numtext::kFixed4Limit;
    const auto sum = numtext::addFixed4(a, b);
    require(sum.has_value() == fits, "addFixed4: a total exactly while it stays below the limit", where);
    if (sum)
        require(*sum == exact, "addFixed4: the exact total", where);
    require(SumList::add(a, b) == sum, "SumList::add agrees with addFixed4", where);
    require(!SumList::add(std::nullopt, b) && !SumList::add(a, std::nullopt), "SumList::add: unknown stays unknown",
            where);
}

template <class T> T take(const uint8_t *&data, size_t &size)
{
    T value{};
    const size_t n = std::min(size, sizeof(T));
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = *data++;
    --size;
    switch (mode % 4) {
    case 0:
    case 1:
        // A typed or pasted text, as a box holds it.
    {
        const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
        checkReading(text);
        checkCountedText(text);
        break;
    }
    case 2: {
        const double value = take<double>(data, size);
        if (std::isfinite(value))
            checkFormats(value);
        else
            require(numtext::general(value) == numtext::fixed2(value)
                        && numtext::fixed2(value) == numtext::grid2(value),
                    "formats: one text for what is not a finite number", show(Extended(value)));
        checkFixed4(value);
        break;
    }
    default: {
        const auto a = take<qint64>(data, size);
        const auto b = take<qint64>(data, size);
        checkFixedText(a);
        checkAddition(a, b);
        break;
    }
    }
    return 0;
}
