#pragma once
// The money rules of ticket entry, on the texts the boxes hold. Each reading
// fails with the number-text message when a text is not a number.
#include <QString>

namespace amounts {

// 金额 = price × quantity, in general format.
QString lineAmount(const QString &price, const QString &quantity);
// 折后 = ((price × quantity) × discount) × 0.1, left to right in extended precision.
QString afterDiscount(const QString &price, const QString &quantity, const QString &discount);
// 找零 = received − the displayed after-discount total; empty when nothing was received.
QString change(const QString &received, const QString &totalAfterDiscount);
// 抹零: the fraction cut off toward zero.
QString cutFraction(const QString &amount);
// A unit price as a box shows it: through "0.00" and back to general format
// (3.5 stays 3.5, 2.675 becomes 2.68). An empty price stays empty.
QString normalisedPrice(const QString &price);

// Refuses a number the ticket sums cannot hold (|value| ≥ 9×10^14, as the
// value is stored), before anything is written. An empty text passes (it
// stores nothing); a text that is not a number fails as parse does.
// "“金额”超出范围：数值的绝对值须小于900000000000000（900万亿）".
void requireSummable(const QString &field, const QString &text);
// The refusal of a line that would take the total of a column to that limit.
QString totalTooLarge(const QString &field);

} // namespace amounts
