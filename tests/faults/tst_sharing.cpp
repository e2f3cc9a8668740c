// One data.mdb, several programs. Two copies of the program started on it at
// the same moment, many times: one runs, the other says why and ends, and a
// copy that was killed never keeps the next one out. Other programs (the
// sqlite3 shell standing in for a backup tool or a curious owner) may hold
// the file: a short hold is waited for and the cashier's 添加 or checkout
// goes through; a long one ends in a clear message, the ticket stays, and the
// same click succeeds once the other program lets go.
#include "support/Cashier.h"
#include "support/PrintSupport.h"
#include "support/TestSupport.h"
#include "support/Till.h"
#include "ticket/MainUnit.h"
#include "ui/ListGrid.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kOpened(QDate(2024, 3, 5), QTime(9, 30, 0));

int roundsWanted()
{
    const int n = qEnvironmentVariableIntValue("VELMORA_ROUNDS");
    return n > 0 ? n : 8;
}

// SQLite's lock bytes in a rollback-journal database (its file format).
constexpr qint64 kReservedByte = 0x40000001;
constexpr qint64 kSharedFirst = 0x40000002;

enum class Hold { Read, Write, Exclusive };

// The sqlite3 shell holding a lock on data.mdb of the current directory.
class OtherProgram {
public:
    OtherProgram() : path_(QDir::current().absoluteFilePath(u"data.mdb"_s))
    {
        shell_.setProgram(u"sqlite3"_s);
        shell_.setArguments({u"-batch"_s, path_});
        shell_.start();
    }
    ~OtherProgram()
    {
        letGo();
    }
    bool started() { return shell_.waitForStarted(5000); }
    // Takes the lock; with releaseAfterMs >= 0 the shell lets go by itself
    // after that long, else it holds until letGo().
    bool take(Hold kind, int releaseAfterMs)
    {
        kind_ = kind;
        // The shell waits out a moment's lock of its own start instead of
        // failing its first statement, and says when it holds the lock: a
        // lock seen in the kernel's list may be one it is still trying for.
        QByteArray commands = ".timeout 5000\n";
        switch (kind) {
        case Hold::Read: commands += "BEGIN;\nSELECT count(*) FROM xstj;\n"; break;
        case Hold::Write: commands += "BEGIN IMMEDIATE;\nUPDATE id SET pos = pos;\n"; break;
        case Hold::Exclusive: commands += "BEGIN EXCLUSIVE;\n"; break;
        }
        commands += "SELECT 'holding';\n";
        shell_.write(commands);
        shell_.waitForBytesWritten(1000);
        QElapsedTimer waited;
        waited.start();
        QByteArray said;
        while (!said.contains("holding") || !held()) {
            said += shell_.readAllStandardOutput();
            if (waited.elapsed() > 10000 || shell_.state() == QProcess::NotRunning)
                return false;
            shell_.waitForReadyRead(1);
        }
        if (releaseAfterMs >= 0) {
            shell_.write(".shell sleep " + QByteArray::number(releaseAfterMs / 1000.0) + "\nCOMMIT;\n.quit\n");
            shell_.waitForBytesWritten(1000);
        }
        return true;
    }
    void letGo()
    {
        if (shell_.state() == QProcess::NotRunning)
            return;
        shell_.write("COMMIT;\n.quit\n");
        shell_.closeWriteChannel();
        if (!shell_.waitForFinished(10000))
            shell_.kill();
        shell_.waitForFinished(5000);
    }

private:
    // Whether the shell holds its lock now, as the kernel lists it.
    bool held()
    {
        struct stat st {};
        if (::stat(QFile::encodeName(path_).constData(), &st) != 0)
            return false;
        QFile locks(u"/proc/locks"_s);
        if (!locks.open(QIODevice::ReadOnly))
            return false;
        const QByteArray pid = QByteArray::number(shell_.processId());
        const QByteArray inode = ':' + QByteArray::number(quint64(st.st_ino));
        for (const QByteArray &line : locks.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            // "1: POSIX ADVISORY WRITE <pid> <maj:min:inode> <start> <end>"
            if (f.size() < 8 || f[1] != "POSIX" || f[4] != pid || !f[5].endsWith(inode))
                continue;
            // Neighbouring ranges of one holder are listed merged.
            const qint64 start = f[6].toLongLong();
            const qint64 end = f[7] == "EOF" ? std::numeric_limits<qint64>::max() : f[7].toLongLong();
            const qint64 byte = kind_ == Hold::Write ? kReservedByte : kSharedFirst;
            const QByteArray mode = kind_ == Hold::Read ? "READ" : "WRITE";
            if (f[3] == mode && start <= byte && byte <= end)
                return true;
        }
        return false;
    }

    QString path_;
    QProcess shell_;
    Hold kind_ = Hold::Read;
};

QList<QStringList> workingLines()
{
    return testing::rows(u"select 单号, 品名, 单价, 数量, 金额, 折后 from xsxx order by ID"_s);
}

QStringList screenOfTicket()
{
    const TMainForm *f = MainForm;
    return {f->Edit1->text(), QString::number(f->DBGridEh1->model()->rowCount()), f->Label13->text(),
            f->Label14->text(), f->Label15->text()};
}

QString promptTexts(const testing::Prompts &prompts)
{
    return prompts.texts().join(u" | "_s);
}

void holdRows()
{
    QTest::addColumn<bool>("checkout"); // else 添加
    QTest::addColumn<int>("hold");
    const struct {
        const char *name;
        Hold hold;
    } holds[] = {{"reading (a backup copying the file)", Hold::Read},
                 {"writing (the sqlite3 shell in a change)", Hold::Write},
                 {"locked exclusively", Hold::Exclusive}};
    for (const auto &h : holds) {
        QTest::addRow("添加, another program %s", h.name) << false << int(h.hold);
        QTest::addRow("checkout, another program %s", h.name) << true << int(h.hold);
    }
}

} // namespace

class TestSharing : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void twoStartsAtOnce_data();
    void twoStartsAtOnce();
    void shortHoldIsWaitedFor_data() { holdRows(); }
    void shortHoldIsWaitedFor();
    void longHoldIsToldAndRetried_data() { holdRows(); }
    void longHoldIsToldAndRetried();

private:
    // A ticket of two lines, and for 添加 a third line typed in the boxes.
    void prepare(bool checkout);
    void click(bool checkout);
    // What the click was to store is stored, and nothing else.
    void verifyStored(bool checkout);

    std::optional<testing::Session> session_;
};

void TestSharing::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestSharing::init()
{
    testing::fixClock(kOpened);
    session_.emplace();
    // The cashier the login would have chosen.
    testing::retype(MainForm->ComboBox6, u"张三"_s);
}

void TestSharing::cleanup()
{
    session_.reset();
    testing::releaseClock();
}

void TestSharing::twoStartsAtOnce_data()
{
    QTest::addColumn<bool>("killed"); // how the copy that runs ends
    QTest::newRow("the running copy is closed") << false;
    QTest::newRow("the running copy is killed") << true;
}

void TestSharing::twoStartsAtOnce()
{
    QFETCH(bool, killed);
    const QString file = QDir::toNativeSeparators(session_->dir().file(u"data.mdb"_s));
    const int rounds = roundsWanted();
    for (int round = 0; round < rounds; ++round) {
        till::Process first({u"start"_s});
        till::Process second({u"start"_s});
        till::Process *copies[] = {&first, &second};
        till::Process *running = nullptr;
        for (till::Process *p : copies) {
            const bool shown = p->waitFor([](const till::Event &e) { return e.kind == u'L'; }, 30000).has_value();
            if (!shown) {
                // The refused copy says why, and nothing else, and ends.
                QCOMPARE(p->finish(10000), 1);
                QStringList said;
                for (const till::Event &e : p->events()) {
                    if (e.kind == u'P')
                        said << e.text;
                }
                QCOMPARE(said.size(), 1);
                QVERIFY2(said[0].startsWith("error "_L1) && said[0].contains(u"不能同时运行两个"_s)
                             && said[0].contains(file),
                         qPrintable(said[0]));
                continue;
            }
            QVERIFY2(!running, qPrintable(u"round %1: both copies run\n%2\n--\n%3"_s.arg(round).arg(
                                   first.transcript(), second.transcript())));
            running = p;
        }
        QVERIFY2(running, qPrintable(u"round %1: neither copy runs\n%2\n%3\n--\n%4\n%5"_s.arg(round).arg(
                              first.transcript(), first.errors(), second.transcript(), second.errors())));
        if (killed) {
            running->kill();
        } else {
            running->send("quit\n");
            QCOMPARE(running->finish(10000), 0);
        }
    }
    // The last copy's end left the file free, too.
    till::Process next({u"start"_s});
    QVERIFY2(next.waitFor([](const till::Event &e) { return e.kind == u'L'; }, 30000).has_value(),
             qPrintable(next.transcript()));
    next.send("quit\n");
    QCOMPARE(next.finish(10000), 0);
}

void TestSharing::prepare(bool checkout)
{
    cashier::addLine(u"可口可乐"_s, u"3"_s, u"2"_s);
    cashier::addLine(u"面包"_s, u"6.8"_s, u"1"_s);
    if (!checkout)
        cashier::enterLine(u"新品牛奶"_s, u"5.5"_s, u"2"_s, u"10"_s);
    QCOMPARE(promptTexts(session_->prompts()), QString());
}

void TestSharing::click(bool checkout)
{
    testing::click(checkout ? MainForm->SpeedButton6 : MainForm->SpeedButton2);
}

void TestSharing::verifyStored(bool checkout)
{
    QCOMPARE(promptTexts(session_->prompts()), QString());
    if (checkout) {
        QCOMPARE(testing::rows(u"select 单号, 数量, 金额 from xstj"_s),
                 (QList<QStringList>{{u"20240305093000"_s, u"3"_s, u"12.8"_s}}));
        QCOMPARE(testing::rows(u"select 品名 from xsmx order by rowid"_s),
                 (QList<QStringList>{{u"可口可乐"_s}, {u"面包"_s}}));
        QCOMPARE(testing::scalar(u"select count(*) from xsxx"_s).toInt(), 0);
        QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 0);
    } else {
        QCOMPARE(cashier::lines(), (QList<QStringList>{{u"可口可乐"_s, u"3"_s, u"2"_s, u"6"_s, u"6"_s},
                                                       {u"面包"_s, u"6.8"_s, u"1"_s, u"6.8"_s, u"6.8"_s},
                                                       {u"新品牛奶"_s, u"5.5"_s, u"2"_s, u"11"_s, u"11"_s}}));
        QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 3);
        QCOMPARE(MainForm->Label14->text(), u"23.8"_s);
        QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
    }
    QCOMPARE(testing::scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
}

void TestSharing::shortHoldIsWaitedFor()
{
    QFETCH(bool, checkout);
    QFETCH(int, hold);
    prepare(checkout);
    OtherProgram other;
    QVERIFY(other.started());
    // Well inside the program's wait for a busy file.
    QVERIFY(other.take(Hold(hold), 500));
    click(checkout);
    verifyStored(checkout);
}

void TestSharing::longHoldIsToldAndRetried()
{
    QFETCH(bool, checkout);
    QFETCH(int, hold);
    prepare(checkout);
    const QList<QStringList> lines = workingLines();
    const QStringList shown = screenOfTicket();
    const QStringList typed = cashier::screen();
    const QList<QStringList> catalogue = cashier::products();
    {
        OtherProgram other;
        QVERIFY(other.started());
        QVERIFY(other.take(Hold(hold), -1));
        click(checkout);
        // One clear message; the ticket, and for 添加 the typed line, stay.
        const QList<msg::Prompt> &log = session_->prompts().log();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].icon, msg::Icon::Error);
        // Reading waits as well when the other program locks the file whole;
        // the file is then named, never called foreign.
        const QString busy = u"数据库正忙，另一个程序正在使用数据库文件，请稍后再试."_s;
        const QString unreadable = u"无法打开数据库文件“%1”："_s.arg(session_->dir().file(u"data.mdb"_s)) + busy;
        QVERIFY2(log[0].text == busy || (Hold(hold) == Hold::Exclusive && log[0].text == unreadable),
                 qPrintable(log[0].text));
        // The number and totals stay, and the lines stay listed unless the
        // other program locks out reading too (添加 first reads the file again).
        QCOMPARE(screenOfTicket().first(), shown.first());
        QCOMPARE(screenOfTicket().mid(2), shown.mid(2));
        if (checkout || Hold(hold) != Hold::Exclusive)
            QCOMPARE(screenOfTicket(), shown);
        if (!checkout)
            QCOMPARE(cashier::screen(), typed);
    }
    // The other program has let go: nothing of the click was stored.
    QCOMPARE(workingLines(), lines);
    QCOMPARE(cashier::products(), catalogue);
    QCOMPARE(testing::scalar(u"select count(*) from xstj"_s).toInt(), 0);
    QCOMPARE(testing::scalar(u"select count(*) from xsmx"_s).toInt(), 0);
    session_->prompts().clear();
    click(checkout);
    verifyStored(checkout);
}

QTEST_MAIN(TestSharing)
#include "tst_sharing.moc"
