#include "store/Query.h"

#include "base/AppError.h"
#include "base/Log.h"
#include "store/Connection.h"
#include "store/NumberText.h"
#include "store/Plan.h"
#include "store/RowCache.h"
#include "store/Schema.h"

#include <QMetaObject>

namespace {

// Text of a stored value as the windows read it.
QString valueText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return numtext::general(static_cast<numtext::Extended>(value.toDouble()));
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value.toLongLong());
    default:
        return value.toString();
    }
}

} // namespace

Query::Query(Connection &connection, std::optional<store::Listing> listing, QObject *parent)
    : QObject(parent), connection_(connection), listing_(std::move(listing))
{
}

Query::~Query()
{
    // The cache reads through the plan: it goes first.
    cache_.reset();
    plan_.reset();
}

void Query::setListing(const store::Listing &listing)
{
    close();
    listing_ = listing;
}

std::optional<store::Listing> Query::listing() const
{
    if (plan_)
        return plan_->listing();
    return listing_;
}

QString Query::sql() const
{
    return listing_ ? listing_->sqlText() : QString();
}

void Query::setActive(bool active)
{
    if (active)
        open();
    else
        close();
}

void Query::open()
{
    if (isActive())
        return;
    const std::optional<store::Listing> what = listing();
    if (!what)
        throw AppError(QStringLiteral("查询没有指定要列出的内容"));
    if (!connection_.isOpen())
        connection_.open();

    emit aboutToReset();
    try {
        plan_ = std::make_unique<store::Plan>(connection_, *what);
        cache_ = std::make_unique<store::RowCache>(connection_, *plan_);
        cache_->take();
    } catch (...) {
        cache_.reset();
        plan_.reset();
        state_ = State::Inactive;
        emit reset();
        throw;
    }
    state_ = State::Browse;
    cursor_ = Cursor{0, -1};
    current_.reset();
    resolved_ = false;
    eof_ = false;
    announcing_ = true;
    emit reset();
    announcing_ = false;
    emit currentChanged();
}

void Query::close()
{
    if (!isActive())
        return;
    emit aboutToReset();
    state_ = State::Inactive;
    cache_.reset();
    plan_.reset();
    buffer_.clear();
    assigned_.clear();
    modified_ = false;
    cursor_ = Cursor{};
    current_.reset();
    resolved_ = true;
    eof_ = true;
    emit reset();
}

void Query::requireActive() const
{
    if (!isActive())
        throw AppError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Query::requireWritable() const
{
    requireActive();
    if (!plan_->writable())
        throw AppError(QStringLiteral("Cannot modify a read-only dataset"));
}

// Puts the cursor on a row by position; false (cursor unchanged) when there
// is none there.
bool Query::placeAt(int position)
{
    const store::Row *row = cache_->at(position);
    if (!row)
        return false;
    const std::optional<int> head = cache_->knownHeadCount();
    if (head && position >= *head)
        cursor_ = Cursor{-1, position - *head};
    else
        cursor_ = Cursor{position, -1};
    current_ = std::make_unique<store::Row>(*row);
    return true;
}

// A freshly opened query stands on its first row without having read it.
void Query::resolve()
{
    if (resolved_ || !isActive())
        return;
    resolved_ = true;
    placeFirst();
}

// The cursor on the first row, or at the end of an empty list.
void Query::placeFirst()
{
    if (placeAt(0)) {
        eof_ = false;
    } else {
        cursor_ = Cursor{};
        current_.reset();
        eof_ = true;
    }
    announceIfRetaken();
}

std::optional<int> Query::knownPosition() const
{
    if (!isActive())
        return std::nullopt;
    if (!resolved_)
        return 0;
    if (cursor_.head >= 0)
        return cursor_.head;
    if (cursor_.appended >= 0) {
        if (const auto head = cache_->knownHeadCount())
            return *head + cursor_.appended;
    }
    return std::nullopt;
}

// Another connection (or another query of this one) changed the file: take
// the state again and tell the grids, keeping the cursor on its row.
void Query::syncIfStale()
{
    if (!announcing_ && cache_ && cache_->stale())
        announceRetake();
}

void Query::announceIfRetaken()
{
    if (cache_->takeRetaken())
        announceRetake();
}

template <class F> auto Query::read(F &&step)
{
    requireActive();
    syncIfStale();
    if constexpr (std::is_void_v<decltype(step())>) {
        step();
        announceIfRetaken();
    } else {
        auto result = step();
        announceIfRetaken();
        return result;
    }
}

void Query::announceRetake()
{
    announceScheduled_ = false;
    if (!isActive() || announcing_)
        return;
    announcing_ = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{announcing_};
    emit aboutToReset();
    try {
        if (cache_->stale())
            cache_->retake();
        cache_->takeRetaken();
        relocate();
    } catch (...) {
        // The grids still get their reset; the error reaches the handler.
        emit reset();
        throw;
    }
    emit reset();
    emit currentChanged();
}

void Query::relocate()
{
    if (!resolved_)
        return;
    if (current_) {
        if (const auto at = cache_->positionOf(*current_); at && placeAt(*at)) {
            eof_ = false;
            return;
        }
    }
    // The row is gone: the cursor takes its place, else the new last row.
    const int before = cursor_.head >= 0 ? cursor_.head : cache_->headCount() + std::max(cursor_.appended, 0);
    const int size = cache_->size();
    if (size > 0 && placeAt(std::min(before, size - 1))) {
        eof_ = false;
        return;
    }
    cursor_ = Cursor{};
    current_.reset();
    eof_ = true;
}

void Query::scheduleAnnounce() const
{
    if (announceScheduled_)
        return;
    announceScheduled_ = true;
    auto *self = const_cast<Query *>(this);
    QMetaObject::invokeMethod(
        self,
        [self] {
            // Runs from the event loop: a file that cannot be read now shows
            // at the next step a cashier takes, not here.
            try {
                self->announceRetake();
            } catch (...) {
                logging::caught(lcStore, "announcing a list read again");
            }
        },
        Qt::QueuedConnection);
}

// A grid painting cached rows asks the file at most once per turn of the event
// loop whether another program changed it meanwhile.
void Query::checkFreshOncePerTurn() const
{
    if (freshnessChecked_ || !cache_)
        return;
    freshnessChecked_ = true;
    auto *self = const_cast<Query *>(this);
    QMetaObject::invokeMethod(self, [self] { self->freshnessChecked_ = false; }, Qt::QueuedConnection);
    try {
        if (cache_->stale())
            scheduleAnnounce();
    } catch (...) {
        // A busy file is asked again next time.
        logging::caught(lcStore, "asking whether the file changed");
    }
}

// Leaving a started row: a changed one is posted, an unchanged one dropped.
void Query::checkBrowse()
{
    if (state_ == State::Edit || state_ == State::Insert) {
        if (modified_)
            post();
        else
            cancel();
    }
}

void Query::first()
{
    requireActive();
    checkBrowse();
    syncIfStale();
    resolved_ = true;
    placeFirst();
    emit currentChanged();
}

void Query::next()
{
    requireActive();
    checkBrowse();
    resolve();
    if (!current_) {
        eof_ = true;
        return;
    }
    bool moved = false;
    if (cursor_.appended >= 0) {
        if (cursor_.appended + 1 < cache_->appendedCount()) {
            cursor_.appended += 1;
            current_ = std::make_unique<store::Row>(cache_->appended()[cursor_.appended]);
            moved = true;
        }
    } else {
        const int from = cursor_.head;
        moved = placeAt(from + 1);
        if (cache_->takeRetaken()) {
            // The file changed under the walk: go on from where the row stands now.
            const store::Row row = *current_;
            emit aboutToReset();
            const auto at = cache_->positionOf(row);
            emit reset();
            moved = at ? placeAt(*at + 1) : placeAt(from);
        }
    }
    if (!moved) {
        eof_ = true;
        return;
    }
    eof_ = false;
    emit currentChanged();
}

void Query::last()
{
    requireActive();
    checkBrowse();
    read([this] {
        resolved_ = true;
        const int size = cache_->size();
        if (size > 0 && placeAt(size - 1)) {
            eof_ = false;
        } else {
            cursor_ = Cursor{};
            current_.reset();
            eof_ = true;
        }
    });
    emit currentChanged();
}

void Query::moveTo(int row)
{
    requireActive();
    checkBrowse();
    const bool placed = read([this, row] {
        resolved_ = true;
        if (row < 0 || !placeAt(row))
            return false;
        eof_ = false;
        return true;
    });
    if (placed)
        emit currentChanged();
}

bool Query::eof()
{
    if (!isActive())
        return true;
    resolve();
    return eof_ || !current_;
}

bool Query::isEmpty()
{
    return read([this] { return cache_->isEmpty(); });
}

int Query::recordCount()
{
    return read([this] { return cache_->size(); });
}

int Query::recNo()
{
    requireActive();
    resolve();
    if (!current_)
        return 0;
    if (cursor_.appended >= 0)
        return cache_->headCount() + cursor_.appended + 1;
    return cursor_.head + 1;
}

int Query::rowCountFetched()
{
    try {
        return isActive() ? recordCount() : 0;
    } catch (...) {
        logging::caught(lcStore, "counting a list's rows");
        return isActive() ? cache_->knownSize().value_or(0) : 0;
    }
}

int Query::rowsHeld() const
{
    return cache_ ? cache_->rowsHeld() + (current_ ? 1 : 0) : 0;
}

QStringList Query::fieldNames()
{
    requireActive();
    return plan_->columns();
}

int Query::columnIndex(const QString &name)
{
    if (!plan_)
        return -1;
    const QStringList &columns = plan_->columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool Query::hasField(const QString &name)
{
    return columnIndex(name) >= 0;
}

bool Query::isNumberColumn(int column) const
{
    return plan_ && plan_->isNumber(column);
}

int Query::fieldIndexOrThrow(const QString &name)
{
    requireActive();
    const int i = columnIndex(name);
    if (i < 0)
        throw AppError(QStringLiteral("Field '%1' not found").arg(name));
    return i;
}

QVariant Query::fieldValue(const QString &name)
{
    const int i = fieldIndexOrThrow(name);
    if (state_ == State::Edit || state_ == State::Insert)
        return buffer_.value(i);
    resolve();
    return current_ ? current_->values.value(i) : QVariant();
}

QString Query::fieldText(const QString &name)
{
    return valueText(fieldValue(name));
}

QVariant Query::valueAt(int row, int column) const
{
    if (!isActive() || row < 0)
        return {};
    checkFreshOncePerTurn();
    QVariant value;
    try {
        if (const store::Row *r = cache_->at(row))
            value = r->values.value(column);
    } catch (...) {
        logging::caught(lcStore, "reading a cell");
        return {}; // a grid shows an empty cell; the next read tries again
    }
    if (cache_->takeRetaken())
        scheduleAnnounce();
    return value;
}

QString Query::textAt(int row, int column) const
{
    return valueText(valueAt(row, column));
}

QStringList Query::textsAt(int row)
{
    QStringList texts;
    const QVector<QVariant> values = valuesAt(row);
    texts.reserve(values.size());
    for (const QVariant &v : values)
        texts << valueText(v);
    return texts;
}

QString Query::textOf(const QVariant &value)
{
    return valueText(value);
}

QVector<QVariant> Query::valuesAt(int row)
{
    requireActive();
    // A page read checks the file's state; a row of a page read is current
    // without asking the file again for every row.
    QVector<QVariant> values;
    if (const store::Row *r = cache_->at(row))
        values = r->values;
    announceIfRetaken();
    return values;
}

int Query::currentIndex() const
{
    if (!isActive() || (resolved_ && !current_))
        return -1;
    return knownPosition().value_or(-1);
}

void Query::setFieldText(const QString &name, const QString &text)
{
    const int i = fieldIndexOrThrow(name);
    if (state_ != State::Edit && state_ != State::Insert)
        throw AppError(QStringLiteral("Dataset not in edit or insert mode"));
    QVariant value;
    try {
        if (plan_->isNumber(i)) {
            if (!text.isEmpty()) {
                const auto number = numtext::tryParse(text);
                if (!number)
                    throw AppError(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                                       .arg(text, plan_->columns()[i]));
                value = static_cast<double>(*number);
            }
        } else {
            schema::requireFits(plan_->listing().table.toLower(), plan_->columns()[i], text);
            value = text;
        }
    } catch (...) {
        // A refused value ends the handler: the row it was going into must
        // not be stored later by a cursor move.
        cancel();
        throw;
    }
    buffer_[i] = value;
    assigned_[i] = true;
    modified_ = true;
}

void Query::edit()
{
    requireWritable();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    resolve();
    if (!current_) {
        append();
        return;
    }
    buffer_ = current_->values;
    assigned_ = QVector<bool>(plan_->columns().size(), false);
    modified_ = false;
    state_ = State::Edit;
}

void Query::append()
{
    requireWritable();
    checkBrowse();
    buffer_ = QVector<QVariant>(plan_->columns().size());
    assigned_ = QVector<bool>(plan_->columns().size(), false);
    modified_ = false;
    state_ = State::Insert;
}

void Query::cancel()
{
    if (state_ == State::Edit || state_ == State::Insert)
        state_ = State::Browse;
    buffer_.clear();
    assigned_.clear();
    modified_ = false;
}

void Query::rowGone(const char *operation)
{
    // The grid drops the row too (and its sums), so nothing shows what is gone.
    try {
        syncIfStale();
    } catch (...) {
        logging::caught(lcStore, "reading a list again after a row was gone");
    }
    const bool update = qstrcmp(operation, "update") == 0;
    throw AppError(QStringLiteral("找不到要%1的行，它可能已被另一个程序删除：Row cannot be located for %2")
                       .arg(update ? QStringLiteral("修改") : QStringLiteral("删除"),
                            update ? QStringLiteral("updating") : QStringLiteral("deleting")));
}

void Query::post()
{
    requireActive();
    if (state_ != State::Edit && state_ != State::Insert)
        throw AppError(QStringLiteral("Dataset not in edit or insert mode"));
    const QStringList &columns = plan_->columns();
    QStringList names;
    QVariantList values;
    for (int i = 0; i < columns.size(); ++i) {
        if (assigned_.value(i)) {
            names << columns[i];
            values << buffer_[i];
        }
    }
    const bool wasFresh = cache_->freshBeforeWrite();
    const State started = state_;
    const QVector<QVariant> written = buffer_;
    try {
        if (started == State::Insert) {
            const qint64 key = plan_->insert(names, values);
            cache_->noteOwnWrite(wasFresh);
            cancel();
            store::Row row;
            if (auto stored = plan_->rowByKey(key)) {
                row = std::move(*stored);
            } else {
                row.key = key;
                row.values = written;
            }
            const std::optional<int> size = cache_->knownSize();
            if (size)
                emit aboutToInsertRows(*size, *size);
            cache_->noteAppended(std::move(row));
            resolved_ = true;
            cursor_ = Cursor{-1, cache_->appendedCount() - 1};
            current_ = std::make_unique<store::Row>(cache_->appended().back());
            eof_ = false;
            if (size)
                emit rowsInserted(*size, *size);
        } else {
            if (!current_) {
                cancel();
                return;
            }
            if (!names.isEmpty()) {
                const int affected = plan_->update(current_->key, names, values);
                cache_->noteOwnWrite(wasFresh);
                if (affected == 0) {
                    cancel();
                    rowGone("update");
                }
                store::Row row;
                if (auto stored = plan_->rowByKey(current_->key)) {
                    row = std::move(*stored);
                } else {
                    row.key = current_->key;
                    row.values = written;
                }
                const store::RowKey before = plan_->keyOf(*current_);
                const store::RowKey after = plan_->keyOf(row);
                const bool moved = plan_->ordered() && before.order != after.order;
                const std::optional<int> shown = knownPosition();
                if (moved)
                    emit aboutToReset();
                cache_->noteChanged(cursor_.head, row, moved);
                current_ = std::make_unique<store::Row>(std::move(row));
                if (moved) {
                    relocate();
                    emit reset();
                } else if (shown) {
                    emit rowChanged(*shown);
                }
            }
            cancel();
        }
    } catch (...) {
        // A failed write leaves no started row behind for a later click to store.
        cancel();
        throw;
    }
    emit currentChanged();
}

void Query::remove()
{
    requireWritable();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    cancel();
    resolve();
    if (!current_)
        throw AppError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const bool wasFresh = cache_->freshBeforeWrite();
    const int affected = plan_->remove(current_->key);
    cache_->noteOwnWrite(wasFresh);
    if (affected == 0)
        rowGone("delete");

    // The deleted row's place is taken now: a slot of the notice below may
    // move the cursor, and the row that leaves the list is the deleted one.
    const Cursor at = cursor_;
    const store::Row gone = *current_;
    const std::optional<int> shown = knownPosition();
    if (shown)
        emit aboutToRemoveRow(*shown);
    cache_->noteRemoved(at.head, gone);
    if (shown)
        emit rowRemoved(*shown);

    // The cursor goes to the next row, else to the new last one.
    bool placed = false;
    if (at.appended >= 0) {
        const int count = cache_->appendedCount();
        if (count > 0) {
            cursor_ = Cursor{-1, std::min(at.appended, count - 1)};
            current_ = std::make_unique<store::Row>(cache_->appended()[cursor_.appended]);
            placed = true;
        } else {
            const int head = cache_->headCount();
            placed = head > 0 && placeAt(head - 1);
        }
    } else {
        placed = placeAt(at.head) || (at.head > 0 && placeAt(at.head - 1));
    }
    if (!placed) {
        cursor_ = Cursor{};
        current_.reset();
    }
    eof_ = !placed;
    announceIfRetaken();
    emit currentChanged();
}

QVector<std::optional<qint64>> Query::columnSums(const QStringList &columns)
{
    QVector<std::optional<qint64>> out(columns.size(), qint64(0));
    if (!isActive())
        return out;
    syncIfStale();
    QVector<int> known;
    for (const QString &c : columns) {
        const int i = columnIndex(c);
        if (i >= 0)
            known << i;
    }
    const QVector<std::optional<qint64>> sums = cache_->sums(known);
    announceIfRetaken();
    for (int i = 0, k = 0; i < columns.size(); ++i) {
        if (columnIndex(columns[i]) >= 0)
            out[i] = sums.value(k++);
    }
    return out;
}
