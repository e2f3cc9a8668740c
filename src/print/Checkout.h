#pragma once
// Ending a sale: 打印(F5) and the F5 key print the working ticket, archive it
// and start the next one; 预览 shows the receipt the options select.
//
// The checkout knows no window: it takes the selling window's state as a
// value (a Till, made where the windows are wired together) and tells that
// window what to show through the Till's callbacks.
#include "store/Archive.h"
#include "store/DayEnd.h"

#include <QString>
#include <functional>

class Connection;
class Query;
class QWidget;

namespace print {

struct Till {
    QWidget *owner = nullptr; // the window whose messages these are
    // The selling window's connection and its queries: the working ticket's
    // lines, the archived tickets and the archived lines.
    Connection *connection = nullptr;
    Query *lines = nullptr;
    Query *tickets = nullptr;
    Query *archivedLines = nullptr;
    archive::Head head;      // time, cashier, customer, phone, received, change
    QString typedNumber;     // a number typed into the box; empty: the program's own
    QString paper;           // the paper box's text
    QString copies;          // the copies box's text
    bool customerOption = false;
    bool phoneOption = false;
    QString remark;          // the remark as the window holds it

    // What the window shows as the sale goes on.
    std::function<void(const archive::Sale &)> showArchived; // its number and totals, as archived
    std::function<void(bool)> showPrinting;                 // "正在打印…" while a receipt prints
    // The sale is done: the next ticket, its number shown after `last`.
    std::function<void(const QString &last)> startNextTicket;
    // A sale undone at start (作废): its lines are the working ticket again.
    std::function<void(const archive::Sale &)> showRestored;
    // The window's reconnection (as 添加 makes it).
    std::function<void()> reconnect;
};

// The checkout, in its steps. Not re-entrant: a trigger that arrives while a
// checkout runs does nothing. Every setting is checked before anything is
// archived; the sale is archived and marked as printing, printed, and the
// mark cleared; a print that fails undoes the archive.
void checkout(const Till &till);
bool checkoutRunning();

// Sales archived while their receipt printed when the program last ended
// (killed, a power cut): each is shown to the cashier, who prints it again
// (重打), undoes it (作废: the lines return to the working ticket) or leaves
// it for the next start. Run once somebody logged in.
void resolveMarkedSales(const Till &till);

// 重打: the archived ticket of that number printed once more, in the paper
// width and layout the till is set to, marked "重打" under the shop name;
// 实收 and 找零, which the archive does not keep, print as "—". Nothing is
// archived or changed. Throws, saying why, when it did not print.
void reprint(const Till &till, const QString &number);

// 日结 of a day printed once on the receipt printer, in the till's paper
// width, through the same printer and refusals as a sale.
void printDayEnd(const Till &till, const dayend::Day &day);

// Selects the options' page in both receipt windows and shows the window of
// the paper width, modally; any other paper text shows nothing.
void preview(const Till &till);

} // namespace print
