#pragma once
// The system's default printer through libcups. Qt's own CUPS backend does
// not report a refused job, so receipts are submitted here and every refusal
// is an error: no default printer, a stopped queue, a queue rejecting jobs,
// a driver without a custom page of the receipt's size, no job id.
#include "print/Printer.h"

#include <QSizeF>
#include <QString>
#include <optional>
#include <utility>

namespace print::cups {

struct Destination {
    QString name;
    bool stopped = false;
    bool accepting = true;
    QString reasons; // printer-state-reasons, printer-state-message
};

// The default printer as CUPS names it for this user now (LPDEST, PRINTER,
// lpoptions, then the server's default); throws AppError when there is none.
Destination defaultDestination();
// Throws AppError unless the printer is idle or printing and accepts jobs.
void requireReady(const Destination &destination);

// The smallest and largest custom page the printer takes, in millimetres;
// none when its driver has no custom page sizes.
std::optional<std::pair<QSizeF, QSizeF>> customSizeRange(const QString &printer);
// Throws AppError unless the printer takes a custom page of that size: a
// driver without one would shrink the receipt onto its default page.
void requireCustomSize(const QString &printer, QSizeF sizeMm);

// "Custom.<W>x<H>mm"
QString mediaOption(QSizeF sizeMm);
// Submits a PDF as one job on that page size; the job id. Throws AppError
// with CUPS's reason when the job is refused.
int submit(const QString &printer, const QString &pdfPath, QSizeF sizeMm, const QString &title);

class CupsPrinter : public Printer {
public:
    void print(report::Layout &layout, const report::Data &data, const QString &title) override;
};

} // namespace print::cups
