#pragma once
// How a listing is read: the statements that read a window of its rows by
// key, count them, sum columns over them and write one row by its key. Every
// statement is finished before a call returns, so nothing stays open between
// events (with the rollback journal a half-read statement would hold off every
// writer).
//
// The rows of a table listing are the rows with a key up to the largest key
// at opening (the bound), so rows that other connections add later stay out.
// In an ordered listing, rows whose order value is null come first (by key),
// then the others by (value, key): two runs, each read through its own index.
// A descending listing reads both runs the other way round (nulls still
// first): the largest keys and values lead.
#include "store/Listing.h"

#include <QStringList>
#include <QVariant>
#include <QVector>
#include <optional>
#include <vector>

class Connection;

namespace store {

struct Row {
    qint64 key = 0;
    QVector<QVariant> values;
};

// Where a row stands in the listing's order.
struct RowKey {
    QVariant order; // the order column's value (invalid when unordered)
    qint64 key = 0;
};

class Plan {
public:
    static constexpr int kFewDistinct = 256;

    // Resolves the listing on the open connection; an unknown table or column
    // is an error. A distinct list is read at once: kept here when it is short,
    // otherwise copied into a temporary table of this connection.
    Plan(Connection &connection, Listing listing);
    ~Plan();
    Plan(const Plan &) = delete;
    Plan &operator=(const Plan &) = delete;

    const Listing &listing() const { return listing_; }
    const QStringList &columns() const { return columns_; }
    bool isNumber(int column) const { return number_.value(column, false); }
    // Columns that are numbers and not the row key: the ones worth summing.
    const QVector<int> &sumColumns() const { return sumColumns_; }
    bool writable() const { return !listing_.isDistinct(); }
    bool ordered() const { return orderIndex_ >= 0; }
    // Nothing another connection does changes these rows.
    bool isStatic() const { return listing_.isDistinct(); }
    // A short distinct list, whole.
    const std::vector<Row> *wholeRows() const { return whole_ ? &*whole_ : nullptr; }

    RowKey keyOf(const Row &row) const;

    // The rows are those with a key up to the bound, except keys reused by
    // rows appended through the query (they are listed after the others).
    qint64 largestKey() const;
    void setBound(qint64 bound) { bound_ = bound; }
    qint64 bound() const { return bound_; }
    void setExcluded(QList<qint64> keys) { excluded_ = std::move(keys); }

    enum class Run { All, Nulls, Values };
    // Up to n rows in order from a key (inclusive or not), skipping some
    // first; from the start of a run when no key is given. Reading on from the
    // end of the null run goes on with the values.
    std::vector<Row> forward(const RowKey *from, bool inclusive, qint64 skip, int n, Run startRun = Run::Nulls);
    // Up to n rows just before a key (or the end), in order.
    std::vector<Row> backward(const RowKey *before, int n);

    struct Count {
        qint64 rows = 0;
        QVector<std::optional<qint64>> sums; // over sumColumns()
        std::vector<qint64> firstKeys;       // of a listing in key order, when asked for
    };
    // Counts the listing, sums its number columns and, for a listing in key
    // order, finds the keys of its first rows, all in one reading of the rows.
    Count count(int firstKeys = 0);
    // How many rows of an ordered listing have a null order value (they come
    // first), read through the order column's index; 0 when unordered.
    qint64 nullCount();
    // The rows with these keys, in key order.
    std::vector<Row> rowsByKeys(const std::vector<qint64> &keys);
    // Fixed-point sums of columns over the listing, by the engine.
    QVector<std::optional<qint64>> sums(const QVector<int> &columns);
    // How many rows of the listing come before a key.
    qint64 positionOf(const RowKey &key, qint64 nulls);
    // The row with this key if it is still in the listing.
    std::optional<Row> rowInListing(qint64 key);
    std::optional<Row> rowByKey(qint64 key);

    // The engine's plans for reading the first rows and the rows after a key
    // (for tests and diagnosis: a lookup that scans the whole table shows here).
    QString explainReads() const;

    // Writes by key; each returns what the engine did.
    qint64 insert(const QStringList &names, const QVariantList &values);
    int update(qint64 key, const QStringList &names, const QVariantList &values);
    int remove(qint64 key);

private:
    struct Sql;
    Sql base() const;
    Sql select(Run run, const RowKey *from, const char *op, bool descending, qint64 skip, int n) const;
    std::vector<Row> readRows(const Sql &sql) const;
    Run runOf(const RowKey &key) const;
    // A comparison of (value, key) with a given key in the listing's own
    // direction: "<" means "comes before" also when the listing descends.
    QString inOrder(const char *op, Run run) const;

    Connection &connection_;
    Listing listing_;
    QString source_; // the table read (a temporary one for a long distinct list)
    QStringList columns_;
    QVector<bool> number_;
    QVector<int> sumColumns_;
    int filterIndex_ = -1;
    int orderIndex_ = -1;
    int rangeIndex_ = -1;
    qint64 bound_ = 0;
    QList<qint64> excluded_;
    std::optional<std::vector<Row>> whole_;
    int connectionGeneration_ = 0;
};

} // namespace store
