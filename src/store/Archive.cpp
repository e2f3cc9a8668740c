#include "store/Archive.h"

#include "store/AppError.h"
#include "store/Connection.h"
#include "store/Idioms.h"
#include "store/Query.h"
#include "store/Schema.h"

namespace archive {

namespace {

void archiveRows(Query &lines, Query &tickets, Query &archivedLines, const Ticket &t)
{
    using namespace schema::col;
    idiom::appendRow(tickets, {{danhao, t.number},
                               {shijian, t.time},
                               {shuliang, t.quantity},
                               {jine, t.amount},
                               {zhehou, t.afterDiscount},
                               {shouyinyuan, t.cashier}});
    // The line's own 单号 and 时间 are not copied: the checkout's are.
    lines.first();
    while (!lines.eof()) {
        idiom::appendRow(archivedLines, {{danhao, t.number},
                                         {shijian, t.time},
                                         {kehu, t.customer},
                                         {dianhua, t.phone},
                                         {pinming, lines.fieldText(pinming)},
                                         {danjia, lines.fieldText(danjia)},
                                         {shuliang, lines.fieldText(shuliang)},
                                         {jine, lines.fieldText(jine)},
                                         {zhehou, lines.fieldText(zhehou)}});
        lines.next();
    }
    lines.first();
    idiom::emptyTable(lines);
}

} // namespace

void archiveTicket(Connection &connection, Query &lines, Query &tickets, Query &archivedLines,
                   const Ticket &ticket)
{
    for (Query *q : {&lines, &tickets, &archivedLines}) {
        if (&q->connection() != &connection)
            throw AppError(QStringLiteral("归档的查询不在同一个数据库连接上"));
    }
    for (Query *q : {&lines, &tickets, &archivedLines}) {
        if (!q->isActive())
            q->open();
    }
    idiom::allOrNothing(connection, {&lines, &tickets, &archivedLines},
                        [&] { archiveRows(lines, tickets, archivedLines, ticket); });
}

} // namespace archive
