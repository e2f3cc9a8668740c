#include "store/SumList.h"

#include "base/Log.h"
#include "store/NumberText.h"
#include "store/Query.h"

#include <cmath>

SumList::SumList(Query &query, QStringList columns, QObject *parent)
    : QObject(parent), query_(query), columns_(std::move(columns)), sums_(columns_.size(), qint64(0))
{
    // The working ticket is a handful of rows, so a rebuild on every change
    // is cheap and never drifts from what is stored.
    connect(&query_, &Query::reset, this, &SumList::rebuild);
    connect(&query_, &Query::rowsInserted, this, &SumList::rebuild);
    connect(&query_, &Query::rowChanged, this, &SumList::rebuild);
    connect(&query_, &Query::rowRemoved, this, &SumList::rebuild);
    rebuild();
}

std::optional<qint64> SumList::fixedOf(const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return qint64(0);
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text.isEmpty())
            return qint64(0);
        // A text in a number column is counted only when it is a number.
        const auto number = numtext::tryParse(text);
        if (!number)
            return std::nullopt;
        return numtext::tryFixed4(static_cast<double>(*number));
    }
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return numtext::tryFixed4(d);
}

std::optional<qint64> SumList::add(std::optional<qint64> a, std::optional<qint64> b)
{
    if (!a || !b)
        return std::nullopt;
    return numtext::addFixed4(*a, *b);
}

std::optional<qint64> SumList::sumWithout(int index, int row) const
{
    if (index < 0 || index >= columns_.size())
        return std::nullopt;
    return columnSum(index, row);
}

std::optional<qint64> SumList::columnSum(int index, int skippedRow) const
{
    if (!query_.isActive())
        return qint64(0);
    const int column = query_.columnIndex(columns_[index]);
    if (column < 0)
        return qint64(0);
    numtext::Fixed4Sum total;
    const int n = query_.rowCountFetched();
    for (int r = 0; r < n && !total.unfit; ++r) {
        if (r != skippedRow)
            total.addFixed(fixedOf(query_.valueAt(r, column)));
    }
    return total.result();
}

void SumList::rebuild()
{
    if (rebuilding_)
        return; // reading on below reports rows of its own
    rebuilding_ = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{rebuilding_};
    try {
        for (int i = 0; i < columns_.size(); ++i)
            sums_[i] = columnSum(i, -1);
    } catch (...) {
        // Rows that cannot be read cannot be counted; the reading error
        // itself reaches the cashier through whatever reads them next.
        logging::caught(lcStore, "sums of the ticket's lines");
        sums_.fill(std::nullopt);
    }
}
