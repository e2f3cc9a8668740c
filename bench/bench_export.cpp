// What the sales history costs as the archive grows: opening 销售统计 (first
// rows painted and the footer summed), 刷新, opening the query window (its
// two pick lists), a query by ticket number and by cashier, a ticket's detail
// by double-click, and the export of the whole list with its peak memory, on
// archives of 0, 100,000 and 1,000,000 tickets of four lines each.
//
//   cmake -S . -B build -DVELMORA_BENCH=ON && cmake --build build -j2 --target bench_export
//   QT_QPA_PLATFORM=offscreen build/bench/bench_export [ticket counts...]
//
// Archives are built once, with plain SQL in one transaction, into
// $TMPDIR/velmora-bench-history/<count>.mdb and reused. Each archive size is
// measured in two fresh processes, one for the windows and one for the
// export, so one's memory peak does not hide in the other's.
#include "app/Forms.h"
#include "history/Export.h"
#include "history/XscxUnit.h"
#include "history/XsmxUnit.h"
#include "history/XstjUnit.h"
#include "store/Idioms.h"
#include "ticket/MainUnit.h"
#include "ui/GridFooter.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QString archivePath(qint64 tickets)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("velmora-bench-history"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(QStringLiteral("%1.mdb").arg(tickets));
}

void runSql(QSqlQuery &q, const QString &sql)
{
    if (!q.exec(sql)) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(sql), qPrintable(q.lastError().text()));
        std::exit(2);
    }
}

// One ticket every 97 seconds from 2016-01-01 08:00, three cashiers in turn,
// four lines per ticket.
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
        runSql(q, QStringLiteral("PRAGMA synchronous=OFF"));
        runSql(q, QStringLiteral("BEGIN"));
        if (tickets > 0) {
            runSql(q, QStringLiteral(
                          "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                          "INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员) "
                          "SELECT strftime('%Y%m%d%H%M%S', 1451635200 + i * 97, 'unixepoch'), "
                          "strftime('%Y-%m-%d %H:%M:%S', 1451635200 + i * 97, 'unixepoch'), 4, 42, 39.9, "
                          "CASE i % 3 WHEN 0 THEN 'admin' WHEN 1 THEN '张三' ELSE '李四' END FROM n")
                          .arg(tickets - 1));
            runSql(q, QStringLiteral(
                          "INSERT INTO xsmx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后) "
                          "SELECT t.单号, t.时间, '', '', '商品' || k.k, 10.5, 1, 10.5, 9.975 "
                          "FROM xstj t, (SELECT 1 AS k UNION ALL SELECT 2 UNION ALL SELECT 3 UNION ALL SELECT 4) k "
                          "ORDER BY t.rowid, k.k"));
        }
        runSql(q, QStringLiteral("COMMIT"));
        runSql(q, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
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

double peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

double nowMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * ::sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}

double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// What a user sees once a list is there: its first rows painted and its
// footer summed.
void seeList(ui::ListGrid *grid, ui::GridFooter *footer)
{
    footer->text(3);
    grid->viewport()->grab();
}

// Runs a step that opens a modal window; measures until the window is shown
// and `shown` has run in it, then closes it.
double timeModal(QDialog *window, const std::function<void()> &open, const std::function<void()> &shown)
{
    QElapsedTimer timer;
    double elapsed = 0;
    QTimer::singleShot(0, window, [&] {
        shown();
        elapsed = ms(timer);
        window->reject();
    });
    timer.start();
    open();
    return elapsed;
}

// The windows, in a process of their own.
int runWindows(qint64 tickets)
{
    std::vector<double> open, refresh, queryWindow, byNumber, byCashier, detail;
    const QString number = tickets > 0 ? QStringLiteral("20170315") : QStringLiteral("2017"); // one day
    app::createForms();
    MainForm->show();
    for (int round = 0; round < 4; ++round) {
        open.push_back(timeModal(XstjForm, [] { MainForm->SpeedButton7Click(); }, [] {
            seeList(XstjForm->DBGridEh1, XstjForm->DBGridEh1Footer);
        }));
        QElapsedTimer timer;
        timeModal(XstjForm, [] { XstjForm->exec(); }, [&] {
            timer.start();
            XstjForm->SpeedButton3Click();
            seeList(XstjForm->DBGridEh1, XstjForm->DBGridEh1Footer);
            refresh.push_back(ms(timer));

            queryWindow.push_back(timeModal(XscxForm, [] { XstjForm->SpeedButton1Click(); }, [] {}));

            XscxForm->ComboBox1->setEditText(number);
            XscxForm->ComboBox2->setEditText(QString());
            timer.restart();
            XscxForm->SpeedButton1Click();
            seeList(XstjForm->DBGridEh1, XstjForm->DBGridEh1Footer);
            byNumber.push_back(ms(timer));

            XscxForm->ComboBox1->setEditText(QString());
            XscxForm->ComboBox2->setEditText(QStringLiteral("张"));
            timer.restart();
            XscxForm->SpeedButton1Click();
            seeList(XstjForm->DBGridEh1, XstjForm->DBGridEh1Footer);
            byCashier.push_back(ms(timer));

            XstjForm->SpeedButton3Click();
            detail.push_back(timeModal(XsmxForm, [] { XstjForm->DBGridEh1DblClick(); }, [] {
                seeList(XsmxForm->DBGridEh1, XsmxForm->DBGridEh1Footer);
            }));
        });
        if (round == 0) { // warm-up: the first round reads the file from disk
            for (auto *v : {&open, &refresh, &queryWindow, &byNumber, &byCashier, &detail})
                v->clear();
        }
    }
    std::printf("%-9lld %9.1f %9.1f %10.1f %9.1f %9.1f %9.1f %10.1f", static_cast<long long>(tickets),
                median(open), median(refresh), median(queryWindow), median(byNumber), median(byCashier),
                median(detail), peakMiB());
    std::fflush(stdout);
    app::destroyForms();
    return 0;
}

// The export of the whole list, in a process of its own: the list is opened
// as 统计 opens it (oldest first) or as 刷新 leaves it (stored order), then
// written out.
int runExport(const QString &listSql, const QString &folder)
{
    app::createForms();
    idiom::reconnectAndReopen(XstjForm->ADOConnection1, {{&XstjForm->ADOQuery1, listSql}});
    const double before = nowMiB();
    QElapsedTimer timer;
    timer.start();
    const QString file = QDir(folder).filePath(QStringLiteral("all.xls"));
    history::exportList(XstjForm, XstjForm->ADOQuery1, file);
    const double elapsed = ms(timer);
    std::printf(" %10.1f %10.1f %9.1f", elapsed, peakMiB() - before, QFileInfo(file).size() / (1024.0 * 1024.0));
    std::fflush(stdout);
    app::destroyForms();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    msg::setHook([](const msg::Prompt &) { return msg::Answer::Ok; });

    const QStringList args = application.arguments().mid(1);
    if (args.size() == 2 && args[0].startsWith(QStringLiteral("--"))) {
        const qint64 n = args[1].toLongLong();
        QTemporaryDir work;
        QFile::copy(archivePath(n), work.filePath(QStringLiteral("data.mdb")));
        QDir::setCurrent(work.path());
        ::sync(); // the copy's write-back is not the program's cost
        if (args[0] == QStringLiteral("--windows"))
            return runWindows(n);
        return runExport(args[0] == QStringLiteral("--export") ? TXstjForm::listByTimeSql() : TXstjForm::listAllSql(),
                         work.path());
    }

    std::vector<qint64> counts;
    for (const QString &a : args)
        counts.push_back(a.toLongLong());
    if (counts.empty())
        counts = {0, 100000, 1000000};
    // open: 统计 until the first rows and the footer show; refresh: 刷新;
    // qwindow: opening 查询 (its two pick lists); number, cashier: a query
    // by one day's number prefix and by a cashier; detail: a double-click;
    // export: the whole list as opened, oldest first; exportMiB: peak memory
    // the export added; fileMiB: the file; stored, storedMiB: the same after
    // 刷新 (stored order).
    std::printf("times in ms (median of 3 after a warm-up), memory in MiB\n");
    std::printf("%-9s %9s %9s %10s %9s %9s %9s %10s %10s %10s %9s %10s %10s %9s\n", "tickets", "open", "refresh",
                "qwindow", "number", "cashier", "detail", "peakMiB", "export", "exportMiB", "fileMiB", "stored",
                "storedMiB", "fileMiB");
    std::fflush(stdout);
    for (qint64 n : counts) {
        buildArchive(n, archivePath(n));
        for (const char *mode : {"--windows", "--export", "--export-stored"}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {QString::fromLatin1(mode), QString::number(n)});
            child.waitForFinished(-1);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
