// The archive step of a checkout without any window: what it stores, and
// that an error anywhere in it stores nothing; the transaction guard it
// stands on.
#include "base/AppError.h"
#include "store/Archive.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "store/Transaction.h"
#include "support/CoreSupport.h"

#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const archive::Head kHead{u"2024-03-05 14:26:08"_s, u"张三"_s, u"王先生"_s, u"13800138000"_s, u"50"_s,
                          u"28.65"_s};
const archive::Numbering kByClock{QString(), QDateTime(QDate(2024, 3, 5), QTime(14, 26, 8))};

void seedLines()
{
    // Lines added at other times, under another number: the archive takes
    // the checkout's number and time instead.
    const QList<QVariantList> lines{
        {u"农夫山泉矿泉水550ml"_s, 2.0, 3.0, 6.0, 6.0},
        {u"康师傅红烧牛肉面"_s, 4.5, 2.0, 9.0, 8.55},
        {u"青岛啤酒"_s, 6.8, 1.0, 6.8, 6.8},
    };
    int minute = 0;
    for (const QVariantList &l : lines) {
        testing::exec(u"insert into xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) values (?, ?, ?, ?, ?, ?, ?)"_s,
                      QVariantList{u"20240305140000"_s, u"2024-03-05 14:%1:00"_s.arg(minute++, 2, 10, QChar(u'0'))}
                          + l);
    }
}

QList<QStringList> stored(const QString &sql)
{
    return testing::rows(sql);
}

const QList<QStringList> kArchivedLines{
    {u"20240305142608"_s, u"2024-03-05 14:26:08"_s, u"王先生"_s, u"13800138000"_s, u"农夫山泉矿泉水550ml"_s,
     u"2"_s, u"3"_s, u"6"_s, u"6"_s},
    {u"20240305142608"_s, u"2024-03-05 14:26:08"_s, u"王先生"_s, u"13800138000"_s, u"康师傅红烧牛肉面"_s,
     u"4.5"_s, u"2"_s, u"9"_s, u"8.55"_s},
    {u"20240305142608"_s, u"2024-03-05 14:26:08"_s, u"王先生"_s, u"13800138000"_s, u"青岛啤酒"_s, u"6.8"_s,
     u"1"_s, u"6.8"_s, u"6.8"_s}};

} // namespace

class TestArchive : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void archivesTheTicket();
    void undoPutsTheLinesBack();
    void unsummableLineStoresNothing();
    void errorStoresNothing_data();
    void errorStoresNothing();
    void queriesOnAnotherConnection();

    void guardCommits();
    void guardRollsBackWhenDropped();
    void noCloseInsideATransaction();
    void commitOnce();

private:
    std::unique_ptr<testing::TempWorkDir> dir_;
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<Query> lines_, tickets_, archived_;
};

void TestArchive::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>();
    seedLines();
    connection_ = std::make_unique<Connection>(connstr::runtime());
    lines_ = std::make_unique<Query>(*connection_, store::Listing::all(u"xsxx"_s));
    tickets_ = std::make_unique<Query>(*connection_, store::Listing::all(u"xstj"_s));
    archived_ = std::make_unique<Query>(*connection_, store::Listing::all(u"xsmx"_s));
    lines_->open();
    tickets_->open();
}

void TestArchive::cleanup()
{
    archived_.reset();
    tickets_.reset();
    lines_.reset();
    connection_.reset();
    dir_.reset();
}

void TestArchive::archivesTheTicket()
{
    const archive::Sale sale = archive::archiveForPrinting(*connection_, *lines_, *tickets_, *archived_, kHead, kByClock);
    QCOMPARE(sale.number, u"20240305142608"_s);
    QCOMPARE((QStringList{sale.quantity, sale.amount, sale.afterDiscount}), (QStringList{u"6"_s, u"21.8"_s, u"21.35"_s}));
    QCOMPARE(sale.lines, 3);

    // Totals summed from the lines, as the labels show them.
    QCOMPARE(stored(u"select 单号, 时间, 数量, 金额, 折后, 收银员 from xstj"_s),
             (QList<QStringList>{{u"20240305142608"_s, u"2024-03-05 14:26:08"_s, u"6"_s, u"21.8"_s,
                                  u"21.35"_s, u"张三"_s}}));
    QCOMPARE(stored(u"select 单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后 from xsmx order by rowid"_s),
             kArchivedLines);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);

    // The queries show what is stored: the lines gone, the new rows listed.
    QVERIFY(lines_->isEmpty());
    QCOMPARE(tickets_->recordCount(), 1);
    QVERIFY(archived_->isActive()); // opened for the step when it was not
    QCOMPARE(archived_->recordCount(), 3);

    // Marked as printing, with what the receipt prints beside the archive.
    QCOMPARE(stored(u"select 单号, 实收, 找零 from dyzt"_s),
             (QList<QStringList>{{u"20240305142608"_s, u"50"_s, u"28.65"_s}}));
    const QList<archive::Sale> marked = archive::markedSales(*connection_);
    QCOMPARE(marked.size(), 1);
    QCOMPARE((QStringList{marked[0].number, marked[0].cashier, marked[0].customer, marked[0].afterDiscount,
                          marked[0].received, QString::number(marked[0].lines)}),
             (QStringList{u"20240305142608"_s, u"张三"_s, u"王先生"_s, u"21.35"_s, u"50"_s, u"3"_s}));
    archive::markPrinted(*connection_, sale.number);
    QCOMPARE(testing::scalar(u"select count(*) from dyzt"_s).toInt(), 0);
    QVERIFY(archive::markedSales(*connection_).isEmpty());
}

// A receipt that did not print undoes the sale: the lines come back in their
// order, nothing of the sale stays archived, and the queries show it.
void TestArchive::undoPutsTheLinesBack()
{
    testing::exec(u"insert into xstj (单号, 时间) values ('20240101000000', '2024-01-01 00:00:00')"_s);
    const archive::Sale sale = archive::archiveForPrinting(*connection_, *lines_, *tickets_, *archived_, kHead, kByClock);
    archive::undoArchive(*connection_, *lines_, *tickets_, *archived_, sale.number);
    QCOMPARE(stored(u"select 单号, 时间, 客户, 品名, 单价, 数量, 金额, 折后 from xsxx order by \"ID\""_s),
             (QList<QStringList>{
                 {u"20240305142608"_s, u"2024-03-05 14:26:08"_s, u"王先生"_s, u"农夫山泉矿泉水550ml"_s, u"2"_s,
                  u"3"_s, u"6"_s, u"6"_s},
                 {u"20240305142608"_s, u"2024-03-05 14:26:08"_s, u"王先生"_s, u"康师傅红烧牛肉面"_s, u"4.5"_s,
                  u"2"_s, u"9"_s, u"8.55"_s},
                 {u"20240305142608"_s, u"2024-03-05 14:26:08"_s, u"王先生"_s, u"青岛啤酒"_s, u"6.8"_s, u"1"_s,
                  u"6.8"_s, u"6.8"_s}}));
    // The other ticket stays; nothing of this one does.
    QCOMPARE(stored(u"select 单号 from xstj"_s), (QList<QStringList>{{u"20240101000000"_s}}));
    QCOMPARE(testing::scalar(u"select count(*) from xsmx"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from dyzt"_s).toInt(), 0);
    QCOMPARE(lines_->recordCount(), 3);
    QCOMPARE(tickets_->recordCount(), 1);
    // Sold again, it takes the same number, now free.
    QCOMPARE(archive::archiveForPrinting(*connection_, *lines_, *tickets_, *archived_, kHead, kByClock).number,
             sale.number);
}

// A line that cannot be summed stops the sale before anything is written.
void TestArchive::unsummableLineStoresNothing()
{
    VELMORA_FILE_ONLY("a number column of the server holds no text");
    testing::exec(u"update xsxx set 金额 = 'abc' where 品名 = '青岛啤酒'"_s);
    lines_->close();
    lines_->open();
    QVERIFY_THROWS_EXCEPTION(AppError,
                             archive::archiveForPrinting(*connection_, *lines_, *tickets_, *archived_, kHead, kByClock));
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 3);
    QCOMPARE(testing::scalar(u"select count(*) from dyzt"_s).toInt(), 0);
}

void TestArchive::errorStoresNothing_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QString>("message");
    QTest::newRow("writing the ticket") << u"xstj"_s << u"insert"_s << QString() << u"disk I/O error"_s;
    QTest::newRow("between the first and the second line")
        << u"xsmx"_s << u"insert"_s << u"new.品名 = '康师傅红烧牛肉面'"_s << u"disk full"_s;
    QTest::newRow("after the last line") << u"xsmx"_s << u"insert"_s << u"new.品名 = '青岛啤酒'"_s << u"disk full"_s;
    QTest::newRow("marking it as printing") << u"dyzt"_s << u"insert"_s << QString() << u"disk full"_s;
    QTest::newRow("emptying the working ticket")
        << u"xsxx"_s << u"delete"_s << u"old.品名 = '青岛啤酒'"_s << u"database is locked"_s;
}

void TestArchive::errorStoresNothing()
{
    QFETCH(QString, table);
    QFETCH(QString, event);
    QFETCH(QString, when);
    QFETCH(QString, message);
    archived_->open();
    testing::makeFailingTrigger(table, event, when, message);
    // The queries read the schema again, with the trigger.
    for (Query *q : {lines_.get(), tickets_.get(), archived_.get()}) {
        q->close();
        q->open();
    }

    bool thrown = false;
    try {
        archive::archiveForPrinting(*connection_, *lines_, *tickets_, *archived_, kHead, kByClock);
    } catch (const AppError &e) {
        thrown = true;
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QVERIFY(thrown);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsmx"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 3);
    QCOMPARE(testing::scalar(u"select count(*) from dyzt"_s).toInt(), 0);
    // The queries show what is stored again: all three lines, no archive rows.
    QCOMPARE(lines_->recordCount(), 3);
    QCOMPARE(lines_->fieldText(u"品名"_s), u"农夫山泉矿泉水550ml"_s);
    QCOMPARE(tickets_->recordCount(), 0);
    QCOMPARE(archived_->recordCount(), 0);
    QVERIFY(!connection_->inTransaction());

    // Mended, the same step archives the ticket once.
    testing::dropFailingTrigger(table);
    for (Query *q : {lines_.get(), tickets_.get(), archived_.get()}) {
        q->close();
        q->open();
    }
    archive::archiveForPrinting(*connection_, *lines_, *tickets_, *archived_, kHead, kByClock);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 1);
    QCOMPARE(stored(u"select 单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后 from xsmx order by rowid"_s),
             kArchivedLines);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
}

void TestArchive::queriesOnAnotherConnection()
{
    Connection other(connstr::runtime());
    Query foreign(other, store::Listing::all(u"xsmx"_s));
    QVERIFY_THROWS_EXCEPTION(AppError, archive::archiveForPrinting(*connection_, *lines_, *tickets_, foreign, kHead, kByClock));
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 3);
}

void TestArchive::guardCommits()
{
    {
        Transaction t(*connection_);
        QVERIFY(connection_->inTransaction());
        tickets_->append();
        tickets_->setFieldText(u"单号"_s, u"1"_s);
        tickets_->post();
        // Not seen from outside before the commit.
        QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
        t.commit();
        QVERIFY(!t.isOpen());
    }
    QVERIFY(!connection_->inTransaction());
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 1);
}

void TestArchive::guardRollsBackWhenDropped()
{
    try {
        Transaction t(*connection_);
        tickets_->append();
        tickets_->setFieldText(u"单号"_s, u"1"_s);
        tickets_->post();
        lines_->remove();
        throw AppError(u"a later step failed"_s);
    } catch (const AppError &) {
    }
    QVERIFY(!connection_->inTransaction());
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 3);
    // The connection goes on working outside a transaction.
    tickets_->append();
    tickets_->setFieldText(u"单号"_s, u"2"_s);
    tickets_->post();
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 1);
}

void TestArchive::noCloseInsideATransaction()
{
    {
        Transaction t(*connection_);
        tickets_->append();
        tickets_->setFieldText(u"单号"_s, u"1"_s);
        tickets_->post();
        // Closing would end the transaction without anyone knowing.
        QVERIFY_THROWS_EXCEPTION(AppError, connection_->close());
        QVERIFY(connection_->isOpen());
        t.commit();
    }
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 1);
    connection_->close();
    QVERIFY(!connection_->isOpen());
}

void TestArchive::commitOnce()
{
    Transaction t(*connection_);
    t.commit();
    QVERIFY_THROWS_EXCEPTION(AppError, t.commit());
    QVERIFY(!connection_->inTransaction());
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
