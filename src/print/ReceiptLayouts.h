#pragma once
// The receipts: three layouts for each paper width, and the rules that pick
// and size them at checkout.
#include "report/Report.h"

#include <optional>

namespace receipt {

enum class Paper { Mm58, Mm76 };

// The paper width the paper box's text selects: exactly "58" or "76".
std::optional<Paper> paperFor(const QString &text);

// The layout the customer and phone options select: 1 (neither), 2
// (customer), 3 (both); 0 for phone without customer, which prints nothing.
int layoutFor(bool customerOption, bool phoneOption);

// How often the layout prints for the copies box's text: exactly "1" once,
// exactly "2" twice, anything else never.
int printsFor(const QString &copiesText);

// Names of the value fields the checkout fills.
namespace value {
inline const QString cashier = QStringLiteral("cashier");
inline const QString number = QStringLiteral("number");
inline const QString time = QStringLiteral("time");
inline const QString customer = QStringLiteral("customer");
inline const QString phone = QStringLiteral("phone");
inline const QString quantityTotal = QStringLiteral("quantityTotal");
inline const QString amountTotal = QStringLiteral("amountTotal");
inline const QString afterDiscountTotal = QStringLiteral("afterDiscountTotal");
inline const QString received = QStringLiteral("received");
inline const QString change = QStringLiteral("change");
} // namespace value

// The data sets a receipt reads: the ticket lines and the print content.
inline const QString kLines = QStringLiteral("ADODataSet1");
inline const QString kContent = QStringLiteral("ADODataSet2");

// Layout k (1 to 3) of a paper width as designed, before any checkout. The
// remark block is empty until its band's hook fills it.
report::Layout design(Paper paper, int k);

// The format of a line's price, quantity and amount: "0.00"; a text that is
// no number (an empty one too) prints as 0.00.
QString twoDecimals(const QString &text);

// The hidden remark box: 宋体 13 px, wrapping within the text area of a
// 225-pixel box with its frame and vertical scroll bar.
constexpr qreal kRemarkBoxTextWidthPx = 200;
// The remark as that box breaks it into lines; the checkout counts them and
// the receipt prints them, so both come from here.
QStringList remarkLines(const QString &remark);

constexpr int kRemarkLinePx = 17;
constexpr int kTicketLinePx = 25;
// The page length the checkout sets, in screen pixels: 17 per remark line,
// a base for the paper and the phone option, 25 per ticket line.
int pageLengthPx(Paper paper, bool phoneOption, int remarkLines, int ticketLines);

// A receipt printed again from the archive says so: "重打" on a row of its
// own under the shop name. The title rows below it move down by that row,
// and the page grows with them, so nothing is printed over.
inline const QString kReprintMark = QStringLiteral("重打");
constexpr int kReprintMarkPx = 17;
// What a reprint prints for 实收 and 找零, which are not archived.
inline const QString kNotArchived = QStringLiteral("—");
void markReprint(report::Layout &layout);

} // namespace receipt
