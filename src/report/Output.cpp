#include "report/Output.h"

#include "report/PdfText.h"
#include "base/AppError.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>

namespace report {

namespace {
bool same(const QMarginsF &a, const QMarginsF &b)
{
    const auto near = [](qreal x, qreal y) { return std::abs(x - y) < 0.01; };
    return near(a.left(), b.left()) && near(a.top(), b.top()) && near(a.right(), b.right())
        && near(a.bottom(), b.bottom());
}
} // namespace

void writePdf(const QString &path, Layout &layout, const Data &data, const QString &title)
{
    // Made whole first: a page that cannot be made leaves no file behind.
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    writePdf(buffer, layout, data, title);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(pdf) != pdf.size() || !file.flush())
        throw AppError(QStringLiteral("无法写入打印文件“%1”").arg(path));
}

void writePdf(QIODevice &device, Layout &layout, const Data &data, const QString &title)
{
    const QSizeF size = pageSizeMm(layout, data);
    const QMarginsF &margins = layout.marginsMm;
    // Margins wider than the paper would be taken without a word.
    if (margins.left() + margins.right() >= size.width() || margins.top() + margins.bottom() >= size.height())
        throw AppError(QStringLiteral("页边距超出了纸张(%1×%2毫米)")
                           .arg(size.width(), 0, 'f', 2)
                           .arg(size.height(), 0, 'f', 2));
    // Made in memory first: its text layer is mended before it leaves.
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setCreator(QStringLiteral("Velmora"));
    writer.setTitle(title);
    writer.setPageSize(QPageSize(size, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
    // A refused margin keeps the previous one, so what was set is checked.
    if (!writer.setPageMargins(margins, QPageLayout::Millimeter)
        || !same(writer.pageLayout().margins(QPageLayout::Millimeter), margins))
        throw AppError(QStringLiteral("无法设置小票的页边距"));
    QPainter painter;
    if (!painter.begin(&writer))
        throw AppError(QStringLiteral("无法写入打印文件"));
    DrawnText drawn;
    PaintOptions options;
    options.onText = [&drawn](const QFont &font, const QString &text) { drawn.add(font, text); };
    paintBands(painter, layout, data, options);
    if (!painter.end())
        throw AppError(QStringLiteral("无法写入打印文件"));
    // Copied or searched, the receipt reads the characters it shows.
    mendTextLayer(pdf, drawn);
    if (device.write(pdf) != pdf.size())
        throw AppError(QStringLiteral("无法写入打印文件"));
}

QImage renderImage(Layout &layout, const Data &data, qreal dpi, bool oneBit)
{
    const QSizeF mm = pageSizeMm(layout, data);
    const QSize pixels(qRound(mm.width() / 25.4 * dpi), qRound(mm.height() / 25.4 * dpi));
    const int dotsPerMeter = qRound(dpi / 0.0254);
    // A printer's dot is black where the page covers at least half of it. The
    // page is drawn four times finer and each dot takes the mean of its 4 × 4
    // samples, so a stroke lands between dots as it does on paper, rather
    // than snapped to whole pixels as glyphs drawn at the dots' size would be.
    const int fine = oneBit ? 4 : 1;
    QImage image(pixels * fine, QImage::Format_RGB32);
    image.setDotsPerMeterX(dotsPerMeter * fine);
    image.setDotsPerMeterY(dotsPerMeter * fine);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        paintPage(painter, layout, data);
    }
    if (!oneBit)
        return image;
    QImage mono(pixels, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.setDotsPerMeterX(dotsPerMeter);
    mono.setDotsPerMeterY(dotsPerMeter);
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            int grey = 0;
            for (int dy = 0; dy < fine; ++dy) {
                const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y * fine + dy));
                for (int dx = 0; dx < fine; ++dx)
                    grey += qGray(line[x * fine + dx]);
            }
            mono.setPixel(x, y, grey < 128 * fine * fine ? 1 : 0);
        }
    }
    return mono;
}

} // namespace report
