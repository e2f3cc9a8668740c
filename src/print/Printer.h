#pragma once
// Where receipts go. The program prints on the printer velmora.ini names
// ([printer], see PrinterSettings.h): the system's default printer through
// CUPS when it names none, or an ESC/POS receipt printer. Tests put a
// printer of their own in its place.
#include "report/Report.h"

#include <QString>
#include <memory>

namespace print {

class Printer {
public:
    virtual ~Printer() = default;
    // Prints the page once and returns when the printer has printed it (for
    // CUPS: its job completed; for an ESC/POS printer that answers: it said
    // so). While it waits, the calling thread goes on
    // handling its events (repaints, timers, input), so a caller that must
    // not run twice guards itself. Throws AppError, with the message of
    // refusal(), when the page did not print; a job that failed or took too
    // long is cancelled first, so it never prints later.
    virtual void print(report::Layout &layout, const report::Data &data, const QString &title) = 0;
};

Printer &printer();
// Puts another printer in place; an empty one brings back the printer
// velmora.ini names.
void setPrinter(std::unique_ptr<Printer> replacement);

// What the cashier is told when a receipt did not print: what went wrong,
// then that the ticket is kept and how to print it again.
QString refusal(const QString &what);

} // namespace print
