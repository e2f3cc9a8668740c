#pragma once
// The limits every number that the ticket sums add up must keep, and the one
// rule for a unit price, whichever box it is typed or pasted into (the main
// window's 单价, the product dialogs'). A number is judged as its column will
// hold it, a double: "1e400" is the infinity it would become.
#include <QString>

namespace price {

// "900000000000000（900万亿）": what a summed number stays under.
QString sumLimitText();

// Refuses a number the ticket sums cannot hold (|value| ≥ 9×10^14 as stored),
// before anything is written. An empty text passes (it stores nothing); a
// text that is not a number fails as numtext::parse does.
// "“金额”超出范围：数值的绝对值须小于900000000000000（900万亿）".
void requireSummable(const QString &field, const QString &text);

// A unit price: no price at all, or a number from 0 up to the sums' limit.
// "“单价”不能是负数" for a pasted negative price.
void requireValid(const QString &text);
// The same rule without throwing.
bool isValid(const QString &text);

} // namespace price
