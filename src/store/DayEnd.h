#pragma once
// 日结: one day's sales, per cashier and in all, read from the archive.
//
// A day is its tickets' 时间 from "yyyy-mm-dd 00:00:00" up to the next
// day's midnight, found through the index on 时间, so a day of a large
// archive reads only its own tickets. Sums are fixed point (value × 10000),
// added as the grids' footers add them, never as doubles.
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class Connection;

namespace dayend {

struct Figures {
    QString cashier;     // 收银员; empty in the total
    int tickets = 0;     // 单数
    qint64 quantity = 0; // 数量 × 10000
    qint64 amount = 0;   // 金额 × 10000
    qint64 afterDiscount = 0; // 折后 × 10000
    QString firstNumber, firstTime; // the day's first ticket (by time)
    QString lastNumber, lastTime;   // and its last
};

struct Day {
    QDate date;
    QString shop;          // 店名, as the receipts print it
    QList<Figures> cashiers; // in the order of their first ticket of the day
    Figures total;
};

// The day's figures. Throws AppError when a ticket's number column holds
// something that is not a number, or a sum would pass what the sums hold:
// a day-end that left a ticket out would be wrong without saying so.
Day dayEnd(Connection &connection, const QDate &date);

// A sum as the grids show it: "#0.##".
QString sumText(qint64 fixed);
// One row of the report as shown and printed: the label (a cashier, 合计),
// 单数, 数量, 金额, 折后, first ticket and time, last ticket and time.
QStringList cells(const QString &label, const Figures &f);

} // namespace dayend
