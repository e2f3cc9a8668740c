#pragma once
// The read-only list grid over one query: a first column 序号 with the row's
// position, whole rows selected, rows alternately white and light grey,
// numbers shown "#0.##". Its row count is the query's record count, known
// when the list opens; rows are read from the query's bounded cache as they
// are painted, and the grid moves the query's cursor with its current row.
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
    QueryModel(Query &query, QVector<GridColumn> columns, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Query &query() const { return query_; }
    const QVector<GridColumn> &columns() const { return columns_; }
    // Rows are being inserted, removed or reset: a current row the view
    // moves meanwhile is no choice of the user.
    bool changingRows() const { return changing_ > 0; }

private:
    int countRows() const;

    Query &query_;
    QVector<GridColumn> columns_;
    mutable QVector<int> fieldIndex_;
    int rows_ = 0;
    int changing_ = 0;
};

class ListGrid : public QTableView {
    Q_OBJECT
public:
    ListGrid(Query &query, QVector<GridColumn> columns, QWidget *parent = nullptr);
    QueryModel *queryModel() const { return model_; }

    // Whether the last cellClicked came from the empty area below the rows.
    bool clickedBelowRows() const { return clickedBelowRows_; }

signals:
    // A cell was clicked (the query's cursor is already on its row), or the
    // empty area below the rows was.
    void cellClicked();
    // A row was double-clicked (the query's cursor is on it), or the empty
    // area below the rows was.
    void cellDoubleClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void stretchColumns();
    void followQueryCursor();
    QueryModel *model_;
    bool syncing_ = false;
    bool pressedOnEmpty_ = false;
    bool clickedBelowRows_ = false;
};

} // namespace ui
