#pragma once
// The archive step of a checkout: the working ticket becomes one row of
// xstj and one row of xsmx per line, and the working ticket is emptied.
//
// A receipt is the proof of a sale, so the sale is archived before its
// receipt goes to the printer, and marked as printing in a table of the
// program's own (dyzt) in the same transaction. When the receipt completes,
// the mark goes; when it fails, the archive is undone and the lines return
// to the working ticket. A program that ends while a receipt prints leaves
// the mark, and the next start asks the cashier what became of it. So no
// receipt ever belongs to a sale that is not archived, and no archived sale
// is lost unseen.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class Connection;
class Query;

namespace archive {

// The table of the sales whose receipts are printing.
inline const QString kMarks = QStringLiteral("dyzt");

// What the main window shows of the sale, as text.
struct Head {
    QString time;     // 时间
    QString cashier;  // 收银员
    QString customer; // 客户
    QString phone;    // 电话
    QString received; // 实收: not archived, kept with the mark for a reprint
    QString change;   // 找零: likewise
};

// How the ticket number is found inside the archive's transaction.
struct Numbering {
    // An administrator's own number: refused when a ticket has it already.
    // Empty: the number of the second `now`, moved on to the next free
    // second while an archived ticket has it.
    QString typed;
    QDateTime now;
};

// An archived sale, as its receipt prints it.
struct Sale {
    QString number;        // 单号
    QString time;          // 时间
    QString cashier;       // 收银员
    QString customer;      // 客户
    QString phone;         // 电话
    QString quantity;      // 数量 total, shown rounded as the totals are
    QString amount;        // 金额 total
    QString afterDiscount; // 折后 total
    QString received;      // 实收, from the mark (not archived)
    QString change;        // 找零, likewise
    int lines = 0;
};

// Makes the program's own tables where a data.mdb from an earlier version
// has none; a file that has them is left alone.
void ensureOwnTables(Connection &connection);

// Archives the working ticket listed by `lines` and marks it as printing,
// all in one transaction of `connection` (the three queries use it): one
// row of xstj through `tickets` with the totals summed from the lines now,
// one row of xsmx per line through `archivedLines`, the lines deleted, the
// mark made. The number follows `numbering`. Either all of it is stored, or
// none: the error is thrown on and the queries show what is stored. Throws
// before writing when a line cannot be summed or a typed number is taken.
Sale archiveForPrinting(Connection &connection, Query &lines, Query &tickets, Query &archivedLines,
                        const Head &head, const Numbering &numbering);

// The receipts of the sale completed: its mark goes.
void markPrinted(Connection &connection, const QString &number);

// The receipt of a marked sale did not print: its archived rows go, its
// lines return to the working ticket in their order (with the sale's number,
// time, customer and phone), and the mark goes, in one transaction. The
// three queries are read again.
void undoArchive(Connection &connection, Query &lines, Query &tickets, Query &archivedLines,
                 const QString &number);

// The sales still marked as printing, oldest first.
QList<Sale> markedSales(Connection &connection);
// An archived sale read back by its number (received and change from its
// mark, empty without one); throws when no ticket has that number.
Sale archivedSale(Connection &connection, const QString &number);

// Once no ticket is archived, no archived line is kept either: they are all
// deleted, in one transaction that holds out any archiving meanwhile (a
// ticket another till archives then keeps its lines). Returns whether they
// were deleted.
bool clearLinesOfNoTicket(Connection &connection);

// The refusal of a typed number that a ticket has already.
QString numberTaken(const QString &number);

} // namespace archive
