#pragma once
// A small banded report engine: a title band printed once, a detail band per
// row of a data set, a summary band once, on custom paper. It paints on any
// QPainter, so one layout fills the preview window, the PDF handed to the
// printer, and the images and recording devices of the tests.
//
// Positions within a band are in millimetres; band heights and the page
// length are kept in screen pixels (1/96 inch), as the program sets them.
//
// Every text stays inside its room and inside what the print head reaches:
// a text too wide is drawn smaller, cut short or carried onto further lines
// of its band, as its field says. Texts are measured at the PDF's
// resolution, so the page is laid out alike on every device.
#include <QFont>
#include <QHash>
#include <QMarginsF>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class QPainter;

namespace report {

constexpr qreal kScreenDpi = 96.0;
inline constexpr qreal pxToMm(qreal px) { return px * 25.4 / kScreenDpi; }

// Rows of a data set as text, columns by name.
class Table {
public:
    Table() = default;
    explicit Table(QStringList columns) : columns_(std::move(columns)) {}
    void addRow(QStringList values) { rows_.append(std::move(values)); }
    int rowCount() const { return static_cast<int>(rows_.size()); }
    const QStringList &columns() const { return columns_; }
    // Empty for a column or row that is not there.
    QString text(int row, const QString &column) const;

private:
    QStringList columns_;
    QVector<QStringList> rows_;
};

// The data sets a layout reads, by name.
using Data = QHash<QString, Table>;

enum class FieldKind {
    Caption,   // a fixed text
    Value,     // a text the program sets; its placeholder until then
    DataField, // a column of a data set's row
    Separator, // a fixed text of dashes, in the separator font
};

// What a text too wide for its room becomes.
enum class Fit {
    Shrink,    // narrower and smaller text, as small as it takes: nothing of it is lost
    ShrinkCut, // narrower and smaller text down to the layout's smallest size, then cut short with "…"
    Wrap,      // further lines below the first; the band grows by them
};

struct Field {
    FieldKind kind = FieldKind::Caption;
    QString text;    // caption or separator text; a value field's placeholder
    QString name;    // value field: its name; data field: its column
    QString dataSet; // data field: the data set it reads
    QPointF at;      // left and top, mm from the band's left and top edges
    // Data field: rewrites its text just before it prints.
    std::function<QString(const QString &)> onPrint;
    // Where the field's room ends, mm from the band's left edge; 0 for the
    // right edge of the print. A separator is cut at that edge instead.
    qreal rightMm = 0;
    Fit fit = Fit::Shrink;
};

// A multi-line text area of fixed height: one given line per slot, no
// wrapping of its own; what does not fit is not printed.
struct TextBlock {
    QPointF at;               // mm
    qreal widthMm = 0;
    qreal heightPx = 0;
    qreal lineHeightPx = 17;
    QStringList lines;
};

struct Band {
    qreal heightPx = 0;
    QVector<Field> fields;
    std::optional<TextBlock> block;
    // Runs just before the band prints (never for a view on screen).
    std::function<void(Band &)> beforePrint;

    // How far down the band reaches: its height, or further where its
    // block ends lower.
    qreal extentMm() const;
};

struct Layout {
    qreal paperWidthPx = 0;
    qreal pageLengthPx = 0;
    QMarginsF marginsMm{5, 10, 5, 10}; // left, top, right, bottom
    // The width the print head reaches, centred on the paper; 0 when it
    // reaches the whole paper.
    qreal printableWidthMm = 0;
    // A text too wide for its room is first drawn narrower, down to this
    // per cent of its width, then smaller; one that may be cut short is
    // drawn no smaller than smallestPointSize.
    int narrowestStretch = 70;
    qreal smallestPointSize = 6;
    QFont fieldFont;
    QFont separatorFont;
    QString detailDataSet; // the detail band repeats for each of its rows
    Band title;
    Band detail;
    Band summary;
    QHash<QString, QString> values; // texts of the value fields set so far

    void setValue(const QString &name, const QString &text) { values.insert(name, text); }
    // A value field's text: what was set, else its placeholder.
    QString valueText(const Field &field) const;
    Field *findValue(const QString &name);
    // Where the print ends on the right, mm from the left margin: the right
    // margin, or the edge of the printable width where that lies further in.
    qreal rightEdgeMm() const;
    // Where the print begins on the left, mm from the left margin (negative
    // where the print head reaches into the margin).
    qreal leftEdgeMm() const;
};

struct PaintOptions {
    // Printing runs the hooks; a view on screen shows the layout as it
    // stands, data fields by their column names, one detail band, and band
    // edges outlined.
    bool printing = true;
    // Told every text as it is drawn, with the font it is drawn in.
    std::function<void(const QFont &, const QString &)> onText;
};

// The length the bands need, both margins included: a detail band per row
// of the data, each grown by the further lines its texts were carried onto.
qreal neededLengthMm(const Layout &layout, const Data &data, const PaintOptions &options = {});
// The page: the paper width and the page length set, grown to what the
// bands need so that no line is cut off.
QSizeF pageSizeMm(const Layout &layout, const Data &data, const PaintOptions &options = {});
int detailRows(const Layout &layout, const Data &data);

// Paints the bands from the painter's origin, which is the top-left corner
// inside the margins, in the units of the painter's device.
void paintBands(QPainter &painter, Layout &layout, const Data &data, const PaintOptions &options = {});
// Paints the whole page (paper and margins) from the painter's origin, on a
// device without a page layout of its own (an image, the screen).
void paintPage(QPainter &painter, Layout &layout, const Data &data, const PaintOptions &options = {});

} // namespace report
