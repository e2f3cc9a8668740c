#include "ui/ListGrid.h"

#include "store/NumberText.h"
#include "store/Query.h"
#include "ui/ErrorDisplay.h"

#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include <utility>

namespace ui {

QueryModel::QueryModel(Query &query, QVector<GridColumn> columns, QObject *parent, bool shown)
    : QAbstractTableModel(parent), query_(query), columns_(std::move(columns)), shown_(shown), counted_(shown)
{
    rows_ = counted_ ? countRows() : 0;
    connect(&query_, &Query::aboutToReset, this, [this] {
        // A slot ahead of this model's (the footer's sums) read the list
        // between a row change's two notices and found it changed elsewhere:
        // Qt's model cannot reset inside a row change, so the change ends
        // first, and the reset counts the rows anew.
        closeOpenChange();
        ++changing_;
        beginResetModel();
    });
    connect(&query_, &Query::reset, this, [this] {
        fieldIndex_.clear();
        counted_ = shown_;
        rows_ = counted_ ? countRows() : 0;
        endResetModel();
        if (changing_ > 0)
            --changing_;
    });
    // Rows that come and go in a list not counted yet are counted with it.
    connect(&query_, &Query::aboutToInsertRows, this, [this](int first, int last) {
        open_ = counted_ ? Open::Insert : Open::None;
        if (open_ == Open::None)
            return;
        openRows_ = last - first + 1;
        ++changing_;
        beginInsertRows({}, first, last);
    });
    connect(&query_, &Query::rowsInserted, this, [this](int, int) {
        if (std::exchange(open_, Open::None) != Open::Insert)
            return;
        rows_ += openRows_;
        endInsertRows();
        --changing_;
        // The row numbers of the rows after an insertion change too.
        if (rows_ > 0)
            emit dataChanged(index(0, 0), index(rows_ - 1, 0));
    });
    connect(&query_, &Query::rowChanged, this, [this](int row) {
        if (counted_ && row < rows_)
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    });
    connect(&query_, &Query::aboutToRemoveRow, this, [this](int row) {
        open_ = counted_ && row < rows_ ? Open::Remove : Open::None;
        if (open_ == Open::None)
            return;
        ++changing_;
        beginRemoveRows({}, row, row);
    });
    connect(&query_, &Query::rowRemoved, this, [this](int) {
        if (std::exchange(open_, Open::None) != Open::Remove)
            return;
        rows_ -= 1;
        endRemoveRows();
        --changing_;
        if (rows_ > 0)
            emit dataChanged(index(0, 0), index(rows_ - 1, 0));
    });
}

void QueryModel::closeOpenChange()
{
    switch (std::exchange(open_, Open::None)) {
    case Open::Insert:
        rows_ += openRows_;
        endInsertRows();
        --changing_;
        break;
    case Open::Remove:
        rows_ -= 1;
        endRemoveRows();
        --changing_;
        break;
    case Open::None:
        break;
    }
}

// The list's length, counted by the database; the rows themselves are read
// as they are shown.
int QueryModel::countRows() const
{
    return query_.isActive() ? query_.rowCountFetched() : 0;
}

void QueryModel::setShown(bool shown)
{
    shown_ = shown;
    if (!shown_ || counted_)
        return;
    ++changing_;
    beginResetModel();
    counted_ = true;
    rows_ = countRows();
    endResetModel();
    --changing_;
}

int QueryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int QueryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant QueryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_)
        return {};
    const GridColumn &col = columns_[index.column()];
    if (role == Qt::BackgroundRole) {
        // Odd positions white, even positions light grey.
        return (index.row() % 2 == 0) ? QColor(Qt::white) : QColor(238, 238, 238);
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    if (col.field.isEmpty())
        return QString::number(index.row() + 1);
    if (fieldIndex_.size() != columns_.size()) {
        fieldIndex_.clear();
        for (const GridColumn &c : columns_)
            fieldIndex_ << (c.field.isEmpty() ? -1 : query_.columnIndex(c.field));
    }
    const int fi = fieldIndex_[index.column()];
    if (fi < 0)
        return {};
    const QVariant value = query_.valueAt(index.row(), fi);
    if (col.grid2 && !value.isNull()) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (ok)
            return numtext::grid2(static_cast<numtext::Extended>(d));
    }
    return query_.textAt(index.row(), fi);
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return columns_[section].title;
    if (role == Qt::FontRole) {
        QFont f;
        f.setBold(true);
        return f;
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    return {};
}

ListGrid::ListGrid(Query &query, QVector<GridColumn> columns, QWidget *parent)
    : QTableView(parent), model_(new QueryModel(query, std::move(columns), this, false))
{
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false); // the model paints the two row colours
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // Rows of one height: a list of a million rows lays out without measuring each.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The rows keep the list's order: a title shows no sort arrow, since a
    // click on it sorts nothing.
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSortIndicatorShown(false);
    setSortingEnabled(false);
    // The grid's current row is the query's cursor (clicks and arrow keys).
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                // While rows come and go the view moves its current row by
                // itself; the query's cursor is the one that counts then (a
                // delete would otherwise drop the wrong row from the result).
                if (syncing_ || model_->changingRows() || !current.isValid())
                    return;
                syncing_ = true;
                guarded([&] { model_->query().moveTo(current.row()); });
                syncing_ = false;
            });
    connect(&query, &Query::currentChanged, this, &ListGrid::followQueryCursor);
    connect(&query, &Query::reset, this, &ListGrid::followQueryCursor);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid()) {
            syncing_ = true;
            guarded([&] { model_->query().moveTo(index.row()); });
            syncing_ = false;
        }
        clickedBelowRows_ = false;
        emit cellClicked();
    });
    stretchColumns();
}

void ListGrid::followQueryCursor()
{
    if (syncing_)
        return;
    syncing_ = true;
    const int row = model_->query().currentIndex();
    if (row >= 0 && row < model_->rowCount()) {
        const QModelIndex idx = model_->index(row, 0);
        selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selectionModel()->clearSelection();
    }
    syncing_ = false;
}

// Qt reports clicks on rows only; a click on the empty area counts too (on
// an empty list it is the only click there is).
void ListGrid::mousePressEvent(QMouseEvent *event)
{
    pressedOnEmpty_ = event->button() == Qt::LeftButton && !indexAt(event->position().toPoint()).isValid();
    QTableView::mousePressEvent(event);
}

void ListGrid::mouseReleaseEvent(QMouseEvent *event)
{
    const bool emptyClick = pressedOnEmpty_ && event->button() == Qt::LeftButton
        && !indexAt(event->position().toPoint()).isValid() && viewport()->rect().contains(event->position().toPoint());
    pressedOnEmpty_ = false;
    QTableView::mouseReleaseEvent(event);
    if (emptyClick) {
        clickedBelowRows_ = true;
        emit cellClicked();
    }
}

// Qt reports double-clicks on rows only; the empty area counts too (on an
// empty list it is the only place to double-click).
void ListGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && viewport()->rect().contains(at))
        emit cellDoubleClicked();
}

void ListGrid::showEvent(QShowEvent *event)
{
    // Counted before the first paint, so the list never shows empty first.
    const bool counted = model_->counted();
    model_->setShown(true);
    if (!counted)
        followQueryCursor();
    QTableView::showEvent(event);
}

void ListGrid::hideEvent(QHideEvent *event)
{
    QTableView::hideEvent(event);
    // A spontaneous hide (the window minimised) leaves the list as it is.
    if (!event->spontaneous())
        model_->setShown(false);
}

void ListGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    stretchColumns();
}

void ListGrid::setColumnFloor(int column, int width)
{
    if (column < 0)
        return;
    if (floors_.size() <= column)
        floors_.resize(column + 1);
    if (floors_[column] == width)
        return;
    floors_[column] = width;
    stretchColumns();
}

// The row-number column holds seven digits whole: a list of a million
// tickets shows "1000000", never "10000…".
int ListGrid::rowNumberWidth() const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = QStringLiteral("0000000");
    const int cell = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width();
    // The grid line takes a pixel of the column.
    return cell + (showGrid() ? 1 : 0);
}

// The columns share the width in their set proportions, each at least its
// floor; when the floors take more than there is, the grid scrolls sideways.
void ListGrid::stretchColumns()
{
    const auto &cols = model_->columns();
    int total = 0;
    for (const auto &c : cols)
        total += c.width;
    const int available = viewport()->width();
    if (total <= 0 || available <= 0)
        return;
    int used = 0;
    for (int i = 0; i < cols.size(); ++i) {
        int w = (i + 1 == cols.size()) ? available - used : cols[i].width * available / total;
        w = qMax(w, floors_.value(i));
        if (cols[i].field.isEmpty())
            w = qMax(w, rowNumberWidth());
        setColumnWidth(i, w);
        used += w;
    }
}

} // namespace ui
