// Receipts through a real CUPS scheduler: cups-pdf queues for the pages that
// arrive, and queues whose backends fail the way receipt printers fail (a
// failed job, paper out, a held job, a device that never answers), a print
// service that accepts and never answers and one that is not there. Each
// failure is told in Chinese with what to do, nothing is archived, and no job
// is left to print later.
//
// Needs a running cupsd (scripts/test.sh starts one), the cups-pdf backend
// and root (to add queues and backends); without them the tests that need
// them are skipped, saying why. The queues and backends are this process's
// own and go when it ends; the default printer is set for this process only
// (LPDEST), never for the machine.
#include "app/HotKeys.h"
#include "print/Cups.h"
#include "base/AppError.h"
#include "support/PrintSupport.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>
#include <cups/cups.h>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using testing::retype;

namespace {

const QDateTime kOpened(QDate(2024, 3, 5), QTime(9, 30, 0));
const QString kPpd = u"/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"_s;
const QString kBackends = u"/usr/lib/cups/backend"_s;
const QString kKept = u"。单据已保留，处理好打印机后按F5重新打印。"_s;

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

// Asked on the default connection of this thread, which the tests point back
// at the real scheduler before they ask.
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

// A TCP socket on 127.0.0.1 that listens and never answers: the system takes
// each connection (the listen backlog), nobody reads it.
class SilentServer {
public:
    SilentServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd_, 16) != 0
            || ::getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &length) != 0)
            return;
        port_ = ntohs(addr.sin_port);
    }
    ~SilentServer() { close(); }
    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    quint16 port() const { return port_; }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

// A TCP port on which nothing listens (one just let go).
quint16 closedPort()
{
    SilentServer probe;
    return probe.port();
}

// Counts its ticks while the window waits for the printer.
struct Ticks {
    QTimer timer;
    int count = 0;
    Ticks()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { ++count; });
        timer.start(50);
    }
};

} // namespace

class TestCups : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    // The cashier's words; no scheduler needed.
    void reasons_data();
    void reasons();
    void readiness_data();
    void readiness();

    void receiptsReachThePrinter_data();
    void receiptsReachThePrinter();
    void refusals_data();
    void refusals();
    void failingPrinters_data();
    void failingPrinters();
    void paperOutRefusedBeforeSubmitting();
    void serviceNeverAnswers();
    void noService_data();
    void noService();
    void refusedSubmission();
    void customSizeRanges();

private:
    bool needCups();
    void addLines();
    // A queue of this process on its own backend (a few lines of shell) or
    // device; removed at the end of the test.
    QString addQueue(const QString &tag, const QString &device, const QStringList &options = {});
    QString addBackend(const QString &tag, const QString &script);
    // F5 with two lines on the ticket; the one message shown.
    QString refusedCheckout();
    QString cupsMissing_;
    QString queue_; // cups-pdf with custom page sizes
    QString fixedQueue_; // cups-pdf without them
    QStringList ownQueues_; // the current test's
    QStringList ownBackends_;
    QString outFolder_;
    QTemporaryDir ppdDir_;
    QByteArray previousDest_;
    bool previousDestSet_ = false;
    std::unique_ptr<testing::Session> session_;
    testing::Prompts *prompts_ = nullptr;
    std::unique_ptr<app::HotKeys> hotKeys_;
};

void TestCups::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    previousDestSet_ = qEnvironmentVariableIsSet("LPDEST");
    previousDest_ = qgetenv("LPDEST");
    const Run scheduler = run(u"lpstat"_s, {u"-r"_s});
    if (QStandardPaths::findExecutable(u"lpadmin"_s).isEmpty())
        cupsMissing_ = u"CUPS is not installed (scripts/install-deps.sh installs cups)"_s;
    else if (scheduler.output != u"scheduler is running"_s)
        cupsMissing_ = u"cupsd is not running (%1); scripts/test.sh starts it as root"_s.arg(scheduler.output);
    else if (geteuid() != 0)
        cupsMissing_ = u"not root: the test installs its own CUPS backends"_s;
    else if (!QFile::exists(kBackends + u"/cups-pdf"_s) || !QFile::exists(kPpd))
        cupsMissing_ = u"the cups-pdf backend is not installed (printer-driver-cups-pdf)"_s;
    else if (QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
        cupsMissing_ = u"pdfinfo is not installed (poppler-utils)"_s;
    if (!cupsMissing_.isEmpty())
        return;

    const QString tag = QString::number(QCoreApplication::applicationPid());
    queue_ = u"velmora-test-"_s + tag;
    fixedQueue_ = u"velmora-fixed-"_s + tag;
    const QString fixedPpd = writePpdWithoutCustomSizes(ppdDir_.filePath(u"fixed.ppd"_s));
    // A failing job is dropped, not retried for ever.
    for (const auto &[name, ppd] : {std::pair{queue_, kPpd}, {fixedQueue_, fixedPpd}}) {
        const Run added = run(u"lpadmin"_s,
                              {u"-p"_s, name, u"-v"_s, u"cups-pdf:/"_s, u"-E"_s, u"-P"_s, ppd, u"-o"_s,
                               u"printer-error-policy=abort-job"_s});
        if (added.code != 0) {
            cupsMissing_ = u"cannot add a CUPS queue: %1"_s.arg(added.output);
            return;
        }
    }
    outFolder_ = cupsPdfFolder();
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

bool TestCups::needCups()
{
    if (cupsMissing_.isEmpty())
        return true;
    QTest::qSkip(qPrintable(cupsMissing_), __FILE__, __LINE__);
    return false;
}

void TestCups::init()
{
    testing::fixClock(kOpened);
    session_ = std::make_unique<testing::Session>();
    prompts_ = &session_->prompts();
    print::setPrinter({}); // the real one: CUPS
    print::cups::setTimeouts({2000, 20000});
    hotKeys_ = std::make_unique<app::HotKeys>();
    qputenv("LPDEST", queue_.toUtf8());
    MainForm->Timer1Timer();
    retype(MainForm->ComboBox6, u"张三"_s);
}

void TestCups::cleanup()
{
    hotKeys_.reset();
    session_.reset();
    testing::releaseClock();
    cupsSetServer(nullptr);
    print::cups::setTimeouts({});
    if (cupsMissing_.isEmpty()) {
        for (const QString &q : {queue_, fixedQueue_}) {
            run(u"cupsenable"_s, {q});
            run(u"cupsaccept"_s, {q});
        }
    }
    for (const QString &q : std::as_const(ownQueues_)) {
        run(u"cancel"_s, {u"-a"_s, q});
        run(u"lpadmin"_s, {u"-x"_s, q});
    }
    ownQueues_.clear();
    for (const QString &b : std::as_const(ownBackends_))
        QFile::remove(b);
    ownBackends_.clear();
}

void TestCups::addLines()
{
    testing::addTicketLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    testing::addTicketLine(u"康师傅红烧牛肉面"_s, u"4.5"_s, u"2"_s);
    prompts_->clear();
}

QString TestCups::addBackend(const QString &tag, const QString &script)
{
    const QString name = u"velmora-%1-%2"_s.arg(tag).arg(QCoreApplication::applicationPid());
    const QString path = kBackends + u"/"_s + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    // Without arguments CUPS asks a backend for its devices: none.
    file.write("#!/bin/sh\n[ $# -eq 0 ] && exit 0\n" + script.toUtf8() + '\n');
    file.close();
    // Owned by root and not world-readable: cupsd runs it as root.
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ownBackends_ << path;
    return name + u":/"_s;
}

QString TestCups::addQueue(const QString &tag, const QString &device, const QStringList &options)
{
    const QString name = u"velmora-%1-%2"_s.arg(tag).arg(QCoreApplication::applicationPid());
    QStringList args{
        u"-p"_s, name, u"-v"_s, device, u"-E"_s, u"-P"_s, kPpd, u"-o"_s, u"printer-error-policy=abort-job"_s};
    for (const QString &o : options)
        args << u"-o"_s << o;
    const Run added = run(u"lpadmin"_s, args);
    if (added.code != 0) {
        qWarning("lpadmin: %s", qPrintable(added.output));
        return {};
    }
    ownQueues_ << name;
    return name;
}

QString TestCups::refusedCheckout()
{
    addLines();
    QTest::keyClick(MainForm, Qt::Key_F5);
    if (prompts_->log().size() != 1)
        return u"%1 messages: %2"_s.arg(prompts_->log().size()).arg(prompts_->texts().join(u" / "_s));
    const msg::Prompt p = prompts_->log().first();
    if (p.icon != msg::Icon::Error)
        return u"not an error: "_s + p.text;
    return p.text;
}

void TestCups::reasons_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("blocks");
    QTest::newRow("paper out") << u"media-empty-error"_s << u"缺纸"_s << true;
    QTest::newRow("paper out, reported") << u"media-empty-report"_s << u"缺纸"_s << true;
    QTest::newRow("paper out, plain") << u"media-empty"_s << u"缺纸"_s << true;
    QTest::newRow("jam") << u"media-jam-error"_s << u"卡纸"_s << true;
    QTest::newRow("offline") << u"offline-report"_s << u"脱机"_s << true;
    QTest::newRow("cover open") << u"cover-open-error"_s << u"上盖打开"_s << true;
    QTest::newRow("connecting") << u"connecting-to-device"_s << u"无法连接打印机"_s << true;
    QTest::newRow("paused") << u"paused"_s << u"已暂停"_s << false;
    QTest::newRow("paper low") << u"media-low-warning"_s << u"纸快用完了"_s << false;
    QTest::newRow("CUPS's warning") << u"cups-missing-filter-warning"_s << u"缺少打印驱动的转换程序"_s << false;
    QTest::newRow("unknown error") << u"cutter-jam-error"_s << u"打印机故障(cutter-jam-error)"_s << true;
    QTest::newRow("unknown report") << u"velmora-report"_s << u"打印机状态(velmora-report)"_s << false;
}

void TestCups::reasons()
{
    QFETCH(QString, keyword);
    QFETCH(QString, text);
    QFETCH(bool, blocks);
    QCOMPARE(print::cups::reasonText(keyword), text);
    QCOMPARE(print::cups::reasonBlocks(keyword), blocks);
}

void TestCups::readiness_data()
{
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<bool>("accepting");
    QTest::addColumn<QStringList>("reasons");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("refusal"); // empty: ready
    const QString r = u"打印机“Receipt”"_s;
    const QString none = u"，小票没有打印"_s + kKept;
    QTest::newRow("idle") << false << true << QStringList() << QString() << QString();
    QTest::newRow("a warning") << false << true << QStringList{u"cups-missing-filter-warning"_s, u"media-low-report"_s}
                               << QString() << QString();
    QTest::newRow("stopped") << true << true << QStringList{u"paused"_s} << QString() << r + u"已停止"_s + none;
    QTest::newRow("stopped, CUPS's word")
        << true << true << QStringList{u"paused"_s} << u"Paused"_s << r + u"已停止"_s + none;
    QTest::newRow("stopped with a reason")
        << true << true << QStringList{u"paused"_s} << u"盖子打开"_s << r + u"已停止(盖子打开)"_s + none;
    QTest::newRow("stopped, paper out") << true << true << QStringList{u"paused"_s, u"media-empty-error"_s} << QString()
                                        << r + u"已停止(缺纸)"_s + none;
    QTest::newRow("rejecting") << false << false << QStringList() << u"纸卷用完"_s
                               << r + u"不接受打印任务(纸卷用完)"_s + none;
    QTest::newRow("paper out") << false << true << QStringList{u"media-empty-error"_s} << QString()
                               << r + u"：缺纸"_s + none;
    QTest::newRow("jam and cover") << false << true << QStringList{u"media-jam-error"_s, u"cover-open-report"_s}
                                   << QString() << r + u"：卡纸，上盖打开"_s + none;
    QTest::newRow("offline, CUPS's text")
        << false << true << QStringList{u"offline-report"_s} << u"The printer is not connected."_s
        << r + u"：脱机，打印机没有连接"_s + none;
    QTest::newRow("connecting") << false << true << QStringList{u"connecting-to-device"_s} << QString()
                                << r + u"：无法连接打印机"_s + none;
    QTest::newRow("unknown error, its own text")
        << false << true << QStringList{u"cutter-jam-error"_s} << u"cutter stuck"_s
        << r + u"：打印机故障(cutter-jam-error)，cutter stuck"_s + none;
}

void TestCups::readiness()
{
    QFETCH(bool, stopped);
    QFETCH(bool, accepting);
    QFETCH(QStringList, reasons);
    QFETCH(QString, message);
    QFETCH(QString, refusal);
    print::cups::Destination d;
    d.name = u"Receipt"_s;
    d.stopped = stopped;
    d.accepting = accepting;
    d.reasons = reasons;
    d.message = message;
    QString shown;
    try {
        print::cups::requireReady(d);
    } catch (const AppError &e) {
        shown = e.message();
    }
    QCOMPARE(shown, refusal);
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
    if (!needCups())
        return;
    QFETCH(QString, paper);
    QFETCH(QString, copies);
    QFETCH(double, widthMm);
    QFETCH(double, lengthMm);
    retype(MainForm->ComboBox5, paper);
    retype(MainForm->ComboBox3, copies);
    const QList<Job> before = jobsOf(queue_);
    const int lastBefore = before.isEmpty() ? 0 : before.last().id;
    addLines();
    // No receipt lies in a temporary file, not even while it prints.
    QTemporaryDir tmp;
    const QByteArray previousTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    Ticks ticks;
    QStringList leftWhilePrinting;
    QObject::connect(&ticks.timer, &QTimer::timeout, [&] {
        leftWhilePrinting << QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    });
    QTest::keyClick(MainForm, Qt::Key_F5);
    qputenv("TMPDIR", previousTmp);
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(count(u"xstj"_s), 1);
    QCOMPARE(count(u"xsxx"_s), 0);
    QVERIFY2(ticks.count > 0, "the window was frozen while the receipt printed");
    QCOMPARE(leftWhilePrinting, QStringList());
    QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());

    // The checkout returned once every copy's job completed.
    QList<Job> mine;
    for (const Job &j : jobsOf(queue_)) {
        if (j.id > lastBefore)
            mine << j;
    }
    QCOMPARE(mine.size(), copies.toInt());
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
    const QString none = u"，小票没有打印"_s + kKept;
    QTest::newRow("queue rejecting jobs") << u"reject"_s << u"打印机“%1”不接受打印任务(纸卷用完)"_s + none;
    QTest::newRow("printer stopped") << u"stop"_s << u"打印机“%1”已停止(盖子打开)"_s + none;
    QTest::newRow("driver without custom sizes")
        << u"fixed"_s << u"打印机“%2”不支持57.94×97.9毫米的自定义纸张"_s + none;
    QTest::newRow("no such default printer") << u"missing"_s << u"找不到默认打印机“velmora-no-such-printer”"_s + none;
    QTest::newRow("no default printer at all") << u"nodefault"_s << u"没有设置默认打印机"_s + none;
}

void TestCups::refusals()
{
    if (!needCups())
        return;
    QFETCH(QString, how);
    QFETCH(QString, message);
    QTemporaryDir home;
    const QByteArray previousHome = qgetenv("HOME");
    if (how == u"reject"_s) {
        QCOMPARE(run(u"cupsreject"_s, {u"-r"_s, u"纸卷用完"_s, queue_}).code, 0);
    } else if (how == u"stop"_s) {
        QCOMPARE(run(u"cupsdisable"_s, {u"-r"_s, u"盖子打开"_s, queue_}).code, 0);
    } else if (how == u"fixed"_s) {
        qputenv("LPDEST", fixedQueue_.toUtf8());
    } else if (how == u"missing"_s) {
        qputenv("LPDEST", "velmora-no-such-printer");
    } else {
        qunsetenv("LPDEST");
        qputenv("HOME", home.path().toLocal8Bit()); // no lpoptions of its own
        if (run(u"lpstat"_s, {u"-d"_s}).output.contains(u"system default destination:"_s)) {
            qputenv("HOME", previousHome);
            QSKIP("this machine has a default printer of its own");
        }
    }
    const QList<Job> before = jobsOf(queue_);
    const QStringList shownBefore{MainForm->Edit1->text(), MainForm->Label14->text()};
    const QString shown = refusedCheckout();
    qputenv("HOME", previousHome);
    const QString expected = QString(message).replace(u"%1"_s, queue_).replace(u"%2"_s, fixedQueue_);
    QCOMPARE(shown, ui::withFullStop(expected));
    // Nothing printed, nothing archived, the ticket still on screen.
    QCOMPARE(jobsOf(queue_).size(), before.size());
    QCOMPARE(count(u"xstj"_s), 0);
    QCOMPARE(count(u"xsmx"_s), 0);
    QCOMPARE(count(u"xsxx"_s), 2);
    QCOMPARE(MainForm->Label14->text(), u"15"_s);
    QCOMPARE(MainForm->Edit1->text(), shownBefore.value(0));
}

void TestCups::failingPrinters_data()
{
    QTest::addColumn<QString>("backend"); // the backend's shell, or a device URI
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("jobMs");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("endState");
    const QString none = u"，小票没有打印"_s + kKept;
    const QString cancelled = u"，打印任务已取消"_s + kKept;
    QTest::newRow("the printer fails the job")
        << u"cat >/dev/null\necho 'ERROR: paper cutter failed' >&2\nexit 1"_s << QStringList() << 20000
        << u"打印机“%1”中止了打印任务(paper cutter failed)"_s + none << int(IPP_JSTATE_ABORTED);
    QTest::newRow("paper runs out, the printer waits")
        // The message first: the fault, once seen, comes with it.
        << u"echo 'INFO: out of paper' >&2\necho 'STATE: +media-empty-error' >&2\nexec sleep 60"_s << QStringList()
        << 20000 << u"打印机“%1”：缺纸，out of paper，小票没有打印"_s + cancelled << int(IPP_JSTATE_CANCELED);
    QTest::newRow("the job is held") << u"cups-pdf:/"_s << QStringList{u"job-hold-until-default=indefinite"_s} << 20000
                                     << u"打印机“%1”把打印任务挂起了，小票没有打印"_s + cancelled
                                     << int(IPP_JSTATE_CANCELED);
    QTest::newRow("the device never answers")
        << u"socket://127.0.0.1:%1"_s.arg(closedPort()) << QStringList() << 6000
        << u"打印机“%1”在6秒内没有打完小票(无法连接打印机"_s << int(IPP_JSTATE_CANCELED);
}

void TestCups::failingPrinters()
{
    if (!needCups())
        return;
    QFETCH(QString, backend);
    QFETCH(QStringList, options);
    QFETCH(int, jobMs);
    QFETCH(QString, message);
    QFETCH(int, endState);
    const bool device = backend.contains(u":/"_s) && !backend.contains(u'\n');
    const QString uri = device ? backend : addBackend(u"failing"_s, backend);
    QVERIFY(!uri.isEmpty());
    const QString queue = addQueue(u"failing"_s, uri, options);
    QVERIFY(!queue.isEmpty());
    qputenv("LPDEST", queue.toUtf8());
    print::cups::setTimeouts({2000, jobMs});

    Ticks ticks;
    QElapsedTimer waited;
    waited.start();
    const QString shown = refusedCheckout();
    const qint64 waitedMs = waited.elapsed();
    const QString expected = QString(message).replace(u"%1"_s, queue);
    if (expected.endsWith(kKept))
        QCOMPARE(shown, ui::withFullStop(expected));
    else
        QVERIFY2(shown.startsWith(expected) && shown.endsWith(ui::withFullStop(u"，打印任务已取消"_s + kKept)),
                 qPrintable(shown));
    // A job the scheduler fails at once (held) may end before the first
    // tick; one followed for longer must leave the window running.
    if (waitedMs > 250)
        QVERIFY2(ticks.count > 0, "the window was frozen while the job was followed");
    // Nothing archived, the ticket kept for F5 once the printer is mended.
    QCOMPARE(count(u"xstj"_s), 0);
    QCOMPARE(count(u"xsxx"_s), 2);
    // One job, ended in CUPS: it can never print later.
    const QList<Job> jobs = jobsOf(queue);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(int(jobs.first().state), endState);
}

// A printer that reports no paper is refused like a stopped one: no job is
// queued behind the fault to print once paper is in.
void TestCups::paperOutRefusedBeforeSubmitting()
{
    if (!needCups())
        return;
    const QString uri = addBackend(u"empty"_s, u"echo 'STATE: +media-empty-error' >&2\nexec sleep 60"_s);
    const QString queue = addQueue(u"empty"_s, uri);
    QVERIFY(!queue.isEmpty());
    qputenv("LPDEST", queue.toUtf8());
    const QString first = refusedCheckout();
    QVERIFY2(first.contains(u"缺纸"_s), qPrintable(first));
    QCOMPARE(jobsOf(queue).size(), 1);
    prompts_->clear();
    // CUPS keeps the reason after the job went: the next F5 sends nothing.
    QTest::keyClick(MainForm, Qt::Key_F5);
    QCOMPARE(prompts_->texts(), QStringList{ui::withFullStop(u"打印机“%1”：缺纸，小票没有打印"_s.arg(queue) + kKept)});
    QCOMPARE(jobsOf(queue).size(), 1);
    QCOMPARE(count(u"xsxx"_s), 2);
}

// A scheduler that takes the connection and never answers costs the service
// time limit, not libcups's minute, and the window goes on meanwhile.
void TestCups::serviceNeverAnswers()
{
    SilentServer silent;
    QVERIFY(silent.port() != 0);
    print::cups::setTimeouts({1000, 20000});
    addLines();
    cupsSetServer(qPrintable(u"127.0.0.1:%1"_s.arg(silent.port())));
    Ticks ticks;
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(MainForm, Qt::Key_F5);
    const qint64 took = clock.elapsed();
    cupsSetServer(nullptr);
    QCOMPARE(prompts_->texts(),
             QStringList{ui::withFullStop(u"打印服务(CUPS)在1秒内没有响应，小票没有打印"_s + kKept)});
    QVERIFY2(took < 10000, qPrintable(QString::number(took)));
    QVERIFY2(ticks.count >= 10, qPrintable(u"the window's timer fired %1 times in %2 ms"_s.arg(ticks.count).arg(took)));
    QCOMPARE(count(u"xstj"_s), 0);
    QCOMPARE(count(u"xsxx"_s), 2);
}

void TestCups::noService_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("nothing on the port") << u"127.0.0.1:%1"_s.arg(closedPort());
    QTest::newRow("no socket") << QDir::temp().filePath(u"velmora-no-cupsd.sock"_s);
}

// No scheduler at all is told as such, not as a missing default printer.
void TestCups::noService()
{
    QFETCH(QString, server);
    addLines();
    cupsSetServer(qPrintable(server));
    QTest::keyClick(MainForm, Qt::Key_F5);
    cupsSetServer(nullptr);
    QCOMPARE(prompts_->texts(), QStringList{ui::withFullStop(u"打印服务(CUPS)没有运行，小票没有打印"_s + kKept)});
    QCOMPARE(count(u"xstj"_s), 0);
    QCOMPARE(count(u"xsxx"_s), 2);
}

// The check before printing aside, a refused submission itself is an error
// with the reason, never a job id of 0 taken for success.
void TestCups::refusedSubmission()
{
    if (!needCups())
        return;
    QCOMPARE(run(u"cupsreject"_s, {queue_}).code, 0);
    const QList<Job> before = jobsOf(queue_);
    QString refused;
    try {
        print::cups::submit(queue_, "%PDF-1.4\n%%EOF\n", QSizeF(57.94, 85.99), u"小票"_s);
    } catch (const AppError &e) {
        refused = e.message();
    }
    QCOMPARE(refused, u"打印机“%1”拒绝了打印任务(打印机不接受打印任务)，小票没有打印"_s.arg(queue_) + kKept);
    QCOMPARE(jobsOf(queue_).size(), before.size());
}

void TestCups::customSizeRanges()
{
    QCOMPARE(print::cups::mediaOption(QSizeF(57.94, 85.99)), u"Custom.57.94x85.99mm"_s);
    QCOMPARE(print::cups::mediaOption(QSizeF(75.94, 120)), u"Custom.75.94x120mm"_s);
    if (!needCups())
        return;
    const auto range = print::cups::customSizeRange(queue_);
    QVERIFY(range);
    QVERIFY(range->first.width() <= 57.94 && range->first.height() <= 80);
    QVERIFY(range->second.width() >= 80 && range->second.height() >= 1000);
    QVERIFY(!print::cups::customSizeRange(fixedQueue_));
}

QTEST_MAIN(TestCups)
#include "tst_cups.moc"
