#include "ticket/Amounts.h"

#include "store/AppError.h"
#include "store/NumberText.h"

#include <cmath>

namespace amounts {

using numtext::Extended;

QString lineAmount(const QString &price, const QString &quantity)
{
    const Extended p = numtext::parse(price);
    const Extended q = numtext::parse(quantity);
    return numtext::general(p * q);
}

QString afterDiscount(const QString &price, const QString &quantity, const QString &discount)
{
    static constexpr Extended kTenth = 0.1L;
    const Extended p = numtext::parse(price);
    const Extended q = numtext::parse(quantity);
    const Extended d = numtext::parse(discount);
    return numtext::general(((p * q) * d) * kTenth);
}

QString change(const QString &received, const QString &totalAfterDiscount)
{
    if (received.isEmpty())
        return {};
    const Extended r = numtext::parse(received);
    const Extended t = numtext::parse(totalAfterDiscount);
    return numtext::general(r - t);
}

QString cutFraction(const QString &amount)
{
    return numtext::general(std::trunc(numtext::parse(amount)));
}

QString normalisedPrice(const QString &price)
{
    if (price.isEmpty())
        return {};
    return numtext::general(numtext::parse(numtext::fixed2(numtext::parse(price))));
}

namespace {
QString limitText()
{
    return numtext::general(numtext::kSumLimit) + QStringLiteral("（900万亿）");
}
} // namespace

void requireSummable(const QString &field, const QString &text)
{
    if (text.isEmpty())
        return;
    // Judged as the column will hold it: a double.
    if (!numtext::fitsSums(static_cast<double>(numtext::parse(text))))
        throw AppError(QStringLiteral("“%1”超出范围：数值的绝对值须小于%2").arg(field, limitText()));
}

QString totalTooLarge(const QString &field)
{
    return QStringLiteral("加上这一行，“%1”的合计将超出范围：合计的绝对值须小于%2").arg(field, limitText());
}

} // namespace amounts
