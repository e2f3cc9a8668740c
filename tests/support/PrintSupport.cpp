#include "support/PrintSupport.h"

#include "support/Cashier.h"

#include "base/AppError.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QTest>
#include <QTextItem>
#include <algorithm>

namespace testing {

class RecordingEngine : public QPaintEngine {
public:
    explicit RecordingEngine(const RecordingDevice *device) : QPaintEngine(AllFeatures), device_(device) {}

    struct Item {
        QString text;
        QPointF baseline; // device units
        qreal advance;    // device units
        QFont font;
    };
    QList<Item> items;

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & QPaintEngine::DirtyTransform)
            transform_ = state.transform();
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath &) override {}
    void drawRects(const QRectF *, int) override {}
    void drawLines(const QLineF *, int) override {}
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        const QFont font = item.font();
        const QFontMetricsF metrics(font, const_cast<RecordingDevice *>(device_));
        items << Item{item.text(), transform_.map(p), metrics.horizontalAdvance(item.text()), font};
    }

private:
    const RecordingDevice *device_;
    QTransform transform_;
};

RecordingDevice::RecordingDevice(QSizeF sizeMm, qreal dpi)
    : sizeMm_(sizeMm), dpi_(dpi), engine_(std::make_unique<RecordingEngine>(this))
{
}

RecordingDevice::~RecordingDevice() = default;

QPaintEngine *RecordingDevice::paintEngine() const
{
    return engine_.get();
}

int RecordingDevice::metric(PaintDeviceMetric m) const
{
    switch (m) {
    case PdmWidth: return qRound(sizeMm_.width() / 25.4 * dpi_);
    case PdmHeight: return qRound(sizeMm_.height() / 25.4 * dpi_);
    case PdmWidthMM: return qRound(sizeMm_.width());
    case PdmHeightMM: return qRound(sizeMm_.height());
    case PdmNumColors: return 2;
    case PdmDepth: return 1;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY: return qRound(dpi_);
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return qRound(devicePixelRatioFScale());
    }
    return 0;
}

QList<PlacedText> RecordingDevice::texts() const
{
    const qreal perMm = dpi_ / 25.4;
    QList<PlacedText> out;
    QPointF nextPen;
    for (const RecordingEngine::Item &item : engine_->items) {
        const bool continues = !out.isEmpty() && std::abs(item.baseline.y() - nextPen.y()) < 0.01
            && std::abs(item.baseline.x() - nextPen.x()) < 0.5;
        if (continues) {
            out.last().text += item.text;
        } else {
            const QFontMetricsF metrics(item.font, const_cast<RecordingDevice *>(this));
            out << PlacedText{item.text,
                              QPointF(item.baseline.x() / perMm, (item.baseline.y() - metrics.ascent()) / perMm),
                              item.font, item.baseline.y() / perMm};
        }
        nextPen = item.baseline + QPointF(item.advance, 0);
    }
    return out;
}

QStringList PrintedPage::lines() const
{
    QList<PlacedText> sorted = texts;
    std::stable_sort(sorted.begin(), sorted.end(), [](const PlacedText &a, const PlacedText &b) {
        if (std::abs(a.mm.y() - b.mm.y()) > 0.05)
            return a.mm.y() < b.mm.y();
        return a.mm.x() < b.mm.x();
    });
    QStringList out;
    qreal lastTop = -1e9;
    for (const PlacedText &t : sorted) {
        if (!out.isEmpty() && std::abs(t.mm.y() - lastTop) <= 0.05)
            out.last() += QLatin1Char(' ') + t.text;
        else
            out << t.text;
        lastTop = t.mm.y();
    }
    return out;
}

void RecordingPrinter::print(report::Layout &layout, const report::Data &data, const QString &title)
{
    if (during)
        during();
    if (failNext) {
        const QString message = *failNext;
        failNext.reset();
        throw AppError(message);
    }
    PrintedPage page;
    page.title = title;
    page.sizeMm = report::pageSizeMm(layout, data);
    RecordingDevice device(page.sizeMm);
    {
        QPainter painter(&device);
        report::paintBands(painter, layout, data);
    }
    page.texts = device.texts();
    pages << page;
}

void addTicketLine(const QString &name, const QString &price, const QString &quantity, const QString &discount)
{
    cashier::addLine(name, price, quantity, discount);
}

RecordingPrinter &recordPrints()
{
    auto printer = std::make_unique<RecordingPrinter>();
    RecordingPrinter &ref = *printer;
    print::setPrinter(std::move(printer));
    return ref;
}

RecordingPrinter &printed()
{
    auto *p = dynamic_cast<RecordingPrinter *>(&print::printer());
    if (!p)
        qFatal("no recording printer in place");
    return *p;
}

} // namespace testing
