#pragma once
// Receipts as tests see them: a paint device that records every text item
// with its position and font, and a printer that records what it was asked
// to print instead of reaching CUPS.
#include "print/Printer.h"

#include <QFont>
#include <QList>
#include <QPaintDevice>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace testing {

// A text as printed: its left and top in millimetres from the painter's
// origin (top = baseline less the font's ascent on the device), its font.
struct PlacedText {
    QString text;
    QPointF mm;
    QFont font;
    qreal baselineMm = 0; // from the painter's origin
};

class RecordingEngine;

class RecordingDevice : public QPaintDevice {
public:
    explicit RecordingDevice(QSizeF sizeMm, qreal dpi = 254);
    ~RecordingDevice() override;
    QPaintEngine *paintEngine() const override;

    // Texts in the order painted; pieces one drawText call split by script
    // (Han, Latin) are joined again.
    QList<PlacedText> texts() const;
    qreal dpi() const { return dpi_; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSizeF sizeMm_;
    qreal dpi_;
    std::unique_ptr<RecordingEngine> engine_;
};

// One print: what the printer got.
struct PrintedPage {
    QString title;
    QSizeF sizeMm;
    QList<PlacedText> texts; // from the top-left corner inside the margins
    QStringList lines() const; // texts on one baseline joined left to right, top to bottom
};

class RecordingPrinter : public print::Printer {
public:
    void print(report::Layout &layout, const report::Data &data, const QString &title) override;

    QList<PrintedPage> pages;
    // Runs inside each print, before the page counts as printed.
    std::function<void()> during;
    // The next print fails with this message (then the printer works again).
    std::optional<QString> failNext;
};

// Types a line into the main window's line boxes and clicks 添加.
void addTicketLine(const QString &name, const QString &price, const QString &quantity,
                   const QString &discount = QStringLiteral("10"));

// Puts a fresh recording printer in place of the default one.
RecordingPrinter &recordPrints();
// The recording printer in place; fails the test when there is none.
RecordingPrinter &printed();

} // namespace testing
