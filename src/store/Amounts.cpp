#include "store/Amounts.h"

#include "base/AppError.h"
#include "store/NumberText.h"
#include "store/Price.h"

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

void requireSummable(const QString &field, const QString &text)
{
    price::requireSummable(field, text);
}

QString totalTooLarge(const QString &field)
{
    return QStringLiteral("加上这一行，“%1”的合计将超出范围：合计的绝对值须小于%2").arg(field, price::sumLimitText());
}

} // namespace amounts
