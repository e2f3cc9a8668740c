// The disk refuses writes while the cashier adds a line or checks a ticket
// out: a full small file system where this machine lets the test mount one,
// and on every machine write errors put into SQLite's file layer at each step
// of the archive's commit (the journal written and synced, data.mdb written
// and synced, the journal deleted). Each time the error is shown, nothing is
// half-written, the ticket stays on screen and in data.mdb, and once the disk
// takes writes again the same click succeeds, archiving the ticket once.
#include "support/Cashier.h"
#include "support/DamagedFiles.h"
#include "support/FaultyDisk.h"
#include "support/PrintSupport.h"
#include "support/TestSupport.h"
#include "ticket/MainUnit.h"
#include "history/XstjUnit.h"
#include "ui/ListGrid.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using namespace Qt::StringLiterals;
using Disk = testing::FaultyDisk;

namespace {

const QDateTime kOpened(QDate(2024, 3, 5), QTime(9, 30, 0));

// A file system of a few hundred kilobytes mounted for one test, filled up
// on demand. Mounting needs root and a machine that allows it.
class SmallDisk {
public:
    explicit SmallDisk(const QString &at) : at_(at)
    {
        QDir().mkpath(at);
        if (::mount("velmora-small-disk", QFile::encodeName(at).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=512k")
            != 0)
            why_ = QString::fromLocal8Bit(std::strerror(errno));
        else
            mounted_ = true;
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(QFile::encodeName(at_).constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    QString why() const { return why_; }
    // Writes a file until the disk is full.
    void fill()
    {
        QFile f(at_ + u"/filler"_s);
        f.open(QIODevice::WriteOnly);
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
    }
    void makeRoom() { QFile::remove(at_ + u"/filler"_s); }

private:
    QString at_;
    QString why_;
    bool mounted_ = false;
};

struct Fault {
    bool smallDisk = false; // else injected
    Disk::Op op = Disk::Op::Write;
    Disk::File file = Disk::File::Journal;
    int nth = 1;
    Disk::Failure failure = Disk::Failure::IoError;
};

// The engine's words the error display must show for the fault.
QString expectedWords(const Fault &f)
{
    return f.smallDisk || f.failure == Disk::Failure::Full ? u"磁盘已满"_s : u"读写数据库文件时出错"_s;
}

QList<QStringList> workingLines()
{
    return testing::rows(u"select 单号, 品名, 单价, 数量, 金额, 折后 from xsxx order by ID"_s);
}

QString errorPrompts(const testing::Prompts &prompts)
{
    QStringList out;
    for (const msg::Prompt &p : prompts.log())
        out << (p.icon == msg::Icon::Error ? u"error: "_s : u"other: "_s) + p.text;
    return out.join(u" | "_s);
}

QStringList screenOfTicket()
{
    const TMainForm *f = MainForm;
    return {f->Edit1->text(), QString::number(f->DBGridEh1->model()->rowCount()), f->Label13->text(),
            f->Label14->text(), f->Label15->text()};
}

void addFaultRows(bool checkout)
{
    QTest::addColumn<bool>("smallDisk");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("file");
    QTest::addColumn<int>("nth");
    QTest::addColumn<int>("failure");
    auto row = [](const char *name, Disk::Op op, Disk::File file, int nth, Disk::Failure failure) {
        QTest::newRow(name) << false << int(op) << int(file) << nth << int(failure);
    };
    QTest::newRow("full file system") << true << 0 << 0 << 0 << 0;
    using O = Disk::Op;
    using F = Disk::File;
    row("journal write fails, disk full", O::Write, F::Journal, 1, Disk::Failure::Full);
    row("journal write fails", O::Write, F::Journal, 1, Disk::Failure::IoError);
    row("journal sync fails", O::Sync, F::Journal, 1, Disk::Failure::IoError);
    row("data.mdb write fails", O::Write, F::Database, 1, Disk::Failure::IoError);
    row("data.mdb sync fails", O::Sync, F::Database, 1, Disk::Failure::IoError);
    row("journal delete fails", O::Delete, F::Journal, 1, Disk::Failure::IoError);
    if (checkout) {
        // The archive writes several pages of data.mdb: one of the later ones.
        row("second data.mdb write fails", O::Write, F::Database, 2, Disk::Failure::IoError);
        row("second journal write fails", O::Write, F::Journal, 2, Disk::Failure::Full);
    }
}

} // namespace

class TestDiskFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void checkoutOnRefusingDisk_data() { addFaultRows(true); }
    void checkoutOnRefusingDisk();
    void addOnRefusingDisk_data() { addFaultRows(false); }
    void addOnRefusingDisk();
    void damagedPageMetInARead();
    void readOnlyThenWritable();

private:
    // Starts the program on the test's data.mdb, on the small disk when the
    // row asks for it (false: it cannot be mounted here).
    bool start();
    // The same, on the disk as it is (no fault of a row).
    bool startProgram();
    void refuse();
    void mend();
    void clickOnRefusingDisk(QWidget *button);

    Fault fault_;
    std::optional<testing::TempWorkDir> dir_;
    std::optional<Disk> disk_;
    std::optional<SmallDisk> small_;
    std::optional<testing::Prompts> prompts_;
    std::optional<testing::Program> program_;
};

void TestDiskFaults::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestDiskFaults::init()
{
    testing::fixClock(kOpened);
    dir_.emplace();
    // Before any connection opens: connections keep the file layer they opened with.
    disk_.emplace();
    prompts_.emplace();
}

void TestDiskFaults::cleanup()
{
    program_.reset();
    prompts_.reset();
    QDir::setCurrent(dir_->path());
    small_.reset();
    disk_.reset();
    dir_.reset();
    testing::releaseClock();
}

bool TestDiskFaults::start()
{
    QFETCH(bool, smallDisk);
    QFETCH(int, op);
    QFETCH(int, file);
    QFETCH(int, nth);
    QFETCH(int, failure);
    fault_ = Fault{smallDisk, Disk::Op(op), Disk::File(file), nth, Disk::Failure(failure)};
    return startProgram();
}

bool TestDiskFaults::startProgram()
{
    if (fault_.smallDisk) {
        const QString at = dir_->file(u"disk"_s);
        small_.emplace(at);
        if (!small_->mounted())
            return false;
        qInfo("data.mdb on a 512 KB tmpfs mounted at %s", qPrintable(at));
        if (!QFile::copy(dir_->file(u"data.mdb"_s), at + u"/data.mdb"_s))
            qFatal("cannot copy data.mdb to the small disk");
        QDir::setCurrent(at);
    }
    program_.emplace();
    MainForm->show();
    QApplication::setActiveWindow(MainForm);
    // The cashier the login would have chosen.
    testing::retype(MainForm->ComboBox6, u"张三"_s);
    return QTest::qWaitForWindowExposed(MainForm);
}

void TestDiskFaults::refuse()
{
    if (fault_.smallDisk)
        small_->fill();
    else
        disk_->refuseFrom(fault_.op, fault_.file, fault_.nth, fault_.failure);
}

// The click meets the refusing disk: the error is shown, once, in the
// engine's words.
void TestDiskFaults::clickOnRefusingDisk(QWidget *button)
{
    refuse();
    testing::click(button);
    if (!fault_.smallDisk)
        QVERIFY2(disk_->refused() > 0, qPrintable(u"the fault was never reached: "_s + disk_->seen().join(u", "_s)));
    QCOMPARE(prompts_->log().size(), 1);
    const msg::Prompt p = prompts_->log().first();
    QCOMPARE(p.icon, msg::Icon::Error);
    QVERIFY2(p.text.contains(expectedWords(fault_)), qPrintable(errorPrompts(*prompts_)));
}

void TestDiskFaults::mend()
{
    if (fault_.smallDisk)
        small_->makeRoom();
    else
        disk_->mend();
}

void TestDiskFaults::checkoutOnRefusingDisk()
{
    if (!start())
        QSKIP(qPrintable(u"no small file system can be mounted here (%1): the rows below put the refused "
                          "writes into SQLite's file layer instead"_s.arg(small_->why())));
    cashier::addLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    cashier::addLine(u"康师傅红烧牛肉面"_s, u"4.5"_s, u"2"_s, u"9.5"_s);
    cashier::addLine(u"面包"_s, u"6.8"_s, u"1"_s);
    QCOMPARE(prompts_->texts(), QStringList());
    const QList<QStringList> lines = workingLines();
    QCOMPARE(lines.size(), 3);
    const QStringList shown = screenOfTicket();

    clickOnRefusingDisk(MainForm->SpeedButton6);
    if (QTest::currentTestFailed())
        return;
    // The ticket is still the cashier's: its number and totals stay, and
    // its lines while data.mdb can be read (a fault before data.mdb itself
    // was written; after that, reading waits for the disk to roll back).
    QCOMPARE(screenOfTicket().mid(2), shown.mid(2));
    QCOMPARE(screenOfTicket().first(), shown.first());
    if (fault_.smallDisk || (fault_.file == Disk::File::Journal && fault_.op != Disk::Op::Delete))
        QCOMPARE(screenOfTicket(), shown);

    mend();
    // Nothing half-written: read as the next start would read it.
    QCOMPARE(testing::scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsmx"_s).toInt(), 0);
    QCOMPARE(workingLines(), lines);

    // The same click, once the disk takes writes again.
    prompts_->clear();
    testing::click(MainForm->SpeedButton6);
    QCOMPARE(errorPrompts(*prompts_), QString());
    QCOMPARE(testing::rows(u"select 单号, 数量, 金额, 折后 from xstj"_s),
             (QList<QStringList>{{u"20240305093000"_s, u"5"_s, u"21.8"_s, u"21.35"_s}}));
    QCOMPARE(testing::rows(u"select 品名 from xsmx order by rowid"_s),
             (QList<QStringList>{{u"可口可乐"_s}, {u"康师傅红烧牛肉面"_s}, {u"面包"_s}}));
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 0);
    QCOMPARE(testing::scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
}

void TestDiskFaults::addOnRefusingDisk()
{
    if (!start())
        QSKIP(qPrintable(u"no small file system can be mounted here (%1): the rows below put the refused "
                          "writes into SQLite's file layer instead"_s.arg(small_->why())));
    cashier::addLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    const QList<QStringList> before = workingLines();
    const QList<QStringList> catalogue = cashier::products();

    cashier::enterLine(u"新品牛奶"_s, u"5.5"_s, u"2"_s, u"10"_s);
    const QStringList typed = cashier::screen();
    clickOnRefusingDisk(MainForm->SpeedButton2);
    if (QTest::currentTestFailed())
        return;
    // The typed line stays in the boxes for another click.
    QCOMPARE(cashier::screen(), typed);

    mend();
    QCOMPARE(testing::scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    QCOMPARE(workingLines(), before);
    QCOMPARE(cashier::products(), catalogue);

    prompts_->clear();
    testing::click(MainForm->SpeedButton2);
    QCOMPARE(errorPrompts(*prompts_), QString());
    QCOMPARE(cashier::lines(), (QList<QStringList>{{u"可口可乐"_s, u"3"_s, u"2"_s, u"6"_s, u"6"_s},
                                                   {u"新品牛奶"_s, u"5.5"_s, u"2"_s, u"11"_s, u"11"_s}}));
    const QList<QStringList> learned = catalogue + QList<QStringList>{{u"新品牛奶"_s, u"5.5"_s}};
    QCOMPARE(cashier::products(), learned);
    QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 2);
}

// A damaged page met while 统计 reads the archive is told as a damaged file;
// the read ends there, and leaves no lock behind that would make the
// program's own next 添加 and F5 fail as "busy".
void TestDiskFaults::damagedPageMetInARead()
{
    testing::exec(u"with recursive n(i) as (select 1 union all select i + 1 from n where i < 3000) "
                  "insert into xstj select printf('2023%010d', i), '2023-01-01 08:00:00', 1, 2, 2, '李四' from n"_s);
    QVERIFY(testing::damageTablePage(dir_->file(u"data.mdb"_s), u"xstj"_s) > 0);
    fault_ = {};
    QVERIFY(startProgram());
    prompts_->clear();
    // The window lists what it can read; its sums tell the damage, once.
    testing::whileModal([](QWidget *) { QTest::qWait(50); });
    testing::click(MainForm->SpeedButton7);
    const QStringList said = prompts_->takeTexts();
    QCOMPARE(said.size(), 1);
    QVERIFY2(said.first().contains(u"已损坏，请从备份恢复"_s) && said.first().contains(dir_->file(u"data.mdb"_s)),
             qPrintable(said.first()));

    cashier::addLine(u"可口可乐"_s, u"3"_s, u"2"_s, u"10"_s);
    testing::click(MainForm->SpeedButton6);
    QCOMPARE(prompts_->texts(), QStringList());
    QCOMPARE(testing::printed().pages.size(), 1);
    QCOMPARE(testing::scalar(u"select count(*) from xstj where 收银员 = '张三'"_s).toInt(), 1);
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
}

// 添加 while data.mdb cannot be written opens it for reading only; once it
// takes writes again, F5 archives the ticket and prints it once.
void TestDiskFaults::readOnlyThenWritable()
{
    fault_ = {};
    QVERIFY(startProgram());
    cashier::addLine(u"可口可乐"_s, u"3"_s, u"2"_s, u"10"_s);
    const QString file = dir_->file(u"data.mdb"_s);
    const auto writable = QFile::permissions(file);
    {
        testing::AsOrdinaryUser user;
        QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile probe(file);
        if (probe.open(QIODevice::ReadWrite)) {
            QFile::setPermissions(file, writable);
            QSKIP("this machine writes into read-only files (no way to give up that right)");
        }
        prompts_->clear();
        cashier::addLine(u"雪碧"_s, u"2.5"_s, u"1"_s, u"10"_s);
        const QStringList said = prompts_->takeTexts();
        QVERIFY2(!said.isEmpty() && said.first().contains(u"只读"_s), qPrintable(said.join(u" | "_s)));
        QFile::setPermissions(file, writable);

        testing::click(MainForm->SpeedButton6);
        QCOMPARE(prompts_->texts(), QStringList());
    }
    QCOMPARE(testing::printed().pages.size(), 1);
    QCOMPARE(testing::rows(u"select 品名 from xsmx"_s), (QList<QStringList>{{u"可口可乐"_s}}));
    QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
}

QTEST_MAIN(TestDiskFaults)
#include "tst_diskfaults.moc"
