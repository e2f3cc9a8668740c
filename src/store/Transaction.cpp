#include "store/Transaction.h"

#include "store/AppError.h"
#include "store/Connection.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace {
QString errorText(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}
} // namespace

Transaction::Transaction(Connection &connection) : connection_(connection)
{
    if (!connection_.isOpen())
        connection_.open();
    QSqlDatabase db = connection_.database();
    if (!db.transaction())
        throw AppError(errorText(db.lastError()));
    open_ = true;
    connection_.transactionBegun();
}

Transaction::~Transaction()
{
    if (!open_)
        return;
    connection_.database().rollback();
    finish();
}

void Transaction::commit()
{
    if (!open_)
        throw AppError(QStringLiteral("事务已经结束"));
    QSqlDatabase db = connection_.database();
    if (!db.commit())
        throw AppError(errorText(db.lastError()));
    finish();
}

void Transaction::finish()
{
    open_ = false;
    connection_.transactionEnded();
}
