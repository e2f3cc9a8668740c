#include "store/Query.h"

#include "store/AppError.h"
#include "store/Connection.h"
#include "store/NumberText.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

constexpr int kFirstPage = 64;

QString quoted(const QString &identifier)
{
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

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

[[noreturn]] void throwSql(const QSqlQuery &q)
{
    QString text = q.lastError().databaseText();
    if (text.isEmpty())
        text = q.lastError().text();
    throw AppError(text);
}

void execOrThrow(QSqlQuery &q)
{
    if (!q.exec())
        throwSql(q);
}

} // namespace

// What the SQL text asks for. "select * from T [where C like ?] [order by C [asc]]"
// is read by key a page at a time and can be written through; any other
// statement (a DISTINCT pick list) is read whole and is read-only.
struct Query::Plan {
    bool keyed = false;
    QString table;
    QString likeColumn; // the column of the where clause
    QString whereOp;    // "LIKE" or "="
    QString orderColumn;
    qint64 bound = 0; // largest row key when opened
};

Query::Query(Connection &connection, const QString &sql, QObject *parent)
    : QObject(parent), connection_(connection)
{
    if (!sql.isEmpty())
        sqlLines_ << sql;
}

Query::~Query() = default;

void Query::clearSql()
{
    close();
    sqlLines_.clear();
    bindings_.clear();
}

void Query::addSql(const QString &line)
{
    close();
    sqlLines_ << line;
}

void Query::setSql(const QString &text)
{
    clearSql();
    sqlLines_ << text;
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
    if (!connection_.isOpen())
        connection_.open();

    auto plan = std::make_unique<Plan>();
    static const QRegularExpression keyedRe(
        QStringLiteral(R"(^\s*select\s+\*\s+from\s+(\w+)(?:\s+where\s+(\w+)\s*(like|=)\s*\?)?)"
                       R"((?:\s+order\s+by\s+(\w+)(?:\s+asc)?)?\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    const QString text = sql();
    const auto m = keyedRe.match(text);
    QSqlDatabase db = connection_.database();

    emit aboutToReset();
    head_.clear();
    tail_.clear();
    headTotal_.reset();
    columns_.clear();
    numeric_.clear();
    exhausted_ = false;

    auto fail = [this](const QSqlQuery &q) {
        head_.clear();
        columns_.clear();
        numeric_.clear();
        plan_.reset();
        state_ = State::Inactive;
        emit reset();
        throwSql(q);
    };

    if (m.hasMatch()) {
        plan->keyed = true;
        plan->table = m.captured(1);
        plan->likeColumn = m.captured(2);
        plan->whereOp = m.captured(3).toUpper();
        plan->orderColumn = m.captured(4);
        QSqlQuery info(db);
        info.setForwardOnly(true);
        if (!info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(plan->table))))
            fail(info);
        while (info.next()) {
            columns_ << info.value(1).toString();
            const QString type = info.value(2).toString().toUpper();
            numeric_ << (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("NUM"))
                         || type.contains(QLatin1String("FLOA")) || type.contains(QLatin1String("DOUB"))
                         || type.contains(QLatin1String("INT")));
        }
        info.finish();
        if (columns_.isEmpty()) {
            QSqlQuery probe(db);
            probe.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(plan->table)));
            fail(probe);
        }
        QSqlQuery maxKey(db);
        maxKey.setForwardOnly(true);
        if (!maxKey.exec(QStringLiteral("SELECT max(rowid) FROM %1").arg(quoted(plan->table))))
            fail(maxKey);
        plan->bound = maxKey.next() ? maxKey.value(0).toLongLong() : 0;
        maxKey.finish();
        plan_ = std::move(plan);
        state_ = State::Browse;
        // Rows read while opening belong to the reset, not to an insertion.
        opening_ = true;
        try {
            fetchPage(kFirstPage);
        } catch (...) {
            opening_ = false;
            state_ = State::Inactive;
            plan_.reset();
            head_.clear();
            columns_.clear();
            numeric_.clear();
            emit reset();
            throw;
        }
        opening_ = false;
    } else {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(text))
            fail(q);
        for (const QVariant &v : bindings_)
            q.addBindValue(v);
        if (!q.exec())
            fail(q);
        const QSqlRecord rec = q.record();
        for (int i = 0; i < rec.count(); ++i) {
            columns_ << rec.fieldName(i);
            numeric_ << false;
        }
        while (q.next()) {
            Row row;
            row.values.reserve(columns_.size());
            for (int i = 0; i < columns_.size(); ++i)
                row.values << q.value(i);
            head_.push_back(std::move(row));
        }
        q.finish();
        exhausted_ = true;
        plan_ = std::move(plan);
        state_ = State::Browse;
    }
    curTail_ = false;
    curIdx_ = head_.empty() ? -1 : 0;
    eof_ = head_.empty();
    emit reset();
    emit currentChanged();
}

void Query::close()
{
    if (!isActive())
        return;
    emit aboutToReset();
    state_ = State::Inactive;
    plan_.reset();
    head_.clear();
    tail_.clear();
    headTotal_.reset();
    columns_.clear();
    numeric_.clear();
    buffer_.clear();
    assigned_.clear();
    modified_ = false;
    exhausted_ = false;
    curTail_ = false;
    curIdx_ = -1;
    eof_ = true;
    emit reset();
}

void Query::requireActive() const
{
    if (!isActive())
        throw AppError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Query::requireKeyed(const char *) const
{
    requireActive();
    if (!plan_->keyed)
        throw AppError(QStringLiteral("Cannot modify a read-only dataset"));
}

// Reads the next page of the snapshot; false when nothing more was there.
bool Query::fetchPage(int rows)
{
    if (!isActive() || exhausted_ || announcing_)
        return false;
    const Plan &p = *plan_;
    QString where = QStringLiteral("rowid <= ?") + appendedKeysExcluded();
    QVariantList args;
    if (!p.likeColumn.isEmpty()) {
        where = QStringLiteral("%1 %2 ? AND ").arg(quoted(p.likeColumn), p.whereOp) + where;
        args << (bindings_.isEmpty() ? QVariant(QString()) : bindings_.first());
    }
    args << p.bound;
    QString order = QStringLiteral("rowid");
    if (!head_.empty()) {
        const Row &lastRow = head_.back();
        if (p.orderColumn.isEmpty()) {
            where += QStringLiteral(" AND rowid > ?");
            args << lastRow.key;
        } else {
            // Key (column, rowid) in SQLite's order, nulls first.
            const int oc = columns_.indexOf(p.orderColumn);
            const QVariant lastValue = oc >= 0 ? lastRow.values.value(oc) : QVariant();
            const QString c = quoted(p.orderColumn);
            if (lastValue.isNull())
                where += QStringLiteral(" AND ((%1 IS NULL AND rowid > ?) OR %1 IS NOT NULL)").arg(c);
            else
                where += QStringLiteral(" AND (%1 > ? OR (%1 = ? AND rowid > ?))").arg(c);
            if (lastValue.isNull()) {
                args << lastRow.key;
            } else {
                args << lastValue << lastValue << lastRow.key;
            }
        }
    }
    if (!p.orderColumn.isEmpty())
        order = quoted(p.orderColumn) + QStringLiteral(", rowid");
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    const QString text = QStringLiteral("SELECT rowid, * FROM %1 WHERE %2 ORDER BY %3 LIMIT %4")
                             .arg(quoted(p.table), where, order)
                             .arg(rows);
    if (!q.prepare(text))
        throwSql(q);
    for (const QVariant &v : args)
        q.addBindValue(v);
    execOrThrow(q);
    std::vector<Row> fetched;
    while (q.next()) {
        Row row;
        row.key = q.value(0).toLongLong();
        row.values.reserve(columns_.size());
        for (int i = 0; i < columns_.size(); ++i)
            row.values << q.value(i + 1);
        fetched.push_back(std::move(row));
    }
    q.finish();
    const bool nowExhausted = static_cast<int>(fetched.size()) < rows;
    const int shownBefore = rowCountFetched();
    const int shownAfter = shownBefore + static_cast<int>(fetched.size())
        + (nowExhausted ? static_cast<int>(tail_.size()) : 0);
    // A slot that reads on while this page is announced would read it twice.
    announcing_ = true;
    if (shownAfter > shownBefore)
        if (!opening_)
            emit aboutToInsertRows(shownBefore, shownAfter - 1);
    for (auto &r : fetched)
        head_.push_back(std::move(r));
    exhausted_ = nowExhausted;
    if (exhausted_)
        headTotal_ = static_cast<int>(head_.size());
    announcing_ = false;
    if (shownAfter > shownBefore)
        if (!opening_)
            emit rowsInserted(shownBefore, shownAfter - 1);
    return !fetched.empty();
}

void Query::fetchAll()
{
    while (isActive() && !exhausted_ && fetchPage(kPageSize * 4)) {
    }
}

bool Query::ensureRow(int index)
{
    while (static_cast<int>(head_.size()) <= index && !exhausted_ && fetchPage(kPageSize)) {
    }
    return index < static_cast<int>(head_.size());
}

// SQLite gives a new row the largest key plus one, so after the newest row
// was deleted a row appended here can take a key inside the snapshot's range;
// it is listed once, with the appended rows.
QString Query::appendedKeysExcluded() const
{
    QStringList keys;
    for (const Row &r : tail_) {
        if (r.key <= plan_->bound)
            keys << QString::number(r.key);
    }
    return keys.isEmpty() ? QString()
                          : QStringLiteral(" AND rowid NOT IN (%1)").arg(keys.join(QLatin1Char(',')));
}

int Query::headTotal()
{
    if (exhausted_)
        return static_cast<int>(head_.size());
    if (!headTotal_) {
        const Plan &p = *plan_;
        QSqlQuery q(connection_.database());
        q.setForwardOnly(true);
        QString text = QStringLiteral("SELECT count(*) FROM %1 WHERE rowid <= ?").arg(quoted(p.table))
            + appendedKeysExcluded();
        if (!p.likeColumn.isEmpty())
            text += QStringLiteral(" AND %1 %2 ?").arg(quoted(p.likeColumn), p.whereOp);
        if (!q.prepare(text))
            throwSql(q);
        q.addBindValue(p.bound);
        if (!p.likeColumn.isEmpty())
            q.addBindValue(bindings_.isEmpty() ? QVariant(QString()) : bindings_.first());
        execOrThrow(q);
        headTotal_ = q.next() ? q.value(0).toInt() : 0;
        q.finish();
    }
    return *headTotal_;
}

int Query::rowCountFetched() const
{
    return static_cast<int>(head_.size()) + (exhausted_ ? static_cast<int>(tail_.size()) : 0);
}

bool Query::canFetchMore() const
{
    return isActive() && !exhausted_ && !announcing_;
}

void Query::fetchMore(int rows)
{
    fetchPage(rows);
}

const Query::Row *Query::rowAtShown(int index) const
{
    if (index < 0)
        return nullptr;
    if (index < static_cast<int>(head_.size()))
        return &head_[index];
    if (!exhausted_)
        return nullptr;
    const int j = index - static_cast<int>(head_.size());
    return j < static_cast<int>(tail_.size()) ? &tail_[j] : nullptr;
}

QVariant Query::valueAt(int row, int column) const
{
    const Row *r = rowAtShown(row);
    return r ? r->values.value(column) : QVariant();
}

QString Query::textAt(int row, int column) const
{
    return valueText(valueAt(row, column));
}

bool Query::isNumberColumn(int column) const
{
    return numeric_.value(column, false);
}

int Query::shownIndexOfCursor() const
{
    if (curIdx_ < 0)
        return -1;
    if (!curTail_)
        return curIdx_;
    return exhausted_ ? static_cast<int>(head_.size()) + curIdx_ : -1;
}

int Query::currentIndex() const
{
    return isActive() ? shownIndexOfCursor() : -1;
}

Query::Row *Query::currentRow()
{
    if (curIdx_ < 0)
        return nullptr;
    if (curTail_)
        return curIdx_ < static_cast<int>(tail_.size()) ? &tail_[curIdx_] : nullptr;
    return curIdx_ < static_cast<int>(head_.size()) ? &head_[curIdx_] : nullptr;
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
    if (ensureRow(0)) {
        curTail_ = false;
        curIdx_ = 0;
        eof_ = false;
    } else if (!tail_.empty()) {
        curTail_ = true;
        curIdx_ = 0;
        eof_ = false;
    } else {
        curIdx_ = -1;
        eof_ = true;
    }
    emit currentChanged();
}

void Query::next()
{
    requireActive();
    checkBrowse();
    if (curIdx_ < 0) {
        eof_ = true;
        return;
    }
    if (!curTail_) {
        if (ensureRow(curIdx_ + 1)) {
            ++curIdx_;
        } else if (!tail_.empty()) {
            curTail_ = true;
            curIdx_ = 0;
        } else {
            eof_ = true;
            return;
        }
    } else if (curIdx_ + 1 < static_cast<int>(tail_.size())) {
        ++curIdx_;
    } else {
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
    if (!tail_.empty()) {
        curTail_ = true;
        curIdx_ = static_cast<int>(tail_.size()) - 1;
    } else {
        fetchAll();
        curTail_ = false;
        curIdx_ = static_cast<int>(head_.size()) - 1;
    }
    eof_ = curIdx_ < 0;
    emit currentChanged();
}

void Query::moveTo(int row)
{
    requireActive();
    checkBrowse();
    ensureRow(row);
    if (row < 0 || row >= rowCountFetched())
        return;
    if (row < static_cast<int>(head_.size())) {
        curTail_ = false;
        curIdx_ = row;
    } else {
        curTail_ = true;
        curIdx_ = row - static_cast<int>(head_.size());
    }
    eof_ = false;
    emit currentChanged();
}

bool Query::eof()
{
    return !isActive() || eof_ || curIdx_ < 0;
}

bool Query::isEmpty()
{
    requireActive();
    return !ensureRow(0) && tail_.empty();
}

int Query::recordCount()
{
    requireActive();
    return headTotal() + static_cast<int>(tail_.size());
}

int Query::recNo()
{
    requireActive();
    if (curIdx_ < 0)
        return 0;
    return curTail_ ? headTotal() + curIdx_ + 1 : curIdx_ + 1;
}

QStringList Query::fieldNames()
{
    requireActive();
    return columns_;
}

int Query::columnIndex(const QString &name)
{
    for (int i = 0; i < columns_.size(); ++i) {
        if (columns_[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool Query::hasField(const QString &name)
{
    return columnIndex(name) >= 0;
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
    const Row *row = currentRow();
    return row ? row->values.value(i) : QVariant();
}

QString Query::fieldText(const QString &name)
{
    return valueText(fieldValue(name));
}

void Query::setFieldText(const QString &name, const QString &text)
{
    const int i = fieldIndexOrThrow(name);
    if (state_ != State::Edit && state_ != State::Insert)
        throw AppError(QStringLiteral("Dataset not in edit or insert mode"));
    QVariant value;
    if (numeric_.value(i)) {
        if (!text.isEmpty()) {
            const auto number = numtext::tryParse(text);
            if (!number)
                throw AppError(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                                   .arg(text, columns_[i]));
            value = static_cast<double>(*number);
        }
    } else {
        value = text;
    }
    buffer_[i] = value;
    assigned_[i] = true;
    modified_ = true;
}

void Query::edit()
{
    requireKeyed("edit");
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    const Row *row = currentRow();
    if (!row) {
        append();
        return;
    }
    buffer_ = row->values;
    assigned_ = QVector<bool>(columns_.size(), false);
    modified_ = false;
    state_ = State::Edit;
}

void Query::append()
{
    requireKeyed("append");
    checkBrowse();
    buffer_ = QVector<QVariant>(columns_.size());
    assigned_ = QVector<bool>(columns_.size(), false);
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

std::optional<Query::Row> Query::readRow(qint64 key)
{
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT rowid, * FROM %1 WHERE rowid = ?").arg(quoted(plan_->table))))
        throwSql(q);
    q.addBindValue(key);
    execOrThrow(q);
    std::optional<Row> result;
    if (q.next()) {
        Row row;
        row.key = q.value(0).toLongLong();
        for (int i = 0; i < columns_.size(); ++i)
            row.values << q.value(i + 1);
        result = std::move(row);
    }
    q.finish();
    return result;
}

void Query::post()
{
    requireActive();
    if (state_ != State::Edit && state_ != State::Insert)
        throw AppError(QStringLiteral("Dataset not in edit or insert mode"));
    const QString table = quoted(plan_->table);
    QStringList names;
    QVariantList values;
    for (int i = 0; i < columns_.size(); ++i) {
        if (assigned_.value(i)) {
            names << quoted(columns_[i]);
            values << buffer_[i];
        }
    }
    QSqlQuery q(connection_.database());
    if (state_ == State::Insert) {
        QString text;
        if (names.isEmpty()) {
            text = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        } else {
            QStringList marks;
            for (int i = 0; i < names.size(); ++i)
                marks << QStringLiteral("?");
            text = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(table, names.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
        }
        if (!q.prepare(text))
            throwSql(q);
        for (const QVariant &v : values)
            q.addBindValue(v);
        execOrThrow(q);
        const qint64 key = q.lastInsertId().toLongLong();
        q.finish();
        Row row;
        if (auto stored = readRow(key)) {
            row = std::move(*stored);
        } else {
            row.key = key;
            row.values = buffer_;
        }
        cancel();
        const bool shown = exhausted_;
        const int index = static_cast<int>(head_.size() + tail_.size());
        if (shown)
            emit aboutToInsertRows(index, index);
        tail_.push_back(std::move(row));
        curTail_ = true;
        curIdx_ = static_cast<int>(tail_.size()) - 1;
        eof_ = false;
        if (shown)
            emit rowsInserted(index, index);
    } else {
        Row *row = currentRow();
        if (!row) {
            cancel();
            return;
        }
        if (!names.isEmpty()) {
            QStringList sets;
            for (const QString &n : names)
                sets << n + QStringLiteral(" = ?");
            if (!q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                               .arg(table, sets.join(QLatin1String(", ")))))
                throwSql(q);
            for (const QVariant &v : values)
                q.addBindValue(v);
            q.addBindValue(row->key);
            execOrThrow(q);
            q.finish();
            if (auto stored = readRow(row->key))
                row->values = stored->values;
            else
                row->values = buffer_;
        }
        cancel();
        const int shown = shownIndexOfCursor();
        if (shown >= 0)
            emit rowChanged(shown);
    }
    emit currentChanged();
}

void Query::remove()
{
    requireKeyed("delete");
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    cancel();
    Row *row = currentRow();
    if (!row)
        throw AppError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    QSqlQuery q(connection_.database());
    if (!q.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(plan_->table))))
        throwSql(q);
    q.addBindValue(row->key);
    execOrThrow(q);
    q.finish();

    // The deleted row's place is taken now: a slot of the notice below may
    // move the cursor, and the row that leaves the snapshot is the deleted one.
    const int shown = shownIndexOfCursor();
    const bool inTail = curTail_;
    const int index = curIdx_;
    if (shown >= 0)
        emit aboutToRemoveRow(shown);
    if (inTail) {
        tail_.erase(tail_.begin() + index);
    } else {
        head_.erase(head_.begin() + index);
        if (headTotal_ && !exhausted_)
            headTotal_ = *headTotal_ - 1;
    }
    curTail_ = inTail;
    curIdx_ = index;
    if (shown >= 0)
        emit rowRemoved(shown);

    // The cursor goes to the next row, else to the new last one.
    if (!curTail_) {
        if (ensureRow(curIdx_)) {
            // stays on the row that moved up into this place
        } else if (!tail_.empty()) {
            curTail_ = true;
            curIdx_ = 0;
        } else {
            curIdx_ = static_cast<int>(head_.size()) - 1;
        }
    } else if (curIdx_ >= static_cast<int>(tail_.size())) {
        curIdx_ = static_cast<int>(tail_.size()) - 1;
        if (curIdx_ < 0) {
            curTail_ = false;
            fetchAll();
            curIdx_ = static_cast<int>(head_.size()) - 1;
        }
    }
    eof_ = curIdx_ < 0;
    emit currentChanged();
}
