// The banded report engine on its own: bands in order, fields and their
// hooks, the remark block, the page length, the PDF it writes and the
// one-bit picture, and the line breaking of multi-line boxes.
#include "report/Faces.h"
#include "report/Output.h"
#include "report/Report.h"
#include "report/TextWrap.h"
#include "base/AppError.h"
#include "support/PrintSupport.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using report::Field;
using report::FieldKind;

namespace {

// Band heights in pixels that give round millimetres: 96 px = 25.4 mm.
report::Layout sampleLayout()
{
    report::Layout l;
    l.paperWidthPx = 219;
    l.pageLengthPx = 300;
    l.fieldFont = report::faces::field(8);
    l.separatorFont = report::faces::separator();
    l.detailDataSet = u"rows"_s;
    l.title.heightPx = 96;
    l.title.fields = {{FieldKind::Caption, u"标题"_s, {}, {}, {1.0, 2.0}, {}},
                      {FieldKind::Value, u"占位"_s, u"v"_s, {}, {20.0, 2.0}, {}},
                      {FieldKind::DataField, {}, u"店名"_s, u"head"_s, {1.0, 10.0}, {}}};
    l.detail.heightPx = 48;
    l.detail.fields = {{FieldKind::DataField, {}, u"名"_s, u"rows"_s, {0.0, 1.0}, {}},
                       {FieldKind::DataField, {}, u"数"_s, u"rows"_s, {30.0, 1.0},
                        [](const QString &t) { return u"<"_s + t + u">"_s; }}};
    l.summary.heightPx = 96;
    l.summary.fields = {{FieldKind::Separator, u"-----"_s, {}, {}, {0.0, 3.0}, {}}};
    report::TextBlock block;
    block.at = {0.0, 10.0};
    block.widthMm = 40;
    block.heightPx = 0;
    l.summary.block = block;
    return l;
}

report::Data sampleData(int rows)
{
    report::Table lines({u"名"_s, u"数"_s});
    for (int i = 0; i < rows; ++i)
        lines.addRow({u"货%1"_s.arg(i + 1), QString::number(i + 1)});
    report::Table head({u"ID"_s, u"店名"_s});
    head.addRow({u"1"_s, u"小店"_s});
    head.addRow({u"2"_s, u"另一家"_s});
    return {{u"rows"_s, lines}, {u"head"_s, head}};
}

QList<testing::PlacedText> paint(report::Layout &l, const report::Data &data, bool printing = true)
{
    testing::RecordingDevice device(QSizeF(60, 200));
    QPainter painter(&device);
    report::PaintOptions options;
    options.printing = printing;
    report::paintBands(painter, l, data, options);
    painter.end();
    return device.texts();
}

// "text@left,top" with millimetres to one decimal.
QStringList placed(const QList<testing::PlacedText> &texts)
{
    QStringList out;
    for (const auto &t : texts)
        out << u"%1@%2,%3"_s.arg(t.text).arg(t.mm.x(), 0, 'f', 1).arg(t.mm.y(), 0, 'f', 1);
    return out;
}

std::optional<QSizeF> pdfSizeOf(const QString &file)
{
    QProcess p;
    p.start(u"pdfinfo"_s, {file});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return std::nullopt;
    const auto m = QRegularExpression(u"Page size:\\s+([0-9.]+) x ([0-9.]+) pts"_s)
                       .match(QString::fromUtf8(p.readAllStandardOutput()));
    if (!m.hasMatch())
        return std::nullopt;
    return QSizeF(m.captured(1).toDouble() * 25.4 / 72, m.captured(2).toDouble() * 25.4 / 72);
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

// Where a printed text's ink ends on the right, mm from the origin.
qreal inkRight(const testing::PlacedText &t)
{
    return t.mm.x() + QFontMetricsF(t.font, &pdfResolution()).tightBoundingRect(t.text).right() * 25.4 / 1200;
}

std::optional<QString> pdfText(const QString &file)
{
    QProcess p;
    p.start(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, file, u"-"_s});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(p.readAllStandardOutput()).remove(QRegularExpression(u"\\s"_s));
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void bandsInOrder_data();
    void bandsInOrder();
    void valueFields();
    void hooksRunWhenPrinting();
    void viewShowsTheLayoutItself();
    void remarkBlockSlots_data();
    void remarkBlockSlots();
    void pageLength_data();
    void pageLength();

    void pdfPageSize_data();
    void pdfPageSize();
    void marginsWiderThanPaper();
    void oneBitPicture();

    void fitting_data();
    void fitting();
    void wrappedTextGrowsItsBand();
    void rulesCutAtThePrintEdge();
    void pdfTextLayer_data();
    void pdfTextLayer();

    void wrapping_data();
    void wrapping();
    void facesAreSimplifiedChinese();
};

void TestReport::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestReport::bandsInOrder_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("expected");
    // Title 25.4 mm, detail 12.7 mm per row, summary after the last row.
    const QStringList title{u"标题@1.0,2.0"_s, u"占位@20.0,2.0"_s, u"小店@1.0,10.0"_s};
    QTest::newRow("no rows") << 0 << title + QStringList{u"-----@0.0,28.4"_s};
    QTest::newRow("one row") << 1
                             << title + QStringList{u"货1@0.0,26.4"_s, u"<1>@30.0,26.4"_s, u"-----@0.0,41.1"_s};
    QTest::newRow("three rows") << 3
                                << title
            + QStringList{u"货1@0.0,26.4"_s, u"<1>@30.0,26.4"_s, u"货2@0.0,39.1"_s, u"<2>@30.0,39.1"_s,
                          u"货3@0.0,51.8"_s, u"<3>@30.0,51.8"_s, u"-----@0.0,66.5"_s};
}

void TestReport::bandsInOrder()
{
    QFETCH(int, rows);
    QFETCH(QStringList, expected);
    report::Layout l = sampleLayout();
    QCOMPARE(placed(paint(l, sampleData(rows))), expected);
}

void TestReport::valueFields()
{
    report::Layout l = sampleLayout();
    QVERIFY(l.findValue(u"v"_s));
    QVERIFY(!l.findValue(u"标题"_s)); // a caption is no value field
    QCOMPARE(placed(paint(l, sampleData(0))).value(1), u"占位@20.0,2.0"_s);
    l.setValue(u"v"_s, u"张三"_s);
    QCOMPARE(placed(paint(l, sampleData(0))).value(1), u"张三@20.0,2.0"_s);
    // An empty value prints nothing, not the placeholder.
    l.setValue(u"v"_s, QString());
    QVERIFY(!placed(paint(l, sampleData(0))).join(u' ').contains(u"占位"_s));
}

void TestReport::hooksRunWhenPrinting()
{
    report::Layout l = sampleLayout();
    l.summary.block->heightPx = 34;
    int calls = 0;
    l.summary.beforePrint = [&calls](report::Band &b) {
        ++calls;
        b.block->lines = {u"第一行"_s, u"第二行"_s};
    };
    const QStringList texts = placed(paint(l, sampleData(1)));
    QCOMPARE(calls, 1);
    // The block's lines, 17 px (4.5 mm) apart, below the band's top.
    QCOMPARE(texts.mid(texts.size() - 2), (QStringList{u"第一行@0.0,48.1"_s, u"第二行@0.0,52.6"_s}));
}

void TestReport::viewShowsTheLayoutItself()
{
    report::Layout l = sampleLayout();
    int calls = 0;
    l.summary.beforePrint = [&calls](report::Band &) { ++calls; };
    // On screen: no hooks, data fields by their column names, one detail band.
    const QStringList texts = placed(paint(l, sampleData(5), false));
    QCOMPARE(calls, 0);
    QCOMPARE(texts, (QStringList{u"标题@1.0,2.0"_s, u"占位@20.0,2.0"_s, u"店名@1.0,10.0"_s, u"名@0.0,26.4"_s,
                                 u"数@30.0,26.4"_s, u"-----@0.0,41.1"_s}));
}

void TestReport::remarkBlockSlots_data()
{
    QTest::addColumn<int>("heightPx");
    QTest::addColumn<QStringList>("printed");
    const QStringList none;
    QTest::newRow("no room") << 0 << none;
    QTest::newRow("one slot") << 17 << QStringList{u"一"_s};
    QTest::newRow("short of two slots") << 33 << QStringList{u"一"_s};
    QTest::newRow("two slots") << 34 << QStringList{u"一"_s, u"二"_s};
    QTest::newRow("room to spare") << 100 << QStringList{u"一"_s, u"二"_s, u"三"_s};
}

void TestReport::remarkBlockSlots()
{
    QFETCH(int, heightPx);
    QFETCH(QStringList, printed);
    report::Layout l = sampleLayout();
    l.summary.fields.clear();
    l.summary.block->heightPx = heightPx;
    l.summary.block->lines = {u"一"_s, u"二"_s, u"三"_s};
    QStringList texts;
    for (const auto &t : paint(l, {}))
        if (t.mm.y() > 30)
            texts << t.text;
    QCOMPARE(texts, printed);
}

void TestReport::pageLength_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("blockPx");
    QTest::addColumn<int>("pagePx");
    QTest::addColumn<double>("lengthMm");
    // Needed: 10 + 25.4 + 12.7 per row + summary + 10 mm; the summary reaches
    // down to its block's end where that lies lower.
    QTest::newRow("set length is enough") << 1 << 0 << 400 << 400 * 25.4 / 96;
    QTest::newRow("bands need more") << 10 << 0 << 300 << 10 + 25.4 + 127 + 25.4 + 10.0;
    QTest::newRow("no rows") << 0 << 0 << 10 << 10 + 25.4 + 25.4 + 10.0;
    QTest::newRow("block below the band") << 0 << 96 << 10 << 10 + 25.4 + (10 + 25.4) + 10.0;
    QTest::newRow("block inside the band") << 0 << 17 << 10 << 10 + 25.4 + 25.4 + 10.0;
}

void TestReport::pageLength()
{
    QFETCH(int, rows);
    QFETCH(int, blockPx);
    QFETCH(int, pagePx);
    QFETCH(double, lengthMm);
    report::Layout l = sampleLayout();
    l.pageLengthPx = pagePx;
    l.summary.block->heightPx = blockPx;
    const QSizeF size = report::pageSizeMm(l, sampleData(rows));
    QCOMPARE(qRound(size.width() * 100), qRound(219 * 25.4 / 96 * 100));
    QCOMPARE(qRound(size.height() * 100), qRound(lengthMm * 100));
}

void TestReport::pdfPageSize_data()
{
    QTest::addColumn<int>("pagePx");
    QTest::addColumn<int>("rows");
    QTest::addColumn<double>("lengthMm");
    QTest::newRow("58 mm, 325 px") << 325 << 1 << 85.99;
    QTest::newRow("grown to the bands") << 100 << 12 << 10 + 25.4 + 12 * 12.7 + 25.4 + 10.0;
}

void TestReport::pdfPageSize()
{
    QFETCH(int, pagePx);
    QFETCH(int, rows);
    QFETCH(double, lengthMm);
    if (QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed; scripts/install-deps.sh installs it");
    QTemporaryDir dir;
    const QString file = dir.filePath(u"page.pdf"_s);
    report::Layout l = sampleLayout();
    l.pageLengthPx = pagePx;
    report::writePdf(file, l, sampleData(rows), u"小票"_s);
    const auto size = pdfSizeOf(file);
    QVERIFY(size);
    // The PDF keeps whole points.
    QVERIFY2(std::abs(size->width() - 57.94) <= 0.5, qPrintable(QString::number(size->width())));
    QVERIFY2(std::abs(size->height() - lengthMm) <= 0.5, qPrintable(QString::number(size->height())));
}

void TestReport::marginsWiderThanPaper()
{
    QTemporaryDir dir;
    report::Layout l = sampleLayout();
    l.marginsMm = QMarginsF(30, 10, 30, 10);
    QVERIFY_THROWS_EXCEPTION(AppError, report::writePdf(dir.filePath(u"x.pdf"_s), l, sampleData(1)));
    l.marginsMm = QMarginsF(5, 200, 5, 200);
    l.pageLengthPx = 0;
    // Grown to the bands, the page still leaves the margins room.
    report::writePdf(dir.filePath(u"y.pdf"_s), l, sampleData(1));
    QVERIFY(QFile::exists(dir.filePath(u"y.pdf"_s)));
}

void TestReport::oneBitPicture()
{
    report::Layout l = sampleLayout();
    const QImage image = report::renderImage(l, sampleData(2), 203, true);
    QCOMPARE(image.format(), QImage::Format_Mono);
    QCOMPARE(image.width(), qRound(219 * 25.4 / 96 / 25.4 * 203));
    QCOMPARE(qRound(image.dotsPerMeterX() * 0.0254), 203);
    // Ink where the title's caption stands (10 mm + 2 mm down, 5 mm + 1 mm in),
    // none in the margin above it.
    auto inkIn = [&image](QRectF mm) {
        int ink = 0;
        const QRect r(qRound(mm.x() / 25.4 * 203), qRound(mm.y() / 25.4 * 203), qRound(mm.width() / 25.4 * 203),
                      qRound(mm.height() / 25.4 * 203));
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                ink += qGray(image.pixel(x, y)) < 128;
        return ink;
    };
    QVERIFY(inkIn(QRectF(6, 12, 6, 3)) > 20);
    QCOMPARE(inkIn(QRectF(0, 0, 57, 9)), 0);
}

Q_DECLARE_METATYPE(report::Fit)

void TestReport::fitting_data()
{
    QTest::addColumn<report::Fit>("fit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("rightMm");   // the field's room ends here; 0: the print's edge
    QTest::addColumn<double>("printable"); // the print head's width; 0: all of the paper
    QTest::addColumn<double>("edgeMm");    // where the ink must end
    QTest::addColumn<bool>("whole");
    using report::Fit;
    const QString digits = u"123456789012345.00"_s;
    const QString han = QString(u"上海浦东新区张江高科技园区"_s).repeated(8);
    QTest::newRow("fits: as designed") << Fit::Shrink << u"12.50"_s << 40.0 << 0.0 << 40.0 << true;
    QTest::newRow("number: narrower, smaller, whole") << Fit::Shrink << digits << 20.0 << 0.0 << 20.0 << true;
    QTest::newRow("number: ends inside the margin") << Fit::Shrink << digits + digits << 0.0 << 0.0 << 47.94 << true;
    QTest::newRow("number: ends where the head reaches") << Fit::Shrink << digits + digits.left(10) << 0.0 << 36.0 << 41.97 << true;
    QTest::newRow("room past the edge: the edge") << Fit::Shrink << digits + digits << 60.0 << 48.0 << 47.94 << true;
    QTest::newRow("name: cut at a legible size") << Fit::ShrinkCut << han << 30.0 << 0.0 << 30.0 << false;
    QTest::newRow("name that fits smaller: whole") << Fit::ShrinkCut << han.left(12) << 30.0 << 0.0 << 30.0 << true;
}

// A text too wide for its room is drawn narrower and smaller, on its
// field's baseline, or cut short with an ellipsis, never past the room.
void TestReport::fitting()
{
    QFETCH(report::Fit, fit);
    QFETCH(QString, text);
    QFETCH(double, rightMm);
    QFETCH(double, printable);
    QFETCH(double, edgeMm);
    QFETCH(bool, whole);
    report::Layout l = sampleLayout();
    l.printableWidthMm = printable;
    l.smallestPointSize = 6;
    report::Field &v = l.title.fields[1]; // the value field at 20.0, 2.0
    v.at = {10.0, 2.0};
    v.rightMm = rightMm;
    v.fit = fit;
    l.setValue(u"v"_s, text);
    const QList<testing::PlacedText> texts = paint(l, sampleData(0));
    const testing::PlacedText &caption = texts.at(0), &value = texts.at(1);
    QCOMPARE(value.mm.x(), 10.0);
    QCOMPARE(value.baselineMm, caption.baselineMm);
    QVERIFY2(inkRight(value) <= edgeMm, qPrintable(u"ends at %1 mm"_s.arg(inkRight(value))));
    if (whole) {
        QCOMPARE(value.text, text);
    } else {
        QVERIFY(value.text.endsWith(QChar(0x2026)));
        QVERIFY(value.text.size() > 2);
        QVERIFY(text.startsWith(value.text.chopped(1)));
        QCOMPARE(value.font.pointSizeF(), 6.0);
    }
    const bool fitsAsItIs = text.size() <= 5;
    if (fitsAsItIs) {
        QCOMPARE(value.font.pointSizeF(), l.fieldFont.pointSizeF());
        QCOMPARE(value.font.stretch(), l.fieldFont.stretch());
    } else {
        // Narrower first: 70 per cent of its width is as far as that goes.
        QVERIFY2(value.font.stretch() >= 70 && value.font.stretch() < 100, qPrintable(QString::number(value.font.stretch())));
    }
}

// A text carried onto further lines keeps every character, and moves the
// fields below it, the band's end and the page's end down by those lines.
void TestReport::wrappedTextGrowsItsBand()
{
    report::Layout l = sampleLayout();
    report::Field &name = l.detail.fields[0]; // 名 at 0.0, 1.0
    name.rightMm = 25;
    name.fit = report::Fit::Wrap;
    l.detail.fields << report::Field{FieldKind::Caption, u"下"_s, {}, {}, {5.0, 6.0}, {}};
    const QString longName = u"进口特级初榨橄榄油礼盒装 Extra Virgin 1L×2瓶 加赠开瓶器"_s;
    report::Data data = sampleData(2);
    report::Table lines({u"名"_s, u"数"_s});
    lines.addRow({longName, u"1"_s});
    lines.addRow({u"货2"_s, u"2"_s});
    data[u"rows"_s] = lines;

    const QList<testing::PlacedText> texts = paint(l, data);
    QStringList nameLines;
    qreal lastNameTop = 0, belowTop = 0;
    for (const auto &t : texts) {
        if (t.mm.x() == 0.0 && t.mm.y() > 25 && t.mm.y() < 45 && t.text != u"货2"_s) {
            nameLines << t.text;
            lastNameTop = t.mm.y();
            QVERIFY2(inkRight(t) <= 25, qPrintable(t.text));
        }
        if (t.text == u"下"_s && belowTop == 0)
            belowTop = t.mm.y();
    }
    QVERIFY2(nameLines.size() >= 3, qPrintable(nameLines.join(u'|')));
    QCOMPARE(nameLines.join(QString()).remove(u' '), QString(longName).remove(u' '));
    // The lines step down one under the other; what lay below moved as far.
    const qreal grown = lastNameTop - (25.4 + 1.0);
    QVERIFY(grown > 0);
    QCOMPARE(qRound((belowTop - (25.4 + 6.0)) * 100), qRound(grown * 100));
    // The next row and the page come that much later.
    const auto second = std::find_if(texts.begin(), texts.end(), [](const auto &t) { return t.text == u"货2"_s; });
    QCOMPARE(qRound(second->mm.y() * 100), qRound((25.4 + 12.7 + grown + 1.0) * 100));
    l.pageLengthPx = 0;
    QCOMPARE(qRound((report::pageSizeMm(l, data).height() - report::pageSizeMm(l, sampleData(2)).height()) * 100),
             qRound(grown * 100));
}

// A rule longer than the print head reaches burns up to its edge and no further.
void TestReport::rulesCutAtThePrintEdge()
{
    report::Layout l = sampleLayout();
    l.printableWidthMm = 40; // from 8.97 to 48.97 mm on 57.94 mm paper
    l.summary.fields[0].text = QString(60, u'-');
    const QImage image = report::renderImage(l, sampleData(1), 203, true);
    int leftmost = image.width(), rightmost = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                leftmost = std::min(leftmost, x);
                rightmost = std::max(rightmost, x);
            }
        }
    }
    // A dot the edge runs through may burn; none wholly past it.
    const auto from = [](int dot) { return dot * 25.4 / 203; };
    QVERIFY2(from(rightmost) < 48.97, qPrintable(QString::number(from(rightmost))));
    QVERIFY2(from(rightmost) > 47.5, qPrintable(QString::number(from(rightmost))));
    QVERIFY(from(leftmost) >= 5.0);
}

void TestReport::pdfTextLayer_data()
{
    QTest::addColumn<QString>("drawn");
    QTest::addColumn<QString>("read");
    // Qt would name these glyphs ⼾ ⼭ ⽜ ⾁ ⻘ 㬵 (radicals, Extension A).
    QTest::newRow("everyday characters") << u"客户 山 牛肉面 青岛 胶带"_s << u"客户山牛肉面青岛胶带"_s;
    QTest::newRow("digits among them") << u"矿泉水550ml 户号12"_s << u"矿泉水550ml户号12"_s;
    // A radical the page itself drew is what it reads.
    QTest::newRow("a radical drawn") << u"⼾"_s << u"⼾"_s;
}

// The PDF's text layer reads the characters drawn.
void TestReport::pdfTextLayer()
{
    QFETCH(QString, drawn);
    QFETCH(QString, read);
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed; scripts/install-deps.sh installs it");
    QTemporaryDir dir;
    const QString file = dir.filePath(u"page.pdf"_s);
    report::Layout l = sampleLayout();
    l.title.fields = {{FieldKind::Caption, drawn, {}, {}, {1.0, 2.0}, {}}};
    l.summary.fields.clear();
    report::writePdf(file, l, {}, u"小票"_s);
    QCOMPARE(pdfText(file), std::optional<QString>(read));
}

void TestReport::wrapping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    const QString fifteen = u"一二三四五六七八九十甲乙丙丁戊"_s;
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("one line") << u"谢谢惠顾"_s << QStringList{u"谢谢惠顾"_s};
    QTest::newRow("final break not a line") << u"谢谢惠顾\n"_s << QStringList{u"谢谢惠顾"_s};
    QTest::newRow("empty line inside") << u"甲\n\n乙"_s << QStringList{u"甲"_s, QString(), u"乙"_s};
    QTest::newRow("two final breaks") << u"甲\n\n"_s << QStringList{u"甲"_s, QString()};
    QTest::newRow("only a break") << u"\n"_s << QStringList{QString()};
    QTest::newRow("Windows breaks") << u"甲\r\n乙\r\n"_s << QStringList{u"甲"_s, u"乙"_s};
    QTest::newRow("fifteen Han fit") << fifteen << QStringList{fifteen};
    QTest::newRow("sixteen Han wrap") << fifteen + u"己"_s << QStringList{fifteen, u"己"_s};
    QTest::newRow("thirty-one Han") << fifteen + fifteen + u"己"_s << QStringList{fifteen, fifteen, u"己"_s};
    QTest::newRow("words wrap whole")
        << u"Supercalifragilistic expialidocious"_s << QStringList{u"Supercalifragilistic "_s, u"expialidocious"_s};
}

void TestReport::wrapping()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    // 宋体 13 px in a 200-pixel text area: a Han character is 13 px wide.
    QCOMPARE(report::wrapLines(text, report::faces::remarkBox(), 200), lines);
}

void TestReport::facesAreSimplifiedChinese()
{
    // Han characters whose Simplified Chinese and Japanese forms differ: the
    // receipt must show the Chinese ones under any locale.
    const QString han = u"骨直"_s;
    auto picture = [&han](QFont font) {
        font.setPixelSize(64);
        QImage image(160, 80, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPointF(4, 64), han);
        return image;
    };
    const QFont field = report::faces::field(8);
    QFont sc(u"Noto Sans CJK SC"_s), jp(u"Noto Sans CJK JP"_s);
    sc.setWeight(field.weight());
    jp.setWeight(field.weight());
    if (!QFontDatabase::hasFamily(u"方正兰亭刊黑_GBK"_s)) {
        QCOMPARE(QFontInfo(field).family(), u"Noto Sans CJK SC"_s);
        QCOMPARE(picture(field), picture(sc));
        QVERIFY(picture(field) != picture(jp));
    }
    QFont remark = report::faces::remarkBox();
    QCOMPARE(remark.pixelSize(), 13);
    if (!QFontDatabase::hasFamily(u"宋体"_s))
        QCOMPARE(QFontInfo(remark).family(), u"Noto Serif CJK SC"_s);
    if (!QFontDatabase::hasFamily(u"Arial"_s))
        QCOMPARE(QFontInfo(report::faces::separator()).family(), u"Liberation Sans"_s);
    QCOMPARE(report::faces::separator().pointSizeF(), 10.0);
    // The Windows names resolve to the stand-ins wherever a layout names them.
    QCOMPARE(QFont::substitute(u"方正兰亭刊黑_GBK"_s).toLower(), u"noto sans cjk sc"_s);
    QCOMPARE(QFont::substitute(u"宋体"_s).toLower(), u"noto serif cjk sc"_s);
    QCOMPARE(QFont::substitute(u"Arial"_s).toLower(), u"liberation sans"_s);
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
