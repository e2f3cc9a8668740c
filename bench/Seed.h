#pragma once
// Archives of years of sales for the benchmark, made from the delivered
// data.mdb: a shop open 08:00 to 22:00 every day from 2021 on, about nine
// hundred tickets a day, four lines each from a catalogue of a few hundred
// products, six cashiers in shifts, some discounts and some customers. The
// same count always gives the same file (a fixed random sequence), so the
// first 100,000 tickets of the large archive are the small archive.
#include <QDate>
#include <QString>
#include <QtGlobal>

namespace bench {

// The cached archive of this many tickets, seeded when missing, under
// $TMPDIR/velmora-bench/<schema>/ (keyed by the delivered file's content and
// the seeding's version, so a changed schema seeds anew).
QString cachedArchive(qint64 tickets);

// Adds this many products (names not in the seeded catalogue) to spxx of a
// data.mdb, in one transaction.
void addProducts(const QString &file, int products);

// Texts a cashier types into 销售查询: one day's ticket numbers (a day of
// the archives of 100,000 tickets and more) and one cashier's name.
QString queriedDay();
QString queriedCashier();
// The day 日结 is measured on: the day queriedDay() names.
QDate dayEndDay();
// The month 统计 is narrowed to and 汇总 sums: its first and last day (a
// month of the archives of 100,000 tickets and more).
QDate rangeFirstDay();
QDate rangeLastDay();

} // namespace bench
