#pragma once
// The archived tickets of a range of days, of every cashier or of one: what
// 统计 lists when it is narrowed to them, and their summary by day and by
// cashier.
//
// A day is its tickets' 时间 ("yyyy-mm-dd hh:mm:ss") from that day's
// midnight up to the next one; a range runs from its first day's midnight up
// to the midnight after its last day, and is read through the index on 时间,
// so a month of a large archive reads only that month's tickets. Sums are
// fixed point (value × 10000) added as the grids' footers add them: a value
// that is no number is skipped there and here alike, so the summary's total
// is the footer's.
#include "store/Listing.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class Connection;

namespace salesrange {

struct Filter {
    QDate from;      // first day, inclusive
    QDate to;        // last day, inclusive
    QString cashier; // empty: every cashier
};

// The longest range a summary covers: a year of days, each a bar.
inline constexpr int kMaxSummaryDays = 366;

// Why the filter cannot be applied ("开始日期不能晚于结束日期！"); empty
// when it can.
QString refusal(const Filter &filter);
// The same for a summary, which also refuses more than kMaxSummaryDays days.
QString summaryRefusal(const Filter &filter);

// The filter's tickets in time order, the newest first when asked.
store::Listing listing(const Filter &filter, bool newestFirst);

// The cashiers one may narrow the list to: the users, in their table's
// order, then the other names found on archived tickets (a user deleted
// since), in text order; each once, none empty. The archive's names are
// stepped through on the index on 收银员, one lookup per name.
QStringList cashiers(Connection &connection);

struct Figures {
    QString label;       // the day "yyyy-mm-dd", the cashier, or 合计
    int tickets = 0;     // 单数
    qint64 quantity = 0; // 数量 × 10000
    qint64 amount = 0;   // 金额 × 10000
    qint64 afterDiscount = 0; // 折后 × 10000
};

struct Summary {
    Filter filter;
    QList<Figures> days;     // every day of the range in order, those without a sale too
    QList<Figures> cashiers; // each cashier with a ticket in the range, by name
    Figures total;           // 合计
};

// Reads the summary. Throws AppError when a sum would pass what the sums
// hold: a summary that left a ticket out would be wrong without saying so.
Summary summarize(Connection &connection, const Filter &filter);

// A row as the summary shows it: label, 单数, 数量, 金额, 折后 ("#0.##").
QStringList cells(const Figures &figures);
// A sum as the grids show it: "#0.##".
QString sumText(qint64 fixed);

} // namespace salesrange
