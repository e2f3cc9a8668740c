#include "print/EscPos.h"

#include "report/Output.h"

namespace print::escpos {

namespace {

constexpr char ESC = 0x1B;
constexpr char GS = 0x1D;
constexpr char DLE = 0x10;
constexpr char EOT = 0x04;

// The most lines one GS v 0 takes on common printers.
constexpr int kMostBandLines = 2303;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(values.size()));
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// The picture's rows packed 8 dots to a byte, the leftmost dot in the high
// bit, 1 for black; the bits past the width are white.
QList<QByteArray> packedRows(const QImage &picture)
{
    const int width = picture.width();
    const int rowBytes = (width + 7) / 8;
    const auto tail = static_cast<quint8>(width % 8 == 0 ? 0xFF : 0xFF << (8 - width % 8));
    QList<QByteArray> rows;
    rows.reserve(picture.height());
    if (picture.format() == QImage::Format_Mono) {
        // A picture that is already one bit: its bits as they are, turned
        // over when its colour table makes 1 the lighter one.
        const QList<QRgb> colours = picture.colorTable();
        const bool oneIsBlack =
            colours.size() < 2 || qGray(colours.at(1)) < qGray(colours.at(0));
        for (int y = 0; y < picture.height(); ++y) {
            QByteArray row(reinterpret_cast<const char *>(picture.constScanLine(y)), rowBytes);
            if (!oneIsBlack) {
                for (char &b : row)
                    b = static_cast<char>(~b);
            }
            if (rowBytes > 0)
                row[rowBytes - 1] = static_cast<char>(static_cast<quint8>(row[rowBytes - 1]) & tail);
            rows << row;
        }
        return rows;
    }
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < width; ++x) {
            if (line[x] < 128)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        rows << row;
    }
    return rows;
}

bool bit(quint8 byte, int n)
{
    return (byte >> n) & 1;
}

} // namespace

int printableDots(qreal paperWidthMm)
{
    // Between the two widths, a paper is taken for the wider one.
    return paperWidthMm < 69 ? kDots58 : kDots80;
}

QImage receiptImage(report::Layout &layout, const report::Data &data)
{
    const QImage page = report::renderImage(layout, data, kDpi, true);
    const int dots = printableDots(report::pxToMm(layout.paperWidthPx));
    // The printer burns the middle of its paper; what lies outside does not
    // print, and a narrower page lies in the middle.
    QImage printable(dots, page.height(), QImage::Format_Mono);
    printable.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    printable.setDotsPerMeterX(page.dotsPerMeterX());
    printable.setDotsPerMeterY(page.dotsPerMeterY());
    printable.fill(0);
    const int left = (page.width() - dots) / 2;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = qMax(0, -left); x < dots && x + left < page.width(); ++x) {
            if (page.pixelIndex(x + left, y) == 1)
                printable.setPixel(x, y, 1);
        }
    }
    return printable;
}

QByteArray initialise()
{
    return bytes({ESC, '@'});
}

QByteArray raster(const QImage &picture, int bandLines)
{
    bandLines = qBound(1, bandLines, kMostBandLines);
    const QList<QByteArray> rows = packedRows(picture);
    const int rowBytes = (picture.width() + 7) / 8;
    QByteArray out;
    if (rowBytes == 0)
        return out;
    out.reserve(static_cast<qsizetype>(rows.size()) * rowBytes + (rows.size() / bandLines + 1) * 8);
    for (qsizetype top = 0; top < rows.size(); top += bandLines) {
        const int lines = static_cast<int>(qMin<qsizetype>(bandLines, rows.size() - top));
        // m = 0: each dot its own size.
        out += bytes({GS, 'v', '0', 0, rowBytes & 0xFF, rowBytes >> 8, lines & 0xFF, lines >> 8});
        for (int i = 0; i < lines; ++i)
            out += rows.at(top + i);
    }
    return out;
}

QByteArray feedAndCut()
{
    return bytes({GS, 'V', 66, 0});
}

QByteArray drawerPulse(int onUnits, int offUnits)
{
    return bytes({ESC, 'p', 0, qBound(0, onUnits, 255), qBound(0, offUnits, 255)});
}

QByteArray receipt(const QImage &picture, int bandLines)
{
    return initialise() + raster(picture, bandLines) + feedAndCut();
}

QByteArray statusQuery(int n)
{
    return bytes({DLE, EOT, qBound(1, n, 4)});
}

QByteArray printedQuery()
{
    return bytes({GS, 'r', 1});
}

bool isStatusAnswer(quint8 byte)
{
    return (byte & 0x93) == 0x12;
}

bool isPrintedAnswer(quint8 byte)
{
    return (byte & 0x90) == 0x00;
}

QStringList blockingReasons(const StatusBytes &s)
{
    const quint8 printer = s[0], offline = s[1], error = s[2], paper = s[3];
    QStringList reasons;
    if (bit(offline, 5) || bit(paper, 5) || bit(paper, 6))
        reasons << QStringLiteral("缺纸");
    if (bit(offline, 2))
        reasons << QStringLiteral("上盖打开");
    if (bit(error, 3))
        reasons << QStringLiteral("切刀故障");
    if (bit(error, 2))
        reasons << QStringLiteral("打印机机械故障");
    if (bit(error, 5))
        reasons << QStringLiteral("打印机故障(不能自动恢复，请关机检查)");
    if (bit(error, 6))
        reasons << QStringLiteral("打印头过热(稍后会自动恢复)");
    if (bit(offline, 6) && reasons.isEmpty())
        reasons << QStringLiteral("打印机故障");
    // Offline says only that it cannot print; the causes above say why.
    if ((bit(printer, 3) || bit(printer, 5)) && reasons.isEmpty())
        reasons << QStringLiteral("脱机");
    return reasons;
}

} // namespace print::escpos
