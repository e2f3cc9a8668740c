#pragma once
// The rows of a listing by position, read a page at a time and kept in a
// bounded number of pages: scrolling from the first to the last of a million
// rows keeps a few thousand rows, never every row read.
//
// A page is found from a neighbour's key (the first key of each page read is
// remembered), so reading on in either direction costs one page, and a jump
// to a far position starts from the nearest remembered key.
//
// The rows, their count and the sums describe one state of the file: every
// read checks that no other connection (nor another query of this one) has
// changed the file since that state was taken; when one has, the state is
// taken again (same key bound, counts and pages read anew) and retaken()
// reports it so the query can tell its grids.
#include "store/Plan.h"

#include <QHash>
#include <map>
#include <optional>
#include <vector>

class Connection;

namespace store {

class RowCache {
public:
    static constexpr int kPageRows = 256;
    static constexpr int kMaxPages = 16;

    RowCache(Connection &connection, Plan &plan);

    // Takes the listing's state now: its key bound (rows are read when asked for).
    void take();
    // Whether another connection or query changed the file since the state was taken.
    bool stale();
    // Takes the state again, keeping the key bound.
    void retake();
    // True once after the cache retook the state by itself while reading.
    bool takeRetaken();

    // Rows before the appended ones; read by a count when not yet known.
    int headCount();
    std::optional<int> knownHeadCount() const { return headCount_; }
    int appendedCount() const { return static_cast<int>(appended_.size()); }
    int size() { return headCount() + appendedCount(); }
    std::optional<int> knownSize() const;

    // The row at a position, or nullptr past the end. A row of a page read
    // stays valid until the next call that may read.
    const Row *at(int position);
    // Without counting: nullptr past the end, found by reading on.
    bool isEmpty();

    // Where a row of the listing stands now; nullopt when it is gone.
    std::optional<int> positionOf(const Row &row);

    QVector<std::optional<qint64>> sums(const QVector<int> &columns);

    // What the query itself wrote.
    int noteAppended(Row row); // its position (counting when needed)
    void noteChanged(int position, const Row &row, bool orderChanged);
    void noteRemoved(int position, const Row &row);
    // Keeps the state current after a write of this query.
    void noteOwnWrite(bool wasFresh);
    bool freshBeforeWrite();

    const std::vector<Row> &appended() const { return appended_; }
    // Rows kept in memory: the pages read and the appended rows.
    int rowsHeld() const;

private:
    struct Page {
        std::vector<Row> rows;
        int expected = 0; // rows it held when read: fewer now means rows deleted from it
        quint64 used = 0;
    };
    template <class F> auto consistent(F &&read);
    void countRows();
    qint64 nullCount();
    void clear();
    const Page &page(int index);
    Page loadPage(int index);
    void keep(int index, Page page);
    void excludeReusedKeys();

    Connection &connection_;
    Plan &plan_;
    std::map<int, Page> pages_;
    std::map<int, RowKey> anchors_; // first key of page n
    std::optional<int> headCount_;
    std::optional<qint64> nulls_;
    std::optional<QVector<std::optional<qint64>>> headSums_; // over plan.sumColumns()
    QHash<int, std::optional<qint64>> columnSums_;
    std::vector<Row> appended_;
    qint64 version_ = 0;
    quint64 writes_ = 0;
    quint64 clock_ = 0;
    bool retaken_ = false;
};

} // namespace store
