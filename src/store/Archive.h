#pragma once
// The archive step of a checkout: the working ticket becomes one row of
// xstj and one row of xsmx per line, and the working ticket is emptied.
#include <QString>

class Connection;
class Query;

namespace archive {

// The ticket's head as the main window shows it at checkout, all text.
struct Ticket {
    QString number;        // 单号
    QString time;          // 时间
    QString quantity;      // 数量 total, as its label shows it
    QString amount;        // 金额 total
    QString afterDiscount; // 折后 total
    QString cashier;       // 收银员
    QString customer;      // 客户
    QString phone;         // 电话
};

// Appends the ticket to xstj through `tickets`, every row of `lines` (the
// working ticket, in its order) to xsmx through `archivedLines`, and deletes
// the rows of `lines`: all in one transaction of `connection`, which the
// three queries must use. Either all of it is stored, or, when any step
// fails, none of it: the transaction is rolled back, the three queries are
// read again so that they show what is stored, and the error is thrown on.
void archiveTicket(Connection &connection, Query &lines, Query &tickets, Query &archivedLines,
                   const Ticket &ticket);

} // namespace archive
