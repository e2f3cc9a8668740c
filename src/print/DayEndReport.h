#pragma once
// 日结 on the receipt printer: the day's figures per cashier and in all, on
// the paper of the receipts, drawn by the receipts' report engine.
#include "print/ReceiptLayouts.h"
#include "store/DayEnd.h"

#include <QDateTime>

namespace dayendprint {

// The data set of the cashiers' rows.
inline const QString kCashiers = QStringLiteral("cashiers");

// The report for a paper width: a title (shop, day, when printed), one
// block per cashier, and the total after a rule.
report::Layout design(receipt::Paper paper);
// The layout's data and value fields filled from the day, printed at `printedAt`.
report::Data fill(report::Layout &layout, const dayend::Day &day, const QDateTime &printedAt);

// A ticket time of the day as the paper shows it: its clock time alone
// (the day stands in the title); any other text as it is.
QString clockOf(const QDate &day, const QString &time);

} // namespace dayendprint
