// Backups of data.mdb: a copy taken while another connection sells is one
// consistent state of the file; the keeping rule keeps the right files and
// deletes nothing else; a damaged backup is refused at restore and data.mdb
// stays as it was; a folder that refuses the backup is told and the sale
// goes on; a kill in the middle of a backup leaves data.mdb and the older
// backups whole and nothing that looks like a backup.
#include "base/AppError.h"
#include "store/Backup.h"
#include "support/CoreSupport.h"
#include "support/DamagedFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <csignal>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow(QDate(2026, 12, 10), QTime(14, 30, 5));

// Tickets numbered 1.. with four lines each, in one transaction per ticket
// as a checkout archives them, through a connection of the test's own.
class Seller {
public:
    Seller()
    {
        db_ = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"seller"_s);
        db_.setDatabaseName(QDir::current().absoluteFilePath(u"data.mdb"_s));
        db_.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=10000"_s);
        if (!db_.open())
            qFatal("the seller's connection failed");
        QSqlQuery(db_).exec(u"PRAGMA synchronous=OFF"_s);
    }
    ~Seller()
    {
        db_.close();
        db_ = {};
        QSqlDatabase::removeDatabase(u"seller"_s);
    }
    // Returns false when the engine refused.
    bool sell(int tickets = 1)
    {
        if (!db_.transaction())
            return false;
        QSqlQuery q(db_);
        for (int i = 0; i < tickets; ++i) {
            ++sold_;
            const QString number = QString::number(sold_);
            q.prepare(u"INSERT INTO xstj(单号, 时间, 数量, 金额, 折后, 收银员) VALUES (?, ?, 4, 10, 10, 'admin')"_s);
            q.addBindValue(number);
            q.addBindValue(u"2026-12-10 09:00:00"_s);
            if (!q.exec())
                return db_.rollback(), false;
            for (int l = 0; l < 4; ++l) {
                q.prepare(u"INSERT INTO xsmx(单号, 时间, 品名, 单价, 数量, 金额, 折后) VALUES (?, ?, ?, 2.5, 1, 2.5, 2.5)"_s);
                q.addBindValue(number);
                q.addBindValue(u"2026-12-10 09:00:00"_s);
                q.addBindValue(u"商品%1有一个很长的名字，让每一行都占些地方"_s.arg(l).repeated(3));
                if (!q.exec())
                    return db_.rollback(), false;
            }
        }
        return db_.commit();
    }
    int sold() const { return sold_; }

private:
    QSqlDatabase db_;
    int sold_ = 0;
};

// Rows of a table in another file, through a connection of its own.
QList<QStringList> rowsOf(const QString &file, const QString &sql)
{
    QList<QStringList> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"reader"_s);
        db.setDatabaseName(file);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql)) {
                while (q.next())
                    out << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()};
            } else {
                out << QStringList{u"error"_s, q.lastError().text()};
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"reader"_s);
    return out;
}

QByteArray hashOf(const QString &path)
{
    return QCryptographicHash::hash(testing::fileBytes(path), QCryptographicHash::Sha256);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QString nameAt(const QDateTime &t)
{
    return backup::fileName(t);
}

// The child run by killDuringBackup: one backup, slowly, saying how far it got.
int backupChild(const QString &database, const QString &folder)
{
    backup::Options options;
    options.pagesPerStep = 2;
    options.pauseMs = 3;
    options.progress = [](int remaining, int total) {
        std::printf("step %d %d\n", remaining, total);
        std::fflush(stdout);
    };
    try {
        backup::take(database, folder, kNow.addDays(1), options);
    } catch (const AppError &e) {
        std::printf("failed %s\n", e.message().toUtf8().constData());
        return 1;
    }
    std::printf("done\n");
    return 0;
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void consistentWhileSelling();
    void keeping_data();
    void keeping();
    void restoreReplacesAndKeepsAside();
    void damagedBackupRefused_data();
    void damagedBackupRefused();
    void refusingFolder_data();
    void refusingFolder();
    void runnerTellsOnceAndRetries();
    void folderSetting();
    void killDuringBackup_data();
    void killDuringBackup();

private:
    QString folder() const { return dir_->file(u"备份"_s); }
    std::optional<testing::TempWorkDir> dir_;
};

void TestBackup::init()
{
    dir_.emplace();
}

void TestBackup::cleanup()
{
    dir_.reset();
}

void TestBackup::consistentWhileSelling()
{
    // A file of some megabytes, copied two pages at a time while tickets
    // are archived every few milliseconds.
    Seller seller;
    QVERIFY(seller.sell(1500));
    const QString database = dir_->file(u"data.mdb"_s);

    backup::Options options;
    options.pagesPerStep = 2;
    options.pauseMs = 1;
    std::atomic<bool> done{false};
    backup::Taken taken;
    QString error;
    std::thread worker([&] {
        try {
            taken = backup::take(database, folder(), kNow, options);
        } catch (const AppError &e) {
            error = e.message();
        }
        done = true;
    });
    int failedSales = 0;
    while (!done) {
        failedSales += !seller.sell();
        QThread::msleep(3);
    }
    worker.join();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(failedSales, 0);
    // The sales did land in the middle of the copy, which began again.
    QVERIFY(taken.restarts > 0);
    QVERIFY(seller.sold() > 1500);

    QCOMPARE(taken.file, QDir(folder()).absoluteFilePath(nameAt(kNow)));
    QCOMPARE(rowsOf(taken.file, u"PRAGMA integrity_check"_s).value(0).value(0), u"ok"_s);
    // One state of the file: the first n tickets, each with its four lines.
    const QStringList counts = rowsOf(taken.file, u"SELECT (SELECT count(*) FROM xstj), (SELECT count(*) FROM xsmx), "
                                                  "(SELECT max(CAST(单号 AS INTEGER)) FROM xstj)"_s)
                                   .value(0);
    const qint64 tickets = counts.value(0).toLongLong();
    QVERIFY(tickets >= 1500 && tickets <= seller.sold());
    QCOMPARE(counts.value(1).toLongLong(), 4 * tickets);
    QCOMPARE(counts.value(2).toLongLong(), tickets);
    QCOMPARE(taken.rows.value(u"xstj"_s), tickets);
    QCOMPARE(taken.rows.value(u"xsmx"_s), 4 * tickets);
    QCOMPARE(taken.rows.size(), 7);
    // Only the backup is left in the folder.
    QCOMPARE(filesIn(folder()), QStringList{nameAt(kNow)});
}

void TestBackup::keeping_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("deleted");

    const QDateTime at9(QDate(2026, 12, 10), QTime(9, 0));
    QStringList today;
    for (int i = 0; i < 15; ++i)
        today << nameAt(at9.addSecs(60 * i));
    QTest::newRow("fifteen today: the newest ten stay") << today << today.mid(0, 5);

    QStringList daily, dailyGone;
    for (QDate d(2026, 10, 31); d <= QDate(2026, 12, 10); d = d.addDays(1)) {
        daily << nameAt(QDateTime(d, QTime(8, 0)));
        // Older than 30 days and not the newest of their month (November's is the 30th).
        if (d >= QDate(2026, 11, 1) && d <= QDate(2026, 11, 10))
            dailyGone << nameAt(QDateTime(d, QTime(8, 0)));
    }
    QTest::newRow("daily for six weeks: one a day for 30 days, then one a month") << daily << dailyGone;

    QStringList monthly, monthlyGone;
    for (QDate d(2024, 12, 1); d <= QDate(2026, 12, 1); d = d.addMonths(1)) {
        monthly << nameAt(QDateTime(d, QTime(8, 0)));
        if (d < QDate(2026, 1, 1))
            monthlyGone << nameAt(QDateTime(d, QTime(8, 0)));
    }
    QTest::newRow("monthly for two years: twelve months stay") << monthly << monthlyGone;

    QStringList twiceADay, twiceGone;
    for (QDate d(2026, 11, 1); d <= QDate(2026, 12, 9); d = d.addDays(1)) {
        twiceADay << nameAt(QDateTime(d, QTime(8, 0))) << nameAt(QDateTime(d, QTime(20, 0)));
        // The morning ones go, except in the last ten; before the 30 days
        // only November's newest stays.
        if (d <= QDate(2026, 12, 4))
            twiceGone << nameAt(QDateTime(d, QTime(8, 0)));
        if (d <= QDate(2026, 11, 10) && d != QDate(2026, 11, 30))
            twiceGone << nameAt(QDateTime(d, QTime(20, 0)));
    }
    QTest::newRow("twice a day: the day's newest stays") << twiceADay << twiceGone;

    QStringList foreign{u"data-20200101-000000.mdb.part"_s, u"notes.txt"_s, u"data-2020.mdb"_s,
                        u"data-20201301-000000.mdb"_s, u"DATA-20200101-000000.mdb"_s, u"data-20200101-000000.mdb.bak"_s,
                        u"data.mdb"_s};
    QStringList old;
    for (int y = 2010; y < 2022; ++y)
        old << nameAt(QDateTime(QDate(y, 6, 1), QTime(12, 0)));
    // Twelve old yearly backups: the newest ten stay.
    QTest::newRow("only backups' names are deleted") << foreign + old << old.mid(0, 2);
}

void TestBackup::keeping()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, deleted);

    QStringList expected = present;
    for (const QString &d : deleted)
        expected.removeAll(d);
    QStringList rule = backup::toDelete(present, kNow);
    rule.sort();
    QStringList want = deleted;
    want.sort();
    QCOMPARE(rule, want);

    // On disk, by a backup taken now: the new one joins the kept ones.
    QDir().mkpath(folder());
    for (const QString &name : present) {
        QFile f(QDir(folder()).filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    backup::take(dir_->file(u"data.mdb"_s), folder(), kNow);
    expected << nameAt(kNow);
    // The new one is the newest: with it, one more of the last ten may go.
    const QStringList after = backup::toDelete(expected, kNow);
    for (const QString &d : after)
        expected.removeAll(d);
    expected.sort();
    QCOMPARE(filesIn(folder()), expected);
}

void TestBackup::restoreReplacesAndKeepsAside()
{
    Seller seller;
    QVERIFY(seller.sell(3));
    const QString database = dir_->file(u"data.mdb"_s);
    const backup::Taken taken = backup::take(database, folder(), kNow);
    QVERIFY(seller.sell(2));
    const QByteArray current = hashOf(database);

    const QList<backup::Summary> listed = backup::list(folder());
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed[0].tickets, 3);
    QCOMPARE(listed[0].lastSale, u"2026-12-10 09:00:00"_s);
    QCOMPARE(listed[0].taken, kNow);

    const QString aside = backup::restore(taken.file, database, kNow.addSecs(3600));
    QCOMPARE(aside, database + u".before-restore-20261210-153005"_s);
    QCOMPARE(hashOf(aside), current);
    QCOMPARE(testing::scalar(u"SELECT count(*) FROM xstj"_s).toInt(), 3);
    QCOMPARE(testing::scalar(u"SELECT count(*) FROM xsmx"_s).toInt(), 12);
    // The backup itself stays for another restore.
    QVERIFY(QFile::exists(taken.file));
    QVERIFY(!QFile::exists(database + u".restoring"_s));
}

void TestBackup::damagedBackupRefused_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("why");
    QTest::newRow("bytes overwritten in the middle") << u"middle"_s << u"文件已损坏"_s;
    QTest::newRow("cut short") << u"truncated"_s << u"文件已损坏"_s;
    QTest::newRow("not a database") << u"text"_s << u"它不是本程序的数据库文件"_s;
    QTest::newRow("a table missing") << u"no xsmx"_s << u"缺少表“xsmx”"_s;
    QTest::newRow("a column missing") << u"xsxx without 折后"_s << u"缺少表“xsxx”的列“折后”"_s;
}

void TestBackup::damagedBackupRefused()
{
    QFETCH(QString, damage);
    QFETCH(QString, why);
    Seller seller;
    QVERIFY(seller.sell(400));
    const QString database = dir_->file(u"data.mdb"_s);
    QString file = backup::take(database, folder(), kNow).file;
    if (damage == u"middle"_s || damage == u"truncated"_s) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        QVERIFY(size > 64 * 1024);
        if (damage == u"middle"_s) {
            f.seek(size / 2 - 1000);
            f.write(QByteArray(8192, '\xA5'));
        } else {
            f.resize(size / 2);
        }
    } else {
        testing::writeDamagedDatabase(file, damage);
    }
    const QByteArray before = hashOf(database);
    const QStringList filesBefore = filesIn(dir_->path());

    try {
        backup::restore(file, database, kNow);
        QFAIL("a damaged backup was restored");
    } catch (const AppError &e) {
        QVERIFY2(e.message().startsWith(u"备份文件“%1”不能用来恢复："_s.arg(file)), qPrintable(e.message()));
        QVERIFY2(e.message().contains(why), qPrintable(e.message()));
        QVERIFY(e.message().endsWith(u"数据没有改变。"_s));
    }
    QCOMPARE(hashOf(database), before);
    QCOMPARE(filesIn(dir_->path()), filesBefore);
    QCOMPARE(testing::scalar(u"SELECT count(*) FROM xstj"_s).toInt(), 400);
}

void TestBackup::refusingFolder_data()
{
    QTest::addColumn<QString>("setting"); // [backup] folder=
    QTest::addColumn<QString>("why");
    QTest::newRow("a stick not plugged in") << u"stick/备份"_s << u"文件夹不存在(U盘是否插好？)"_s;
    QTest::newRow("a read-only folder") << u"readonly"_s << u"没有权限"_s;
    QTest::newRow("the default folder cannot be made") << QString() << u"没有权限"_s;
    QTest::newRow("a file, not a folder") << u"afile"_s << u"文件夹不存在(U盘是否插好？)"_s;
}

void TestBackup::refusingFolder()
{
    QFETCH(QString, setting);
    QFETCH(QString, why);
    const QString database = dir_->file(u"data.mdb"_s);
    QDir().mkpath(dir_->file(u"readonly"_s));
    QFile::setPermissions(dir_->file(u"readonly"_s), QFile::ReadOwner | QFile::ExeOwner);
    QFile(dir_->file(u"afile"_s)).open(QIODevice::WriteOnly);
    if (setting.isEmpty())
        QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::ExeOwner);
    else
        backup::setFolder(setting);
    const QString target = backup::folderFor(database);
    QCOMPARE(target, setting.isEmpty() ? folder() : QDir(dir_->path()).absoluteFilePath(setting));
    {
        testing::AsOrdinaryUser ordinary;
        try {
            backup::take(database, target, kNow);
            QFAIL("the backup was taken");
        } catch (const AppError &e) {
            QCOMPARE(e.message(), u"数据没有备份到文件夹“%1”：%2"_s.arg(QDir::toNativeSeparators(target), why));
        }
    }
    QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(dir_->file(u"readonly"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Nothing left that looks like a backup, and the sale goes on.
    for (const QString &f : filesIn(target))
        QVERIFY2(!backup::takenAt(f), qPrintable(f));
    Seller seller;
    QVERIFY(seller.sell());
    QCOMPARE(testing::scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
}

void TestBackup::runnerTellsOnceAndRetries()
{
    const QString database = dir_->file(u"data.mdb"_s);
    const QString stick = dir_->file(u"stick"_s);
    backup::setFolder(stick);
    backup::Runner runner(database, u"velmora.ini"_s);
    QSignalSpy failed(&runner, &backup::Runner::failed);
    QSignalSpy succeeded(&runner, &backup::Runner::succeeded);
    QSignalSpy finished(&runner, &backup::Runner::finished);
    Seller seller;
    const auto once = [&] {
        const int n = int(finished.size());
        runner.start();
        QVERIFY(runner.running());
        // The cashier sells while it runs.
        QVERIFY(seller.sell());
        QTRY_COMPARE(finished.size(), n + 1);
        QVERIFY(!runner.running());
    };
    once();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0][0].toString(),
             u"数据没有备份到文件夹“%1”：文件夹不存在(U盘是否插好？)"_s.arg(QDir::toNativeSeparators(stick)));
    once();
    QCOMPARE(failed.size(), 1); // told once only
    QDir().mkpath(stick);
    once();
    QCOMPARE(succeeded.size(), 1);
    QVERIFY(backup::takenAt(QFileInfo(succeeded[0][0].toString()).fileName()));
    QCOMPARE(QFileInfo(succeeded[0][0].toString()).absolutePath(), stick);
    QDir(stick).removeRecursively();
    once();
    QCOMPARE(failed.size(), 2); // a new failure after a success is told again
    QCOMPARE(seller.sold(), 4);
    QCOMPARE(testing::scalar(u"SELECT count(*) FROM xstj"_s).toInt(), 4);
}

void TestBackup::folderSetting()
{
    const QString database = dir_->file(u"data.mdb"_s);
    QCOMPARE(backup::folderFor(database), folder());
    QFile ini(u"velmora.ini"_s);
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("; the till's settings\n[printer]\nkind=escpos\naddress=queue:Receipt\n\n[backup]\n; where\nfolder=old\n");
    ini.close();
    QCOMPARE(backup::folderFor(database), dir_->file(u"old"_s));
    backup::setFolder(u"/media/U盘 1/备份"_s);
    QCOMPARE(backup::folderFor(database), u"/media/U盘 1/备份"_s);
    QCOMPARE(testing::fileBytes(u"velmora.ini"_s),
             QByteArray("; the till's settings\n[printer]\nkind=escpos\naddress=queue:Receipt\n\n[backup]\n; where\n"
                        "folder=\"/media/U\xe7\x9b\x98 1/\xe5\xa4\x87\xe4\xbb\xbd\"\n"));
    backup::setFolder(QString());
    QCOMPARE(backup::folderFor(database), folder());

    // With a server the till keeps no data.mdb to back up.
    QVERIFY(!store::serverConfigured());
    QVERIFY(ini.open(QIODevice::Append));
    ini.write("[server]\nconnection=host=10.0.0.5 dbname=shop\n");
    ini.close();
    QVERIFY(store::serverConfigured());
    QVERIFY(!store::serverConfigured(u"no-such.ini"_s));
}

void TestBackup::killDuringBackup_data()
{
    QTest::addColumn<double>("at"); // the part of the copy done when killed
    QTest::newRow("early") << 0.1;
    QTest::newRow("half way") << 0.5;
    QTest::newRow("last steps") << 0.97;
    QTest::newRow("while checking the copy") << 1.0;
}

void TestBackup::killDuringBackup()
{
    QFETCH(double, at);
    Seller seller;
    QVERIFY(seller.sell(300));
    const QString database = dir_->file(u"data.mdb"_s);
    const QString older = backup::take(database, folder(), kNow).file;
    const QByteArray olderHash = hashOf(older);
    const QByteArray dataHash = hashOf(database);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {u"--backup-child"_s, database, folder()});
    QVERIFY(child.waitForStarted());
    bool killed = false;
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    while (!killed && waited.elapsed() < 60000) {
        if (!child.waitForReadyRead(5000))
            break;
        said += child.readAll();
        for (const QByteArray &line : said.split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() != 3 || parts[0] != "step")
                continue;
            const double total = parts[2].toDouble();
            const double done = total > 0 ? 1 - parts[1].toDouble() / total : 0;
            if (done >= at && (at < 1.0 || parts[1].toInt() == 0)) {
                // The last step is done: the check runs a moment after it.
                if (at >= 1.0)
                    QThread::msleep(2);
                ::kill(pid_t(child.processId()), SIGKILL);
                killed = true;
                break;
            }
        }
    }
    QVERIFY2(killed, said.constData());
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QCOMPARE(hashOf(database), dataHash);
    QCOMPARE(testing::scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    QCOMPARE(hashOf(older), olderHash);
    // The older backup is the only file with a backup's name.
    QStringList backups;
    for (const QString &f : filesIn(folder())) {
        if (backup::takenAt(f))
            backups << f;
    }
    QCOMPARE(backups, QStringList{QFileInfo(older).fileName()});
    // The next backup is taken as if nothing had happened.
    QVERIFY(seller.sell());
    const backup::Taken next = backup::take(database, folder(), kNow.addDays(2));
    QCOMPARE(next.rows.value(u"xstj"_s), 301);
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--backup-child") == 0) {
        QCoreApplication app(argc, argv);
        return backupChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestBackup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backup.moc"
