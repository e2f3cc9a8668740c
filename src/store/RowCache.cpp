#include "store/RowCache.h"

#include "store/Connection.h"
#include "store/Engine.h"

#include <algorithm>

namespace store {

RowCache::RowCache(Connection &connection, Plan &plan) : connection_(connection), plan_(plan) {}

template <class F> auto RowCache::consistent(F &&read)
{
    Connection::ReadScope scope(connection_);
    if (stale()) {
        retake();
        retaken_ = true;
    }
    const quint64 snapshot = connection_.snapshotSerial();
    auto result = read();
    // On a server the changes were last counted at an earlier turn of the
    // event loop; a read that went to the server is checked against the
    // counts of the state it read, and read again when that state is newer.
    if (connection_.snapshotSerial() != snapshot && stale()) {
        retake();
        retaken_ = true;
        result = read();
    }
    return result;
}

bool RowCache::stale()
{
    if (plan_.isStatic())
        return false;
    return connection_.writeSerial(plan_.listing().table) != writes_ || connection_.dataVersion(plan_.listing().table) != version_;
}

void RowCache::clear()
{
    pages_.clear();
    anchors_.clear();
    headCount_.reset();
    nulls_.reset();
    headSums_.reset();
    columnSums_.clear();
}

void RowCache::take()
{
    Connection::ReadScope scope(connection_);
    if (!plan_.isStatic()) {
        version_ = connection_.dataVersion(plan_.listing().table);
        writes_ = connection_.writeSerial(plan_.listing().table);
    }
    clear();
    appended_.clear();
    plan_.setExcluded({});
    plan_.setBound(plan_.largestKey());
    retaken_ = false;
}

void RowCache::retake()
{
    Connection::ReadScope scope(connection_);
    version_ = connection_.dataVersion(plan_.listing().table);
    writes_ = connection_.writeSerial(plan_.listing().table);
    clear();
    // Rows appended through the query stay listed while they exist.
    std::vector<Row> kept;
    for (const Row &r : appended_) {
        if (auto now = plan_.rowByKey(r.key))
            kept.push_back(std::move(*now));
    }
    appended_ = std::move(kept);
    excludeReusedKeys();
}

bool RowCache::takeRetaken()
{
    return std::exchange(retaken_, false);
}

// SQLite gives a new row the largest key plus one, so after the newest row
// was deleted a row appended here can take a key inside the bound; it is
// listed once, with the appended rows.
void RowCache::excludeReusedKeys()
{
    QList<qint64> keys;
    for (const Row &r : appended_) {
        if (r.key <= plan_.bound())
            keys << r.key;
    }
    plan_.setExcluded(keys);
}

std::optional<int> RowCache::knownSize() const
{
    if (!headCount_)
        return std::nullopt;
    return *headCount_ + appendedCount();
}

int RowCache::headCount()
{
    if (!headCount_)
        countRows();
    return *headCount_;
}

// The count and the number columns' sums, in one reading.
void RowCache::countRows()
{
    consistent([&] {
        const bool firstPageRead = pages_.count(0) > 0;
        const Plan::Count c = plan_.count(firstPageRead ? 0 : kPageRows + 1);
        headCount_ = static_cast<int>(c.rows);
        headSums_ = c.sums;
        // The first rows found on the way are the list's first page.
        const int expected = static_cast<int>(std::min<qint64>(c.rows, kPageRows + 1));
        if (!firstPageRead && !c.firstKeys.empty() && static_cast<int>(c.firstKeys.size()) == expected) {
            std::vector<Row> rows = plan_.rowsByKeys(c.firstKeys);
            if (static_cast<int>(rows.size()) == expected) {
                if (static_cast<int>(rows.size()) > kPageRows) {
                    anchors_[1] = plan_.keyOf(rows[kPageRows]);
                    rows.pop_back();
                }
                anchors_[0] = plan_.keyOf(rows.front());
                Page page;
                page.expected = static_cast<int>(rows.size());
                page.rows = std::move(rows);
                keep(0, std::move(page));
            }
        }
        return 0;
    });
}

// The null run's length, through the order column's index (a count of the
// whole list never has to read that column); with the count, as of one state.
qint64 RowCache::nullCount()
{
    if (!headCount_)
        countRows();
    if (!nulls_)
        consistent([&] {
            if (!headCount_)
                countRows();
            nulls_ = plan_.nullCount();
            return 0;
        });
    return *nulls_;
}

const RowCache::Page &RowCache::page(int index)
{
    auto found = pages_.find(index);
    if (found != pages_.end()) {
        found->second.used = ++clock_;
        return found->second;
    }
    Page loaded = consistent([&] { return loadPage(index); });
    keep(index, std::move(loaded));
    return pages_.at(index);
}

RowCache::Page RowCache::loadPage(int index)
{
    const int P = kPageRows;
    std::vector<Row> rows;
    bool forward = true;
    if (auto a = anchors_.find(index); a != anchors_.end()) {
        rows = plan_.forward(&a->second, true, 0, P + 1);
    } else if (index == 0) {
        rows = plan_.forward(nullptr, true, 0, P + 1, plan_.ordered() ? Plan::Run::Nulls : Plan::Run::All);
    } else if (auto b = anchors_.find(index + 1); b != anchors_.end() && index >= 0) {
        rows = plan_.backward(&b->second, P);
        forward = false;
    } else {
        // A jump: start from the nearest remembered key before the page, or
        // from the start of the run the page lies in.
        const qint64 nulls = nullCount();
        const qint64 start = qint64(index) * P;
        if (start >= *headCount_)
            return {};
        const RowKey *from = nullptr;
        qint64 fromPos = 0;
        auto earlier = anchors_.lower_bound(index);
        if (earlier != anchors_.begin()) {
            --earlier;
            from = &earlier->second;
            fromPos = qint64(earlier->first) * P;
        }
        if (!plan_.ordered()) {
            rows = from ? plan_.forward(from, true, start - fromPos, P + 1)
                        : plan_.forward(nullptr, true, start, P + 1, Plan::Run::All);
        } else if (start < nulls) {
            rows = from ? plan_.forward(from, true, start - fromPos, P + 1)
                        : plan_.forward(nullptr, true, start, P + 1, Plan::Run::Nulls);
        } else if (from && fromPos >= nulls) {
            rows = plan_.forward(from, true, start - fromPos, P + 1);
        } else {
            rows = plan_.forward(nullptr, true, start - nulls, P + 1, Plan::Run::Values);
        }
    }
    if (forward) {
        if (static_cast<int>(rows.size()) > P) {
            anchors_[index + 1] = plan_.keyOf(rows[P]);
            rows.pop_back();
        } else {
            headCount_ = index * P + static_cast<int>(rows.size());
        }
    }
    if (!rows.empty())
        anchors_[index] = plan_.keyOf(rows.front());
    Page page;
    page.expected = static_cast<int>(rows.size());
    page.rows = std::move(rows);
    return page;
}

void RowCache::keep(int index, Page page)
{
    page.used = ++clock_;
    pages_[index] = std::move(page);
    while (static_cast<int>(pages_.size()) > kMaxPages) {
        auto oldest = pages_.end();
        for (auto it = pages_.begin(); it != pages_.end(); ++it) {
            if (it->first != index && (oldest == pages_.end() || it->second.used < oldest->second.used))
                oldest = it;
        }
        pages_.erase(oldest);
    }
}

const Row *RowCache::at(int position)
{
    if (position < 0)
        return nullptr;
    if (headCount_ && position >= *headCount_) {
        const int j = position - *headCount_;
        return j < appendedCount() ? &appended_[j] : nullptr;
    }
    const int index = position / kPageRows;
    const int i = position - index * kPageRows;
    const Page *p = &page(index);
    if (i >= static_cast<int>(p->rows.size()) && i < p->expected) {
        // Rows deleted from this page left it short: read it again.
        pages_.erase(index);
        p = &page(index);
    }
    if (i < static_cast<int>(p->rows.size()))
        return &p->rows[i];
    if (headCount_ && position >= *headCount_) {
        const int j = position - *headCount_;
        return j < appendedCount() ? &appended_[j] : nullptr;
    }
    return nullptr;
}

int RowCache::rowsHeld() const
{
    int n = appendedCount();
    for (const auto &[index, page] : pages_)
        n += static_cast<int>(page.rows.size());
    return n;
}

bool RowCache::isEmpty()
{
    return at(0) == nullptr;
}

std::optional<int> RowCache::positionOf(const Row &row)
{
    for (int j = 0; j < appendedCount(); ++j) {
        if (appended_[j].key == row.key)
            return headCount() + j;
    }
    return consistent([&]() -> std::optional<int> {
        const std::optional<Row> now = plan_.rowInListing(row.key);
        if (!now)
            return std::nullopt;
        return static_cast<int>(plan_.positionOf(plan_.keyOf(*now), nullCount()));
    });
}

QVector<std::optional<qint64>> RowCache::sums(const QVector<int> &columns)
{
    return consistent([&] {
        // The count reads the sums of the number columns on the way.
        if (!headCount_)
            headCount();
        auto fromCount = [&](int c) { return headSums_ && plan_.sumColumns().contains(c); };
        QVector<int> missing;
        for (int c : columns) {
            if (!fromCount(c) && !columnSums_.contains(c) && !missing.contains(c))
                missing << c;
        }
        if (!missing.isEmpty()) {
            const auto found = plan_.sums(missing);
            for (int i = 0; i < missing.size(); ++i)
                columnSums_.insert(missing[i], found.value(i));
        }
        QVector<std::optional<qint64>> out;
        for (int c : columns) {
            std::optional<qint64> head = fromCount(c) ? headSums_->value(plan_.sumColumns().indexOf(c))
                                                      : columnSums_.value(c);
            if (head) {
                Fixed4Sum s;
                s.total = *head;
                for (const Row &r : appended_)
                    addStored(s, r.values.value(c));
                head = s.result();
            }
            out << head;
        }
        return out;
    });
}

bool RowCache::freshBeforeWrite()
{
    return connection_.writeSerial(plan_.listing().table) == writes_;
}

void RowCache::noteOwnWrite(bool wasFresh)
{
    if (wasFresh)
        writes_ = connection_.writeSerial(plan_.listing().table);
}

int RowCache::noteAppended(Row row)
{
    appended_.push_back(std::move(row));
    excludeReusedKeys();
    return headCount_ ? *headCount_ + appendedCount() - 1 : -1;
}

void RowCache::noteChanged(int position, const Row &row, bool orderChanged)
{
    headSums_.reset();
    columnSums_.clear();
    for (Row &r : appended_) {
        if (r.key == row.key) {
            r = row;
            return;
        }
    }
    if (orderChanged) {
        // The row moved in the order: pages and their keys are read anew.
        pages_.clear();
        anchors_.clear();
        nulls_.reset();
        headCount_.reset();
        return;
    }
    auto p = pages_.find(position / kPageRows);
    if (p != pages_.end()) {
        for (Row &r : p->second.rows) {
            if (r.key == row.key)
                r = row;
        }
    }
}

void RowCache::noteRemoved(int position, const Row &row)
{
    for (auto it = appended_.begin(); it != appended_.end(); ++it) {
        if (it->key == row.key) {
            appended_.erase(it);
            excludeReusedKeys();
            return;
        }
    }
    headSums_.reset();
    columnSums_.clear();
    if (headCount_)
        *headCount_ -= 1;
    if (nulls_ && plan_.ordered() && plan_.keyOf(row).order.isNull())
        *nulls_ -= 1;
    // Later rows move up one place: their pages and keys are read anew. The
    // row leaves its own page, which is read again only when a row at its
    // end is asked for (emptying a table reads each page once); the page's
    // first key still starts it (the next key follows the gone one).
    const int index = position / kPageRows;
    pages_.erase(pages_.upper_bound(index), pages_.end());
    anchors_.erase(anchors_.upper_bound(index), anchors_.end());
    if (auto p = pages_.find(index); p != pages_.end()) {
        auto &rows = p->second.rows;
        const bool last = headCount_ && index * kPageRows + p->second.expected > *headCount_;
        rows.erase(std::remove_if(rows.begin(), rows.end(), [&](const Row &r) { return r.key == row.key; }),
                   rows.end());
        if (last) // the list's end page just gets shorter
            p->second.expected = static_cast<int>(rows.size());
    }
}

} // namespace store
