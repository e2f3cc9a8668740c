// What a checkout costs as the archive grows: the archive step of a 20-line
// ticket (one transaction: the xstj row, 20 xsmx rows, the emptied xsxx;
// target under 20 ms), and a whole checkout printing its receipt to a PDF,
// on archives of 0 and 1,000,000 tickets (three lines each). Neither may
// grow with the archive: the ratio of the medians stays at most 1.5.
//
//   cmake -S . -B build -DVELMORA_BENCH=ON && cmake --build build -j2 --target bench_checkout
//   QT_QPA_PLATFORM=offscreen build/bench/bench_checkout [ticket counts...]
//
// Archives are built once, by plain SQL in one transaction, into
// $TMPDIR/velmora-bench-checkout/<count>.mdb and reused.
#include "app/Forms.h"
#include "print/Printer.h"
#include "report/Output.h"
#include "store/Archive.h"
#include "store/Connection.h"
#include "store/Query.h"
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

constexpr int kLines = 20;

QString archivePath(qint64 tickets)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("velmora-bench-checkout"));
    QDir().mkpath(dir);
    return QDir(dir).filePath(QStringLiteral("%1.mdb").arg(tickets));
}

bool execAll(QSqlDatabase &db, const QStringList &statements, const QVariantList &args = {})
{
    for (const QString &sql : statements) {
        QSqlQuery q(db);
        q.prepare(sql);
        if (sql.contains(QLatin1Char('?')))
            for (const QVariant &a : args)
                q.addBindValue(a);
        if (!q.exec()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
            return false;
        }
    }
    return true;
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
        // One ticket every 97 seconds from 2016 on, three lines each.
        const QString ticket = QStringLiteral(
            "strftime('%Y%m%d%H%M%S', 1451635200 + n.i * 97, 'unixepoch')");
        const QString time = QStringLiteral("strftime('%Y-%m-%d %H:%M:%S', 1451635200 + n.i * 97, 'unixepoch')");
        const QString tickets_ = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) ");
        execAll(db, {QStringLiteral("PRAGMA synchronous=OFF"), QStringLiteral("BEGIN")});
        execAll(db,
                {QStringLiteral("INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员) ") + tickets_
                     + QStringLiteral("SELECT %1, %2, 3, 31.5, 29.9, 'admin' FROM n").arg(ticket, time),
                 QStringLiteral("INSERT INTO xsmx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后) ") + tickets_
                     + QStringLiteral("SELECT %1, %2, '', '', '商品' || l.k, 10.5, 1, 10.5, 9.97 FROM n, "
                                      "(SELECT 0 AS k UNION ALL SELECT 1 UNION ALL SELECT 2) l")
                           .arg(ticket, time)},
                {tickets});
        execAll(db, {QStringLiteral("COMMIT"), QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")});
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
    QFile::rename(tmp, path);
}

// The receipt goes to a PDF, as it does on its way to CUPS.
class PdfPrinter : public print::Printer {
public:
    explicit PdfPrinter(QString file) : file_(std::move(file)) {}
    void print(report::Layout &layout, const report::Data &data, const QString &title) override
    {
        report::writePdf(file_, layout, data, title);
    }

private:
    QString file_;
};

void seedLines(Connection &c)
{
    QSqlQuery q(c.database());
    q.prepare(QStringLiteral("INSERT INTO xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (int i = 0; i < kLines; ++i) {
        q.addBindValue(QStringLiteral("20240305093000"));
        q.addBindValue(QStringLiteral("2024-03-05 09:30:00"));
        q.addBindValue(QStringLiteral("康师傅红烧牛肉面%1").arg(i));
        q.addBindValue(4.5);
        q.addBindValue(2.0);
        q.addBindValue(9.0);
        q.addBindValue(8.55);
        q.exec();
    }
    q.finish();
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

// One archive under test: its working copy, and for the archive step a
// connection with the queries the main window keeps open.
struct Archive {
    qint64 tickets = 0;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Query> lines, tickets_, archived;
    std::vector<double> archiveMs, checkoutMs;
};

const archive::Ticket kTicket{QStringLiteral("20240305093000"), QStringLiteral("2024-03-05 09:30:00"),
                              QStringLiteral("40"), QStringLiteral("180"), QStringLiteral("171"),
                              QStringLiteral("admin"), QStringLiteral("王先生"), QStringLiteral("13800138000")};

// The archive step alone.
double timeArchiveStep(Archive &a)
{
    QDir::setCurrent(a.work->path());
    if (!a.connection) {
        a.connection = std::make_unique<Connection>(connstr::runtime());
        a.connection->open();
        a.lines = std::make_unique<Query>(*a.connection, QStringLiteral("select * from xsxx"));
        a.tickets_ = std::make_unique<Query>(*a.connection, QStringLiteral("select * from xstj"));
        a.archived = std::make_unique<Query>(*a.connection, QStringLiteral("select * from xsmx"));
    }
    seedLines(*a.connection);
    for (Query *q : {a.lines.get(), a.tickets_.get(), a.archived.get()}) {
        q->close();
        q->open();
    }
    QElapsedTimer timer;
    timer.start();
    archive::archiveTicket(*a.connection, *a.lines, *a.tickets_, *a.archived, kTicket);
    return timer.nsecsElapsed() / 1e6;
}

// A whole checkout from 打印(F5): the receipt to a PDF, the archive, the
// next ticket; the windows made over this archive for it.
double timeCheckout(Archive &a)
{
    QDir::setCurrent(a.work->path());
    print::setPrinter(std::make_unique<PdfPrinter>(a.work->filePath(QStringLiteral("receipt.pdf"))));
    app::createForms();
    TMainForm *f = MainForm;
    f->Timer1Timer();
    f->ComboBox6->setEditText(QStringLiteral("admin"));
    for (int i = 0; i < kLines; ++i) {
        f->ComboBox1->setEditText(QStringLiteral("康师傅红烧牛肉面%1").arg(i));
        f->Edit3->setText(QStringLiteral("4.5"));
        f->Edit4->setText(QStringLiteral("2"));
        f->AmountKeyUp();
        f->SpeedButton2Click();
    }
    QElapsedTimer timer;
    timer.start();
    f->SpeedButton6Click();
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!f->ADOQuery2.isEmpty())
        std::fprintf(stderr, "the checkout left lines behind\n");
    app::destroyForms();
    print::setPrinter({});
    return ms;
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
        counts = {0, 1000000};

    std::vector<Archive> archives(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) {
        Archive &a = archives[i];
        a.tickets = counts[i];
        const QString source = archivePath(a.tickets);
        buildArchive(a.tickets, source);
        a.work = std::make_unique<QTemporaryDir>();
        QFile::copy(source, a.work->filePath(QStringLiteral("data.mdb")));
        QFile::setPermissions(a.work->filePath(QStringLiteral("data.mdb")), QFile::ReadOwner | QFile::WriteOwner);
    }
    // The copies leave hundreds of MiB to write back; measuring while the
    // disk does that would time the copy, not the program.
    ::sync();

    // The archives take turns, round by round, so that whatever else the
    // machine does weighs on each of them alike. Round 0 warms up. The archive
    // step, a few milliseconds mostly spent waiting for the disk, takes more
    // rounds than the whole checkout.
    constexpr int kArchiveRounds = 100, kCheckoutRounds = 20;
    for (int round = 0; round <= kArchiveRounds; ++round) {
        for (Archive &a : archives) {
            const double archiveMs = timeArchiveStep(a);
            const double checkoutMs = round <= kCheckoutRounds ? timeCheckout(a) : -1;
            if (round == 0)
                continue;
            a.archiveMs.push_back(archiveMs);
            if (checkoutMs >= 0)
                a.checkoutMs.push_back(checkoutMs);
        }
    }

    std::printf("%-10s %14s %14s %14s %14s %12s\n", "tickets", "archive med", "archive min", "checkout med",
                "checkout min", "max RSS MiB");
    for (Archive &a : archives) {
        std::printf("%-10lld %11.2f ms %11.2f ms %11.2f ms %11.2f ms %12.1f\n", static_cast<long long>(a.tickets),
                    median(a.archiveMs), *std::min_element(a.archiveMs.begin(), a.archiveMs.end()),
                    median(a.checkoutMs), *std::min_element(a.checkoutMs.begin(), a.checkoutMs.end()),
                    maxRssKb() / 1024.0);
    }
    if (archives.size() >= 2) {
        const Archive &small = archives.front(), &large = archives.back();
        std::printf("largest/smallest archive, medians: archive step %.2f, checkout %.2f (at most 1.5)\n",
                    median(large.archiveMs) / median(small.archiveMs),
                    median(large.checkoutMs) / median(small.checkoutMs));
    }
    for (Archive &a : archives) {
        a.archived.reset();
        a.tickets_.reset();
        a.lines.reset();
        a.connection.reset();
    }
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
