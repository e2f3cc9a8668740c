#include "print/DayEndReport.h"

#include "report/Faces.h"
#include "report/TextWrap.h"

namespace dayendprint {

namespace {

using report::Field;
using report::FieldKind;
using report::Fit;

// Where the columns of a block stand, mm from the band's left edge.
struct Columns {
    qreal caption1, value1, caption2, value2, separatorLeft;
    int dashes;
    qreal pointSize;
};

Columns columnsOf(receipt::Paper paper)
{
    if (paper == receipt::Paper::Mm58)
        return {0.0, 9.0, 24.0, 33.0, 0.0, 42, 8};
    return {1.9, 12.0, 36.0, 46.0, 1.3, 59, 9};
}

constexpr qreal kRowMm = 4.5; // 17 px, a receipt's remark line
constexpr qreal kBlockPx = 5 * 17 + 6;

Field caption(const QString &text, qreal left, qreal top)
{
    return {FieldKind::Caption, text, {}, {}, {left, top}, {}};
}

// A text of the block: a column of the cashiers' rows, or a value field of
// the total (named after the same column).
Field text(bool total, const QString &column, qreal left, qreal top, qreal right, Fit fit = Fit::Shrink)
{
    if (total)
        return {FieldKind::Value, {}, column, {}, {left, top}, {}, right, fit};
    return {FieldKind::DataField, {}, column, kCashiers, {left, top}, {}, right, fit};
}

// The columns of a block; the total's value fields carry the same names.
const QString cLabel = QStringLiteral("label");
const QString cTickets = QStringLiteral("tickets");
const QString cQuantity = QStringLiteral("quantity");
const QString cAmount = QStringLiteral("amount");
const QString cAfterDiscount = QStringLiteral("afterDiscount");
const QString cFirstNumber = QStringLiteral("firstNumber");
const QString cFirstTime = QStringLiteral("firstTime");
const QString cLastNumber = QStringLiteral("lastNumber");
const QString cLastTime = QStringLiteral("lastTime");

QVector<Field> block(const Columns &c, bool total, qreal top)
{
    const qreal gap = 1.0; // clear room before the next column
    QVector<Field> f;
    f << text(total, cLabel, c.caption1, top, 0, Fit::ShrinkCut);
    top += kRowMm;
    f << caption(QStringLiteral("单数："), c.caption1, top) << text(total, cTickets, c.value1, top, c.caption2 - gap)
      << caption(QStringLiteral("数量："), c.caption2, top) << text(total, cQuantity, c.value2, top, 0);
    top += kRowMm;
    f << caption(QStringLiteral("金额："), c.caption1, top) << text(total, cAmount, c.value1, top, c.caption2 - gap)
      << caption(QStringLiteral("折后："), c.caption2, top) << text(total, cAfterDiscount, c.value2, top, 0);
    top += kRowMm;
    f << caption(QStringLiteral("首单："), c.caption1, top)
      << text(total, cFirstNumber, c.value1, top, c.value2 - gap) << text(total, cFirstTime, c.value2, top, 0);
    top += kRowMm;
    f << caption(QStringLiteral("末单："), c.caption1, top)
      << text(total, cLastNumber, c.value1, top, c.value2 - gap) << text(total, cLastTime, c.value2, top, 0);
    return f;
}

QStringList rowOf(const QString &label, const dayend::Figures &f, const QDate &day)
{
    return {label,
            QString::number(f.tickets),
            dayend::sumText(f.quantity),
            dayend::sumText(f.amount),
            dayend::sumText(f.afterDiscount),
            f.firstNumber,
            clockOf(day, f.firstTime),
            f.lastNumber,
            clockOf(day, f.lastTime)};
}

} // namespace

QString clockOf(const QDate &day, const QString &time)
{
    const QString prefix = day.toString(QStringLiteral("yyyy-MM-dd "));
    return time.startsWith(prefix) ? time.mid(prefix.size()) : time;
}

report::Layout design(receipt::Paper paper)
{
    const Columns c = columnsOf(paper);
    const QString rule(c.dashes, QLatin1Char('-'));
    report::Layout l;
    // The paper and what the print head reaches, as the receipts of that width.
    const report::Layout receipt = receipt::design(paper, 1);
    l.paperWidthPx = receipt.paperWidthPx;
    l.printableWidthMm = receipt.printableWidthMm;
    l.smallestPointSize = receipt.smallestPointSize;
    l.pageLengthPx = 0; // as long as its bands
    l.fieldFont = report::faces::field(c.pointSize);
    l.separatorFont = report::faces::separator();
    l.detailDataSet = kCashiers;

    // The day and the printing time stand in one column, after the longer caption.
    const QString printedCaption = QStringLiteral("打印时间：");
    const qreal titleValues = c.caption1 + report::textWidthMm(l.fieldFont, printedCaption) + 1.5;
    l.title.heightPx = 4 * 17 + 8;
    l.title.fields = {{FieldKind::Value, {}, QStringLiteral("shop"), {}, {c.caption1, 0.0}, {}, 0, Fit::ShrinkCut},
                      caption(QStringLiteral("日结："), c.caption1, kRowMm),
                      {FieldKind::Value, {}, QStringLiteral("day"), {}, {titleValues, kRowMm}, {}},
                      caption(printedCaption, c.caption1, 2 * kRowMm),
                      {FieldKind::Value, {}, QStringLiteral("printed"), {}, {titleValues, 2 * kRowMm}, {}},
                      {FieldKind::Separator, rule, {}, {}, {c.separatorLeft, 3 * kRowMm}, {}}};

    l.detail.heightPx = kBlockPx;
    l.detail.fields = block(c, false, 0.5);

    l.summary.heightPx = kBlockPx + 17;
    l.summary.fields = {{FieldKind::Separator, rule, {}, {}, {c.separatorLeft, 0.0}, {}}};
    l.summary.fields << block(c, true, 0.5 + kRowMm);
    return l;
}

report::Data fill(report::Layout &layout, const dayend::Day &day, const QDateTime &printedAt)
{
    layout.setValue(QStringLiteral("shop"), day.shop);
    layout.setValue(QStringLiteral("day"), day.date.toString(QStringLiteral("yyyy-MM-dd")));
    layout.setValue(QStringLiteral("printed"), printedAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    const QStringList columns{cLabel,       cTickets,   cQuantity,   cAmount,  cAfterDiscount,
                              cFirstNumber, cFirstTime, cLastNumber, cLastTime};
    report::Table rows(columns);
    for (const dayend::Figures &f : day.cashiers)
        rows.addRow(rowOf(QStringLiteral("收银员：") + f.cashier, f, day.date));
    const QStringList total = rowOf(QStringLiteral("合计"), day.total, day.date);
    for (int i = 0; i < columns.size(); ++i)
        layout.setValue(columns[i], total[i]);
    return {{kCashiers, rows}};
}

} // namespace dayendprint
