#include "report/TextWrap.h"

#include <QFontMetricsF>
#include <QImage>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

namespace report {

namespace {
QImage deviceAt(qreal dpi)
{
    QImage image(1, 1, QImage::Format_RGB32);
    const int dotsPerMeter = qRound(dpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return image;
}

// Text measured on this device gives the same lines on every display.
QImage &screenDevice()
{
    static QImage device = deviceAt(96);
    return device;
}

constexpr qreal kPageDpi = 1200;

QImage &pageDevice()
{
    static QImage device = deviceAt(kPageDpi);
    return device;
}

QStringList wrapOn(QPaintDevice &device, const QString &text, const QFont &font, qreal width)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normal.replace(QChar::LineSeparator, QLatin1Char('\n'));
    normal.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    QStringList paragraphs = normal.split(QLatin1Char('\n'));
    if (paragraphs.last().isEmpty())
        paragraphs.removeLast();

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QStringList lines;
    for (const QString &paragraph : paragraphs) {
        if (paragraph.isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(paragraph, font, &device);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
    }
    return lines;
}
} // namespace

QStringList wrapLines(const QString &text, const QFont &font, qreal widthPx)
{
    return wrapOn(screenDevice(), text, font, widthPx);
}

qreal textWidthMm(const QFont &font, const QString &text)
{
    if (text.isEmpty())
        return 0;
    const QFontMetricsF metrics(font, &pageDevice());
    const qreal dots = std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right());
    return dots * 25.4 / kPageDpi;
}

QStringList wrapLinesMm(const QString &text, const QFont &font, qreal widthMm)
{
    QStringList lines = wrapOn(pageDevice(), text, font, widthMm / 25.4 * kPageDpi);
    // A blank where a line was broken takes no room at its end.
    for (QString &line : lines) {
        while (line.size() > 1 && line.back().isSpace())
            line.chop(1);
    }
    return lines;
}

} // namespace report
