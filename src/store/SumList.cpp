#include "store/SumList.h"

#include "store/NumberText.h"
#include "store/Query.h"

SumList::SumList(Query &query, QStringList columns, QObject *parent)
    : QObject(parent), query_(query), columns_(std::move(columns)), sums_(columns_.size(), 0)
{
    // The working ticket is a handful of rows, so a rebuild on every change
    // is cheap and never drifts from what is stored.
    connect(&query_, &Query::reset, this, &SumList::rebuild);
    connect(&query_, &Query::rowsInserted, this, &SumList::rebuild);
    connect(&query_, &Query::rowChanged, this, &SumList::rebuild);
    connect(&query_, &Query::rowRemoved, this, &SumList::rebuild);
    rebuild();
}

void SumList::rebuild()
{
    if (rebuilding_)
        return; // reading on below reports rows of its own
    sums_.fill(0);
    if (!query_.isActive())
        return;
    rebuilding_ = true;
    struct Done {
        bool &flag;
        ~Done() { flag = false; }
    } done{rebuilding_};
    QVector<int> cols;
    for (const QString &c : columns_)
        cols << query_.columnIndex(c);
    // Read every row: rows a grid has not asked for yet count too.
    while (query_.canFetchMore())
        query_.fetchMore();
    const int n = query_.rowCountFetched();
    for (int r = 0; r < n; ++r) {
        for (int i = 0; i < cols.size(); ++i) {
            if (cols[i] < 0)
                continue;
            const QVariant v = query_.valueAt(r, cols[i]);
            if (v.isNull() || !v.isValid())
                continue;
            bool ok = false;
            const double d = v.toDouble(&ok);
            if (ok)
                sums_[i] += numtext::toFixed4(d);
        }
    }
}
