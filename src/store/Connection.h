#pragma once
// A connection to data.mdb. The data source named in the connection string is
// resolved against the current directory each time the connection opens, so a
// reconnection follows the process's current directory as it is then.
#include <QSqlDatabase>
#include <QString>

namespace connstr {
// The database password stays in the strings; SQLite does not check it.
inline constexpr char16_t kPassword[] = u"260418937115";
// Design-time strings: relative data source "data.mdb".
QString designShort();
QString designLong();
// Run-time string: the absolute path of data.mdb in the current directory now.
QString runtime();
// The value of "Data Source" in a connection string (quotes removed).
QString dataSource(const QString &connectionString);
} // namespace connstr

class Connection {
public:
    explicit Connection(QString connectionString = connstr::designShort());
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setConnectionString(const QString &text);
    const QString &connectionString() const { return connectionString_; }
    // No prompt is ever shown; kept so the reconnection reads as its steps.
    void setLoginPrompt(bool) {}

    // Opens data.mdb as found now; throws AppError naming the file and folder
    // when it is missing (it is never created empty).
    void open();
    // Throws AppError while a transaction is open: closing would roll it
    // back without anyone knowing.
    void close();
    bool isOpen() const;

    QSqlDatabase database() const;
    QString filePath() const { return filePath_; }
    // Bumped at every open, so queries know their cached metadata is stale.
    int generation() const { return generation_; }

    // Kept by the transaction guard (store/Transaction.h).
    void transactionBegun() { ++openTransactions_; }
    void transactionEnded() { --openTransactions_; }
    bool inTransaction() const { return openTransactions_ > 0; }

private:
    QString connectionString_;
    QString name_;
    QString filePath_;
    int generation_ = 0;
    int openTransactions_ = 0;
};
