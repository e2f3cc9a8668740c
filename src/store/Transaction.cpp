#include "store/Transaction.h"

#include "base/AppError.h"
#include "base/Log.h"
#include "store/Connection.h"

Transaction::Transaction(Connection &connection) : connection_(connection)
{
    connection_.beginTransaction();
    open_ = true;
}

Transaction::~Transaction()
{
    if (!open_)
        return;
    open_ = false;
    connection_.rollbackTransaction();
}

void Transaction::commit()
{
    if (!open_)
        throw AppError(QStringLiteral("事务已经结束"));
    // A commit the disk refuses (a failed sync, a full disk) or another
    // program holds up is told in the cashier's words, as any other
    // statement, the steps rolled back.
    open_ = false;
    connection_.commitTransaction();
}
