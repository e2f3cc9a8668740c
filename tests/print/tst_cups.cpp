// Receipts through a real CUPS scheduler into cups-pdf queues: the page
// size and the number of jobs that reach the printer, and every way a
// printer can refuse, each shown to the cashier with nothing archived.
//
// Needs a running cupsd (scripts/test.sh starts one), the cups-pdf backend
// and the rights to add queues; without them the tests are skipped, saying
// why. The queues are this process's own and go when it ends; the default
// printer is set for this process only (LPDEST), never for the machine.
#include "app/HotKeys.h"
#include "print/Cups.h"
#include "store/AppError.h"
#include "support/PrintSupport.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"

#include <QApplication>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>
#include <cups/cups.h>
#include <memory>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using testing::retype;

namespace {

const QDateTime kOpened(QDate(2024, 3, 5), QTime(9, 30, 0));
const QString kPpd = u"/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"_s;

struct Run {
    int code = -1;
    QString output;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromUtf8(p.readAll()).trimmed();
    return r;
}

// Where cups-pdf writes a job of this user: its "Out" setting, ${HOME}
// being the submitting user's home (not this process's HOME).
QString cupsPdfFolder()
{
    QString out = u"${HOME}/PDF"_s;
    QFile conf(u"/etc/cups/cups-pdf.conf"_s);
    if (conf.open(QIODevice::ReadOnly)) {
        for (const QByteArray &raw : conf.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(u"Out "_s) || line.startsWith(u"Out\t"_s))
                out = line.mid(4).trimmed();
        }
    }
    const passwd *user = getpwuid(geteuid());
    return out.replace(u"${HOME}"_s, QString::fromLocal8Bit(user ? user->pw_dir : "/root"));
}

// A copy of the cups-pdf driver without custom page sizes.
QString writePpdWithoutCustomSizes(const QString &path)
{
    QFile in(kPpd), out(path);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return {};
    bool skipping = false;
    for (const QByteArray &line : in.readAll().split('\n')) {
        if (line.startsWith("*CustomPageSize"))
            skipping = true;
        if (skipping) {
            skipping = !line.startsWith("*End");
            continue;
        }
        if (line.contains("CustomPageSize") || line.startsWith("*VariablePaperSize") || line.startsWith("*MaxMedia"))
            continue;
        out.write(line + '\n');
    }
    return path;
}

struct Job {
    int id;
    ipp_jstate_t state;
};

QList<Job> jobsOf(const QString &queue)
{
    cups_job_t *jobs = nullptr;
    const QByteArray name = queue.toUtf8();
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, name.constData(), 0, CUPS_WHICHJOBS_ALL);
    QList<Job> out;
    for (int i = 0; i < n; ++i)
        out << Job{jobs[i].id, jobs[i].state};
    cupsFreeJobs(n, jobs);
    std::sort(out.begin(), out.end(), [](const Job &a, const Job &b) { return a.id < b.id; });
    return out;
}

std::optional<QSizeF> pdfPageSizeMm(const QString &file)
{
    const Run r = run(u"pdfinfo"_s, {file});
    const auto m = QRegularExpression(u"Page size:\\s+([0-9.]+) x ([0-9.]+) pts"_s).match(r.output);
    if (r.code != 0 || !m.hasMatch())
        return std::nullopt;
    return QSizeF(m.captured(1).toDouble() * 25.4 / 72, m.captured(2).toDouble() * 25.4 / 72);
}

int count(const QString &table)
{
    return testing::scalar(u"select count(*) from "_s + table).toInt();
}

} // namespace

class TestCups : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void receiptsReachThePrinter_data();
    void receiptsReachThePrinter();
    void refusals_data();
    void refusals();
    void refusedSubmission();
    void customSizeRanges();

private:
    void addLines();
    QString queue_;         // cups-pdf with custom page sizes
    QString fixedQueue_;    // cups-pdf without them
    QString outFolder_;
    QTemporaryDir ppdDir_;
    QByteArray previousDest_;
    bool previousDestSet_ = false;
    std::unique_ptr<testing::TempWorkDir> dir_;
    std::unique_ptr<testing::Prompts> prompts_;
    std::unique_ptr<testing::Program> program_;
    std::unique_ptr<app::HotKeys> hotKeys_;
};

void TestCups::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    if (QStandardPaths::findExecutable(u"lpadmin"_s).isEmpty())
        QSKIP("CUPS is not installed (scripts/install-deps.sh installs cups)");
    const Run scheduler = run(u"lpstat"_s, {u"-r"_s});
    if (scheduler.output != u"scheduler is running"_s)
        QSKIP(qPrintable(u"cupsd is not running (%1); scripts/test.sh starts it as root"_s.arg(scheduler.output)));
    if (!QFile::exists(u"/usr/lib/cups/backend/cups-pdf"_s) || !QFile::exists(kPpd))
        QSKIP("the cups-pdf backend is not installed (printer-driver-cups-pdf)");
    if (QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
        QSKIP("pdfinfo is not installed (poppler-utils)");

    const QString tag = QString::number(QCoreApplication::applicationPid());
    queue_ = u"velmora-test-"_s + tag;
    fixedQueue_ = u"velmora-fixed-"_s + tag;
    const QString fixedPpd = writePpdWithoutCustomSizes(ppdDir_.filePath(u"fixed.ppd"_s));
    // A failing job is dropped, not retried for ever.
    for (const auto &[name, ppd] : {std::pair{queue_, kPpd}, {fixedQueue_, fixedPpd}}) {
        const Run added = run(u"lpadmin"_s, {u"-p"_s, name, u"-v"_s, u"cups-pdf:/"_s, u"-E"_s, u"-P"_s, ppd, u"-o"_s,
                                             u"printer-error-policy=abort-job"_s});
        if (added.code != 0)
            QSKIP(qPrintable(u"cannot add a CUPS queue: %1"_s.arg(added.output)));
    }
    outFolder_ = cupsPdfFolder();
    previousDestSet_ = qEnvironmentVariableIsSet("LPDEST");
    previousDest_ = qgetenv("LPDEST");
}

void TestCups::cleanupTestCase()
{
    for (const QString &q : {queue_, fixedQueue_}) {
        if (!q.isEmpty())
            run(u"lpadmin"_s, {u"-x"_s, q});
    }
    if (previousDestSet_)
        qputenv("LPDEST", previousDest_);
    else
        qunsetenv("LPDEST");
}

void TestCups::init()
{
    testing::fixClock(kOpened);
    dir_ = std::make_unique<testing::TempWorkDir>();
    prompts_ = std::make_unique<testing::Prompts>();
    program_ = std::make_unique<testing::Program>();
    print::setPrinter({}); // the real one: CUPS
    hotKeys_ = std::make_unique<app::HotKeys>();
    qputenv("LPDEST", queue_.toUtf8());
    MainForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    MainForm->Timer1Timer();
    retype(MainForm->ComboBox6, u"张三"_s);
}

void TestCups::cleanup()
{
    hotKeys_.reset();
    program_.reset();
    prompts_.reset();
    dir_.reset();
    testing::releaseClock();
    for (const QString &q : {queue_, fixedQueue_}) {
        run(u"cupsenable"_s, {q});
        run(u"cupsaccept"_s, {q});
    }
}

void TestCups::addLines()
{
    testing::addTicketLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    testing::addTicketLine(u"康师傅红烧牛肉面"_s, u"4.5"_s, u"2"_s);
    prompts_->clear();
}

void TestCups::receiptsReachThePrinter_data()
{
    QTest::addColumn<QString>("paper");
    QTest::addColumn<QString>("copies");
    QTest::addColumn<double>("widthMm");
    QTest::addColumn<double>("lengthMm");
    const qreal px = 25.4 / 96;
    // Two lines, no remark, phone option on: 320 + 2 × 25 px (58 mm),
    // 319 + 2 × 25 px (76 mm).
    QTest::newRow("58 mm, one copy") << u"58"_s << u"1"_s << 57.94 << 370 * px;
    QTest::newRow("76 mm, two copies") << u"76"_s << u"2"_s << 75.94 << 369 * px;
}

void TestCups::receiptsReachThePrinter()
{
    QFETCH(QString, paper);
    QFETCH(QString, copies);
    QFETCH(double, widthMm);
    QFETCH(double, lengthMm);
    retype(MainForm->ComboBox5, paper);
    retype(MainForm->ComboBox3, copies);
    const QList<Job> before = jobsOf(queue_);
    const int lastBefore = before.isEmpty() ? 0 : before.last().id;
    addLines();
    QTest::keyClick(MainForm, Qt::Key_F5);
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(count(u"xstj"_s), 1);
    QCOMPARE(count(u"xsxx"_s), 0);

    // One job per copy; the file exists before the job is done, so the job's
    // state is waited for.
    QList<Job> mine;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            mine.clear();
            for (const Job &j : jobsOf(queue_))
                if (j.id > lastBefore)
                    mine << j;
            return mine.size() == copies.toInt()
                && std::all_of(mine.begin(), mine.end(), [](const Job &j) { return j.state >= IPP_JSTATE_STOPPED; });
        }(),
        60000);
    for (const Job &job : mine) {
        QCOMPARE(job.state, IPP_JSTATE_COMPLETED);
        QString file;
        QDirIterator it(outFolder_, {u"*job_%1.pdf"_s.arg(job.id)}, QDir::Files);
        if (it.hasNext())
            file = it.next();
        QVERIFY2(!file.isEmpty(), qPrintable(u"no PDF of job %1 in %2"_s.arg(job.id).arg(outFolder_)));
        const auto size = pdfPageSizeMm(file);
        QFile::remove(file);
        QVERIFY(size);
        // Whole points in the PDF: half a millimetre either way.
        QVERIFY2(std::abs(size->width() - widthMm) <= 0.5, qPrintable(QString::number(size->width())));
        QVERIFY2(std::abs(size->height() - lengthMm) <= 0.5, qPrintable(QString::number(size->height())));
    }
}

void TestCups::refusals_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");
    QTest::newRow("queue rejecting jobs") << u"reject"_s << u"打印机“%1”不接受打印任务"_s;
    QTest::newRow("printer stopped") << u"stop"_s << u"打印机“%1”已停止"_s;
    QTest::newRow("driver without custom sizes") << u"fixed"_s << u"打印机“%2”不支持57.94×97.9毫米的自定义纸张"_s;
    QTest::newRow("no such default printer") << u"none"_s << u"找不到默认打印机"_s;
}

void TestCups::refusals()
{
    QFETCH(QString, how);
    QFETCH(QString, message);
    if (how == u"reject"_s)
        QCOMPARE(run(u"cupsreject"_s, {u"-r"_s, u"纸卷用完"_s, queue_}).code, 0);
    else if (how == u"stop"_s)
        QCOMPARE(run(u"cupsdisable"_s, {u"-r"_s, u"盖子打开"_s, queue_}).code, 0);
    else if (how == u"fixed"_s)
        qputenv("LPDEST", fixedQueue_.toUtf8());
    else
        qputenv("LPDEST", "velmora-no-such-printer");
    const QList<Job> before = jobsOf(queue_);
    addLines();
    const QStringList shownBefore{MainForm->Edit1->text(), MainForm->Label14->text()};

    QTest::keyClick(MainForm, Qt::Key_F5);
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt p = prompts_->log().first();
    qInfo("shown: %s", qPrintable(p.text));
    QCOMPARE(p.icon, msg::Icon::Error);
    const QString expected = QString(message).replace(u"%1"_s, queue_).replace(u"%2"_s, fixedQueue_);
    QVERIFY2(p.text.startsWith(expected), qPrintable(p.text));
    if (how == u"reject"_s)
        QVERIFY2(p.text.contains(u"纸卷用完"_s), qPrintable(p.text));
    if (how == u"stop"_s)
        QVERIFY2(p.text.contains(u"盖子打开"_s), qPrintable(p.text));
    // Nothing printed, nothing archived, the ticket still on screen.
    QCOMPARE(jobsOf(queue_).size(), before.size());
    QCOMPARE(count(u"xstj"_s), 0);
    QCOMPARE(count(u"xsmx"_s), 0);
    QCOMPARE(count(u"xsxx"_s), 2);
    QCOMPARE((QStringList{MainForm->Edit1->text(), MainForm->Label14->text()}), shownBefore);
    QCOMPARE(shownBefore.value(1), u"15"_s);
}

// The check before printing aside, a refused submission itself is an error
// with CUPS's reason, never a job id of 0 taken for success.
void TestCups::refusedSubmission()
{
    QCOMPARE(run(u"cupsreject"_s, {queue_}).code, 0);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"r.pdf"_s);
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4\n%%EOF\n");
    f.close();
    bool refused = false;
    try {
        print::cups::submit(queue_, pdf, QSizeF(57.94, 85.99), u"小票"_s);
    } catch (const AppError &e) {
        refused = true;
        QVERIFY2(e.message().startsWith(u"打印机“%1”拒绝了打印任务("_s.arg(queue_)), qPrintable(e.message()));
        QVERIFY2(e.message().contains(u"not accepting"_s, Qt::CaseInsensitive), qPrintable(e.message()));
    }
    QVERIFY(refused);
}

void TestCups::customSizeRanges()
{
    const auto range = print::cups::customSizeRange(queue_);
    QVERIFY(range);
    QVERIFY(range->first.width() <= 57.94 && range->first.height() <= 80);
    QVERIFY(range->second.width() >= 80 && range->second.height() >= 1000);
    QVERIFY(!print::cups::customSizeRange(fixedQueue_));
    QCOMPARE(print::cups::mediaOption(QSizeF(57.94, 85.99)), u"Custom.57.94x85.99mm"_s);
    QCOMPARE(print::cups::mediaOption(QSizeF(75.94, 120)), u"Custom.75.94x120mm"_s);
}

QTEST_MAIN(TestCups)
#include "tst_cups.moc"
