#include "report/TextWrap.h"

#include <QImage>
#include <QTextLayout>
#include <QTextOption>

namespace report {

namespace {
// Text measured on this device gives the same lines on every display.
const QImage &screenDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        const int dotsPerMeter = qRound(96 / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    }();
    return device;
}
} // namespace

QStringList wrapLines(const QString &text, const QFont &font, qreal widthPx)
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
        QTextLayout layout(paragraph, font, const_cast<QImage *>(&screenDevice()));
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(widthPx);
            lines << paragraph.mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
    }
    return lines;
}

} // namespace report
