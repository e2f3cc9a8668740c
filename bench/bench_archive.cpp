// How the working ticket's operations cost as the archive grows: start-up
// (all twelve windows with their queries) and 添加 (which reconnects seven
// queries, two of them on the archive tables) on archives of 0, 100,000 and
// 1,000,000 tickets with three lines each. The figures must not grow with the
// archive.
//
//   cmake -S . -B build -DVELMORA_BENCH=ON && cmake --build build -j2 --target bench_archive
//   QT_QPA_PLATFORM=offscreen build/bench/bench_archive [ticket counts...]
//
// Archives are built once into $TMPDIR/velmora-bench/<count>.mdb and reused.
#include "app/Forms.h"
#include "store/Clock.h"
#include "ticket/MainUnit.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QString archivePath(qint64 tickets)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("velmora-bench"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(QStringLiteral("%1.mdb").arg(tickets));
}

void buildArchive(qint64 tickets, const QString &path)
{
    if (QFile::exists(path))
        return;
    std::fprintf(stderr, "building an archive of %lld tickets...\n", static_cast<long long>(tickets));
    const QString tmp = path + QStringLiteral(".part");
    QFile::remove(tmp);
    QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), tmp);
    QFile::setPermissions(tmp, QFile::ReadOwner | QFile::WriteOwner);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("build"));
        db.setDatabaseName(tmp);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        db.transaction();
        QSqlQuery t(db), m(db);
        t.prepare(QStringLiteral("INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员) VALUES (?,?,?,?,?,?)"));
        m.prepare(QStringLiteral("INSERT INTO xsmx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后) "
                                 "VALUES (?,?,?,?,?,?,?,?,?)"));
        QDateTime when(QDate(2016, 1, 1), QTime(8, 0));
        for (qint64 i = 0; i < tickets; ++i) {
            when = when.addSecs(97);
            const QString number = appclock::ticketNumber(when);
            const QString time = appclock::ticketTime(when);
            t.addBindValue(number);
            t.addBindValue(time);
            t.addBindValue(3.0);
            t.addBindValue(31.5);
            t.addBindValue(29.9);
            t.addBindValue(QStringLiteral("admin"));
            t.exec();
            for (int line = 0; line < 3; ++line) {
                m.addBindValue(number);
                m.addBindValue(time);
                m.addBindValue(QString());
                m.addBindValue(QString());
                m.addBindValue(QStringLiteral("商品%1").arg(line));
                m.addBindValue(10.5);
                m.addBindValue(1.0);
                m.addBindValue(10.5);
                m.addBindValue(9.97);
                m.exec();
            }
        }
        db.commit();
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        q.finish();
        t.finish();
        m.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
    QFile::rename(tmp, path);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long maxRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    msg::setHook([](const msg::Prompt &) { return msg::Answer::Ok; });

    std::vector<qint64> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(QString::fromLocal8Bit(argv[i]).toLongLong());
    if (counts.empty())
        counts = {0, 100000, 1000000};

    std::printf("%-10s %14s %14s %14s %14s\n", "tickets", "start-up ms", "添加 ms", "key-up µs", "max RSS MiB");
    for (qint64 n : counts) {
        const QString source = archivePath(n);
        buildArchive(n, source);
        QTemporaryDir work;
        QFile::copy(source, work.filePath(QStringLiteral("data.mdb")));
        QDir::setCurrent(work.path());
        // The copy leaves hundreds of MiB to write back; measuring while the
        // disk does that would time the copy, not the program.
        ::sync();

        std::vector<double> startup, add, keyUp;
        for (int round = 0; round < 8; ++round) {
            QElapsedTimer timer;
            timer.start();
            app::createForms();
            startup.push_back(timer.nsecsElapsed() / 1e6);
            for (int line = 0; line < 5; ++line) {
                MainForm->ComboBox1->setEditText(QStringLiteral("苹果"));
                MainForm->Edit3->setText(QStringLiteral("3.5"));
                MainForm->Edit4->setText(QStringLiteral("2"));
                MainForm->Edit11->setText(QStringLiteral("7"));
                MainForm->Edit12->setText(QStringLiteral("7"));
                timer.restart();
                MainForm->SpeedButton2Click();
                add.push_back(timer.nsecsElapsed() / 1e6);
            }
            // A key release in 单价 recomputes 金额 and 折后.
            MainForm->Edit3->setText(QStringLiteral("19.9"));
            MainForm->Edit4->setText(QStringLiteral("3"));
            MainForm->ComboBox2->setEditText(QStringLiteral("8.5"));
            timer.restart();
            for (int k = 0; k < 1000; ++k)
                MainForm->AmountKeyUp();
            keyUp.push_back(timer.nsecsElapsed() / 1e3 / 1000);
            app::destroyForms();
            if (round == 0) { // warm-up: the first round reads the file from disk
                startup.clear();
                add.clear();
                keyUp.clear();
            }
        }
        std::printf("%-10lld %14.2f %14.2f %14.2f %14.1f\n", static_cast<long long>(n), median(startup),
                    median(add), median(keyUp), maxRssKb() / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
