#pragma once
// A query on a connection, in the manner the windows use it: what it lists,
// a cursor over the result, fields by name as text, and row operations
// (edit, append, post, delete).
//
// Three parts: the plan (store/Plan.h) turns what is listed into statements
// that read rows by key; the row cache (store/RowCache.h) keeps a bounded
// window of rows by position; the cursor and the started row live here.
// Opening costs the same with a million archived tickets as with none; no
// statement stays open between events.
//
// What is listed is a store::Listing: a table's rows, filtered by a column's
// value and a column's range and ordered by one column, or a column's
// distinct values. No SQL text from a window is ever run.
//
// The rows, their count and the sums describe one state of the file, bounded
// by the largest row key at opening: rows other connections add later are
// seen after a reopen, rows appended through this query follow at the end,
// and a row another connection deletes leaves the list, its count and its
// sums together (the query takes the state again and reports a reset).
#include "store/Listing.h"

#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>
#include <optional>

class Connection;

namespace store {
class Plan;
class RowCache;
struct Row;
} // namespace store

class Query : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Query(Connection &connection, std::optional<store::Listing> listing = std::nullopt,
                   QObject *parent = nullptr);
    ~Query() override;

    Connection &connection() const { return connection_; }

    // What to list, told explicitly (closes the query; open() lists it).
    void setListing(const store::Listing &listing);
    // What the query lists (or will list when opened); nullopt before a
    // listing was given.
    std::optional<store::Listing> listing() const;
    // The listing as an SQL text, for messages; empty before one was given.
    QString sql() const;

    void open();
    void close();
    void setActive(bool active);
    bool isActive() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    // Cursor. eof is true past the last row and on an empty result; after
    // next() at the last row the cursor stays on that row.
    void first();
    void next();
    void last();
    bool eof();
    bool isEmpty();
    int recordCount();
    int recNo(); // 1-based; 0 on an empty result

    // Columns of the result, in order.
    QStringList fieldNames();
    bool hasField(const QString &name);
    // The current row's column as text: numbers in general format, null as
    // empty text, and empty text when there is no current row.
    QString fieldText(const QString &name);
    QVariant fieldValue(const QString &name);
    // Writes into the started row; a number column converts the text (empty
    // stores null) or fails with the field's conversion message, a text
    // longer than its column is refused. A refusal cancels the started row.
    void setFieldText(const QString &name, const QString &text);

    void edit();   // on an empty result, starts a new row instead
    void append(); // starts a new row at the end
    // Stores the started row. A failure cancels it (nothing is left to be
    // stored later by a cursor move); an edited row another program deleted
    // meanwhile is an error, never a silent success.
    void post();
    void cancel();
    // Deletes the current row; a row another program deleted meanwhile is an error.
    void remove();

    // Footer sums of number columns over every row the query lists, computed
    // by the database over the same state as the rows: fixed point with four
    // decimals; a column whose sum does not fit comes back empty, an unknown
    // column 0.
    QVector<std::optional<qint64>> columnSums(const QStringList &columns);

    // For grids and sums: every row is available by position and read when
    // asked for (rowCountFetched() is the record count, nothing is fetched
    // ahead). Never throw.
    int rowCountFetched();
    // Rows the query keeps in memory now: a bounded window of pages, the rows
    // appended through it and the cursor's row.
    int rowsHeld() const;
    // Column value of a row by position, as text / as value; empty past the
    // end or when the row cannot be read.
    QString textAt(int row, int column) const;
    QVariant valueAt(int row, int column) const;
    // Every column's text of a row by position, without moving the cursor
    // (a long read such as an export, which must not drag the grids along);
    // an empty list past the end. Throws when the row cannot be read.
    QStringList textsAt(int row);
    // The same row's values as stored (numbers as numbers, null as null).
    QVector<QVariant> valuesAt(int row);
    // A value's text as fieldText gives it.
    static QString textOf(const QVariant &value);
    int columnIndex(const QString &name); // -1 if absent
    bool isNumberColumn(int column) const;
    int currentIndex() const; // position of the current row, -1 if none
    // Moves the cursor to a row by position (a grid click).
    void moveTo(int row);
    // Visits every row by position, reading a page at a time (memory stays
    // bounded however long the list).
    template <class F> void forEachRow(F &&f)
    {
        const int n = recordCount();
        for (int i = 0; i < n; ++i)
            f(i);
    }

    static constexpr int kPageSize = 256;

signals:
    // Shown rows change; "about to" comes before the change, as models need.
    void aboutToReset();
    void reset(); // opened, closed, or taken again after another program's change
    void aboutToInsertRows(int first, int last);
    void rowsInserted(int first, int last);
    void rowChanged(int row);
    void aboutToRemoveRow(int row);
    void rowRemoved(int row);
    void currentChanged();

private:
    struct Cursor {
        int head = -1;     // position among the rows of the state taken
        int appended = -1; // index among the rows appended through the query
    };

    void requireActive() const;
    void requireWritable() const;
    int fieldIndexOrThrow(const QString &name);
    void placeFirst();
    void resolve();
    bool placeAt(int position);
    std::optional<int> knownPosition() const;
    void checkBrowse();
    void syncIfStale();
    void announceRetake();
    // The one rule of every read: asked only of an open query, with the
    // file's state checked first, and when the read found the file changed
    // (the cache took its state again), the grids told once it is done.
    template <class F> auto read(F &&step);
    void announceIfRetaken();
    void relocate();
    void checkFreshOncePerTurn() const;
    void scheduleAnnounce() const;
    [[noreturn]] void rowGone(const char *operation);

    Connection &connection_;
    std::optional<store::Listing> listing_;
    State state_ = State::Inactive;

    std::unique_ptr<store::Plan> plan_;
    std::unique_ptr<store::RowCache> cache_;

    Cursor cursor_;
    std::unique_ptr<store::Row> current_; // the cursor's row as read
    bool resolved_ = true;                // false: on the first row, not read yet
    bool eof_ = true;

    // Started row.
    QVector<QVariant> buffer_;
    QVector<bool> assigned_;
    bool modified_ = false;

    bool announcing_ = false; // a reset is being told: slots that count must not start another
    mutable bool freshnessChecked_ = false;
    mutable bool announceScheduled_ = false;
};
