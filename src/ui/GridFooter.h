#pragma once
// The footer row under a list grid: yellow, bold, "合计" under the row-number
// column and, under the chosen number columns, their sums over every row the
// grid's query lists, in "#0.##". It lines up with the grid's columns as they
// are resized or scrolled.
//
// The sums come from the store (idiom::columnSums), never from the rows the
// grid happens to hold. They are worked out again when the query is opened,
// closed or loses or changes a row, but only while the footer is shown (or
// its text is asked for): a list opened in a hidden window costs nothing.
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <optional>

namespace ui {

class ListGrid;

class GridFooter : public QWidget {
    Q_OBJECT
public:
    // sumFields: the query columns summed under their grid columns.
    GridFooter(ListGrid *grid, QStringList sumFields, QWidget *parent = nullptr);

    // The text under a grid column, as shown.
    QString text(int column);
    // The footer as a screen reader reads it: "合计：数量 3，金额 25.5，折后 22.95".
    QString spokenText();

    // A fixed-point sum (four decimals) as the footer shows it: "#0.##", or a
    // short notice when the sum did not fit.
    static QString sumText(std::optional<qint64> fixed4);
    static QString overflowText();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void markStale();
    void refresh();
    void widenToFit();
    int columnLeft(int column) const;

    ListGrid *grid_;
    QStringList sumFields_;
    QVector<QString> texts_;
    bool stale_ = true;
    bool failureTold_ = false; // a file that cannot be read is told once, until a sum reads again
};

} // namespace ui
