#pragma once
// The system's default printer through libcups. Qt's own CUPS backend does
// not report a refused job, so receipts are submitted here: from memory (no
// file ever holds a receipt with a customer's name), and followed until the
// printer has printed them, since accepted is not printed: paper runs out and
// jams fail jobs later.
//
// Every call to the print service has a short time limit and runs on a
// worker thread; the calling thread goes on handling its events meanwhile. A
// print service that is stuck costs seconds, never the till.
#include "print/Printer.h"

#include <QByteArray>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

namespace print::cups {

struct Timeouts {
    int serviceMs = 5000; // connecting to the print service, and each of its answers
    int jobMs = 30000; // from a job's submission until the printer completed it
};
Timeouts timeouts();
// Tests shorten them.
void setTimeouts(const Timeouts &timeouts);

// A printer-state-reasons keyword in the cashier's words, with or without its
// -error, -warning or -report suffix: "media-empty-error" is "缺纸". A keyword
// without a translation is named after a Chinese lead.
QString reasonText(const QString &keyword);
// Whether a printer reporting the keyword cannot print a receipt now: no
// paper, a jam, offline, a cover open, no connection to the device, or any
// other error.
bool reasonBlocks(const QString &keyword);
// A printer-state-message in the cashier's words: CUPS's usual texts
// translated, any other text (the shop's own reason) as it is.
QString messageText(const QString &message);

using SizeRange = std::pair<QSizeF, QSizeF>; // smallest and largest, millimetres

struct Destination {
    QString name;
    QString uri;
    bool stopped = false;
    bool accepting = true;
    QStringList reasons; // printer-state-reasons, "none" left out
    QString message; // printer-state-message
    std::optional<SizeRange> customSizes; // none: its driver has no custom page sizes
};

// The default printer as CUPS names it for this user now (LPDEST, PRINTER,
// lpoptions, then the server's default), with its state. Throws AppError when
// the print service is not running or does not answer, and when there is no
// default printer or it does not exist.
Destination defaultDestination();
// Throws AppError unless the printer can take a receipt now: not stopped,
// accepting jobs, and no reason that keeps it from printing.
void requireReady(const Destination &destination);
// Throws AppError unless the printer takes a custom page of that size: a
// driver without one would shrink the receipt onto its default page.
void requireCustomSize(const Destination &destination, QSizeF sizeMm);
std::optional<SizeRange> customSizeRange(const QString &printer);

// "Custom.<W>x<H>mm"
QString mediaOption(QSizeF sizeMm);
// Sends a PDF as one job on that page size; its job id. Throws AppError with
// the reason when the job is refused; a job refused halfway is cancelled.
int submit(const QString &printer, const QByteArray &pdf, QSizeF sizeMm, const QString &title);
// Returns when the job completed. Throws AppError when it ended otherwise,
// was held or stopped, when its printer stopped or reported a fault that
// keeps it from printing, or when it did not complete within the job time
// limit; the job is cancelled first, so it never prints later.
void waitForJob(const QString &printer, int job);

// Sends bytes in the printer's own language (application/vnd.cups-raw: no
// filter touches them) to the named queue as one job, and returns when it
// completed. The queue is checked first, and the job followed, as for a
// receipt; throws AppError as requireReady(), submit() and waitForJob() do,
// and when there is no such queue.
void printRaw(const QString &queue, const QByteArray &bytes, const QString &title);

class CupsPrinter : public Printer {
public:
    // The default printer checked, the receipt sent from memory, its job
    // followed until it completed.
    void print(report::Layout &layout, const report::Data &data, const QString &title) override;
};

} // namespace print::cups
