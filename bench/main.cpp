// The benchmark of the program on years of sales: one command, one table.
//
//   bash scripts/bench.sh [ticket counts...] [--runs N] [--rounds R]
//   bash scripts/bench.sh [ticket counts...] --server "<libpq connection>"
//
// Seeds (once, cached) archives of 0, 100,000 and 1,000,000 tickets, copies
// each to a working data.mdb, and measures in fresh processes, offscreen:
//   program     the program started and driven as a cashier drives it
//               (Program.cpp), in rounds that take the archives in turn, so
//               what else the machine does weighs on each alike; its
//               checkout also through a cups-pdf queue of the benchmark's
//               own, when a CUPS scheduler runs, and to an ESC/POS printer
//               on the network (a fake one in the measuring process);
//   floors      the same work with nothing of the program's own (Floors.cpp);
//   export      the export of the whole list, one process per archive for its
//               peak memory, and its floor likewise;
//   catalogue   start-up and 添加 with 100,000 more products, with and without
//               a screen reader.
// With --server the program is measured as till 1 of a shop's PostgreSQL
// server instead: each archive is copied into a database of its own there
// (velmora_bench_<tickets>, made anew from data/schema-pg.sql), and the rows
// that measure data.mdb itself (floors, backups, the added catalogue) are
// left out. The server's targets: 添加 < 10 ms, the archive step < 20 ms,
// 统计 < 500 ms at 1,000,000 tickets.
// Each figure is the median of every timed run (the first run of each step is
// a warm-up). The table gives each figure per archive, its ratio at the
// largest archive to the smallest, its floor at the largest and the ratio to
// that floor, and the target it must meet.
#include "Measure.h"
#include "Seed.h"

#include "app/Application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

using namespace bench;

namespace {

constexpr int kMoreProducts = 100000;

struct Target {
    double ratio = 0;   // most the largest archive's figure may be of the smallest's; 0: none
    double largest = 0; // most the figure may be on the largest archive; 0: none
    bool everySize = false; // `largest` holds on every archive
};

struct Figure {
    const char *key;
    const char *label;
    const char *unit;
    const char *floor; // key of its floor, or nullptr
    Target target;
    double scale = 1; // shown value = measured × scale (MiB to MB)
};

const Figure kFigures[] = {
    {"startup", "start-up until the login window is shown", "ms", "startup", {1.5, 0, false}},
    {"add", "添加 of one line (two reconnect-and-reopens)", "ms", "add", {1.5, 5, true}},
    {"keyup", "a key release in 单价", "µs", "keyup", {1.5, 1000, true}},
    {"checkout", "checkout of 20 lines, receipt to a PDF file", "ms", "archive", {1.5, 0, false}},
    {"checkout-cups", "checkout of 20 lines through a cups-pdf queue, until the job completed", "ms", "archive",
     {1.5, 0, false}},
    {"checkout-escpos", "checkout of 20 lines to an ESC/POS network printer", "ms", "archive", {1.5, 0, false}},
    {"archive", "  its archive step alone (and the mark cleared)", "ms", "archive", {1.5, 20, true}},
    {"add-backup", "添加 while a backup runs", "ms", "add", {0, 5, true}},
    {"archive-backup", "  the archive step while a backup runs", "ms", "archive", {0, 20, true}},
    {"backup", "a backup alone (copy, check, rename)", "s", nullptr, {0, 0, false}},
    {"statistics", "统计 opened: first rows and footer sums", "ms", "statistics", {0, 300, false}},
    {"refresh", "刷新", "ms", "refresh", {0, 300, false}},
    {"querywindow", "查询 opened (every ticket number listed)", "ms", "querywindow", {0, 300, false}},
    {"bynumber", "query by ticket number (one day)", "ms", "bynumber", {0, 300, false}},
    {"bycashier", "query by cashier", "ms", "bycashier", {0, 300, false}},
    {"detail", "double-click: a ticket's detail shown", "ms", "detail", {1.5, 0, false}},
    {"dayend", "日结 of one day: its figures shown", "ms", "dayend", {0, 300, false}},
    {"range", "统计 narrowed to a month: first rows and footer sums", "ms", "range", {0, 300, false}},
    {"rangecashier", "  the same month of one cashier", "ms", "rangecashier", {0, 300, false}},
    {"rangenewest", "  the month's newest first (时间 title clicked)", "ms", "rangenewest", {0, 300, false}},
    {"summary", "汇总 of a month: by day and cashier, chart shown", "ms", "summary", {0, 300, false}},
    {"export", "导出 of the whole list", "s", "export", {0, 15, false}},
    {"exportpeak", "  peak memory of its process", "MB", "exportpeak", {0, 200, false}, 1.048576},
    {"cat-startup", "start-up, 100,000 more products", "ms", "cat-startup", {0, 50, true}},
    {"cat-add", "添加, 100,000 more products", "ms", "cat-add", {0, 10, true}},
    {"cat-startup-at", "  the same with a screen reader", "ms", "cat-startup", {0, 50, true}},
    {"cat-add-at", "  添加 with a screen reader", "ms", "cat-add", {0, 10, true}},
};

// samples[figure][tickets]
using Samples = QMap<QString, QMap<qint64, std::vector<double>>>;

struct Run {
    std::vector<qint64> sizes{0, 100000, 1000000};
    int runs = 5;
    int rounds = 3;
    Samples program, floors;
    QMap<qint64, QString> folders;
};

void runChild(Run &run, const char *mode, qint64 tickets, Samples &into, int runs)
{
    std::fprintf(stderr, "  %-14s %9lld tickets\n", mode, static_cast<long long>(tickets));
    QProcess child;
    child.setProcessEnvironment([] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return env;
    }());
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--child"), QString::fromLatin1(mode), QString::number(tickets),
                 run.folders.value(tickets), QString::number(runs)});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        std::fprintf(stderr, "the %s measurement on %lld tickets failed\n", mode, static_cast<long long>(tickets));
        std::exit(1);
    }
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 3 && parts[0] == "sample")
            into[QString::fromLatin1(parts[1])][tickets].push_back(parts[2].toDouble());
    }
}

// A cups-pdf queue of the benchmark's own, the default printer of its
// measuring processes (LPDEST): the checkout row through a real scheduler.
// Needs a running cupsd, the cups-pdf backend and the right to add queues;
// without them that row is left out, saying why.
class CupsQueue {
public:
    CupsQueue()
    {
        const QString ppd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");
        if (command(QStringLiteral("lpstat"), {QStringLiteral("-r")}) != QLatin1String("scheduler is running")) {
            std::fprintf(stderr, "no CUPS scheduler runs: the cups-pdf checkout is left out\n");
            return;
        }
        if (!QFile::exists(ppd)) {
            std::fprintf(stderr, "cups-pdf is not installed: the cups-pdf checkout is left out\n");
            return;
        }
        const QString queue = QStringLiteral("velmora-bench-%1").arg(QCoreApplication::applicationPid());
        int code = -1;
        const QString said = command(QStringLiteral("lpadmin"),
                                     {QStringLiteral("-p"), queue, QStringLiteral("-v"), QStringLiteral("cups-pdf:/"),
                                      QStringLiteral("-E"), QStringLiteral("-P"), ppd, QStringLiteral("-o"),
                                      QStringLiteral("printer-error-policy=abort-job")},
                                     &code);
        if (code != 0) {
            std::fprintf(stderr, "cannot add a CUPS queue (%s): the cups-pdf checkout is left out\n", qPrintable(said));
            return;
        }
        name_ = queue;
        qputenv("LPDEST", name_.toUtf8());
        qputenv("VELMORA_BENCH_CUPS", "1");
    }
    // The queue goes, and with it the receipts cups-pdf wrote for it.
    ~CupsQueue()
    {
        if (name_.isEmpty())
            return;
        const QString jobs = command(QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"),
                                                                QStringLiteral("-o"), name_});
        static const QRegularExpression id(QStringLiteral(R"(^\S+-(\d+)\s)"), QRegularExpression::MultilineOption);
        const QDir out(outFolder());
        for (auto m = id.globalMatch(jobs); m.hasNext();) {
            const QString job = m.next().captured(1);
            for (const QString &file : out.entryList({QStringLiteral("*job_%1.pdf").arg(job)}, QDir::Files))
                QFile::remove(out.filePath(file));
        }
        command(QStringLiteral("cancel"), {QStringLiteral("-a"), name_});
        command(QStringLiteral("lpadmin"), {QStringLiteral("-x"), name_});
    }

private:
    static QString command(const QString &program, const QStringList &args, int *code = nullptr)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        const bool ran = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
        if (code)
            *code = ran ? p.exitCode() : -1;
        return QString::fromUtf8(p.readAll()).trimmed();
    }
    // Where cups-pdf writes: its "Out" setting, ${HOME} being the submitting
    // user's home.
    static QString outFolder()
    {
        QString out = QStringLiteral("${HOME}/PDF");
        QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
        if (conf.open(QIODevice::ReadOnly)) {
            for (const QByteArray &raw : conf.readAll().split('\n')) {
                const QString line = QString::fromUtf8(raw).trimmed();
                if (line.startsWith(QLatin1String("Out ")) || line.startsWith(QLatin1String("Out\t")))
                    out = line.mid(4).trimmed();
            }
        }
        const passwd *user = getpwuid(geteuid());
        return out.replace(QLatin1String("${HOME}"), QString::fromLocal8Bit(user ? user->pw_dir : "/root"));
    }

    QString name_;
};

// Kilobytes of the page cache still to be written to disk.
long unwrittenKb()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return 0;
    long kb = 0;
    for (const QByteArray &line : meminfo.readAll().split('\n')) {
        if (line.startsWith("Dirty:") || line.startsWith("Writeback:"))
            kb += line.simplified().split(' ').value(1).toLong();
    }
    return kb;
}

// Copies of large archives keep the disk busy after they are made, and a
// synced write then waits far longer than it does at a till.
void waitForQuietDisk()
{
    ::sync();
    QElapsedTimer waited;
    waited.start();
    while (unwrittenKb() > 32 * 1024 && waited.elapsed() < 120000)
        QThread::msleep(500);
    QThread::sleep(2);
}

// Columns of text as a terminal shows them: CJK characters take two.
int displayWidth(const QString &s)
{
    int w = 0;
    for (const QChar c : s) {
        const ushort u = c.unicode();
        w += (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3)
                || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
                || (u >= 0xFFE0 && u <= 0xFFE6)
            ? 2
            : 1;
    }
    return w;
}

QString pad(const QString &s, int width, bool right = false)
{
    const QString fill(qMax(0, width - displayWidth(s)), QLatin1Char(' '));
    return right ? fill + s : s + fill;
}

QString number(double v)
{
    if (v < 0)
        return QStringLiteral("—");
    if (v >= 100)
        return QString::number(v, 'f', 0);
    if (v >= 10)
        return QString::number(v, 'f', 1);
    return QString::number(v, 'f', 2);
}

QString sizeName(qint64 n)
{
    return QLocale::c().toString(n);
}

double figureAt(const Samples &s, const QString &key, qint64 size, double scale = 1)
{
    const auto f = s.find(key);
    if (f == s.end() || !f->contains(size))
        return -1;
    return median(f->value(size)) * scale;
}

void printTable(const Run &run)
{
    const qint64 small = run.sizes.front(), large = run.sizes.back();
    int labelWidth = 44;
    for (const Figure &f : kFigures) {
        if (run.program.contains(QString::fromLatin1(f.key)))
            labelWidth = qMax(labelWidth, displayWidth(QString::fromUtf8(f.label)));
    }
    QStringList header{pad(QStringLiteral("operation"), labelWidth), pad(QStringLiteral("unit"), 4)};
    for (qint64 n : run.sizes)
        header << pad(sizeName(n), 10, true);
    header << pad(QStringLiteral("ratio"), 6, true) << pad(QStringLiteral("floor"), 8, true)
           << pad(QStringLiteral("×floor"), 7, true) << QStringLiteral(" target");
    std::printf("\nVelmora on archives of %s tickets (4 lines each); median of every run\n",
                qPrintable([&] {
                    QStringList n;
                    for (qint64 s : run.sizes)
                        n << sizeName(s);
                    return n.join(QStringLiteral(", "));
                }()));
    std::printf("ratio: at %s tickets / at %s; floor: the bare engine (or libxlsxwriter) doing the same work "
                "at %s; ×floor: the figure / its floor\n\n",
                qPrintable(sizeName(large)), qPrintable(sizeName(small)), qPrintable(sizeName(large)));
    std::printf("%s\n", qPrintable(header.join(QLatin1Char(' '))));
    int missed = 0;
    for (const Figure &f : kFigures) {
        const QString key = QString::fromLatin1(f.key);
        if (!run.program.contains(key))
            continue;
        QStringList cells{pad(QString::fromUtf8(f.label), labelWidth), pad(QString::fromUtf8(f.unit), 4)};
        double worst = -1;
        for (qint64 n : run.sizes) {
            const double v = figureAt(run.program, key, n, f.scale);
            worst = qMax(worst, v);
            cells << pad(number(v), 10, true);
        }
        const double at0 = figureAt(run.program, key, small, f.scale);
        const double atN = figureAt(run.program, key, large, f.scale);
        const double ratio = at0 > 0 && atN >= 0 ? atN / at0 : -1;
        const double floor = f.floor ? figureAt(run.floors, QString::fromLatin1(f.floor), large, f.scale) : -1;
        cells << pad(number(ratio), 6, true) << pad(number(floor), 8, true)
              << pad(floor > 0 && atN >= 0 ? number(atN / floor) : QStringLiteral("—"), 7, true);
        QStringList target, failed;
        if (f.target.ratio > 0) {
            target << QStringLiteral("ratio ≤ %1").arg(f.target.ratio);
            if (ratio > f.target.ratio)
                failed << QStringLiteral("ratio");
        }
        if (f.target.largest > 0) {
            const QString where = f.target.everySize ? QString() : QStringLiteral(" at %1").arg(sizeName(large));
            target << QStringLiteral("< %1 %2%3").arg(f.target.largest).arg(QString::fromUtf8(f.unit), where);
            const double v = f.target.everySize ? worst : atN;
            if (v >= f.target.largest)
                failed << QStringLiteral("limit");
        }
        QString verdict = target.isEmpty() ? QString() : failed.isEmpty() ? QStringLiteral("  ok")
                                                                           : QStringLiteral("  MISSED");
        missed += !failed.isEmpty();
        cells << QLatin1Char(' ') + target.join(QStringLiteral(", ")) + verdict;
        std::printf("%s\n", qPrintable(cells.join(QLatin1Char(' '))));
    }
    std::printf("\n%s\n", missed ? qPrintable(QStringLiteral("%1 target(s) missed").arg(missed))
                                 : "every target met");
}

int child(const QStringList &args)
{
    const QString mode = args.value(0);
    Job job{args.value(1).toLongLong(), args.value(2), args.value(3).toInt()};
    if (mode == QLatin1String("program"))
        return measureProgram(job);
    if (mode == QLatin1String("export"))
        return measureExport(job);
    if (mode == QLatin1String("catalogue"))
        return measureCatalogue(job, false);
    if (mode == QLatin1String("catalogue-at"))
        return measureCatalogue(job, true);
    if (mode == QLatin1String("floors"))
        return measureFloors(job);
    if (mode == QLatin1String("export-floor"))
        return measureExportFloor(job);
    if (mode == QLatin1String("catalogue-floors"))
        return measureCatalogueFloors(job);
    std::fprintf(stderr, "unknown mode %s\n", qPrintable(mode));
    return 2;
}

int usage()
{
    std::fprintf(stderr, "usage: velmora_bench [ticket counts...] [--runs N] [--rounds R] [--no-catalogue] "
                         "[--server <libpq connection>]\n");
    return 2;
}

bool shell(const QString &script)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("bash"), {QStringLiteral("-o"), QStringLiteral("pipefail"), QStringLiteral("-ec"), script});
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString quoted(const QString &text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

// The archive's shared tables copied into a database of their own on the
// server, in the archive's row order; the folder points till 1 at it.
bool loadOnServer(const QString &server, const QString &archive, qint64 tickets, const QString &folder)
{
    const QString database = QStringLiteral("velmora_bench_%1").arg(tickets);
    const QString db = server + QStringLiteral(" dbname=") + database;
    QString script = QStringLiteral("psql -X -q -v ON_ERROR_STOP=1 %1 -c 'DROP DATABASE IF EXISTS %2 WITH (FORCE)' "
                                    "-c 'CREATE DATABASE %2'\n")
                         .arg(quoted(server + QStringLiteral(" dbname=postgres")), database);
    script += QStringLiteral("psql -X -q -v ON_ERROR_STOP=1 -f %1 %2 >/dev/null\n")
                  .arg(quoted(QStringLiteral(VELMORA_SERVER_SCHEMA)), quoted(db));
    script += QStringLiteral("psql -X -q -v ON_ERROR_STOP=1 %1 -c 'TRUNCATE spxx, dynr, username'\n").arg(quoted(db));
    const struct {
        const char *table;
        const char *columns;
    } tables[] = {{"spxx", "品名, 单价"},
                  {"dynr", "\"ID\", 店名, 备注"},
                  {"username", "用户名, 密码, 权限"},
                  {"xstj", "单号, 时间, 数量, 金额, 折后, 收银员"},
                  {"xsmx", "单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后"}};
    for (const auto &t : tables) {
        const QString columns = QString::fromUtf8(t.columns);
        QString sqliteColumns = columns;
        sqliteColumns.replace(QLatin1String("\"ID\""), QLatin1String("ID"));
        script += QStringLiteral("sqlite3 -csv %1 %2 | psql -X -q -v ON_ERROR_STOP=1 %3 -c %4\n")
                      .arg(quoted(archive),
                           quoted(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(sqliteColumns,
                                                                                         QString::fromLatin1(t.table))),
                           quoted(db),
                           quoted(QStringLiteral("\\copy %1 (%2) FROM STDIN WITH (FORMAT csv)")
                                      .arg(QString::fromLatin1(t.table), columns)));
    }
    script += QStringLiteral("psql -X -q -v ON_ERROR_STOP=1 %1 -c 'VACUUM ANALYZE'\n").arg(quoted(db));
    if (!shell(script))
        return false;
    QFile ini(QDir(folder).filePath(QStringLiteral("velmora.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    ini.write(QStringLiteral("[server]\nconnection=%1\ntill=1\n").arg(db).toUtf8());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0) {
        app::Application application(argc, argv);
        QStandardPaths::setTestModeEnabled(true); // the desktop launcher stays out of the real home
        return child(application.arguments().mid(2));
    }

    QCoreApplication application(argc, argv);
    Run run;
    bool catalogue = true;
    QString server;
    std::vector<qint64> sizes;
    const QStringList args = application.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--runs"))
            run.runs = args.value(++i).toInt(&ok);
        else if (args[i] == QLatin1String("--rounds"))
            run.rounds = args.value(++i).toInt(&ok);
        else if (args[i] == QLatin1String("--no-catalogue"))
            catalogue = false;
        else if (args[i] == QLatin1String("--server") && i + 1 < args.size())
            server = args[++i];
        else
            sizes.push_back(args[i].toLongLong(&ok));
        if (!ok || run.runs < 1 || run.rounds < 1)
            return usage();
    }
    if (!sizes.empty())
        run.sizes = sizes;
    std::sort(run.sizes.begin(), run.sizes.end());

    QElapsedTimer total;
    total.start();
    QTemporaryDir work(QDir(QDir::tempPath()).filePath(QStringLiteral("velmora-bench-run-XXXXXX")));
    for (qint64 n : run.sizes) {
        const QString archive = cachedArchive(n);
        const QString folder = work.filePath(QString::number(n));
        QDir().mkpath(folder);
        if (!QFile::copy(archive, QDir(folder).filePath(QStringLiteral("data.mdb")))) {
            std::fprintf(stderr, "cannot copy %s\n", qPrintable(archive));
            return 1;
        }
        QFile::setPermissions(QDir(folder).filePath(QStringLiteral("data.mdb")), QFile::ReadOwner | QFile::WriteOwner);
        if (!server.isEmpty()) {
            std::fprintf(stderr, "copying %lld tickets to the server...\n", static_cast<long long>(n));
            if (!loadOnServer(server, archive, n, folder)) {
                std::fprintf(stderr, "cannot copy the archive of %lld tickets to the server\n", static_cast<long long>(n));
                return 1;
            }
            QFile::remove(QDir(folder).filePath(QStringLiteral("data.mdb")));
        }
        run.folders[n] = folder;
    }
    // The floors and the added catalogue are SQLite's own.
    const bool onServer = !server.isEmpty();
    if (onServer)
        catalogue = false;
    const CupsQueue queue;
    std::fprintf(stderr, "waiting for the disk to write the copies back...\n");
    waitForQuietDisk();

    for (int r = 1; r <= run.rounds; ++r) {
        std::fprintf(stderr, "round %d of %d\n", r, run.rounds);
        for (qint64 n : run.sizes)
            runChild(run, "program", n, run.program, run.runs);
        for (qint64 n : run.sizes) {
            if (!onServer)
                runChild(run, "floors", n, run.floors, run.runs);
        }
    }
    for (qint64 n : run.sizes) {
        runChild(run, "export", n, run.program, 3);
        if (!onServer)
            runChild(run, "export-floor", n, run.floors, 3);
    }
    if (catalogue) {
        for (qint64 n : run.sizes)
            addProducts(QDir(run.folders[n]).filePath(QStringLiteral("data.mdb")), kMoreProducts);
        waitForQuietDisk();
        for (qint64 n : run.sizes) {
            runChild(run, "catalogue", n, run.program, run.runs);
            runChild(run, "catalogue-at", n, run.program, run.runs);
            runChild(run, "catalogue-floors", n, run.floors, run.runs);
        }
    }
    if (onServer)
        std::printf("\nOn the server (till 1 of %s); its targets: 添加 < 10 ms, the archive step < 20 ms, "
                    "统计 < 500 ms at 1,000,000 tickets\n",
                    qPrintable(server));
    printTable(run);
    std::printf("(%d rounds of %d runs each; the export 3 runs; %.0f s in all)\n", run.rounds, run.runs,
                total.elapsed() / 1000.0);
    return 0;
}
