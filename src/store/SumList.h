#pragma once
// Sums over columns of a query, kept as fixed point with four decimals, that
// follow the query's opens, posts and deletes.
//
// A sum is rebuilt inside the query's own signals, so nothing here may
// throw: a row that cannot be counted (a value that is not a number, not
// finite, or beyond what the sums hold, written by another program or a hand
// edit) leaves that column's sum unknown instead, and so does a total that
// would reach the limit. The rows themselves are never touched.
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <optional>

class Query;

class SumList : public QObject {
    Q_OBJECT
public:
    SumList(Query &query, QStringList columns, QObject *parent = nullptr);

    // The sum of column `index` (value × 10000, each row rounded half to
    // even before it is added), or nothing when it cannot be known.
    std::optional<qint64> total(int index) const { return sums_.value(index); }
    // The same sum with one shown row of the query left out (-1: none).
    std::optional<qint64> sumWithout(int index, int row) const;
    int count() const { return static_cast<int>(sums_.size()); }

    // One value as the sums count it: 0 for a null or empty value, nothing
    // for one that cannot be counted. Unlike the engine's sums (which skip a
    // text that is no number, as SQL's sum does), such a text makes the
    // ticket's total unknown: a total must never leave a line out unseen.
    static std::optional<qint64> fixedOf(const QVariant &value);
    // Checked addition of two counted values; unknown stays unknown.
    static std::optional<qint64> add(std::optional<qint64> a, std::optional<qint64> b);

private:
    void rebuild();
    std::optional<qint64> columnSum(int index, int skippedRow) const;
    Query &query_;
    QStringList columns_;
    QVector<std::optional<qint64>> sums_;
    bool rebuilding_ = false;
};
