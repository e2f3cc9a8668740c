#include "print/ReceiptView.h"

#include <QImage>
#include <QPainter>

ReceiptView::ReceiptView(report::Layout &layout, QPoint at, QWidget *parent)
    : QWidget(parent), layout_(layout), at_(at)
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(0xd8, 0xe4, 0xf0));
    setPalette(p);
}

void ReceiptView::paintEvent(QPaintEvent *)
{
    // Drawn on an image at the screen's 96 pixels per inch, so the layout has
    // its design size whatever the display's own resolution.
    const qreal ratio = devicePixelRatioF();
    report::PaintOptions view;
    view.printing = false;
    const QSizeF mm = report::pageSizeMm(layout_, {}, view);
    const QSize size(qCeil(mm.width() / 25.4 * report::kScreenDpi), qCeil(mm.height() / 25.4 * report::kScreenDpi));
    QImage page(size * ratio, QImage::Format_RGB32);
    page.setDevicePixelRatio(ratio);
    const int dotsPerMeter = qRound(report::kScreenDpi / 0.0254);
    page.setDotsPerMeterX(dotsPerMeter);
    page.setDotsPerMeterY(dotsPerMeter);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        painter.setRenderHint(QPainter::TextAntialiasing);
        report::paintPage(painter, layout_, {}, view);
    }
    QPainter painter(this);
    painter.drawImage(at_, page);
    painter.setPen(QColor(120, 120, 120));
    painter.drawRect(QRect(at_, size).adjusted(-1, -1, 0, 0));
}
