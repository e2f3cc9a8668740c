// The program backs data.mdb up by itself as a shop runs it (velmora_till:
// the real start, login, sales and close): once at the start, after the
// 50th sale and at the close, each backup holding the sales made by then,
// and the cashier told nothing.
#include "store/Backup.h"
#include "support/TestSupport.h"
#include "support/Till.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

qint64 ticketsIn(const QString &file)
{
    qint64 n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"backup"_s);
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(u"select count(*) from xstj"_s) && q.next())
                n = q.value(0).toLongLong();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"backup"_s);
    return n;
}

} // namespace

class TestAutoBackup : public QObject {
    Q_OBJECT
private slots:
    void startFiftiethSaleAndClose();
};

void TestAutoBackup::startFiftiethSaleAndClose()
{
    testing::TempWorkDir dir;
    till::Process program({u"sales"_s, u"1"_s, u"11"_s, u"70"_s});
    QVERIFY2(program.waitFor([](const till::Event &e) { return e.kind == u'Z'; }, 120000), qPrintable(program.transcript()));
    QCOMPARE(program.finish(60000), 0);
    for (const till::Event &e : program.events())
        QVERIFY2(e.kind != u'P' && e.kind != u'X', qPrintable(e.text));

    // Named by the till's clock: ticket t is sold at its own second.
    const QDir folder(dir.file(u"备份"_s));
    const QStringList names = folder.entryList(QDir::Files);
    const QString atStart = backup::fileName(till::ticketTime(1));
    const QString at50 = backup::fileName(till::ticketTime(50));
    const QString atClose = backup::fileName(till::ticketTime(70));
    QCOMPARE(names, (QStringList{atStart, at50, atClose}));
    // Each is copied while the next tickets are sold: it may hold some of them.
    const qint64 first = ticketsIn(folder.filePath(atStart));
    QVERIFY2(first >= 0 && first < 50, qPrintable(QString::number(first)));
    const qint64 after50 = ticketsIn(folder.filePath(at50));
    QVERIFY2(after50 >= 50 && after50 < 70, qPrintable(QString::number(after50)));
    QCOMPARE(ticketsIn(folder.filePath(atClose)), 70);
}

QTEST_MAIN(TestAutoBackup)
#include "tst_autobackup.moc"
