#include "print/ReceiptLayouts.h"

#include "report/Faces.h"
#include "report/TextWrap.h"
#include "store/NumberText.h"
#include "store/Schema.h"
#include "base/AppError.h"

#include <algorithm>

namespace receipt {

std::optional<Paper> paperFor(const QString &text)
{
    if (text == QLatin1String("58"))
        return Paper::Mm58;
    if (text == QLatin1String("76"))
        return Paper::Mm76;
    return std::nullopt;
}

int layoutFor(bool customerOption, bool phoneOption)
{
    if (!customerOption)
        return phoneOption ? 0 : 1;
    return phoneOption ? 3 : 2;
}

int printsFor(const QString &copiesText)
{
    if (copiesText == QLatin1String("1"))
        return 1;
    if (copiesText == QLatin1String("2"))
        return 2;
    return 0;
}

QString twoDecimals(const QString &text)
{
    return numtext::fixed2(numtext::tryParse(text).value_or(0));
}

QStringList remarkLines(const QString &remark)
{
    return report::wrapLines(remark, report::faces::remarkBox(), kRemarkBoxTextWidthPx);
}

int pageLengthPx(Paper paper, bool phoneOption, int remarkLines, int ticketLines)
{
    const int base = paper == Paper::Mm58 ? (phoneOption ? 320 : 300) : (phoneOption ? 319 : 296);
    return kRemarkLinePx * remarkLines + base + kTicketLinePx * ticketLines;
}

namespace {

using report::Field;
using report::FieldKind;

// What tells the two paper widths apart; every length in millimetres but
// the pixel heights.
struct PaperMeasures {
    qreal paperPx;
    qreal printableMm; // what the print head reaches
    qreal pointSize;
    QString fullSeparator;
    QString topSeparator;
    qreal separatorLeft;
    qreal cashierCaptionLeft;
    qreal cashierValueLeft;
    qreal headingLeft[4];
    qreal lineLeft[4];
    qreal detailPx;
    qreal nameTop;
    qreal numbersTop;
    qreal totalsCaptionLeft;
    qreal quantityTotalLeft;
    qreal amountTotalLeft;
    qreal summaryCaptionLeft;
    qreal summaryValueLeft;
    qreal remarkLeft;
    qreal remarkWidth;
    int designPx[3];
};

QString dashes(int n)
{
    return QString(n, QLatin1Char('-'));
}

const PaperMeasures &measuresOf(Paper paper)
{
    static const PaperMeasures mm58{219, 48, 8, dashes(42), dashes(10) + QString(23, QLatin1Char(' ')) + dashes(10),
                                0.0, 11.1, 22.0, {0.0, 10.1, 22.2, 31.8}, {0.0, 10.1, 22.5, 31.8},
                                25, 0.5, 3.4, 5.8, 22.8, 31.8, 0.0, 14.8, 0.0, 47.6, {305, 305, 328}};
    static const PaperMeasures mm76{287, 72, 9, dashes(59), dashes(17) + QString(26, QLatin1Char(' ')) + dashes(16),
                                1.3, 20.4, 33.1, {1.9, 17.7, 32.0, 45.8}, {1.9, 17.7, 32.0, 45.8},
                                30, 0.3, 4.0, 8.2, 32.3, 45.5, 1.9, 18.0, 1.3, 63.5, {310, 320, 320}};
    return paper == Paper::Mm58 ? mm58 : mm76;
}

// Tops of the title rows; a negative top means the row is not there.
struct TitleRows {
    qreal heightPx;
    qreal store, number, time, customer, phone, separator, headings;
};

TitleRows titleRows(Paper paper, int k)
{
    if (k == 1)
        return {100, 5.0, 11.1, 15.9, -1, -1, 19.3, 22.5};
    if (k == 2) {
        if (paper == Paper::Mm58)
            return {100, 4.2, 9.3, 13.2, 17.2, -1, 19.3, 22.5};
        return {110, 4.2, 9.8, 14.8, 19.6, -1, 22.0, 25.1};
    }
    if (paper == Paper::Mm58)
        return {123, 4.2, 8.5, 12.7, 16.9, 21.2, 24.1, 28.6};
    return {123, 4.2, 8.5, 12.7, 16.9, 21.7, 24.6, 28.6};
}

struct SummaryRows {
    qreal heightPx;
    qreal totals, due, received, change, separator, remark;
};

SummaryRows summaryRows(Paper paper, int k)
{
    if (paper == Paper::Mm76 && k == 3)
        return {89, 0.5, 4.2, 8.7, 13.0, 15.6, 18.8};
    return {103, 0.8, 5.3, 10.1, 14.6, 18.0, 22.5};
}

using report::Fit;

Field caption(const QString &text, qreal left, qreal top)
{
    return {FieldKind::Caption, text, {}, {}, {left, top}, {}};
}

Field separator(const QString &text, qreal left, qreal top)
{
    return {FieldKind::Separator, text, {}, {}, {left, top}, {}};
}

// A value field whose room ends at `right` (0: the edge of the print).
Field valueField(const QString &name, const QString &placeholder, qreal left, qreal top, qreal right = 0,
                 Fit fit = Fit::Shrink)
{
    return {FieldKind::Value, placeholder, name, {}, {left, top}, {}, right, fit};
}

Field dataField(const QString &set, const QString &column, qreal left, qreal top, qreal right, Fit fit,
                std::function<QString(const QString &)> onPrint = {})
{
    return {FieldKind::DataField, {}, column, set, {left, top}, std::move(onPrint), right, fit};
}

// Room left clear between a column's text and the next column, about a
// blank of the separators: without it 100.00 and 15.00 read as 100.0015.00.
constexpr qreal kColumnGapMm = 1.0;

} // namespace

report::Layout design(Paper paper, int k)
{
    const PaperMeasures &s = measuresOf(paper);
    const TitleRows t = titleRows(paper, k);
    const SummaryRows r = summaryRows(paper, k);
    constexpr qreal captionLeft = 1.9;
    constexpr qreal valueLeft = 9.8;
    using namespace schema::col;

    report::Layout l;
    l.paperWidthPx = s.paperPx;
    l.pageLengthPx = s.designPx[k - 1];
    l.printableWidthMm = s.printableMm;
    // Smaller than this, the bold strokes of a dense Han character run
    // together at 203 dpi.
    l.smallestPointSize = 6.5;
    l.fieldFont = report::faces::field(s.pointSize);
    l.separatorFont = report::faces::separator();
    l.detailDataSet = kLines;

    // Numbers shrink and are never cut; names shrink to a legible size and
    // are cut short beyond it; a product name is carried onto further lines.
    // Each text's room ends a gap before the next column.
    const auto before = [](qreal nextLeft) { return nextLeft - kColumnGapMm; };

    l.title.heightPx = t.heightPx;
    // The cashier stands in the gap of the top rule, printed twice 0.5 mm
    // apart, and ends before the rule goes on.
    const QString topGap = s.topSeparator.left(s.topSeparator.lastIndexOf(QLatin1Char(' ')) + 1);
    const qreal ruleGoesOn = s.separatorLeft + report::textWidthMm(l.separatorFont, topGap);
    l.title.fields = {separator(s.topSeparator, s.separatorLeft, -1.3),
                      separator(s.topSeparator, s.separatorLeft, -0.8),
                      caption(QStringLiteral("收银员："), s.cashierCaptionLeft, 0.0),
                      valueField(value::cashier, QStringLiteral("收银员"), s.cashierValueLeft, 0.0,
                                 before(ruleGoesOn), Fit::ShrinkCut),
                      dataField(kContent, dianming, captionLeft, t.store, 0, Fit::ShrinkCut),
                      caption(QStringLiteral("单号："), captionLeft, t.number),
                      valueField(value::number, QStringLiteral("单号"), valueLeft, t.number),
                      caption(QStringLiteral("时间："), captionLeft, t.time),
                      valueField(value::time, QStringLiteral("时间"), valueLeft, t.time)};
    if (t.customer >= 0) {
        l.title.fields << caption(QStringLiteral("客户："), captionLeft, t.customer)
                       << valueField(value::customer, QStringLiteral("客户"), valueLeft, t.customer, 0,
                                     Fit::ShrinkCut);
    }
    if (t.phone >= 0) {
        l.title.fields << caption(QStringLiteral("电话："), captionLeft, t.phone)
                       << valueField(value::phone, QStringLiteral("电话"), valueLeft, t.phone, 0, Fit::ShrinkCut);
    }
    l.title.fields << separator(s.fullSeparator, s.separatorLeft, t.separator);
    const QString headings[4] = {QStringLiteral("品名"), QStringLiteral("单价"), QStringLiteral("数量"),
                                 QStringLiteral("金额")};
    for (int i = 0; i < 4; ++i)
        l.title.fields << caption(headings[i], s.headingLeft[i], t.headings);

    l.detail.heightPx = s.detailPx;
    const qreal *at = s.lineLeft;
    l.detail.fields = {dataField(kLines, pinming, at[0], s.nameTop, 0, Fit::Wrap),
                       dataField(kLines, danjia, at[1], s.numbersTop, before(at[2]), Fit::Shrink, twoDecimals),
                       dataField(kLines, shuliang, at[2], s.numbersTop, before(at[3]), Fit::Shrink, twoDecimals),
                       dataField(kLines, jine, at[3], s.numbersTop, 0, Fit::Shrink, twoDecimals)};

    const QString afterDiscountPlaceholder =
        paper == Paper::Mm76 && k == 3 ? QStringLiteral("应收") : QStringLiteral("折后");
    l.summary.heightPx = r.heightPx;
    l.summary.fields = {caption(QStringLiteral("合计："), s.totalsCaptionLeft, r.totals),
                        valueField(value::quantityTotal, QStringLiteral("数量"), s.quantityTotalLeft, r.totals,
                                   before(s.amountTotalLeft)),
                        valueField(value::amountTotal, QStringLiteral("金额"), s.amountTotalLeft, r.totals),
                        caption(QStringLiteral("应收金额："), s.summaryCaptionLeft, r.due),
                        valueField(value::afterDiscountTotal, afterDiscountPlaceholder, s.summaryValueLeft, r.due),
                        caption(QStringLiteral("实收金额："), s.summaryCaptionLeft, r.received),
                        valueField(value::received, QStringLiteral("实收"), s.summaryValueLeft, r.received),
                        caption(QStringLiteral("找零金额："), s.summaryCaptionLeft, r.change),
                        valueField(value::change, QStringLiteral("找零"), s.summaryValueLeft, r.change),
                        separator(s.fullSeparator, s.separatorLeft, r.separator)};
    report::TextBlock remark;
    remark.at = {s.remarkLeft, r.remark};
    remark.widthMm = s.remarkWidth;
    remark.heightPx = kRemarkLinePx;
    remark.lineHeightPx = kRemarkLinePx;
    l.summary.block = remark;
    return l;
}

void markReprint(report::Layout &l)
{
    const auto store = std::find_if(l.title.fields.cbegin(), l.title.fields.cend(), [](const Field &f) {
        return f.kind == FieldKind::DataField && f.name == schema::col::dianming;
    });
    if (store == l.title.fields.cend())
        throw AppError(QStringLiteral("小票格式没有店名，无法标明重打"));
    const QPointF at = store->at;
    const qreal row = report::pxToMm(kReprintMarkPx);
    for (Field &f : l.title.fields) {
        if (f.at.y() > at.y())
            f.at.ry() += row;
    }
    l.title.fields << caption(kReprintMark, at.x(), at.y() + row);
    l.title.heightPx += kReprintMarkPx;
    l.pageLengthPx += kReprintMarkPx;
}

} // namespace receipt
