#include "report/Report.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <algorithm>

namespace report {

QString Table::text(int row, const QString &column) const
{
    const qsizetype c = columns_.indexOf(column);
    if (c < 0 || row < 0 || row >= rows_.size())
        return {};
    return rows_[row].value(c);
}

qreal Band::extentMm() const
{
    qreal extent = pxToMm(heightPx);
    if (block)
        extent = std::max(extent, block->at.y() + pxToMm(block->heightPx));
    return extent;
}

QString Layout::valueText(const Field &field) const
{
    const auto it = values.constFind(field.name);
    return it == values.constEnd() ? field.text : it.value();
}

Field *Layout::findValue(const QString &name)
{
    for (Band *band : {&title, &detail, &summary}) {
        for (Field &f : band->fields) {
            if (f.kind == FieldKind::Value && f.name == name)
                return &f;
        }
    }
    return nullptr;
}

qreal neededLengthMm(const Layout &layout, int rows)
{
    return layout.marginsMm.top() + layout.title.extentMm() + rows * layout.detail.extentMm()
        + layout.summary.extentMm() + layout.marginsMm.bottom();
}

QSizeF pageSizeMm(const Layout &layout, int rows)
{
    return {pxToMm(layout.paperWidthPx), std::max(pxToMm(layout.pageLengthPx), neededLengthMm(layout, rows))};
}

int detailRows(const Layout &layout, const Data &data)
{
    return data.value(layout.detailDataSet).rowCount();
}

namespace {

// Millimetres to the painter's device units. Fonts keep their point sizes:
// the painter sizes them for the device, so nothing is scaled twice.
struct Units {
    qreal x;
    qreal y;
    explicit Units(const QPaintDevice *device)
        : x(device->logicalDpiX() / 25.4), y(device->logicalDpiY() / 25.4) {}
};

// A field's left and top are those of its text cell: the baseline lies one
// ascent of the font, as measured for this device, below the top.
void drawText(QPainter &painter, const Units &u, const QFont &font, QPointF mm, const QString &text)
{
    if (text.isEmpty())
        return;
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    painter.drawText(QPointF(mm.x() * u.x, mm.y() * u.y + metrics.ascent()), text);
}

void outline(QPainter &painter, const QRectF &rect)
{
    painter.save();
    QPen pen(QColor(160, 160, 160));
    pen.setStyle(Qt::DotLine);
    pen.setWidth(0);
    painter.setPen(pen);
    painter.drawRect(rect);
    painter.restore();
}

void paintBand(QPainter &painter, const Units &u, Layout &layout, Band &band, qreal topMm, const Data &data,
               int row, const PaintOptions &options)
{
    if (options.printing && band.beforePrint)
        band.beforePrint(band);
    const qreal widthMm = pxToMm(layout.paperWidthPx) - layout.marginsMm.left() - layout.marginsMm.right();
    if (!options.printing)
        outline(painter, QRectF(0, topMm * u.y, widthMm * u.x, pxToMm(band.heightPx) * u.y));
    for (const Field &f : band.fields) {
        const QPointF at(f.at.x(), topMm + f.at.y());
        switch (f.kind) {
        case FieldKind::Caption:
            drawText(painter, u, layout.fieldFont, at, f.text);
            break;
        case FieldKind::Separator:
            drawText(painter, u, layout.separatorFont, at, f.text);
            break;
        case FieldKind::Value:
            drawText(painter, u, layout.fieldFont, at, layout.valueText(f));
            break;
        case FieldKind::DataField: {
            if (!options.printing) {
                drawText(painter, u, layout.fieldFont, at, f.name);
                break;
            }
            const int r = f.dataSet == layout.detailDataSet ? row : 0;
            QString text = data.value(f.dataSet).text(r, f.name);
            if (f.onPrint)
                text = f.onPrint(text);
            drawText(painter, u, layout.fieldFont, at, text);
            break;
        }
        }
    }
    if (band.block) {
        const TextBlock &b = *band.block;
        const QRectF area(b.at.x() * u.x, (topMm + b.at.y()) * u.y, b.widthMm * u.x, pxToMm(b.heightPx) * u.y);
        if (!options.printing)
            outline(painter, area);
        painter.save();
        painter.setClipRect(area, Qt::IntersectClip);
        for (int i = 0; i < b.lines.size(); ++i) {
            // A line prints only where its whole slot lies inside the block.
            if ((i + 1) * b.lineHeightPx > b.heightPx + 1e-6)
                break;
            drawText(painter, u, layout.fieldFont, QPointF(b.at.x(), topMm + b.at.y() + pxToMm(i * b.lineHeightPx)),
                     b.lines[i]);
        }
        painter.restore();
    }
}

} // namespace

void paintBands(QPainter &painter, Layout &layout, const Data &data, const PaintOptions &options)
{
    const Units u(painter.device());
    painter.save();
    painter.setPen(QPen(Qt::black));
    painter.setBrush(Qt::NoBrush);
    qreal top = 0;
    paintBand(painter, u, layout, layout.title, top, data, 0, options);
    top += layout.title.extentMm();
    // A view on screen shows the detail band once, as designed.
    const int rows = options.printing ? detailRows(layout, data) : 1;
    for (int row = 0; row < rows; ++row) {
        paintBand(painter, u, layout, layout.detail, top, data, row, options);
        top += layout.detail.extentMm();
    }
    paintBand(painter, u, layout, layout.summary, top, data, 0, options);
    painter.restore();
}

void paintPage(QPainter &painter, Layout &layout, const Data &data, const PaintOptions &options)
{
    const Units u(painter.device());
    const QSizeF page = pageSizeMm(layout, options.printing ? detailRows(layout, data) : 1);
    painter.save();
    painter.fillRect(QRectF(0, 0, page.width() * u.x, page.height() * u.y), Qt::white);
    painter.translate(layout.marginsMm.left() * u.x, layout.marginsMm.top() * u.y);
    paintBands(painter, layout, data, options);
    painter.restore();
}

} // namespace report
