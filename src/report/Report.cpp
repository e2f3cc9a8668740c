#include "report/Report.h"

#include "report/TextWrap.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <numeric>
#include <utility>

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

qreal Layout::rightEdgeMm() const
{
    const qreal paper = pxToMm(paperWidthPx);
    const qreal inside = paper - marginsMm.left() - marginsMm.right();
    if (printableWidthMm <= 0)
        return inside;
    return std::min(inside, (paper + printableWidthMm) / 2 - marginsMm.left());
}

qreal Layout::leftEdgeMm() const
{
    if (printableWidthMm <= 0)
        return -marginsMm.left();
    return (pxToMm(paperWidthPx) - printableWidthMm) / 2 - marginsMm.left();
}

int detailRows(const Layout &layout, const Data &data)
{
    return data.value(layout.detailDataSet).rowCount();
}

namespace {

constexpr qreal kMmPerPoint = 25.4 / 72;
// A text that must stay whole is drawn as small as it takes, but at some size.
constexpr qreal kAnySize = 0.1;
// Lines a text is carried onto lie this many ems apart.
constexpr qreal kWrappedLineEms = 1.25;

// One text as it will be drawn: where its field places it, the font that
// field sets the baseline with, and the font it is drawn in (smaller where
// the text did not fit).
struct Piece {
    QString text;
    QPointF mm;      // left and top of the field's text cell, from the band's edges
    QFont cellFont;  // the layout's font: its ascent below the top is the baseline
    QFont font;      // the font the text is drawn in
    bool cut = false; // cut at the print's edges rather than fitted
};

// A band laid out for one row: its texts, and how much longer the texts
// carried onto further lines make it.
struct BandPlan {
    QVector<Piece> pieces;
    qreal growMm = 0;
    // Each text carried onto further lines: its field's top, and the mm
    // those lines add.
    QVector<QPair<qreal, qreal>> wraps;
    // How far what stands at this top in the design moves down.
    qreal shiftBelow(qreal top) const
    {
        qreal shift = 0;
        for (const auto &w : wraps)
            if (top > w.first + 1e-6)
                shift += w.second;
        return shift;
    }
};

QFont sized(QFont font, qreal points)
{
    font.setPointSizeF(points);
    return font;
}

// The font in which the text fits its room: the font itself where it fits;
// else narrower, down to the layout's narrowest, which keeps the height
// that makes digits and Han readable at 203 dpi; else smaller as well, but
// no smaller than `smallest` points.
QFont fitting(const Layout &layout, const QFont &font, const QString &text, qreal roomMm, qreal smallest)
{
    const qreal width = textWidthMm(font, text);
    if (width <= roomMm)
        return font;
    QFont narrow = font;
    int stretch = std::max(layout.narrowestStretch, static_cast<int>(100 * roomMm / width));
    narrow.setStretch(stretch);
    // Widths do not scale quite in proportion (advances are rounded).
    while (stretch > layout.narrowestStretch && textWidthMm(narrow, text) > roomMm)
        narrow.setStretch(--stretch);
    const qreal narrowWidth = textWidthMm(narrow, text);
    if (narrowWidth <= roomMm)
        return narrow;
    qreal points = std::max(font.pointSizeF() * roomMm / narrowWidth, smallest);
    while (points * 0.98 >= smallest && textWidthMm(sized(narrow, points), text) > roomMm)
        points *= 0.98;
    return sized(narrow, std::max(points, smallest));
}

QString fieldText(const Layout &layout, const Field &f, const Data &data, int row, const PaintOptions &options)
{
    switch (f.kind) {
    case FieldKind::Caption:
    case FieldKind::Separator:
        return f.text;
    case FieldKind::Value:
        return layout.valueText(f);
    case FieldKind::DataField: {
        if (!options.printing)
            return f.name;
        const int r = f.dataSet == layout.detailDataSet ? row : 0;
        const QString text = data.value(f.dataSet).text(r, f.name);
        return f.onPrint ? f.onPrint(text) : text;
    }
    }
    return {};
}

// Appends the field's text, kept inside its room as the field says.
void place(BandPlan &plan, const Layout &layout, const Field &f, const QString &text)
{
    if (text.isEmpty())
        return;
    const QFont &font = f.kind == FieldKind::Separator ? layout.separatorFont : layout.fieldFont;
    const QPointF at(f.at.x(), f.at.y() + plan.shiftBelow(f.at.y()));
    if (f.kind == FieldKind::Separator) {
        plan.pieces << Piece{text, at, font, font, true};
        return;
    }
    const qreal edge = layout.rightEdgeMm();
    const qreal right = f.rightMm > 0 ? std::min(f.rightMm, edge) : edge;
    const qreal room = std::max(right - at.x(), 0.0);
    if (textWidthMm(font, text) <= room) {
        plan.pieces << Piece{text, at, font, font, false};
        return;
    }
    switch (f.fit) {
    case Fit::Shrink:
        plan.pieces << Piece{text, at, font, fitting(layout, font, text, room, kAnySize), false};
        return;
    case Fit::ShrinkCut: {
        const QFont smaller =
            fitting(layout, font, text, room, std::min(layout.smallestPointSize, font.pointSizeF()));
        QString shown = text;
        if (textWidthMm(smaller, shown) > room) {
            // Cut where the text still fits with the ellipsis after it.
            const QString ellipsis(QChar(0x2026));
            qsizetype keep = 0;
            for (qsizetype lo = 0, hi = text.size(); lo <= hi;) {
                const qsizetype mid = (lo + hi) / 2;
                if (textWidthMm(smaller, text.left(mid) + ellipsis) <= room) {
                    keep = mid;
                    lo = mid + 1;
                } else {
                    hi = mid - 1;
                }
            }
            // Never split a character made of two code units.
            if (keep > 0 && text.at(keep - 1).isHighSurrogate())
                --keep;
            shown = text.left(keep) + ellipsis;
        }
        plan.pieces << Piece{shown, at, font, smaller, false};
        return;
    }
    case Fit::Wrap: {
        const QStringList lines = wrapLinesMm(text, font, room);
        const qreal step = font.pointSizeF() * kMmPerPoint * kWrappedLineEms;
        for (int i = 0; i < lines.size(); ++i) {
            // A line the break could not make narrow enough is drawn smaller.
            const QFont lineFont = fitting(layout, font, lines[i], room, kAnySize);
            plan.pieces << Piece{lines[i], QPointF(at.x(), at.y() + i * step), font, lineFont, false};
        }
        if (lines.size() > 1) {
            const qreal added = (lines.size() - 1) * step;
            plan.wraps << qMakePair(f.at.y(), added);
            plan.growMm += added;
        }
        return;
    }
    }
}

BandPlan planBand(const Layout &layout, const Band &band, const Data &data, int row, const PaintOptions &options)
{
    // Fields are laid out from the top down, so that a text carried onto
    // further lines moves those below it, and drawn in their own order.
    const qsizetype n = band.fields.size();
    QVector<qsizetype> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&band](qsizetype a, qsizetype b) { return band.fields[a].at.y() < band.fields[b].at.y(); });
    BandPlan plan;
    QVector<QVector<Piece>> pieces(n);
    for (qsizetype i : order) {
        const Field &f = band.fields[i];
        place(plan, layout, f, fieldText(layout, f, data, row, options));
        pieces[i] = std::exchange(plan.pieces, {});
    }
    for (const QVector<Piece> &p : pieces)
        plan.pieces << p;
    return plan;
}

qreal bandLengthMm(const Layout &layout, const Band &band, const Data &data, int row, const PaintOptions &options)
{
    return band.extentMm() + planBand(layout, band, data, row, options).growMm;
}

// Millimetres to the painter's device units. Fonts keep their point sizes:
// the painter sizes them for the device, so nothing is scaled twice.
struct Units {
    qreal x;
    qreal y;
    explicit Units(const QPaintDevice *device)
        : x(device->logicalDpiX() / 25.4), y(device->logicalDpiY() / 25.4) {}
};

// A text's left and top are those of its cell in the cell font: the
// baseline lies one ascent of that font, as measured for this device, below
// the top, so a text drawn smaller keeps the line of its neighbours.
void drawText(QPainter &painter, const Units &u, const QFont &cellFont, const QFont &font, QPointF mm,
              const QString &text, const PaintOptions &options)
{
    if (text.isEmpty())
        return;
    painter.setFont(font);
    const QFontMetricsF metrics(cellFont, painter.device());
    painter.drawText(QPointF(mm.x() * u.x, mm.y() * u.y + metrics.ascent()), text);
    if (options.onText)
        options.onText(font, text);
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

// Paints the band for one row and returns its length.
qreal paintBand(QPainter &painter, const Units &u, Layout &layout, Band &band, qreal topMm, const Data &data,
                int row, const PaintOptions &options)
{
    if (options.printing && band.beforePrint)
        band.beforePrint(band);
    const BandPlan plan = planBand(layout, band, data, row, options);
    const qreal widthMm = pxToMm(layout.paperWidthPx) - layout.marginsMm.left() - layout.marginsMm.right();
    if (!options.printing)
        outline(painter, QRectF(0, topMm * u.y, widthMm * u.x, (pxToMm(band.heightPx) + plan.growMm) * u.y));
    for (const Piece &p : plan.pieces) {
        const QPointF at(p.mm.x(), topMm + p.mm.y());
        if (!p.cut) {
            drawText(painter, u, p.cellFont, p.font, at, p.text, options);
            continue;
        }
        // A rule longer than the print reaches is cut at its edges.
        painter.save();
        const qreal left = layout.leftEdgeMm(), right = layout.rightEdgeMm();
        painter.setClipRect(QRectF(left * u.x, (at.y() - 10) * u.y, (right - left) * u.x, 30 * u.y),
                            Qt::IntersectClip);
        drawText(painter, u, p.cellFont, p.font, at, p.text, options);
        painter.restore();
    }
    if (band.block) {
        const TextBlock &b = *band.block;
        const qreal blockTop = topMm + b.at.y() + plan.shiftBelow(b.at.y());
        const QRectF area(b.at.x() * u.x, blockTop * u.y, b.widthMm * u.x, pxToMm(b.heightPx) * u.y);
        if (!options.printing)
            outline(painter, area);
        painter.save();
        painter.setClipRect(area, Qt::IntersectClip);
        for (int i = 0; i < b.lines.size(); ++i) {
            // A line prints only where its whole slot lies inside the block.
            if ((i + 1) * b.lineHeightPx > b.heightPx + 1e-6)
                break;
            drawText(painter, u, layout.fieldFont, layout.fieldFont,
                     QPointF(b.at.x(), blockTop + pxToMm(i * b.lineHeightPx)), b.lines[i], options);
        }
        painter.restore();
    }
    return band.extentMm() + plan.growMm;
}

} // namespace

qreal neededLengthMm(const Layout &layout, const Data &data, const PaintOptions &options)
{
    // A view on screen shows the detail band once, as designed.
    const int rows = options.printing ? detailRows(layout, data) : 1;
    qreal length = layout.marginsMm.top() + bandLengthMm(layout, layout.title, data, 0, options);
    for (int row = 0; row < rows; ++row)
        length += bandLengthMm(layout, layout.detail, data, row, options);
    return length + bandLengthMm(layout, layout.summary, data, 0, options) + layout.marginsMm.bottom();
}

QSizeF pageSizeMm(const Layout &layout, const Data &data, const PaintOptions &options)
{
    return {pxToMm(layout.paperWidthPx), std::max(pxToMm(layout.pageLengthPx), neededLengthMm(layout, data, options))};
}

void paintBands(QPainter &painter, Layout &layout, const Data &data, const PaintOptions &options)
{
    const Units u(painter.device());
    painter.save();
    painter.setPen(QPen(Qt::black));
    painter.setBrush(Qt::NoBrush);
    qreal top = paintBand(painter, u, layout, layout.title, 0, data, 0, options);
    const int rows = options.printing ? detailRows(layout, data) : 1;
    for (int row = 0; row < rows; ++row)
        top += paintBand(painter, u, layout, layout.detail, top, data, row, options);
    paintBand(painter, u, layout, layout.summary, top, data, 0, options);
    painter.restore();
}

void paintPage(QPainter &painter, Layout &layout, const Data &data, const PaintOptions &options)
{
    const Units u(painter.device());
    const QSizeF page = pageSizeMm(layout, data, options);
    painter.save();
    painter.fillRect(QRectF(0, 0, page.width() * u.x, page.height() * u.y), Qt::white);
    painter.translate(layout.marginsMm.left() * u.x, layout.marginsMm.top() * u.y);
    paintBands(painter, layout, data, options);
    painter.restore();
}

} // namespace report
