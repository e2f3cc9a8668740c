#include "store/Price.h"

#include "base/AppError.h"
#include "store/NumberText.h"
#include "store/Schema.h"

namespace price {

QString sumLimitText()
{
    return numtext::general(numtext::kSumLimit) + QStringLiteral("（900万亿）");
}

void requireSummable(const QString &field, const QString &text)
{
    if (text.isEmpty())
        return;
    if (!numtext::fitsSums(static_cast<double>(numtext::parse(text))))
        throw AppError(QStringLiteral("“%1”超出范围：数值的绝对值须小于%2").arg(field, sumLimitText()));
}

void requireValid(const QString &text)
{
    requireSummable(schema::col::danjia, text);
    // -0 is a price of nothing, not a negative one.
    if (!text.isEmpty() && numtext::parse(text) < 0)
        throw AppError(QStringLiteral("“%1”不能是负数：%2").arg(schema::col::danjia, text));
}

bool isValid(const QString &text)
{
    if (text.isEmpty())
        return true;
    const auto value = numtext::tryParse(text);
    return value && *value >= 0 && numtext::fitsSums(static_cast<double>(*value));
}

} // namespace price
