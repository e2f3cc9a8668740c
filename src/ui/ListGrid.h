#pragma once
// The read-only list grid over one query: a first column 序号 with the row's
// position, whole rows selected, rows alternately white and light grey,
// numbers shown "#0.##". Its row count is the query's record count, counted
// by the database when the list opens in a shown grid (a grid not shown counts
// nothing: a window opened later, or a list reopened before its window is
// shown, costs nothing until it is); rows are read from the query's bounded
// cache as they are painted, and the grid moves the query's cursor with its
// current row.
#include <QAbstractTableModel>
#include <QTableView>
#include <QVector>

class Query;

namespace ui {

struct GridColumn {
    QString title;
    QString field;     // empty: the row-number column
    int width = 80;    // relative: the columns stretch to fill the grid
    bool grid2 = false; // number shown with "#0.##"
};

class QueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // A model made shown counts its list at once; one made hidden (a grid's,
    // until the grid is shown) counts nothing yet.
    QueryModel(Query &query, QVector<GridColumn> columns, QObject *parent = nullptr, bool shown = true);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Query &query() const { return query_; }
    const QVector<GridColumn> &columns() const { return columns_; }
    // Rows are being inserted, removed or reset: a current row the view
    // moves meanwhile is no choice of the user.
    bool changingRows() const { return changing_ > 0; }
    // Whether the grid is shown: a list opened while it is not has no rows
    // until it is, and is counted then.
    void setShown(bool shown);
    bool counted() const { return counted_; }

private:
    int countRows() const;
    // Ends a row insertion or removal still between its two notices.
    void closeOpenChange();

    Query &query_;
    QVector<GridColumn> columns_;
    mutable QVector<int> fieldIndex_;
    int rows_ = 0;
    int changing_ = 0;
    bool shown_ = true;
    bool counted_ = true;
    // A row change between its two notices being followed, and its rows.
    enum class Open { None, Insert, Remove };
    Open open_ = Open::None;
    int openRows_ = 0;
};

class ListGrid : public QTableView {
    Q_OBJECT
public:
    ListGrid(Query &query, QVector<GridColumn> columns, QWidget *parent = nullptr);
    QueryModel *queryModel() const { return model_; }

    // Whether the last cellClicked came from the empty area below the rows.
    bool clickedBelowRows() const { return clickedBelowRows_; }

    // The narrowest a column may be when the columns share the grid's width
    // (what its footer must show whole); 0 lets it go.
    void setColumnFloor(int column, int width);

signals:
    // A cell was clicked (the query's cursor is already on its row), or the
    // empty area below the rows was.
    void cellClicked();
    // A row was double-clicked (the query's cursor is on it), or the empty
    // area below the rows was.
    void cellDoubleClicked();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void stretchColumns();
    int rowNumberWidth() const;
    void followQueryCursor();
    QueryModel *model_;
    QVector<int> floors_;
    bool syncing_ = false;
    bool pressedOnEmpty_ = false;
    bool clickedBelowRows_ = false;
};

} // namespace ui
