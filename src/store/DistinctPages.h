#pragma once
// The distinct values of one column in the order "Select Distinct" lists
// them: through the column's index, in ascending order, when it has one; over
// a table without such an index, in the order of their first row. Either way
// they are read a page at a time from just after the last one read (a value,
// or a row key): a pick list of 100,000 products shows its first names at
// once, with no count, no copy and no sort of the whole table, and reading on
// costs only what is read. Each read is one statement, finished before it
// returns, so nothing stays open between events.
#include <QSet>
#include <QString>
#include <QVariant>
#include <limits>
#include <optional>
#include <vector>

class Connection;

namespace store {

class DistinctPages {
public:
    // An unknown table or column is an error when the first page is read.
    DistinctPages(Connection &connection, QString table, QString column);

    // The next values, in order: at least n of them (rows are read in whole
    // pages), fewer only when the list has ended. A null is one value (the
    // first, in index order) and an empty text another, as the engine tells
    // them apart.
    std::vector<QVariant> next(int n);

private:
    static constexpr int kRowsPerRead = 512;

    std::vector<QVariant> byRows(const QString &column, int n);
    std::vector<QVariant> byIndex(const QString &column, int n);
    bool indexed(const QString &column);

    Connection &connection_;
    QString table_;
    QString column_;
    std::optional<bool> indexed_;
    bool ended_ = false;
    // In row order: the last row key read and the values given, by kind and text.
    qint64 lastKey_ = std::numeric_limits<qint64>::min();
    QSet<QString> seen_;
    // In index order: the last value given.
    std::optional<QVariant> lastValue_;
};

} // namespace store
