// The distinct values of a column read by pages, as the long pick lists read
// them: each value once, ascending, a page after the last value read, and
// nothing lost or repeated at a page's edge.
#include "base/AppError.h"
#include "store/Connection.h"
#include "store/ValuePages.h"
#include "support/CoreSupport.h"

#include <QtTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Every value, reading pages of n until a short one.
QStringList readAll(store::ValuePages &pages, int n, int *reads = nullptr)
{
    QStringList out;
    std::optional<QVariant> last;
    for (int guard = 0; guard < 1000; ++guard) {
        const std::vector<QVariant> page = pages.after(last, n);
        if (reads)
            ++*reads;
        for (const QVariant &v : page)
            out << (v.isNull() ? u"<null>"_s : v.toString());
        if (static_cast<int>(page.size()) < n)
            break;
        last = page.back();
    }
    return out;
}

} // namespace

class TestValuePages : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyValueOnceAscending_data();
    void everyValueOnceAscending();
    void aPageAfterAValue();
    void unknownNamesRefused_data();
    void unknownNamesRefused();

private:
    std::unique_ptr<testing::TempWorkDir> dir_;
    std::unique_ptr<Connection> connection_;
};

void TestValuePages::init()
{
    dir_ = std::make_unique<testing::TempWorkDir>();
    connection_ = std::make_unique<Connection>();
    connection_->open();
}

void TestValuePages::cleanup()
{
    connection_.reset();
    dir_.reset();
}

void TestValuePages::everyValueOnceAscending_data()
{
    QTest::addColumn<QVariantList>("stored"); // ticket numbers in stored order
    QTest::addColumn<int>("pageRows");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<int>("reads");

    QTest::newRow("none") << QVariantList{} << 3 << QStringList{} << 1;
    QTest::newRow("shorter than a page")
        << QVariantList{u"20240302"_s, u"20240301"_s} << 3 << QStringList{u"20240301"_s, u"20240302"_s} << 1;
    // A full last page is followed by an empty read that ends the list.
    QTest::newRow("exactly one page") << QVariantList{u"c"_s, u"a"_s, u"b"_s} << 3
                                      << QStringList{u"a"_s, u"b"_s, u"c"_s} << 2;
    // A repeated value straddling a page's edge is listed once.
    QTest::newRow("repeats across pages")
        << QVariantList{u"b"_s, u"a"_s, u"b"_s, u"b"_s, u"c"_s, u"a"_s, u"d"_s} << 2
        << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << 3;
    // A null comes first, once; an empty text is a value of its own.
    QTest::newRow("null and empty")
        << QVariantList{u"b"_s, QVariant(), u""_s, QVariant(), u"a"_s} << 2
        << QStringList{u"<null>"_s, u""_s, u"a"_s, u"b"_s} << 3;
    QTest::newRow("a page of one after the null")
        << QVariantList{u"a"_s, QVariant()} << 1 << QStringList{u"<null>"_s, u"a"_s} << 3;
    // Text order: an underscore sorts after the digits, a letter after it.
    QTest::newRow("text order") << QVariantList{u"2024_1"_s, u"20241"_s, u"2024a"_s, u"20240"_s} << 10
                                << QStringList{u"20240"_s, u"20241"_s, u"2024_1"_s, u"2024a"_s} << 1;
}

void TestValuePages::everyValueOnceAscending()
{
    QFETCH(QVariantList, stored);
    QFETCH(int, pageRows);
    QFETCH(QStringList, listed);
    QFETCH(int, reads);

    for (const QVariant &number : stored)
        testing::exec(u"insert into xstj (单号, 收银员) values (?, 'admin')"_s, {number});
    store::ValuePages pages(*connection_, u"xstj"_s, u"单号"_s);
    int made = 0;
    QCOMPARE(readAll(pages, pageRows, &made), listed);
    QCOMPARE(made, reads);
}

// The page after a value starts just past it, whether or not it is stored,
// and sees values stored after the list was begun.
void TestValuePages::aPageAfterAValue()
{
    for (const QString &n : {u"10"_s, u"30"_s, u"20"_s, u"40"_s})
        testing::exec(u"insert into xstj (单号) values (?)"_s, {n});
    store::ValuePages pages(*connection_, u"XSTJ"_s, u"单号"_s);
    auto texts = [](const std::vector<QVariant> &values) {
        QStringList out;
        for (const QVariant &v : values)
            out << v.toString();
        return out;
    };
    QCOMPARE(texts(pages.after(std::nullopt, 2)), (QStringList{u"10"_s, u"20"_s}));
    QCOMPARE(texts(pages.after(QVariant(u"20"_s), 2)), (QStringList{u"30"_s, u"40"_s}));
    QCOMPARE(texts(pages.after(QVariant(u"25"_s), 5)), (QStringList{u"30"_s, u"40"_s}));
    testing::exec(u"insert into xstj (单号) values ('35')"_s);
    QCOMPARE(texts(pages.after(QVariant(u"30"_s), 5)), (QStringList{u"35"_s, u"40"_s}));
    QCOMPARE(texts(pages.after(QVariant(u"40"_s), 5)), QStringList());
    // A typed value is bound, never part of the statement: spliced in, this
    // one would list every value.
    QCOMPARE(texts(pages.after(QVariant(u"9' or '1'='1"_s), 5)), QStringList());
}

void TestValuePages::unknownNamesRefused_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("error");

    QTest::newRow("table") << u"sales"_s << u"单号"_s << u"表“sales”"_s;
    QTest::newRow("column") << u"xstj"_s << u"品名"_s << u"列“品名”"_s;
    QTest::newRow("quote in a column") << u"xstj"_s << u"单号\" from xstj; --"_s << u"列“单号\" from xstj; --”"_s;
}

void TestValuePages::unknownNamesRefused()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QString, error);

    store::ValuePages pages(*connection_, table, column);
    QString message;
    try {
        pages.after(std::nullopt, 10);
    } catch (const AppError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(error), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestValuePages)
#include "tst_valuepages.moc"
