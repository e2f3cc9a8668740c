#include "store/Transaction.h"

#include "base/AppError.h"
#include "store/Connection.h"
#include "store/Engine.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {
// Run as statements rather than through QSqlDatabase::transaction() and
// commit(): those drop the engine's error code, which tells a full disk or a
// busy file from other failures.
bool run(Connection &connection, const QString &sql, QSqlError *error = nullptr)
{
    QSqlQuery q(connection.database());
    const bool ok = q.exec(sql);
    if (!ok && error)
        *error = q.lastError();
    q.finish();
    return ok;
}
} // namespace

Transaction::Transaction(Connection &connection) : connection_(connection)
{
    if (!connection_.isOpen())
        connection_.open();
    // Every transaction here writes. Taking the write lock at the start waits
    // for another program's write like any statement does; a transaction that
    // first read and then wanted to write would be refused at once instead.
    QSqlError error;
    if (!run(connection_, QStringLiteral("BEGIN IMMEDIATE"), &error))
        store::throwEngineError(error);
    open_ = true;
    connection_.transactionBegun();
}

Transaction::~Transaction()
{
    if (!open_)
        return;
    run(connection_, QStringLiteral("ROLLBACK"));
    finish();
}

void Transaction::commit()
{
    if (!open_)
        throw AppError(QStringLiteral("事务已经结束"));
    // A commit the disk refuses (a failed sync, a full disk) or another
    // program holds up is told in the cashier's words, as any other statement.
    QSqlError error;
    if (!run(connection_, QStringLiteral("COMMIT"), &error))
        store::throwEngineError(error);
    finish();
}

void Transaction::finish()
{
    open_ = false;
    connection_.transactionEnded();
}
