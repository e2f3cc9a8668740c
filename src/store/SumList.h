#pragma once
// Sums over columns of a query, kept as fixed point with four decimals, that
// follow the query's opens, posts and deletes.
#include <QObject>
#include <QStringList>
#include <QVector>

class Query;

class SumList : public QObject {
    Q_OBJECT
public:
    SumList(Query &query, QStringList columns, QObject *parent = nullptr);
    qint64 sum(int index) const { return sums_.value(index); }
    int count() const { return static_cast<int>(sums_.size()); }

private:
    void rebuild();
    Query &query_;
    QStringList columns_;
    QVector<qint64> sums_;
    bool rebuilding_ = false;
};
