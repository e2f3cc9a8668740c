// Receipt printers spoken to in ESC/POS, against a fake printer in this
// process (support/FakeEscPos.h) that reads the bytes as a printer does and
// puts each receipt's raster back together: over the network (127.0.0.1), a
// device (a pseudo terminal, as a serial line) and a raw CUPS queue whose
// backend writes into a file. The raw queue needs a running cupsd and root
// (to add a queue and its backend); without them those rows are skipped,
// saying why.
#include "app/HotKeys.h"
#include "print/Cups.h"
#include "print/EscPos.h"
#include "print/EscPosPrinter.h"
#include "print/PrinterSettings.h"
#include "print/ReceiptLayouts.h"
#include "report/Output.h"
#include "base/AppError.h"
#include "support/FakeEscPos.h"
#include "support/PrintSupport.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using receipt::Paper;
using testing::FakeEscPosPrinter;
namespace escpos = print::escpos;

Q_DECLARE_METATYPE(receipt::Paper)

namespace {

const QString kKept = u"。单据已保留，处理好打印机后按F5重新打印。"_s;
const QString kBackends = u"/usr/lib/cups/backend"_s;

QString run(const QString &program, const QStringList &args, int *code = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ran = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
    if (code)
        *code = ran ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll()).trimmed();
}

report::Data sampleData(int lines)
{
    const QString names[] = {u"可口可乐"_s, u"康师傅红烧牛肉面"_s, u"蒙牛纯牛奶 整箱"_s, u"苹果(斤)"_s};
    report::Table ticket({u"ID"_s, u"单号"_s, u"品名"_s, u"单价"_s, u"数量"_s, u"金额"_s, u"折后"_s});
    for (int i = 0; i < lines; ++i)
        ticket.addRow({QString::number(i + 1), u"20240305093000"_s, names[i % 4], u"%1.5"_s.arg(2 + i % 7),
                       QString::number(1 + i % 3), u"9"_s, u"9"_s});
    report::Table content({u"ID"_s, u"店名"_s, u"备注"_s});
    content.addRow({u"1"_s, u"小王便利店"_s, u"谢谢惠顾\n欢迎再来"_s});
    return {{receipt::kLines, ticket}, {receipt::kContent, content}};
}

// Layout k of a paper width, filled as the checkout fills it.
report::Layout sampleLayout(Paper paper, int k, int lines)
{
    namespace v = receipt::value;
    report::Layout l = receipt::design(paper, k);
    l.pageLengthPx = receipt::pageLengthPx(paper, k == 3, 2, lines);
    l.summary.block->heightPx = 2 * receipt::kRemarkLinePx;
    l.summary.block->lines = {u"谢谢惠顾"_s, u"欢迎再来"_s};
    l.setValue(v::cashier, u"张三"_s);
    l.setValue(v::number, u"20240305093000"_s);
    l.setValue(v::time, u"2024-03-05 09:30:00"_s);
    if (k >= 2)
        l.setValue(v::customer, u"李四"_s);
    if (k == 3)
        l.setValue(v::phone, u"13800138000"_s);
    l.setValue(v::quantityTotal, u"24"_s);
    l.setValue(v::amountTotal, u"108"_s);
    l.setValue(v::afterDiscountTotal, u"108"_s);
    l.setValue(v::received, u"110"_s);
    l.setValue(v::change, u"2"_s);
    return l;
}

bool dark(const QImage &picture, int x, int y)
{
    return qGray(picture.pixel(x, y)) < 128;
}

// Where two pictures differ, or empty when every dot is the same.
QString difference(const QImage &got, const QImage &expected)
{
    if (got.size() != expected.size())
        return u"%1×%2 dots, expected %3×%4"_s.arg(got.width())
            .arg(got.height())
            .arg(expected.width())
            .arg(expected.height());
    int differing = 0;
    QString first;
    for (int y = 0; y < got.height(); ++y) {
        for (int x = 0; x < got.width(); ++x) {
            if (dark(got, x, y) != dark(expected, x, y)) {
                if (first.isEmpty())
                    first = u"(%1, %2)"_s.arg(x).arg(y);
                ++differing;
            }
        }
    }
    return differing ? u"%1 dots differ, the first at %2"_s.arg(differing).arg(first) : QString();
}

// The page the report engine draws at 203 dpi, and the part of it the
// printer burns: the middle 384 dots of 58 mm paper, 576 of 76 mm.
struct Expected {
    QImage page;
    QImage burnt;
    int inkOutside = 0; // black dots of the page beyond the burnt width
};

Expected expectedReceipt(report::Layout &layout, const report::Data &data, Paper paper)
{
    Expected e;
    e.page = report::renderImage(layout, data, 203, true);
    const int dots = paper == Paper::Mm58 ? 384 : 576;
    const int left = (e.page.width() - dots) / 2;
    e.burnt = e.page.copy(left, 0, dots, e.page.height());
    for (int y = 0; y < e.page.height(); ++y) {
        for (int x = 0; x < e.page.width(); ++x) {
            if ((x < left || x >= left + dots) && dark(e.page, x, y))
                ++e.inkOutside;
        }
    }
    return e;
}

QStringList statusQuestions()
{
    return {u"DLE EOT 1"_s, u"DLE EOT 2"_s, u"DLE EOT 3"_s, u"DLE EOT 4"_s};
}

// The commands of one receipt as the printer should read them.
QStringList receiptCommands(int lines, bool questions, bool drawer)
{
    QStringList c;
    if (questions)
        c << statusQuestions();
    c << u"ESC @"_s;
    for (int band = 0; band < (lines + 23) / 24; ++band)
        c << u"GS v 0"_s;
    c << u"GS V 66 0"_s;
    if (questions)
        c << u"GS r 1"_s;
    if (drawer) {
        c << u"ESC p 0 25 250"_s;
        if (questions)
            c << u"DLE EOT 1"_s;
    }
    return c;
}

QString printError(const std::function<void()> &print)
{
    try {
        print();
    } catch (const AppError &e) {
        return e.message();
    }
    return {};
}

// Counts its ticks while the window waits for the printer.
struct Ticks {
    QTimer timer;
    int count = 0;
    Ticks()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { ++count; });
        timer.start(50);
    }
};

quint16 closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

QImage randomMono(int width, int height, quint32 seed, bool oneIsWhite = false)
{
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable(oneIsWhite ? QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
                                   : QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)});
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.bounded(2));
    }
    return image;
}

} // namespace

class TestEscPos : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    // The bytes, read back by the fake printer's reader.
    void raster_data();
    void raster();
    void printableWidth_data();
    void printableWidth();

    void receiptPixelForPixel_data();
    void receiptPixelForPixel();
    void status_data();
    void status();
    void unanswered_data();
    void unanswered();
    void drawer_data();
    void drawer();
    void stopsReadingMidReceipt_data();
    void stopsReadingMidReceipt();
    void addresses_data();
    void addresses();
    void unreachable_data();
    void unreachable();

    void settings_data();
    void settings();
    void checkout_data();
    void checkout();

    void rawQueue_data();
    void rawQueue();

private:
    QString cupsMissing_;
    QString queue_;
    QString backend_;
    QString outFile_;
    QTemporaryDir outDir_;
    std::unique_ptr<testing::TempWorkDir> dir_;
};

void TestEscPos::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
    if (QStandardPaths::findExecutable(u"lpadmin"_s).isEmpty())
        cupsMissing_ = u"CUPS is not installed (scripts/install-deps.sh installs cups)"_s;
    else if (const QString s = run(u"lpstat"_s, {u"-r"_s}); s != u"scheduler is running"_s)
        cupsMissing_ = u"cupsd is not running (%1); scripts/test.sh starts it as root"_s.arg(s);
    else if (geteuid() != 0)
        cupsMissing_ = u"not root: the test installs its own CUPS backend"_s;
    if (!cupsMissing_.isEmpty())
        return;

    // A backend of a few lines that appends every job to a file: the
    // printer at the end of a raw queue.
    const QString tag = QString::number(QCoreApplication::applicationPid());
    outFile_ = outDir_.filePath(u"device.bin"_s);
    backend_ = kBackends + u"/velmora-escpos-"_s + tag;
    QFile script(backend_);
    if (!script.open(QIODevice::WriteOnly)) {
        cupsMissing_ = u"cannot write a backend into %1"_s.arg(kBackends);
        return;
    }
    script.write("#!/bin/sh\n[ $# -eq 0 ] && exit 0\nif [ -n \"$6\" ]; then cat \"$6\"; else cat; fi >> '"
                 + outFile_.toUtf8() + "'\n");
    script.close();
    // Owned by root and not world-readable: cupsd runs it as root.
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    queue_ = u"velmora-escpos-"_s + tag;
    int code = -1;
    // No driver: a raw queue.
    const QString said = run(u"lpadmin"_s, {u"-p"_s, queue_, u"-v"_s, u"velmora-escpos-"_s + tag + u":/"_s, u"-E"_s,
                                            u"-o"_s, u"printer-error-policy=abort-job"_s},
                             &code);
    if (code != 0) {
        cupsMissing_ = u"cannot add a raw CUPS queue: %1"_s.arg(said);
        queue_.clear();
    }
}

void TestEscPos::cleanupTestCase()
{
    if (!queue_.isEmpty()) {
        run(u"cancel"_s, {u"-a"_s, queue_});
        run(u"lpadmin"_s, {u"-x"_s, queue_});
    }
    if (!backend_.isEmpty())
        QFile::remove(backend_);
}

void TestEscPos::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>(false);
    escpos::setTimeouts({2000, 1000, 2000});
    print::cups::setTimeouts({2000, 20000});
}

void TestEscPos::cleanup()
{
    escpos::setTimeouts({});
    print::cups::setTimeouts({});
    print::setPrinter({});
    dir_.reset();
}

void TestEscPos::raster_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<int>("bandLines");
    QTest::addColumn<QString>("bands"); // bytes × lines of each GS v 0

    QTest::newRow("two whole bands") << randomMono(384, 48, 1) << 24 << u"48x24 48x24"_s;
    QTest::newRow("a short last band") << randomMono(384, 50, 2) << 24 << u"48x24 48x24 48x2"_s;
    QTest::newRow("one band of 255 lines") << randomMono(576, 255, 3) << 255 << u"72x255"_s;
    QTest::newRow("255 lines and one") << randomMono(576, 256, 4) << 255 << u"72x255 72x1"_s;
    QTest::newRow("a width that is no multiple of 8") << randomMono(10, 30, 5) << 24 << u"2x24 2x6"_s;
    QTest::newRow("one dot wide") << randomMono(1, 3, 6) << 24 << u"1x3"_s;
    // The width and the lines are two bytes each, low byte first.
    QTest::newRow("more than 255 bytes a row") << randomMono(2100, 2, 7) << 24 << u"263x2"_s;
    QTest::newRow("more than 255 lines a band") << randomMono(8, 300, 8) << 300 << u"1x300"_s;
    QTest::newRow("a one-bit picture whose 1 is white") << randomMono(64, 5, 9, true) << 24 << u"8x5"_s;
    // Grey turns black below the middle, dot by dot: no dithering.
    QImage grey(256, 2, QImage::Format_RGB32);
    for (int x = 0; x < 256; ++x) {
        grey.setPixel(x, 0, qRgb(x, x, x));
        grey.setPixel(x, 1, qRgb(255 - x, 255 - x, 255 - x));
    }
    QTest::newRow("grey at a threshold") << grey << 24 << u"32x2"_s;
    QTest::newRow("no lines") << QImage(384, 0, QImage::Format_Mono) << 24 << QString();
}

void TestEscPos::raster()
{
    QFETCH(QImage, picture);
    QFETCH(int, bandLines);
    QFETCH(QString, bands);
    const testing::EscPosReader read = testing::readEscPos(escpos::receipt(picture, bandLines));
    QCOMPARE(read.faults, QStringList());
    QStringList got;
    for (const testing::RasterBand &b : read.bands) {
        QCOMPARE(b.mode, 0);
        got << u"%1x%2"_s.arg(b.rowBytes).arg(b.lines);
    }
    QCOMPARE(got.join(u' '), bands);
    QCOMPARE(read.commands.first(), u"ESC @"_s);
    QCOMPARE(read.commands.last(), u"GS V 66 0"_s);
    QCOMPARE(read.commands.size(), read.bands.size() + 2);
    QCOMPARE(read.receipts.size(), 1);
    const QImage &back = read.receipts.first();
    QCOMPARE(back.height(), picture.height());
    if (picture.height() == 0)
        return;
    QCOMPARE(back.width(), (picture.width() + 7) / 8 * 8);
    // Every dot as it was; the bits past the width white.
    QCOMPARE(difference(back.copy(0, 0, picture.width(), picture.height()), picture), QString());
    for (int y = 0; y < back.height(); ++y) {
        for (int x = picture.width(); x < back.width(); ++x)
            QVERIFY2(!dark(back, x, y), qPrintable(u"a black dot past the width at (%1, %2)"_s.arg(x).arg(y)));
    }
}

void TestEscPos::printableWidth_data()
{
    QTest::addColumn<Paper>("paper");
    QTest::addColumn<int>("dots");
    QTest::newRow("58 mm") << Paper::Mm58 << 384;
    QTest::newRow("76 mm") << Paper::Mm76 << 576;
}

void TestEscPos::printableWidth()
{
    QFETCH(Paper, paper);
    QFETCH(int, dots);
    for (int k = 1; k <= 3; ++k) {
        report::Layout layout = sampleLayout(paper, k, 3);
        const report::Data data = sampleData(3);
        const Expected e = expectedReceipt(layout, data, paper);
        // Everything, the dashed rules included, lies within what the
        // printer burns: nothing of the receipt is cut away.
        QCOMPARE(e.inkOutside, 0);
        const QImage image = escpos::receiptImage(layout, data);
        QCOMPARE(image.width(), dots);
        QCOMPARE(difference(image, e.burnt), QString());
    }
}

void TestEscPos::receiptPixelForPixel_data()
{
    QTest::addColumn<Paper>("paper");
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("lines"); // 0: as many as make a last band of 10 lines
    QTest::addColumn<int>("link");
    QTest::addColumn<bool>("answersInPictures");
    const int network = int(FakeEscPosPrinter::Link::Network), device = int(FakeEscPosPrinter::Link::Device);
    for (int k = 1; k <= 3; ++k) {
        QTest::addRow("58 mm, layout %d, network", k) << Paper::Mm58 << k << 4 << network << false;
        QTest::addRow("76 mm, layout %d, network", k) << Paper::Mm76 << k << 4 << network << false;
    }
    QTest::newRow("58 mm, 20 lines, serial line") << Paper::Mm58 << 1 << 20 << device << false;
    // 10 lines are a line feed (0x0A) in the band's header, which a
    // terminal left as it was would send as two bytes.
    QTest::newRow("76 mm, serial line, a band of 10 lines") << Paper::Mm76 << 3 << 0 << device << false;
    // Answers about its state that nobody asked for come before the one
    // that says printed.
    QTest::newRow("a printer answering in pictures") << Paper::Mm76 << 2 << 4 << network << true;
}

void TestEscPos::receiptPixelForPixel()
{
    QFETCH(Paper, paper);
    QFETCH(int, layout);
    QFETCH(int, lines);
    QFETCH(int, link);
    QFETCH(bool, answersInPictures);
    for (int n = 1; lines == 0 && n < 100; ++n) {
        const report::Layout probe = sampleLayout(paper, layout, n);
        if (qRound(report::pageSizeMm(probe, sampleData(n)).height() / 25.4 * 203) % 24 == 10)
            lines = n;
    }
    QVERIFY(lines > 0);
    FakeEscPosPrinter fake{FakeEscPosPrinter::Link(link)};
    QVERIFY(!fake.address().isEmpty());
    fake.setAnswersInPictures(answersInPictures);
    // The receipt counts as printed when the printer says so, not before.
    fake.setPrintingTime(200);
    report::Layout l = sampleLayout(paper, layout, lines);
    const report::Data data = sampleData(lines);
    const Expected e = expectedReceipt(l, data, paper);

    escpos::EscPosPrinter printer(escpos::parseAddress(fake.address()), false);
    QCOMPARE(printError([&] { printer.print(l, data, u"小票 20240305093000"_s); }), QString());
    QCOMPARE(fake.printedAnswers(), 1);

    const testing::EscPosReader read = fake.reader();
    QCOMPARE(read.faults, QStringList());
    // The Chinese went as dots: not one byte was text in the printer's font.
    QCOMPARE(read.commands, receiptCommands(e.page.height(), true, false));
    QCOMPARE(read.receipts.size(), 1);
    QCOMPARE(difference(read.receipts.first(), e.burnt), QString());
}

void TestEscPos::status_data()
{
    QTest::addColumn<QByteArray>("status"); // the answers to DLE EOT 1 to 4
    QTest::addColumn<QString>("reasons"); // empty: it prints
    QTest::newRow("ready") << QByteArray("\x12\x12\x12\x12") << QString();
    QTest::newRow("paper near its end") << QByteArray("\x12\x12\x12\x1E") << QString();
    QTest::newRow("drawer open") << QByteArray("\x16\x12\x12\x12") << QString();
    QTest::newRow("paper out") << QByteArray("\x1A\x32\x12\x72") << u"缺纸"_s;
    QTest::newRow("paper out, told by the sensor alone") << QByteArray("\x12\x12\x12\x72") << u"缺纸"_s;
    QTest::newRow("cover open") << QByteArray("\x1A\x16\x12\x12") << u"上盖打开"_s;
    QTest::newRow("cover open and no paper") << QByteArray("\x1A\x36\x12\x72") << u"缺纸，上盖打开"_s;
    QTest::newRow("offline") << QByteArray("\x1A\x12\x12\x12") << u"脱机"_s;
    QTest::newRow("waiting to come back online") << QByteArray("\x32\x12\x12\x12") << u"脱机"_s;
    QTest::newRow("cutter fault") << QByteArray("\x1A\x52\x1A\x12") << u"切刀故障"_s;
    QTest::newRow("mechanical fault") << QByteArray("\x1A\x52\x16\x12") << u"打印机机械故障"_s;
    QTest::newRow("fault it cannot recover from")
        << QByteArray("\x1A\x52\x32\x12") << u"打印机故障(不能自动恢复，请关机检查)"_s;
    QTest::newRow("head too hot") << QByteArray("\x1A\x52\x52\x12") << u"打印头过热(稍后会自动恢复)"_s;
    QTest::newRow("a fault without its cause") << QByteArray("\x1A\x52\x12\x12") << u"打印机故障"_s;
}

void TestEscPos::status()
{
    QFETCH(QByteArray, status);
    QFETCH(QString, reasons);
    QCOMPARE(status.size(), 4);
    FakeEscPosPrinter fake;
    fake.setStatus({quint8(status[0]), quint8(status[1]), quint8(status[2]), quint8(status[3])});
    report::Layout l = sampleLayout(Paper::Mm58, 1, 2);
    const report::Data data = sampleData(2);
    escpos::EscPosPrinter printer(escpos::parseAddress(fake.address()), true);
    const QString error = printError([&] { printer.print(l, data, u"小票"_s); });
    const testing::EscPosReader read = fake.reader();
    if (reasons.isEmpty()) {
        QCOMPARE(error, QString());
        QCOMPARE(read.receipts.size(), 1);
        return;
    }
    QCOMPARE(error, u"打印机“%1”：%2，小票没有打印"_s.arg(fake.address(), reasons) + kKept);
    // Asked, and nothing more: no receipt, no drawer.
    fake.settle();
    QCOMPARE(fake.reader().commands, statusQuestions());
}

void TestEscPos::unanswered_data()
{
    QTest::addColumn<bool>("answersStatus");
    QTest::addColumn<bool>("answersPrinted");
    QTest::addColumn<QString>("message");
    QTest::newRow("no answer about its state")
        << false << true << u"打印机“%1”在1秒内没有回答状态查询(DLE EOT)，小票没有打印"_s + kKept;
    QTest::newRow("never says printed")
        << true << false
        << u"打印机“%1”在2秒内没有打完小票(可能缺纸、上盖打开或者出了故障)，小票没有打印完整"_s + kKept;
}

void TestEscPos::unanswered()
{
    QFETCH(bool, answersStatus);
    QFETCH(bool, answersPrinted);
    QFETCH(QString, message);
    FakeEscPosPrinter fake;
    fake.setAnswers(answersStatus, answersPrinted);
    report::Layout l = sampleLayout(Paper::Mm58, 1, 2);
    const report::Data data = sampleData(2);
    escpos::EscPosPrinter printer(escpos::parseAddress(fake.address()), true);
    Ticks ticks;
    QCOMPARE(printError([&] { printer.print(l, data, u"小票"_s); }), message.arg(fake.address()));
    QVERIFY2(ticks.count > 0, "the event loop stood still while the printer was waited for");
    fake.settle();
    QVERIFY(!fake.reader().commands.join(u'|').contains(u"ESC p"_s));
}

void TestEscPos::drawer_data()
{
    QTest::addColumn<bool>("drawer");
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("failure"); // how the receipt fails, if it does (paper out: see status())
    const int network = int(FakeEscPosPrinter::Link::Network), device = int(FakeEscPosPrinter::Link::Device);
    QTest::newRow("off") << false << network << QString();
    QTest::newRow("on") << true << network << QString();
    QTest::newRow("on, serial line") << true << device << QString();
    QTest::newRow("on, the printer stops reading") << true << network << u"stops"_s;
}

void TestEscPos::drawer()
{
    QFETCH(bool, drawer);
    QFETCH(int, link);
    QFETCH(QString, failure);
    FakeEscPosPrinter fake{FakeEscPosPrinter::Link(link)};
    if (failure == u"stops"_s)
        fake.stopReadingAfter(2000);
    report::Layout l = sampleLayout(Paper::Mm58, 1, 2);
    const report::Data data = sampleData(2);
    const int height = report::renderImage(l, data, 203, true).height();
    escpos::EscPosPrinter printer(escpos::parseAddress(fake.address()), drawer);
    const QString error = printError([&] { printer.print(l, data, u"小票"_s); });
    fake.resumeReading();
    fake.settle();
    const testing::EscPosReader read = fake.reader();
    if (failure.isEmpty()) {
        QCOMPARE(error, QString());
        // The pulse after the printer said the receipt printed, never before.
        QCOMPARE(read.commands, receiptCommands(height, true, drawer));
        return;
    }
    QVERIFY(!error.isEmpty());
    QVERIFY2(!read.commands.join(u'|').contains(u"ESC p"_s), qPrintable(read.commands.join(u'|')));
}

void TestEscPos::stopsReadingMidReceipt_data()
{
    QTest::addColumn<int>("link");
    QTest::newRow("network") << int(FakeEscPosPrinter::Link::Network);
    QTest::newRow("serial line") << int(FakeEscPosPrinter::Link::Device);
}

void TestEscPos::stopsReadingMidReceipt()
{
    QFETCH(int, link);
    FakeEscPosPrinter fake{FakeEscPosPrinter::Link(link)};
    fake.stopReadingAfter(3000);
    report::Layout l = sampleLayout(Paper::Mm76, 3, 20);
    const report::Data data = sampleData(20);
    escpos::EscPosPrinter printer(escpos::parseAddress(fake.address()), false);
    Ticks ticks;
    const QString error = printError([&] { printer.print(l, data, u"小票"_s); });
    // Either the printer stopped taking bytes while they were written, or it
    // never said it printed what the system's buffers took for it.
    const QString printerName = u"打印机“%1”"_s.arg(fake.address());
    const QStringList messages{
        printerName + u"在1秒内没有接收数据(可能缺纸、上盖打开或者出了故障)，小票没有打印完整"_s + kKept,
        printerName + u"在2秒内没有打完小票(可能缺纸、上盖打开或者出了故障)，小票没有打印完整"_s + kKept};
    QVERIFY2(messages.contains(error), qPrintable(error));
    QVERIFY2(ticks.count > 0, "the event loop stood still while the printer was waited for");
    // What had not reached the printer is dropped: once it reads again,
    // the rest of the receipt and its cut do not come.
    fake.resumeReading();
    fake.settle();
    const testing::EscPosReader read = fake.reader();
    QVERIFY2(!read.commands.contains(u"GS V 66 0"_s), qPrintable(u"%1 bytes came"_s.arg(fake.received().size())));
}

void TestEscPos::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed"); // kind|target, or the message
    const QString forms = u"应写成“queue:打印队列名”(CUPS的原始队列)、设备路径(如/dev/usb/lp0)"
                          u"或“主机:端口”(如192.168.1.50:9100)"_s;
    QTest::newRow("raw queue") << u"queue:Receipt"_s << u"queue|Receipt"_s;
    QTest::newRow("raw queue, Chinese name") << u"queue:前台小票"_s << u"queue|前台小票"_s;
    QTest::newRow("USB device") << u"/dev/usb/lp0"_s << u"device|/dev/usb/lp0"_s;
    QTest::newRow("serial line") << u"/dev/ttyUSB0"_s << u"device|/dev/ttyUSB0"_s;
    QTest::newRow("network") << u"192.168.1.50:9100"_s << u"network|192.168.1.50|9100"_s;
    QTest::newRow("network, spaces around") << u"  10.0.0.2:9100 "_s << u"network|10.0.0.2|9100"_s;
    QTest::newRow("host name") << u"printer.shop.lan:9100"_s << u"network|printer.shop.lan|9100"_s;
    QTest::newRow("IPv6") << u"[fe80::1]:9100"_s << u"network|fe80::1|9100"_s;

    QTest::newRow("empty") << u" "_s << u"没有设置ESC/POS打印机的地址，"_s + forms;
    QTest::newRow("queue without a name")
        << u"queue:"_s << u"ESC/POS打印机的地址“queue:”缺少打印队列名：写成“queue:打印队列名”，如queue:Receipt"_s;
    QTest::newRow("queue name with a space")
        << u"queue:my printer"_s
        << u"ESC/POS打印机的地址“queue:my printer”中的打印队列名不对：不能有空格、/、\\、?、#和引号，最长127个字节"_s;
    QTest::newRow("no port")
        << u"192.168.1.50"_s
        << u"ESC/POS打印机的地址“192.168.1.50”缺少端口号：网络打印机写成“主机:端口”，如192.168.1.50:9100"_s;
    QTest::newRow("port 0") << u"192.168.1.50:0"_s
                            << u"ESC/POS打印机的地址“192.168.1.50:0”中的端口“0”不对：端口是1到65535之间的数字，"
                               u"网络打印机通常是9100"_s;
    QTest::newRow("port too large") << u"printer:65536"_s
                                    << u"ESC/POS打印机的地址“printer:65536”中的端口“65536”不对：端口是1到65535之间"
                                       u"的数字，网络打印机通常是9100"_s;
    QTest::newRow("port not a number") << u"printer:91OO"_s
                                       << u"ESC/POS打印机的地址“printer:91OO”中的端口“91OO”不对：端口是1到65535之间"
                                          u"的数字，网络打印机通常是9100"_s;
    QTest::newRow("no host") << u":9100"_s
                             << u"ESC/POS打印机的地址“:9100”缺少主机：网络打印机写成“主机:端口”，如192.168.1.50:9100"_s;
    QTest::newRow("IPv6 without brackets")
        << u"fe80::1:9100"_s << u"ESC/POS打印机的地址“fe80::1:9100”不对：IPv6地址要写在方括号里，如[fe80::1]:9100"_s;
    QTest::newRow("bad IPv6") << u"[fe80::zz]:9100"_s << u"ESC/POS打印机的地址“[fe80::zz]:9100”中的IPv6地址“fe80::zz”不对"_s;
    QTest::newRow("relative device path") << u"dev/usb/lp0"_s << u"ESC/POS打印机的地址“dev/usb/lp0”无法识别，"_s + forms;
    QTest::newRow("a URL") << u"socket://192.168.1.50"_s
                           << u"ESC/POS打印机的地址“socket://192.168.1.50”无法识别，"_s + forms;
}

void TestEscPos::addresses()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    QString got;
    try {
        const escpos::Address a = escpos::parseAddress(text);
        switch (a.kind) {
        case escpos::Address::Kind::Queue: got = u"queue|"_s + a.queue; break;
        case escpos::Address::Kind::Device: got = u"device|"_s + a.device; break;
        case escpos::Address::Kind::Network: got = u"network|%1|%2"_s.arg(a.host).arg(a.port); break;
        }
        QCOMPARE(a.text, text.trimmed());
    } catch (const AppError &e) {
        got = e.message();
    }
    QCOMPARE(got, parsed);
}

void TestEscPos::unreachable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    const QString port = QString::number(closedPort());
    QTest::newRow("nothing listens")
        << u"127.0.0.1:"_s + port
        << u"无法连接打印机“127.0.0.1:%1”(连接被拒绝，打印机没有开机或者端口不对)，小票没有打印"_s.arg(port) + kKept;
    QTest::newRow("no such device") << u"/dev/usb/velmora-none"_s
                                    << u"找不到打印机设备“/dev/usb/velmora-none”(打印机没有接上或者没有开机)，小票没有打印"_s
            + kKept;
    QTest::newRow("a plain file") << u"FILE"_s << u"“FILE”不是打印机设备，小票没有打印"_s + kKept;
}

void TestEscPos::unreachable()
{
    QFETCH(QString, address);
    QFETCH(QString, message);
    // A plain file named as the device keeps no receipt.
    const QString file = dir_->file(u"receipt.bin"_s);
    QFile(file).open(QIODevice::WriteOnly);
    address.replace(u"FILE"_s, file);
    message.replace(u"FILE"_s, file);
    report::Layout l = sampleLayout(Paper::Mm58, 1, 1);
    const report::Data data = sampleData(1);
    escpos::EscPosPrinter printer(escpos::parseAddress(address), true);
    QCOMPARE(printError([&] { printer.print(l, data, u"小票"_s); }), message);
    QCOMPARE(QFileInfo(file).size(), 0);
}

void TestEscPos::settings_data()
{
    QTest::addColumn<QByteArray>("ini"); // velmora.ini; none when null
    QTest::addColumn<QString>("read"); // kind|address|drawer, or the message
    QTest::newRow("no file") << QByteArray() << u"cups||false"_s;
    QTest::newRow("no [printer]") << QByteArray("[server]\nhost=db.shop.lan\n") << u"cups||false"_s;
    QTest::newRow("network printer with drawer")
        << QByteArray("[server]\nhost=db\n[printer]\nkind=escpos\naddress=192.168.1.50:9100\ndrawer=true\n")
        << u"escpos|192.168.1.50:9100|true"_s;
    QTest::newRow("case and spaces") << QByteArray("[printer]\nkind = EscPos \naddress = queue:Receipt\ndrawer = 1\n")
                                     << u"escpos|queue:Receipt|true"_s;
    QTest::newRow("device, no drawer") << QByteArray("[printer]\nkind=escpos\naddress=/dev/usb/lp0\ndrawer=false\n")
                                       << u"escpos|/dev/usb/lp0|false"_s;
    QTest::newRow("cups said") << QByteArray("[printer]\nkind=cups\n") << u"cups||false"_s;
    QTest::newRow("unknown kind") << QByteArray("[printer]\nkind=epson\n")
                                  << u"“velmora.ini”中[printer]的kind“epson”无法识别：只能是cups(带驱动的打印机)"
                                     u"或escpos(ESC/POS小票打印机)"_s;
    // "yes" would read as true and "no" as true too: neither is guessed.
    QTest::newRow("drawer=no") << QByteArray("[printer]\nkind=escpos\ndrawer=no\n")
                               << u"“velmora.ini”中[printer]的drawer“no”无法识别：只能是true(打开钱箱)或false"_s;
}

void TestEscPos::settings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, read);
    if (!ini.isNull()) {
        QFile file(dir_->file(u"velmora.ini"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
    }
    QString got;
    try {
        const print::PrinterSettings s = print::readPrinterSettings();
        got = u"%1|%2|%3"_s.arg(s.kind == print::PrinterSettings::Kind::Cups ? u"cups"_s : u"escpos"_s, s.address,
                                s.drawer ? u"true"_s : u"false"_s);
    } catch (const AppError &e) {
        got = e.message();
    }
    QCOMPARE(got, read);
}

void TestEscPos::checkout_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("message"); // empty: the sale goes through
    const QByteArray ready("\x12\x12\x12\x12"), paperOut("\x1A\x32\x12\x72");
    const QString escpos = u"[printer]\nkind=escpos\naddress=%1\ndrawer=true\n"_s;
    QTest::newRow("printed, the drawer opens") << escpos << ready << QString();
    QTest::newRow("paper out") << escpos << paperOut << u"打印机“%1”：缺纸，小票没有打印"_s + kKept;
    QTest::newRow("address without a port")
        << u"[printer]\nkind=escpos\naddress=127.0.0.1\n"_s << ready
        << u"ESC/POS打印机的地址“127.0.0.1”缺少端口号：网络打印机写成“主机:端口”，如192.168.1.50:9100。"
           u"请改好“velmora.ini”中的[printer]，小票没有打印"_s
            + kKept;
}

void TestEscPos::checkout()
{
    QFETCH(QString, ini);
    QFETCH(QByteArray, status);
    QFETCH(QString, message);
    FakeEscPosPrinter fake;
    fake.setStatus({quint8(status[0]), quint8(status[1]), quint8(status[2]), quint8(status[3])});
    dir_.reset();
    testing::fixClock(QDateTime(QDate(2024, 3, 5), QTime(9, 30, 0)));
    testing::Session session;
    QFile file(session.dir().file(u"velmora.ini"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QString(ini).replace(u"%1"_s, fake.address()).toUtf8());
    file.close();
    print::setPrinter({}); // the printer velmora.ini names
    app::HotKeys hotKeys;
    MainForm->Timer1Timer();
    testing::retype(MainForm->ComboBox6, u"张三"_s);
    testing::addTicketLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    testing::addTicketLine(u"康师傅红烧牛肉面"_s, u"4.5"_s, u"2"_s);
    session.prompts().clear();
    QTest::keyClick(MainForm, Qt::Key_F5);
    const auto count = [](const QString &table) {
        return testing::scalar(u"select count(*) from "_s + table).toInt();
    };
    const testing::EscPosReader read = fake.reader();
    if (message.isEmpty()) {
        QCOMPARE(session.prompts().texts(), QStringList());
        QCOMPARE(count(u"xstj"_s), 1);
        QCOMPARE(count(u"xsxx"_s), 0);
        QCOMPARE(read.receipts.size(), 1);
        QCOMPARE(read.commands.mid(read.commands.indexOf(u"GS V 66 0"_s)),
                 QStringList({u"GS V 66 0"_s, u"GS r 1"_s, u"ESC p 0 25 250"_s, u"DLE EOT 1"_s}));
    } else {
        QCOMPARE(session.prompts().texts(),
                 QStringList{ui::withFullStop(QString(message).replace(u"%1"_s, fake.address()))});
        // Nothing archived, the ticket kept, nothing printed.
        QCOMPARE(count(u"xstj"_s), 0);
        QCOMPARE(count(u"xsmx"_s), 0);
        QCOMPARE(count(u"xsxx"_s), 2);
        QCOMPARE(read.receipts.size(), 0);
    }
    testing::releaseClock();
}

void TestEscPos::rawQueue_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("drawer");
    QTest::addColumn<QString>("message");
    QTest::newRow("printed, then the drawer") << u"print"_s << true << QString();
    QTest::newRow("printed, no drawer") << u"print"_s << false << QString();
    QTest::newRow("queue stopped") << u"stop"_s << true
                                   << u"打印机“%1”已停止(纸用完了)，小票没有打印"_s + kKept;
    QTest::newRow("no such queue") << u"missing"_s << true
                                   << u"打印服务(CUPS)中没有打印机“velmora-no-such-queue”，小票没有打印"_s + kKept;
}

void TestEscPos::rawQueue()
{
    if (!cupsMissing_.isEmpty())
        QSKIP(qPrintable(cupsMissing_));
    QFETCH(QString, how);
    QFETCH(bool, drawer);
    QFETCH(QString, message);
    QFile::remove(outFile_);
    QString queue = queue_;
    if (how == u"stop"_s)
        run(u"cupsdisable"_s, {u"-r"_s, u"纸用完了"_s, queue_});
    if (how == u"missing"_s)
        queue = u"velmora-no-such-queue"_s;
    report::Layout l = sampleLayout(Paper::Mm58, 2, 3);
    const report::Data data = sampleData(3);
    const Expected e = expectedReceipt(l, data, Paper::Mm58);
    escpos::EscPosPrinter printer(escpos::parseAddress(u"queue:"_s + queue), drawer);
    const QString error = printError([&] { printer.print(l, data, u"小票"_s); });
    run(u"cupsenable"_s, {queue_});
    QFile out(outFile_);
    const QByteArray bytes = out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
    if (!message.isEmpty()) {
        QCOMPARE(error, QString(message).replace(u"%1"_s, queue));
        QCOMPARE(bytes, QByteArray());
        return;
    }
    QCOMPARE(error, QString());
    const testing::EscPosReader read = testing::readEscPos(bytes);
    QCOMPARE(read.faults, QStringList());
    // One way only: no questions; the drawer's pulse is a job after the receipt's.
    QCOMPARE(read.commands, receiptCommands(e.page.height(), false, drawer));
    QCOMPARE(read.receipts.size(), 1);
    QCOMPARE(difference(read.receipts.first(), e.burnt), QString());
}

QTEST_MAIN(TestEscPos)
#include "tst_escpos.moc"
