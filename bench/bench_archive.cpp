// What the store costs as the archive grows. On archives of 0, 100,000 and
// 1,000,000 tickets (four lines each) it measures, in-process and offscreen:
//   start-up     all twelve windows with their queries
//   添加          one line added from the main window (its two reconnections
//                included: the store work of a cashier's click)
//   write        the floor 添加 stands on: one bare row written in its own
//                transaction with the program's journal and syncing (添加 makes
//                two such writes, the line and the catalogue's price)
//   key-up       the amount recomputation of a key release in 单价
//   统计          "select * from xstj order by 时间 asc" opened in a list grid
//                until its first rows are painted and the footer sums are there
//   by 单号       a contains search by ticket number (one day's tickets), rows
//                painted and sums
//   by 收银员     a contains search by cashier (a third of the tickets)
//   detail       the lines of one ticket by its number, rows painted and sums
//   scroll       a grid over the 统计 list moved from its first to its last row
//                ten screens at a time (fewer rows than a page of the store, so
//                every row is read), each stop painted; seconds, and the peak
//                resident memory while scrolling (getrusage after resetting
//                the high-water mark) with its growth over the memory before
// Each figure but the scroll is the median of several runs after a warm-up.
//
//   cmake -S . -B build -DVELMORA_BENCH=ON && cmake --build build -j2 --target bench_archive
//   build/bench/bench_archive [ticket counts...]
//
// Archives are built once into $TMPDIR/velmora-bench/ and reused.
#include "app/Forms.h"
#include "store/Clock.h"
#include "store/Connection.h"
#include "store/Idioms.h"
#include "store/Query.h"
#include "ticket/MainUnit.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The delivered file's journal mode is part of what is measured, so archives
// built from a rollback-journal file and from a WAL file are kept apart.
QString deliveredMode()
{
    QFile f(QStringLiteral(VELMORA_DELIVERED_DB));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("no delivered data.mdb");
    const QByteArray header = f.read(20);
    return header.size() == 20 && header[18] == 2 ? u"wal"_s : u"journal"_s;
}

QString archivePath(qint64 tickets)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("velmora-bench"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(u"%1-4lines-%2.mdb"_s.arg(tickets).arg(deliveredMode()));
}

void run(QSqlQuery &q, const QString &sql)
{
    if (!q.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

// One ticket every 97 seconds from 2016-01-01 08:00, four lines of a dozen
// products, four cashiers; the ticket's totals are the sums of its lines.
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
        if (!db.open())
            qFatal("cannot open %s", qPrintable(tmp));
        QSqlQuery q(db);
        run(q, u"PRAGMA synchronous=OFF"_s);
        run(q, u"PRAGMA cache_size=-200000"_s);
        run(q, u"BEGIN"_s);
        const QString lines =
            uR"(WITH RECURSIVE n(i) AS (SELECT 0 WHERE %1 > 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1 - 1),
                k(k) AS (VALUES (0), (1), (2), (3)),
                p(idx, name, price) AS (VALUES (0, '可口可乐500ml', 3.5), (1, '农夫山泉550ml', 2), (2, '康师傅红烧牛肉面', 4.5),
                    (3, '乐事薯片原味', 7.9), (4, '蒙牛纯牛奶250ml', 3.2), (5, '德芙巧克力', 12.8), (6, '双汇王中王火腿肠', 1.5),
                    (7, '雀巢咖啡', 6.5), (8, '旺旺雪饼', 9.9), (9, '清风抽纸', 15.8), (10, '金龙鱼大米5kg', 39.9), (11, '鸡蛋(斤)', 5.68)),
                l AS (SELECT i, k, strftime('%Y%m%d%H%M%S', 1451635200 + i * 97, 'unixepoch') AS no,
                             strftime('%Y-%m-%d %H:%M:%S', 1451635200 + i * 97, 'unixepoch') AS t,
                             p.name AS name, p.price AS price, 1 + (i + k) % 3 AS qty,
                             CASE WHEN i % 5 = 0 THEN 9.5 ELSE 10 END AS discount
                      FROM n CROSS JOIN k JOIN p ON p.idx = (i * 7 + k * 3) % 12))"_s
                .arg(tickets);
        run(q, lines + uR"(
            INSERT INTO xsmx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后)
            SELECT no, t, '', '', name, price, qty, price * qty, price * qty * discount * 0.1 FROM l ORDER BY i, k)"_s);
        run(q, lines + uR"(
            INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员)
            SELECT no, t, sum(qty), sum(price * qty), sum(price * qty * discount * 0.1),
                   CASE i % 4 WHEN 0 THEN 'admin' WHEN 1 THEN '张三' WHEN 2 THEN '李四' ELSE '王五' END
            FROM l GROUP BY i ORDER BY i)"_s);
        run(q, u"COMMIT"_s);
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
    QFile::rename(tmp, path);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long maxRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

long currentRssKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// Lets getrusage report the peak from now on (Linux 4.0 and later).
void resetPeakRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

const QString kSumColumns[] = {u"数量"_s, u"金额"_s, u"折后"_s};

// A list window's grid: 序号, the ticket's columns, stretched over 717 pixels.
struct ListWindow {
    QWidget host;
    Connection connection{connstr::designShort()};
    Query query{connection};
    ui::ListGrid *grid;
    qint64 checksum = 0; // keeps the sums from being optimised away

    explicit ListWindow(const QVector<ui::GridColumn> &columns)
        : grid(new ui::ListGrid(query, columns, &host))
    {
        host.resize(717, 514);
        grid->setGeometry(0, 30, 717, 460);
        host.show();
    }
    // Paints the rows the grid shows and asks for the footer sums.
    void showRowsAndSums()
    {
        QCoreApplication::processEvents(); // the grid lays out its rows
        grid->viewport()->repaint();
        for (const auto &s : idiom::columnSums(query, {kSumColumns[0], kSumColumns[1], kSumColumns[2]}))
            checksum += s.value_or(0);
    }
};

QVector<ui::GridColumn> ticketColumns()
{
    return {{u"序号"_s, QString(), 40, false},     {u"单号"_s, u"单号"_s, 110, false},
            {u"时间"_s, u"时间"_s, 130, false},     {u"数量"_s, u"数量"_s, 60, true},
            {u"金额"_s, u"金额"_s, 70, true},       {u"折后"_s, u"折后"_s, 70, true},
            {u"收银员"_s, u"收银员"_s, 70, false}};
}

QVector<ui::GridColumn> lineColumns()
{
    return {{u"序号"_s, QString(), 40, false}, {u"客户"_s, u"客户"_s, 80, false}, {u"电话"_s, u"电话"_s, 80, false},
            {u"品名"_s, u"品名"_s, 140, false}, {u"单价"_s, u"单价"_s, 60, true}, {u"数量"_s, u"数量"_s, 60, true},
            {u"金额"_s, u"金额"_s, 60, true},   {u"折后"_s, u"折后"_s, 60, true}};
}

double timed(const std::function<void()> &step, int runs = 5)
{
    std::vector<double> t;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        if (i > 0) // the first run warms the file cache
            t.push_back(ms(timer));
        else if (ms(timer) > 2000) // minutes of the same figure tell nothing more
            runs = 1;
    }
    return median(t);
}

// One bare row written in its own transaction, rollback journal and full
// syncing as the program writes: what the disk costs, median of a few.
double bareWriteMs(const QString &folder)
{
    const QString name = QStringLiteral("floor");
    std::vector<double> t;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QDir(folder).filePath(QStringLiteral("floor.db")));
        if (!db.open())
            qFatal("no floor database");
        QSqlQuery q(db);
        run(q, u"PRAGMA journal_mode=DELETE"_s);
        run(q, u"PRAGMA synchronous=FULL"_s);
        run(q, u"CREATE TABLE IF NOT EXISTS t (x)"_s);
        for (int i = 0; i < 9; ++i) {
            QElapsedTimer timer;
            timer.start();
            run(q, u"INSERT INTO t VALUES ('苹果')"_s);
            t.push_back(ms(timer));
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return median(t);
}

// A fresh copy of a large archive keeps the disk busy long after sync()
// returns, and a synced write then waits far longer than it will later.
void waitForQuietDisk(const QString &folder)
{
    QElapsedTimer waited;
    waited.start();
    while (bareWriteMs(folder) > 3 && waited.elapsed() < 120000)
        QThread::sleep(2);
}

struct Figures {
    double startup = 0, add = 0, write = 0, keyUpUs = 0, open = 0, byNumber = 0, byCashier = 0, detail = 0;
    double scrollS = 0;
    long rssBeforeScrollKb = 0, scrollPeakKb = 0;
    int scrolledRows = 0;
};

Figures measureProgram(const QString &folder)
{
    Figures f;
    std::vector<double> startup, add, keyUp, write;
    for (int round = 0; round < 6; ++round) {
        QElapsedTimer timer;
        timer.start();
        app::createForms();
        startup.push_back(ms(timer));
        for (int line = 0; line < 5; ++line) {
            MainForm->ComboBox1->setEditText(QStringLiteral("苹果"));
            MainForm->Edit3->setText(QStringLiteral("3.5"));
            MainForm->Edit4->setText(QStringLiteral("2"));
            MainForm->Edit11->setText(QStringLiteral("7"));
            MainForm->Edit12->setText(QStringLiteral("7"));
            timer.restart();
            MainForm->SpeedButton2Click();
            add.push_back(ms(timer));
        }
        MainForm->Edit3->setText(QStringLiteral("19.9"));
        MainForm->Edit4->setText(QStringLiteral("3"));
        MainForm->ComboBox2->setEditText(QStringLiteral("8.5"));
        timer.restart();
        for (int k = 0; k < 1000; ++k)
            MainForm->AmountKeyUp();
        keyUp.push_back(timer.nsecsElapsed() / 1e3 / 1000);
        app::destroyForms();
        write.push_back(bareWriteMs(folder));
        if (round == 0) { // warm-up: the first round reads the file from disk
            startup.clear();
            add.clear();
            keyUp.clear();
            write.clear();
        }
    }
    f.startup = median(startup);
    f.add = median(add);
    f.write = median(write);
    f.keyUpUs = median(keyUp);
    return f;
}

void measureLists(Figures &f, qint64 tickets)
{
    // A ticket from the middle of the archive and its day.
    QString number = u"20160101080000"_s;
    if (tickets > 0) {
        const QDateTime t = QDateTime::fromSecsSinceEpoch(1451635200 + (tickets / 2) * 97, Qt::UTC);
        number = t.toString(u"yyyyMMddHHmmss"_s);
    }
    const QString day = number.left(8);
    {
        ListWindow w(ticketColumns());
        f.open = timed([&] {
            idiom::reopen(w.query, u"select * from xstj order by 时间 asc"_s);
            w.showRowsAndSums();
        });
        f.byNumber = timed([&] {
            idiom::containsSearch(w.query, u"xstj"_s, u"单号"_s, day);
            w.showRowsAndSums();
        });
        f.byCashier = timed([&] {
            idiom::containsSearch(w.query, u"xstj"_s, u"收银员"_s, u"张"_s);
            w.showRowsAndSums();
        });
    }
    {
        ListWindow w(lineColumns());
        f.detail = timed([&] {
            idiom::exactSearch(w.query, u"xsmx"_s, u"单号"_s, number);
            w.showRowsAndSums();
        });
    }
    {
        ListWindow w(ticketColumns());
        idiom::reopen(w.query, u"select * from xstj order by 时间 asc"_s);
        w.showRowsAndSums();
        f.rssBeforeScrollKb = currentRssKb();
        resetPeakRss();
        QScrollBar *bar = w.grid->verticalScrollBar();
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            const int before = bar->value();
            bar->setValue(before + 10 * bar->pageStep());
            QCoreApplication::processEvents();
            w.grid->viewport()->repaint();
            if (bar->value() == before && !w.grid->model()->canFetchMore({}))
                break;
        }
        f.scrollS = ms(timer) / 1000;
        f.scrollPeakKb = maxRssKb();
        f.scrolledRows = w.grid->model()->rowCount();
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    msg::setHook([](const msg::Prompt &p) {
        std::fprintf(stderr, "message: %s\n", qPrintable(p.text));
        return msg::Answer::Ok;
    });

    std::vector<qint64> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(QString::fromLocal8Bit(argv[i]).toLongLong());
    if (counts.empty())
        counts = {0, 100000, 1000000};

    std::printf("%-9s %9s %8s %8s %8s %8s %8s %8s %8s %9s %9s %9s\n", "tickets", "start ms", "添加 ms",
                "write ms", "key µs", "统计 ms", "单号 ms", "收银员 ms", "detail ms", "scroll s", "rows", "peak MiB");
    for (qint64 n : counts) {
        const QString source = archivePath(n);
        buildArchive(n, source);
        QTemporaryDir work;
        QFile::copy(source, work.filePath(QStringLiteral("data.mdb")));
        QDir::setCurrent(work.path());
        // The copy leaves hundreds of MiB to write back; measuring while the
        // disk does that would time the copy, not the program.
        ::sync();

        // The lists first: by the time the program's writes are timed, the
        // disk has long finished with the archive's copy.
        Figures f;
        measureLists(f, n);
        waitForQuietDisk(work.path());
        const Figures program = measureProgram(work.path());
        f.startup = program.startup;
        f.add = program.add;
        f.write = program.write;
        f.keyUpUs = program.keyUpUs;
        std::printf("%-9lld %9.2f %8.2f %8.2f %8.2f %8.1f %8.1f %8.1f %9.2f %9.1f %9d %5.0f(+%.0f)\n",
                    static_cast<long long>(n), f.startup, f.add, f.write, f.keyUpUs, f.open, f.byNumber, f.byCashier,
                    f.detail, f.scrollS, f.scrolledRows, f.scrollPeakKb / 1024.0,
                    (f.scrollPeakKb - f.rssBeforeScrollKb) / 1024.0);
        std::fflush(stdout);
        QDir::setCurrent(QDir::tempPath());
    }
    return 0;
}
