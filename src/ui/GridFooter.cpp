#include "ui/GridFooter.h"

#include "base/Log.h"
#include "base/AppError.h"
#include "store/NumberText.h"
#include "store/Query.h"
#include "ui/Accessible.h"
#include "ui/ErrorDisplay.h"
#include "ui/ListGrid.h"

#include <QAccessible>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

namespace ui {

namespace {
const QColor kFooterBackground(255, 255, 0);
const QColor kLines(192, 192, 192);
constexpr int kInset = 4;
} // namespace

GridFooter::GridFooter(ListGrid *grid, QStringList sumFields, QWidget *parent)
    : QWidget(parent), grid_(grid), sumFields_(std::move(sumFields))
{
    readFootersAsText();
    QFont f = font();
    f.setBold(true);
    setFont(f);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    Query &query = grid_->queryModel()->query();
    connect(&query, &Query::reset, this, &GridFooter::markStale);
    connect(&query, &Query::rowRemoved, this, &GridFooter::markStale);
    connect(&query, &Query::rowChanged, this, &GridFooter::markStale);

    QHeaderView *header = grid_->horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, qOverload<>(&QWidget::update));
    connect(header, &QHeaderView::geometriesChanged, this, qOverload<>(&QWidget::update));
    connect(grid_->horizontalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
}

QString GridFooter::overflowText()
{
    return QStringLiteral("超出范围");
}

QString GridFooter::sumText(std::optional<qint64> fixed4)
{
    if (!fixed4)
        return overflowText();
    return numtext::grid2(static_cast<numtext::Extended>(*fixed4) / 10000);
}

QString GridFooter::text(int column)
{
    if (stale_)
        refresh();
    return texts_.value(column);
}

QString GridFooter::spokenText()
{
    if (stale_)
        refresh();
    const QVector<GridColumn> &columns = grid_->queryModel()->columns();
    QString caption;
    QStringList sums;
    for (int i = 0; i < columns.size() && i < texts_.size(); ++i) {
        if (texts_[i].isEmpty())
            continue;
        if (columns[i].field.isEmpty())
            caption = texts_[i];
        else
            sums << columns[i].title + QLatin1Char(' ') + texts_[i];
    }
    return caption + QStringLiteral("：") + sums.join(QStringLiteral("，"));
}

void GridFooter::markStale()
{
    stale_ = true;
    // A hidden window's list is summed when it is shown.
    if (isVisible()) {
        refresh();
        update();
    }
}

// Runs from query notices and painting, so nothing may escape: a sum that
// cannot be read shows blank until the list changes again.
void GridFooter::refresh()
{
    stale_ = false;
    const QVector<GridColumn> &columns = grid_->queryModel()->columns();
    QVector<std::optional<qint64>> sums;
    QString failure;
    try {
        sums = grid_->queryModel()->query().columnSums(sumFields_);
        failureTold_ = false;
    } catch (const AppError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (!failure.isEmpty()) {
        qCWarning(lcUi, "footer sums not read: %s", qPrintable(failure));
        // Told from the event loop: this runs inside painting and query notices.
        if (!failureTold_) {
            failureTold_ = true;
            QMetaObject::invokeMethod(this, [failure] { showError(failure); }, Qt::QueuedConnection);
        }
    }
    const QVector<QString> before = texts_;
    texts_ = QVector<QString>(columns.size());
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].field.isEmpty()) {
            texts_[i] = QStringLiteral("合计");
            continue;
        }
        const int s = sumFields_.indexOf(columns[i].field);
        if (!failure.isEmpty() && s >= 0)
            texts_[i] = QStringLiteral("无法读取");
        else if (s >= 0 && s < sums.size())
            texts_[i] = sumText(sums[s]);
    }
    widenToFit();
    // A reader that shows the footer hears the new sums.
    if (texts_ != before && QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

// A total cut off is a wrong total to whoever reads it: each column is kept
// at least as wide as its sum.
void GridFooter::widenToFit()
{
    for (int i = 0; i < texts_.size(); ++i) {
        const int needed = texts_[i].isEmpty() ? 0 : fontMetrics().horizontalAdvance(texts_[i]) + 2 * kInset + 1;
        grid_->setColumnFloor(i, needed);
    }
}

void GridFooter::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (stale_)
        refresh();
}

QSize GridFooter::sizeHint() const
{
    const int row = grid_->verticalHeader()->defaultSectionSize();
    return {grid_->sizeHint().width(), qMax(row, fontMetrics().height() + 6) + 2};
}

// Left edge of a grid column in the footer's coordinates: the footer sits
// under the grid, as wide as it, so the grid's frame offset carries over.
int GridFooter::columnLeft(int column) const
{
    return grid_->viewport()->geometry().left() + grid_->horizontalHeader()->sectionViewportPosition(column);
}

void GridFooter::paintEvent(QPaintEvent *)
{
    if (stale_)
        refresh();
    QPainter p(this);
    const QRect viewport = grid_->viewport()->geometry();
    const QRect band(viewport.left(), 0, viewport.width(), height());
    p.setClipRect(band);
    p.fillRect(band, kFooterBackground);
    p.setPen(kLines);
    const int columns = static_cast<int>(texts_.size());
    for (int i = 0; i < columns; ++i) {
        const int left = columnLeft(i);
        const int width = grid_->horizontalHeader()->sectionSize(i);
        const QRect cell(left, 0, width, height());
        p.setPen(kLines);
        p.drawLine(cell.topRight(), cell.bottomRight());
        if (texts_[i].isEmpty())
            continue;
        p.setPen(Qt::black); // on yellow, whatever the theme
        const bool rowNumbers = grid_->queryModel()->columns().value(i).field.isEmpty();
        const Qt::Alignment align = rowNumbers ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
        p.drawText(cell.adjusted(kInset, 0, -kInset, 0), align, texts_[i]);
    }
    p.setPen(kLines);
    p.drawLine(band.topLeft(), band.topRight());
    p.drawLine(band.bottomLeft(), band.bottomRight());
}

} // namespace ui
