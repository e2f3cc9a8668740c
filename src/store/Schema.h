#pragma once
// The tables of data.mdb and their columns, named once. Windows and the store
// use these names; text columns with a fixed length say how long a text may be.
#include "base/AppError.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace schema {

// Tables.
inline const QString spxx = QStringLiteral("spxx");         // product catalogue
inline const QString xsxx = QStringLiteral("xsxx");         // working ticket lines
inline const QString dynr = QStringLiteral("dynr");         // print content
inline const QString xstj = QStringLiteral("xstj");         // archived tickets
inline const QString xsmx = QStringLiteral("xsmx");         // archived ticket lines
inline const QString id = QStringLiteral("id");             // print settings row
inline const QString username = QStringLiteral("username"); // users

// Columns.
namespace col {
inline const QString ID = QStringLiteral("ID");
inline const QString danhao = QStringLiteral("单号");
inline const QString shijian = QStringLiteral("时间");
inline const QString kehu = QStringLiteral("客户");
inline const QString dianhua = QStringLiteral("电话");
inline const QString pinming = QStringLiteral("品名");
inline const QString danjia = QStringLiteral("单价");
inline const QString shuliang = QStringLiteral("数量");
inline const QString jine = QStringLiteral("金额");
inline const QString zhehou = QStringLiteral("折后");
inline const QString beizhu = QStringLiteral("备注");
inline const QString dianming = QStringLiteral("店名");
inline const QString shouyinyuan = QStringLiteral("收银员");
inline const QString pos = QStringLiteral("pos");
inline const QString print = QStringLiteral("print");
inline const QString yonghuming = QStringLiteral("用户名");
inline const QString mima = QStringLiteral("密码");
inline const QString quanxian = QStringLiteral("权限");
} // namespace col

// The seven tables with the columns the program reads and writes. A data.mdb
// missing any of them is not a database of this program.
struct TableColumns {
    QString table;
    QStringList columns;
};
inline const QList<TableColumns> &requiredTables()
{
    static const QList<TableColumns> all = {
        {spxx, {col::pinming, col::danjia}},
        {xsxx, {col::ID, col::danhao, col::shijian, col::kehu, col::dianhua, col::pinming, col::danjia,
                col::shuliang, col::jine, col::zhehou, col::beizhu}},
        {dynr, {col::ID, col::dianming, col::beizhu}},
        {xstj, {col::danhao, col::shijian, col::shuliang, col::jine, col::zhehou, col::shouyinyuan}},
        {xsmx, {col::danhao, col::shijian, col::kehu, col::dianhua, col::pinming, col::danjia, col::shuliang,
                col::jine, col::zhehou}},
        {id, {col::kehu, col::dianhua, col::pos, col::print}},
        {username, {col::yonghuming, col::mima, col::quanxian}},
    };
    return all;
}

// Indexes the program relies on to stay fast on a large file; one an older
// data.mdb lacks is added when the program starts. Each leaves out the rows
// whose column is null: exact values are found through it, while the engine
// never lists a column's distinct values through it, so pick lists keep the
// order of their first rows.
struct ColumnIndex {
    QString name;
    QString table;
    QString column;
};
inline const QList<ColumnIndex> &columnIndexes()
{
    // A product is learnt by its exact name: found through this index, 添加
    // costs the same with 100,000 products as with ten. The sales history
    // reads a range of days through the one on 时间, and its cashier list
    // steps from one cashier to the next through the one on 收银员.
    static const QList<ColumnIndex> all = {{QStringLiteral("spxx_品名"), spxx, col::pinming},
                                           {QStringLiteral("xstj_时间"), xstj, col::shijian},
                                           {QStringLiteral("xstj_收银员"), xstj, col::shouyinyuan}};
    return all;
}

// The longest text a column holds, in characters; 0 where none is set. Follows
// data/schema.sql; a catalogue name is held to a ticket line's length.
inline int textLimit(const QString &table, const QString &column)
{
    if (table == xsxx) {
        if (column == col::danhao || column == col::shijian)
            return 50;
        if (column == col::kehu || column == col::dianhua || column == col::pinming || column == col::beizhu)
            return 255;
    }
    if (table == dynr && (column == col::dianming || column == col::beizhu))
        return 255;
    // A catalogue name longer than a ticket line's name could never be sold.
    if (table == spxx && column == col::pinming)
        return 255;
    return 0;
}

// The length of a text as its box shows it: a line break stored as carriage
// return and line feed is one character there.
inline qsizetype shownLength(const QString &text)
{
    return text.size() - text.count(QStringLiteral("\r\n"));
}

// Refuses a text longer than its column holds, before anything is written:
// "“品名”最多255个字符，这里有300个字符".
inline void requireFits(const QString &table, const QString &column, const QString &text)
{
    const int limit = textLimit(table, column);
    const qsizetype length = shownLength(text);
    if (limit > 0 && length > limit)
        throw AppError(QStringLiteral("“%1”最多%2个字符，这里有%3个字符").arg(column).arg(limit).arg(length));
}

} // namespace schema
