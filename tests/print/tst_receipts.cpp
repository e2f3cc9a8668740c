// The six receipt layouts against golden files written from their layout
// tables (receipts/*.txt): every text with its left and top in millimetres
// and its face, the line number format, the rules
// that pick and size a receipt, the remark's lines, what a 203-dpi thermal
// printer burns of it, that large numbers and long names keep to their
// columns and the print head's reach, and the preview window.
#include "print/Dy58Unit.h"
#include "print/Dy76Unit.h"
#include "print/ReceiptLayouts.h"
#include "print/ReceiptView.h"
#include "report/Output.h"
#include "base/AppError.h"
#include "support/PrintSupport.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using receipt::Paper;

Q_DECLARE_METATYPE(receipt::Paper)

namespace {

constexpr qreal kPx = 25.4 / 96; // mm per screen pixel

// One text of a golden file: where the receipt's layout tables put it.
struct Expected {
    QString band;
    QString text;
    qreal left;
    qreal top; // from the top of its band
    QString face; // family and point size, "Arial 10"
    int line; // in the file
};

// A golden file under tests/print/receipts: one layout, printed for the
// ticket of oneLine(), as its layout tables give it.
struct Golden {
    QString file;
    QMap<QString, qreal> heightPx; // title and detail bands
    QList<Expected> texts;
    QString error; // why the file could not be read

    // A text's top from the top of the first band.
    qreal pageTop(const Expected &e) const
    {
        qreal above = 0;
        if (e.band == u"detail"_s || e.band == u"summary"_s)
            above += heightPx.value(u"title"_s);
        if (e.band == u"summary"_s)
            above += heightPx.value(u"detail"_s);
        return e.top + above * kPx;
    }
    // A printed text as the file would write it, its top inside its band.
    QString lineOf(const testing::PlacedText &t) const
    {
        const qreal title = heightPx.value(u"title"_s) * kPx, detail = heightPx.value(u"detail"_s) * kPx;
        QString band = u"title"_s;
        qreal top = t.mm.y();
        if (top >= title + detail) {
            band = u"summary"_s;
            top -= title + detail;
        } else if (top >= title) {
            band = u"detail"_s;
            top -= title;
        }
        return u"%1\t%2\t%3\t%4\t%5 %6"_s.arg(band, t.text)
            .arg(t.mm.x(), 0, 'f', 2)
            .arg(top, 0, 'f', 2)
            .arg(t.font.families().value(0))
            .arg(t.font.pointSizeF());
    }
};

QString lineOf(const Expected &e)
{
    return u"%1\t%2\t%3\t%4\t%5"_s.arg(e.band, e.text).arg(e.left, 0, 'f', 2).arg(e.top, 0, 'f', 2).arg(e.face);
}

Golden goldenOf(Paper paper, int k)
{
    Golden g;
    g.file = u"%1-%2.txt"_s.arg(paper == Paper::Mm58 ? 58 : 76).arg(k);
    QFile file(QStringLiteral(VELMORA_RECEIPTS_DIR) + u'/' + g.file);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        g.error = g.file + u": "_s + file.errorString();
        return g;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    static const QStringList bands{u"title"_s, u"detail"_s, u"summary"_s};
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList f = line.split(u'\t');
        bool ok = false, okTop = false;
        if (f.size() == 3 && f[0] == u"height"_s && bands.contains(f[1])) {
            g.heightPx[f[1]] = f[2].toDouble(&ok);
        } else if (f.size() == 5 && bands.contains(f[0])) {
            g.texts << Expected{f[0], f[1], f[2].toDouble(&ok), f[3].toDouble(&okTop), f[4], i + 1};
            ok = ok && okTop && f[4].contains(u' ');
        }
        if (!ok) {
            g.error = u"%1:%2: not a band height nor a printed text: %3"_s.arg(g.file).arg(i + 1).arg(line);
            return g;
        }
    }
    if (!g.heightPx.contains(u"title"_s) || !g.heightPx.contains(u"detail"_s))
        g.error = g.file + u": the title and detail band heights are missing"_s;
    return g;
}

QString dashes(int n)
{
    return QString(n, u'-');
}

QString faceOf(const QFont &font)
{
    return font.families().value(0) + u' ' + QString::number(font.pointSizeF());
}

report::Data oneLine()
{
    report::Table lines({u"ID"_s, u"单号"_s, u"品名"_s, u"单价"_s, u"数量"_s, u"金额"_s, u"折后"_s});
    lines.addRow({u"1"_s, u"20240101080000"_s, u"可乐"_s, u"2.5"_s, u"3"_s, u"7.5"_s, u"7"_s});
    report::Table content({u"ID"_s, u"店名"_s, u"备注"_s});
    content.addRow({u"1"_s, u"小王便利店"_s, u"谢谢惠顾\n欢迎再来"_s});
    return {{receipt::kLines, lines}, {receipt::kContent, content}};
}

QList<testing::PlacedText> printOf(report::Layout &l, const report::Data &data)
{
    testing::RecordingDevice device(report::pageSizeMm(l, data));
    QPainter painter(&device);
    report::paintBands(painter, l, data);
    painter.end();
    return device.texts();
}

QString describe(const testing::PlacedText &t)
{
    return u"“%1” at %2, %3"_s.arg(t.text).arg(t.mm.x(), 0, 'f', 2).arg(t.mm.y(), 0, 'f', 2);
}

QImage thermal(Paper paper, int k, const report::Data &data)
{
    report::Layout l = receipt::design(paper, k);
    l.summary.block->heightPx = 34;
    l.summary.block->lines = {u"谢谢惠顾"_s, u"欢迎再来"_s};
    return report::renderImage(l, data, 203, true);
}

// Heights of the black runs down one column between two rows of dots; a
// run cut by either end of the range is left out.
QList<int> blackRuns(const QImage &image, int x, int fromY, int toY)
{
    QList<int> runs;
    int run = 0;
    bool cut = false;
    for (int y = fromY; y <= toY; ++y) {
        if (qGray(image.pixel(x, y)) < 128) {
            cut = cut || y == fromY;
            ++run;
        } else if (run) {
            if (!cut)
                runs << run;
            run = 0;
            cut = false;
        }
    }
    return runs;
}

int dot(qreal mm)
{
    return qRound(mm / 25.4 * 203);
}

// What the print head reaches, from the left margin: 48 mm on 58 mm paper,
// 72 mm on 76 mm paper, centred on the paper.
struct Printable {
    qreal left, right;
};

Printable printableOf(Paper paper)
{
    const qreal width = paper == Paper::Mm58 ? 57.94 : 75.94;
    const qreal head = paper == Paper::Mm58 ? 48 : 72;
    return {(width - head) / 2 - 5, (width + head) / 2 - 5};
}

// Texts are measured at the PDF's 1200 dpi, here rather than by the code
// that placed them.
const QImage &pdfResolution()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(1200 / 0.0254));
        image.setDotsPerMeterY(qRound(1200 / 0.0254));
        return image;
    }();
    return device;
}

// A text's ink in mm from the painter's origin.
QRectF inkOf(const testing::PlacedText &t)
{
    const QRectF r = QFontMetricsF(t.font, &pdfResolution()).tightBoundingRect(t.text);
    const qreal mm = 25.4 / 1200;
    return QRectF(t.mm.x() + r.left() * mm, t.baselineMm + r.top() * mm, r.width() * mm, r.height() * mm);
}

bool isSeparator(const testing::PlacedText &t)
{
    return !t.text.isEmpty() && t.text.count(u'-') + t.text.count(u' ') == t.text.size();
}

// A ticket that pushes the receipt's columns.
struct BigTicket {
    QString store, cashier, customer, phone;
    QList<QStringList> lines; // name, price, quantity, amount as stored
    QString quantity, amount, due, received, change;
};

QString repeated(const QString &piece, int length)
{
    QString out;
    while (out.size() < length)
        out += piece;
    out.truncate(length);
    return out;
}

report::Data dataOf(const BigTicket &t)
{
    report::Table lines({u"ID"_s, u"品名"_s, u"单价"_s, u"数量"_s, u"金额"_s});
    int id = 0;
    for (const QStringList &l : t.lines)
        lines.addRow(QStringList{QString::number(++id)} + l);
    report::Table content({u"ID"_s, u"店名"_s, u"备注"_s});
    content.addRow({u"1"_s, t.store, u"谢谢惠顾\n欢迎再来"_s});
    return {{receipt::kLines, lines}, {receipt::kContent, content}};
}

report::Layout layoutFor(Paper paper, int k, const BigTicket &t)
{
    report::Layout l = receipt::design(paper, k);
    namespace v = receipt::value;
    l.setValue(v::cashier, t.cashier);
    l.setValue(v::number, u"20240305142608"_s);
    l.setValue(v::time, u"2024-03-05 14:26:08"_s);
    if (k >= 2)
        l.setValue(v::customer, t.customer);
    if (k == 3)
        l.setValue(v::phone, t.phone);
    l.setValue(v::quantityTotal, t.quantity);
    l.setValue(v::amountTotal, t.amount);
    l.setValue(v::afterDiscountTotal, t.due);
    l.setValue(v::received, t.received);
    l.setValue(v::change, t.change);
    // As a checkout sizes it: two remark lines, one band per ticket line.
    l.summary.block->heightPx = 34;
    l.summary.block->lines = {u"谢谢惠顾"_s, u"欢迎再来"_s};
    l.pageLengthPx = receipt::pageLengthPx(paper, k == 3, 2, static_cast<int>(t.lines.size()));
    return l;
}

} // namespace

class TestReceipts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void layoutTexts_data();
    void layoutTexts();
    void layoutPages_data();
    void layoutPages();
    void numberFormat_data();
    void numberFormat();
    void pageLengths_data();
    void pageLengths();
    void choices_data();
    void choices();
    void layoutForOptions();
    void remarkLines_data();
    void remarkLines();

    void thermalStrokes_data();
    void thermalStrokes();
    void legibleWhateverTheValues_data();
    void legibleWhateverTheValues();
    void pdfReadsTheShopsCharacters();

    void previewWindow_data();
    void previewWindow();
};

void TestReceipts::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestReceipts::layoutTexts_data()
{
    QTest::addColumn<Paper>("paper");
    QTest::addColumn<int>("k");
    for (int k = 1; k <= 3; ++k) {
        QTest::addRow("58 mm, layout %d", k) << Paper::Mm58 << k;
        QTest::addRow("76 mm, layout %d", k) << Paper::Mm76 << k;
    }
}

void TestReceipts::layoutTexts()
{
    QFETCH(Paper, paper);
    QFETCH(int, k);
    const Golden golden = goldenOf(paper, k);
    QVERIFY2(golden.error.isEmpty(), qPrintable(golden.error));
    QVERIFY(!golden.texts.isEmpty());
    report::Layout l = receipt::design(paper, k);
    l.summary.block->heightPx = 34;
    l.summary.block->lines = {u"谢谢惠顾"_s, u"欢迎再来"_s};
    QList<testing::PlacedText> printed = printOf(l, oneLine());

    // Each line of the file is printed once, at its place within 0.05 mm
    // and in its face; what is left on either side is the difference.
    QList<Expected> missing;
    for (const Expected &e : golden.texts) {
        const qreal top = golden.pageTop(e);
        auto it = std::find_if(printed.begin(), printed.end(), [&](const testing::PlacedText &t) {
            return t.text == e.text && std::abs(t.mm.x() - e.left) < 0.05 && std::abs(t.mm.y() - top) < 0.05
                && faceOf(t.font) == e.face;
        });
        if (it == printed.end())
            missing << e;
        else
            printed.erase(it);
    }
    if (missing.isEmpty() && printed.isEmpty())
        return;
    // The diff: each missing line beside the print of the same text that
    // lies nearest, then whatever else was printed.
    QStringList diff{u"%1 (expected -, printed +):"_s.arg(golden.file)};
    for (const Expected &e : missing) {
        diff << u"- %1    (line %2)"_s.arg(lineOf(e)).arg(e.line);
        const qreal top = golden.pageTop(e);
        auto nearest = printed.end();
        qreal distance = 0;
        for (auto it = printed.begin(); it != printed.end(); ++it) {
            const qreal d = std::hypot(it->mm.x() - e.left, it->mm.y() - top);
            if (it->text == e.text && (nearest == printed.end() || d < distance)) {
                nearest = it;
                distance = d;
            }
        }
        if (nearest != printed.end()) {
            diff << u"+ "_s + golden.lineOf(*nearest);
            printed.erase(nearest);
        }
    }
    for (const auto &t : printed)
        diff << u"+ "_s + golden.lineOf(t);
    QFAIL(qPrintable(diff.join(u'\n')));
}

void TestReceipts::layoutPages_data()
{
    QTest::addColumn<Paper>("paper");
    QTest::addColumn<int>("k");
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("designMm");
    QTest::newRow("58 mm, layout 1") << Paper::Mm58 << 1 << 57.94 << 80.70;
    QTest::newRow("58 mm, layout 2") << Paper::Mm58 << 2 << 57.94 << 80.70;
    QTest::newRow("58 mm, layout 3") << Paper::Mm58 << 3 << 57.94 << 86.78;
    QTest::newRow("76 mm, layout 1") << Paper::Mm76 << 1 << 75.94 << 82.02;
    QTest::newRow("76 mm, layout 2") << Paper::Mm76 << 2 << 75.94 << 84.67;
    QTest::newRow("76 mm, layout 3") << Paper::Mm76 << 3 << 75.94 << 84.67;
}

void TestReceipts::layoutPages()
{
    QFETCH(Paper, paper);
    QFETCH(int, k);
    QFETCH(double, widthMm);
    QFETCH(double, designMm);
    const report::Layout l = receipt::design(paper, k);
    QCOMPARE(qRound(report::pxToMm(l.paperWidthPx) * 100), qRound(widthMm * 100));
    QCOMPARE(qRound(report::pxToMm(l.pageLengthPx) * 100), qRound(designMm * 100));
    QCOMPARE(l.marginsMm, QMarginsF(5, 10, 5, 10));
    // The remark block starts one line high, and as wide as designed.
    QCOMPARE(l.summary.block->heightPx, 17.0);
    QCOMPARE(l.summary.block->widthMm, paper == Paper::Mm58 ? 47.6 : 63.5);
    // Summary band heights (the title and detail heights show in the texts).
    QCOMPARE(l.summary.heightPx, paper == Paper::Mm76 && k == 3 ? 89.0 : 103.0);
}

void TestReceipts::numberFormat_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("printed");
    QTest::newRow("whole") << u"3"_s << u"3.00"_s;
    QTest::newRow("half") << u"0.5"_s << u"0.50"_s;
    QTest::newRow("tie rounds up") << u"0.125"_s << u"0.13"_s;
    QTest::newRow("long") << u"12.3456"_s << u"12.35"_s;
    QTest::newRow("null") << QString() << u"0.00"_s;
    QTest::newRow("not a number") << u"abc"_s << u"0.00"_s;
    QTest::newRow("negative") << u"-2.5"_s << u"-2.50"_s;
    QTest::newRow("exponent") << u"1E3"_s << u"1000.00"_s;
    QTest::newRow("no thousands separator") << u"1234567.891"_s << u"1234567.89"_s;
}

void TestReceipts::numberFormat()
{
    QFETCH(QString, stored);
    QFETCH(QString, printed);
    QCOMPARE(receipt::twoDecimals(stored), printed);
    // The same on a printed line, for price, quantity and amount alike.
    report::Layout l = receipt::design(Paper::Mm58, 1);
    report::Data data = oneLine();
    report::Table lines({u"品名"_s, u"单价"_s, u"数量"_s, u"金额"_s});
    lines.addRow({u"货"_s, stored, stored, stored});
    data[receipt::kLines] = lines;
    // On the numbers row of the line, on one baseline (a long number is
    // drawn smaller, on the line of its neighbours).
    QList<qreal> baselines;
    for (const auto &t : printOf(l, data)) {
        if (t.text == printed && t.mm.y() > 100 * kPx + 2 && t.mm.y() < 100 * kPx + 25 * kPx)
            baselines << t.baselineMm;
    }
    QCOMPARE(baselines.size(), 3);
    QCOMPARE(qRound(baselines[0] * 100), qRound(baselines[2] * 100));
    QCOMPARE(qRound(baselines[1] * 100), qRound(baselines[2] * 100));
}

void TestReceipts::pageLengths_data()
{
    QTest::addColumn<Paper>("paper");
    QTest::addColumn<bool>("phone");
    QTest::addColumn<int>("m");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("px");
    QTest::newRow("58, one line, no remark") << Paper::Mm58 << false << 0 << 1 << 325;
    QTest::newRow("58, one line, phone") << Paper::Mm58 << true << 0 << 1 << 345;
    QTest::newRow("76, four lines, three remark lines, phone") << Paper::Mm76 << true << 3 << 4 << 470;
    QTest::newRow("76, no phone") << Paper::Mm76 << false << 2 << 3 << 34 + 296 + 75;
    QTest::newRow("58, four remark lines") << Paper::Mm58 << false << 4 << 2 << 68 + 300 + 50;
}

void TestReceipts::pageLengths()
{
    QFETCH(Paper, paper);
    QFETCH(bool, phone);
    QFETCH(int, m);
    QFETCH(int, n);
    QFETCH(int, px);
    QCOMPARE(receipt::pageLengthPx(paper, phone, m, n), px);
}

void TestReceipts::choices_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("paper"); // 0 none, 58, 76
    QTest::addColumn<int>("prints");
    QTest::newRow("58") << u"58"_s << 58 << 0;
    QTest::newRow("76") << u"76"_s << 76 << 0;
    QTest::newRow("1") << u"1"_s << 0 << 1;
    QTest::newRow("2") << u"2"_s << 0 << 2;
    QTest::newRow("3") << u"3"_s << 0 << 0;
    QTest::newRow("80") << u"80"_s << 0 << 0;
    QTest::newRow("8") << u"8"_s << 0 << 0;
    QTest::newRow("empty") << QString() << 0 << 0;
    QTest::newRow("blank after") << u"58 "_s << 0 << 0;
    QTest::newRow("leading zero") << u"01"_s << 0 << 0;
    QTest::newRow("two point zero") << u"2.0"_s << 0 << 0;
    QTest::newRow("full-width digits") << u"５８"_s << 0 << 0;
}

void TestReceipts::choices()
{
    QFETCH(QString, text);
    QFETCH(int, paper);
    QFETCH(int, prints);
    const auto chosen = receipt::paperFor(text);
    QCOMPARE(chosen ? (*chosen == Paper::Mm58 ? 58 : 76) : 0, paper);
    QCOMPARE(receipt::printsFor(text), prints);
}

void TestReceipts::layoutForOptions()
{
    // Phone without customer cannot arise, and would print nothing.
    QCOMPARE(receipt::layoutFor(false, false), 1);
    QCOMPARE(receipt::layoutFor(true, false), 2);
    QCOMPARE(receipt::layoutFor(true, true), 3);
    QCOMPARE(receipt::layoutFor(false, true), 0);
}

void TestReceipts::remarkLines_data()
{
    QTest::addColumn<QString>("remark");
    QTest::addColumn<int>("m");
    const QString fifteen = u"谢谢惠顾欢迎再次光临本店祝您愉"_s;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("one line") << u"谢谢惠顾"_s << 1;
    QTest::newRow("two lines") << u"谢谢惠顾\n欢迎再来"_s << 2;
    QTest::newRow("final break") << u"谢谢惠顾\n"_s << 1;
    QTest::newRow("a full line") << fifteen << 1;
    QTest::newRow("a line wider than the box counts twice") << fifteen + u"快"_s << 2;
    QTest::newRow("three lines, the second too wide") << u"谢谢\n"_s + fifteen + u"快乐\n再见"_s << 4;
    QTest::newRow("an empty line counts") << u"谢谢\n\n再见"_s << 3;
}

void TestReceipts::remarkLines()
{
    QFETCH(QString, remark);
    QFETCH(int, m);
    QCOMPARE(receipt::remarkLines(remark).size(), m);
}

void TestReceipts::thermalStrokes_data()
{
    QTest::addColumn<Paper>("paper");
    QTest::addColumn<int>("k");
    for (int k = 1; k <= 3; ++k) {
        QTest::addRow("58 mm, layout %d", k) << Paper::Mm58 << k;
        QTest::addRow("76 mm, layout %d", k) << Paper::Mm76 << k;
    }
}

// A thermal printer burns dots: a stroke one dot thin comes out too light.
void TestReceipts::thermalStrokes()
{
    QFETCH(Paper, paper);
    QFETCH(int, k);
    // A product named 三: three horizontal strokes in the field font.
    report::Data data = oneLine();
    report::Table lines({u"品名"_s, u"单价"_s, u"数量"_s, u"金额"_s});
    lines.addRow({u"三"_s, u"1"_s, u"1"_s, u"1"_s});
    data[receipt::kLines] = lines;
    const QImage image = thermal(paper, k, data);
    const Golden golden = goldenOf(paper, k);
    QVERIFY2(golden.error.isEmpty(), qPrintable(golden.error));
    const qreal left = 5, top = 10; // margins

    // The name's glyph, in the middle of its em square, where the file puts
    // the product name of its ticket.
    const auto name = std::find_if(golden.texts.cbegin(), golden.texts.cend(),
                                   [](const Expected &e) { return e.band == u"detail"_s && e.text == u"可乐"_s; });
    QVERIFY(name != golden.texts.cend());
    const qreal em = (paper == Paper::Mm58 ? 8 : 9) * 25.4 / 72;
    const int x = dot(left + name->left + em / 2);
    const qreal nameTop = golden.pageTop(*name);
    const QList<int> strokes = blackRuns(image, x, dot(top + nameTop), dot(top + nameTop + em * 1.5));
    QCOMPARE(strokes.size(), 3);
    for (int h : strokes)
        QVERIFY2(h >= 2, qPrintable(u"a stroke of 三 is %1 dot(s) high"_s.arg(h)));

    // Every separator: each dash at least 2 dots (0.25 mm) high.
    for (const Expected &e : golden.texts) {
        if (e.text.isEmpty() || e.text.count(u'-') + e.text.count(u' ') != e.text.size())
            continue;
        // The dash lies about 2 mm below the text's top.
        const qreal eTop = golden.pageTop(e);
        const int from = dot(top + eTop + 1.5), to = dot(top + eTop + 3);
        // Each dash is measured down its middle column: its ends, like any
        // edge, are partly covered dots.
        int thinnest = 99, dashesSeen = 0;
        QList<int> dashColumns;
        auto measure = [&] {
            if (dashColumns.isEmpty())
                return;
            ++dashesSeen;
            for (int h : blackRuns(image, dashColumns.at(dashColumns.size() / 2), from, to))
                thinnest = std::min(thinnest, h);
            dashColumns.clear();
        };
        for (int col = dot(left + e.left); col < dot(left + e.left + 8); ++col) {
            if (blackRuns(image, col, from, to).isEmpty())
                measure();
            else
                dashColumns << col;
        }
        measure();
        QVERIFY2(dashesSeen > 0, qPrintable(u"no ink for the separator at %1 mm"_s.arg(eTop)));
        QVERIFY2(thinnest >= 2, qPrintable(u"the separator at %1 mm is %2 dot(s) high"_s.arg(eTop).arg(thinnest)));
    }
}

Q_DECLARE_METATYPE(BigTicket)

void TestReceipts::legibleWhateverTheValues_data()
{
    QTest::addColumn<Paper>("paper");
    QTest::addColumn<int>("k");
    QTest::addColumn<BigTicket>("ticket");
    const BigTicket ordinaryButLarge{u"小王便利店"_s, u"张三"_s, u"王先生"_s, u"13800138000"_s,
                                     {{u"可乐"_s, u"12345"_s, u"100"_s, u"1234500"_s},
                                      {u"矿泉水"_s, u"99999.99"_s, u"100"_s, u"9999999"_s}},
                                     u"200"_s, u"11234499"_s, u"11234499"_s, u"11234500"_s, u"1"_s};
    const BigTicket largestNumbers{u"小王便利店"_s, u"张三"_s, u"王先生"_s, u"13800138000"_s,
                                   {{u"可乐"_s, u"123456789"_s, u"123456"_s, u"15241481342784"_s},
                                    {u"矿泉水"_s, u"999999999.99"_s, u"999999"_s, u"999998999990000"_s}},
                                   u"1123455"_s, u"1015240481332780"_s, u"1015240481332780"_s,
                                   u"1015240481332800"_s, u"20"_s};
    const QString han = repeated(u"上海浦东新区张江高科技园区信息技术股份有限公司"_s, 255);
    const BigTicket longestNames{repeated(u"小王便利连锁超市中山路旗舰店"_s, 255), han, han,
                                 repeated(u"021-58888888转8001/"_s, 255),
                                 {{repeated(u"进口特级初榨橄榄油礼盒装1L×2瓶 ABC123-"_s, 255), u"2.5"_s, u"3"_s, u"7.5"_s},
                                  {repeated(u"X"_s, 255), u"1"_s, u"1"_s, u"1"_s}},
                                 u"4"_s, u"8.5"_s, u"8.5"_s, u"10"_s, u"1.5"_s};
    for (int k = 1; k <= 3; ++k) {
        for (Paper paper : {Paper::Mm58, Paper::Mm76}) {
            const int mm = paper == Paper::Mm58 ? 58 : 76;
            QTest::addRow("%d mm, layout %d, quantity 100, price 12345", mm, k) << paper << k << ordinaryButLarge;
            QTest::addRow("%d mm, layout %d, 9-digit prices, 6-digit quantities", mm, k) << paper << k << largestNumbers;
            QTest::addRow("%d mm, layout %d, 255-character names", mm, k) << paper << k << longestNames;
        }
    }
}

// Whatever the numbers and names, each text stays inside its column and
// inside what the print head reaches, nothing runs into anything else, no
// number loses a digit, a product name is carried onto further lines whole,
// and the page holds every band.
void TestReceipts::legibleWhateverTheValues()
{
    QFETCH(Paper, paper);
    QFETCH(int, k);
    QFETCH(BigTicket, ticket);
    report::Layout l = layoutFor(paper, k, ticket);
    const report::Data data = dataOf(ticket);
    const QSizeF page = report::pageSizeMm(l, data);
    const QList<testing::PlacedText> printed = printOf(l, data);
    const Printable head = printableOf(paper);

    QList<testing::PlacedText> texts; // all but the rules
    for (const auto &t : printed) {
        if (!isSeparator(t))
            texts << t;
    }
    qreal lowest = 0;
    for (const auto &t : texts) {
        const QRectF ink = inkOf(t);
        QVERIFY2(ink.left() >= head.left && ink.right() <= head.right,
                 qPrintable(u"%1 reaches %2 to %3 mm"_s.arg(describe(t)).arg(ink.left()).arg(ink.right())));
        QVERIFY2(t.font.pointSizeF() >= 4.5, qPrintable(describe(t) + u" in %1 pt"_s.arg(t.font.pointSizeF())));
        lowest = std::max(lowest, ink.bottom());
    }
    // The page, as long as the checkout makes it, holds every band.
    QVERIFY2(10 + lowest + 10 <= page.height(), qPrintable(u"ink down to %1 mm on a %2 mm page"_s.arg(lowest).arg(page.height())));

    // Nothing runs into anything else; numbers side by side keep a clear
    // gap, or 100.00 and 15.00 read as one number.
    static const QRegularExpression number(u"^-?[0-9.]+$"_s);
    for (int i = 0; i < texts.size(); ++i) {
        for (int j = i + 1; j < texts.size(); ++j) {
            const QRectF a = inkOf(texts[i]), b = inkOf(texts[j]);
            QVERIFY2(!a.intersects(b), qPrintable(describe(texts[i]) + u" runs into "_s + describe(texts[j])));
            const bool sideBySide = std::abs(texts[i].baselineMm - texts[j].baselineMm) < 0.01;
            if (sideBySide && number.match(texts[i].text).hasMatch() && number.match(texts[j].text).hasMatch()) {
                const qreal gap = std::max(b.left() - a.right(), a.left() - b.right());
                QVERIFY2(gap >= 1.0, qPrintable(describe(texts[i]) + u" and "_s + describe(texts[j])
                                                + u" are %1 mm apart"_s.arg(gap)));
            }
        }
    }

    auto printedText = [&texts](const QString &text) {
        return std::count_if(texts.begin(), texts.end(), [&text](const auto &t) { return t.text == text; });
    };
    // Every number whole.
    for (const QStringList &line : ticket.lines) {
        for (int c = 1; c <= 3; ++c)
            QVERIFY2(printedText(receipt::twoDecimals(line[c])) >= 1, qPrintable(receipt::twoDecimals(line[c])));
    }
    for (const QString &total : {ticket.quantity, ticket.amount, ticket.due, ticket.received, ticket.change})
        QVERIFY2(printedText(total) >= 1, qPrintable(total));
    // Product names whole, line after line at the name's left.
    const qreal nameLeft = paper == Paper::Mm58 ? 0.0 : 1.9;
    QString names;
    for (const auto &t : texts) {
        if (std::abs(t.mm.x() - nameLeft) < 0.01 && t.mm.y() > l.title.extentMm() && !number.match(t.text).hasMatch())
            names += t.text;
    }
    QString expected;
    for (const QStringList &line : ticket.lines)
        expected += line[0];
    expected.remove(u' ');
    QCOMPARE(names.remove(u' ').left(expected.size()), expected);
    // A name too long for its room is cut short with an ellipsis, not lost.
    QStringList cutNames{ticket.store, ticket.cashier};
    if (k >= 2)
        cutNames << ticket.customer;
    if (k == 3)
        cutNames << ticket.phone;
    for (const QString &name : cutNames) {
        const auto shown = std::count_if(texts.begin(), texts.end(), [&name](const auto &t) {
            return t.text == name || (t.text.size() > 1 && t.text.endsWith(QChar(0x2026)) && name.startsWith(t.text.chopped(1)));
        });
        QVERIFY2(shown >= 1, qPrintable(name.left(20)));
    }
    // The cashier ends before the top rule goes on.
    const bool p58 = paper == Paper::Mm58;
    QFont rule(u"Arial"_s);
    rule.setPointSizeF(10);
    const QString gap = p58 ? dashes(10) + QString(23, u' ') : dashes(17) + QString(26, u' ');
    const qreal ruleGoesOn =
        (p58 ? 0.0 : 1.3) + QFontMetricsF(rule, &pdfResolution()).horizontalAdvance(gap) * 25.4 / 1200;
    for (const auto &t : texts) {
        if (std::abs(t.mm.x() - (p58 ? 22.0 : 33.1)) < 0.01)
            QVERIFY2(inkOf(t).right() <= ruleGoesOn, qPrintable(describe(t)));
    }

    // A 203-dpi thermal printer burns nothing outside its print head (a
    // dot the edge runs through is the head's own).
    const QImage image = report::renderImage(l, data, 203, true);
    const qreal from = 5 + head.left, to = 5 + head.right;
    int outside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const qreal dotFrom = x * 25.4 / 203, dotTo = (x + 1) * 25.4 / 203;
            if ((dotTo <= from || dotFrom >= to) && qGray(image.pixel(x, y)) < 128)
                ++outside;
        }
    }
    QCOMPARE(outside, 0);
}

// Copied, searched or extracted, the receipt's PDF reads the characters
// printed: Qt names a glyph by the lowest code point the face maps to it,
// which for 户, 山, 牛, 青 and 胶 is a radical or a rare ideograph.
void TestReceipts::pdfReadsTheShopsCharacters()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed; scripts/install-deps.sh installs it");
    const BigTicket ticket{u"小王便利店(中山路店)"_s, u"张三"_s, u"王先生"_s, u"13800138000"_s,
                           {{u"农夫山泉矿泉水550ml"_s, u"2"_s, u"3"_s, u"6"_s},
                            {u"康师傅红烧牛肉面"_s, u"4.5"_s, u"2"_s, u"9"_s},
                            {u"透明胶带"_s, u"3"_s, u"1"_s, u"3"_s},
                            {u"青岛啤酒"_s, u"6.8"_s, u"1"_s, u"6.8"_s}},
                           u"7"_s, u"24.8"_s, u"24.8"_s, u"50"_s, u"25.2"_s};
    QTemporaryDir dir;
    const QString file = dir.filePath(u"receipt.pdf"_s);
    for (Paper paper : {Paper::Mm58, Paper::Mm76}) {
        report::Layout l = layoutFor(paper, 3, ticket);
        report::writePdf(file, l, dataOf(ticket), u"小票"_s);
        QProcess extract;
        extract.start(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, file, u"-"_s});
        QVERIFY(extract.waitForFinished(20000));
        QCOMPARE(extract.exitCode(), 0);
        QString text = QString::fromUtf8(extract.readAllStandardOutput());
        text.remove(QRegularExpression(u"\\s"_s));
        for (const QString &word : {u"客户"_s, u"电话"_s, u"收银员"_s, u"王先生"_s, u"小王便利店(中山路店)"_s,
                                    u"农夫山泉矿泉水550ml"_s, u"康师傅红烧牛肉面"_s, u"透明胶带"_s, u"青岛啤酒"_s,
                                    u"应收金额"_s, u"谢谢惠顾"_s, u"24.8"_s})
            QVERIFY2(text.contains(word), qPrintable(word + u" not in "_s + text));
    }
}

void TestReceipts::previewWindow_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("widthPx");
    QTest::newRow("58 mm") << u"Dy58Form"_s << QPoint(62, 21) << 219;
    QTest::newRow("76 mm") << u"Dy76Form"_s << QPoint(22, 21) << 287;
}

void TestReceipts::previewWindow()
{
    QFETCH(QString, window);
    QFETCH(QPoint, at);
    QFETCH(int, widthPx);
    testing::TempWorkDir dir;
    testing::Program program;
    TReceiptForm *w = window == u"Dy58Form"_s ? static_cast<TReceiptForm *>(Dy58Form)
                                              : static_cast<TReceiptForm *>(Dy76Form);
    QCOMPARE(w->windowTitle(), u"打印预览"_s);
    QCOMPARE(w->size(), QSize(342, 442));
    QVERIFY(!w->isVisible());
    QVERIFY(w->DBMemo1->isHidden());
    QCOMPARE(w->Panel1->geometry(), QRect(0, 0, 342, 50));

    // Each page shows its layout at design size from the given point: white
    // paper there, the page's background just outside it.
    for (int k = 1; k <= 3; ++k) {
        w->showPage(k);
        QCOMPARE(w->currentPage(), k);
        QCOMPARE(w->PageControl1->currentWidget()->objectName(), u"TabSheet%1"_s.arg(k));
        auto *view = w->PageControl1->currentWidget()->findChild<ReceiptView *>(u"Image%1"_s.arg(k));
        QVERIFY(view);
        const QImage shot = view->grab().toImage();
        QCOMPARE(shot.pixelColor(at + QPoint(2, 2)), QColor(Qt::white));
        QCOMPARE(shot.pixelColor(at + QPoint(widthPx - 3, 2)), QColor(Qt::white));
        QVERIFY(shot.pixelColor(at + QPoint(widthPx + 3, 5)) != QColor(Qt::white));
        QVERIFY(shot.pixelColor(at - QPoint(3, 3)) != QColor(Qt::white));
    }
    // Before any checkout the value fields show their placeholders, and a
    // set value shows on the page at once.
    w->showPage(1);
    auto *view = w->findChild<ReceiptView *>(u"Image1"_s);
    QCOMPARE(w->QuickRep1.valueText(*w->QuickRep1.findValue(receipt::value::cashier)), u"收银员"_s);
    const QImage before = view->grab().toImage();
    w->setValue(1, receipt::value::cashier, u"张三"_s);
    QVERIFY(view->grab().toImage() != before);
    QVERIFY_THROWS_EXCEPTION(AppError, w->setValue(1, receipt::value::phone, u"1"_s));
}

QTEST_MAIN(TestReceipts)
#include "tst_receipts.moc"
